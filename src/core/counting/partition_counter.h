// PartitionCounter: counts batches of values into the two-way and one-way partitions of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/counting/partition_index.h"
#include "core/counting/partition_kernel.h"
#include "core/data/int16_samples.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Counts of one kind of value, in the two-way and the one-way partitions. Each partition has
/// kLanes counters side by side, and neighbouring values of a batch go to different ones, so
/// that two values in one partition never wait on each other's increment; a partition's count is
/// the sum of its lanes.
///
/// Values counted by a sample table may first be tallied by their step (PartitionCounter::Tally):
/// one increment per value, each step's tally added to its partitions when the counts are
/// settled. The counts read out are always the settled ones.
class PartitionCounts {
 public:
  static constexpr size_t kLanes = 4;
  /// The packed partitions of a value that is dropped.
  static constexpr uint32_t kDropped = 0xffffffff;

  explicit PartitionCounts(size_t partitions = 0)
      : partitions_(partitions), two_way_(partitions * kLanes), one_way_(partitions * kLanes) {}

  size_t size() const { return partitions_; }
  int64_t two_way(size_t k) const { return settled() ? Sum(two_way_, k) : Settled().two_way(k); }
  int64_t one_way(size_t k) const { return settled() ? Sum(one_way_, k) : Settled().one_way(k); }
  std::vector<int64_t> TwoWay() const { return settled() ? Sums(two_way_) : Settled().TwoWay(); }
  std::vector<int64_t> OneWay() const { return settled() ? Sums(one_way_) : Settled().OneWay(); }

  /// No value waits in a tally.
  bool settled() const { return tallied_ == 0; }
  /// Adds the tallied values to their partitions.
  void Settle();
  /// A settled copy (without the tally's storage): read many counts out of this.
  PartitionCounts Settled() const;

  /// Adds the counts of `other`, of the same size, and what it has tallied.
  void Add(const PartitionCounts& other);
  /// Sets the counts to the given ones (of the same size, none below 0; false otherwise, leaving
  /// them as they were), with nothing tallied.
  bool Assign(const std::vector<int64_t>& two_way, const std::vector<int64_t>& one_way);

  /// The lanes, partition k's at [k * kLanes, (k + 1) * kLanes).
  int64_t* two_way_lanes() { return two_way_.data(); }
  int64_t* one_way_lanes() { return one_way_.data(); }

 private:
  friend class PartitionCounter;

  static int64_t Sum(const std::vector<int64_t>& lanes, size_t k) {
    int64_t sum = 0;
    for (size_t lane = 0; lane < kLanes; ++lane) sum += lanes[k * kLanes + lane];
    return sum;
  }
  std::vector<int64_t> Sums(const std::vector<int64_t>& lanes) const {
    std::vector<int64_t> sums(partitions_);
    for (size_t k = 0; k < partitions_; ++k) sums[k] = Sum(lanes, k);
    return sums;
  }
  /// Adds `tally`, counted by the steps of `step_partitions`, to the lanes.
  void AddTally(const std::vector<uint32_t>& tally, const std::vector<uint32_t>& step_partitions);

  size_t partitions_;
  std::vector<int64_t> two_way_;
  std::vector<int64_t> one_way_;
  // Values tallied by their step and not yet added, with the packed partitions of every step.
  std::vector<uint32_t> tally_;
  std::shared_ptr<const std::vector<uint32_t>> step_partitions_;
  uint64_t tallied_ = 0;
};

/// What a PartitionCounter is set up with.
struct PartitionSetup {
  int32_t partitions = 25;       ///< N; 2000 or more counts as 2000, below 1 is refused
  double amplitude_range = 0.0;  ///< A in EU; must be finite
  double c1 = 1.0;               ///< calibration factors: a raw value v is v / c2 / c1 in EU
  double c2 = 1.0;
  /// Values above A go to the top partitions instead of being dropped (only when A > 0).
  bool top_takes_above = false;
};

/// Counts each value v (EU) into two histograms at once: the two-way partition of v among N
/// partitions of [-A, A] (W2 = (A + A) / N) and the one-way partition of |v| among N partitions
/// of [0, A] (W1 = A / N). A value goes to the lowest partition whose upper edge is at or above
/// it, the very answer of PartitionIndex::FindLinear; a value outside [-A, A] is dropped.
///
/// Values come in batches so that the work vectorises: the conversion to EU, then both
/// partitions from one multiply and a truncation each (GuessProvenPartitions), kept when the
/// scaled value lies clear of both edges of its partition; a value on or next to an edge is
/// settled by PartitionIndex::Find against the stored edges.
class PartitionCounter {
 public:
  /// Refuses (bad-value message) N < 1 and a non-finite A.
  static Result<PartitionCounter> Create(const PartitionSetup& setup);

  int32_t partitions() const { return partitions_; }
  double amplitude_range() const { return amplitude_range_; }
  double two_way_width() const { return two_way_width_; }
  double one_way_width() const { return one_way_width_; }

  /// Zeroed counts of N entries each.
  PartitionCounts MakeCounts() const;

  /// Counts the raw values, v / c2 / c1 (first by c2, then by c1, with the rounding of those two
  /// divisions), into `counts`. The values are left changed (in EU without a sample table).
  void CountRaw(std::span<double> raw_values, PartitionCounts& counts);
  /// Counts as CountRaw does, but with a sample table only tallies each value's step in
  /// `counts`, to be settled when they are read (the values are then left as they were).
  void Tally(std::span<double> raw_values, PartitionCounts& counts);
  /// A tally is settled before any step could hold more than this many values (at least 1024,
  /// the values tallied between two checks).
  void SetTallyLimitForTesting(uint64_t limit) { tally_limit_ = limit; }

  /// From now on counts the raw values of the 16-bit integer `format`, and differences of them,
  /// by a table that holds the partitions of every one, found as CountRaw finds them (nothing
  /// for another format). Made once (about 131072 values' work, for a long record); copies of
  /// this counter share it.
  void UseSampleTable(int32_t format);
  /// Counts by `other`'s sample table, if it has one, without making another; `other` must count
  /// into the same partitions (the same N, A and calibration).
  void ShareSampleTable(const PartitionCounter& other) { table_ = other.table_; }

  /// Records from this many counted samples on are worth the table.
  static constexpr int64_t kSampleTableFrom = int64_t{1} << 22;

 private:
  PartitionCounter(const PartitionSetup& setup, int32_t partitions);
  static constexpr size_t kGuessPiece = 64;

  /// The partitions of every step of a 16-bit format: two-way | one-way << 16, or kDropped.
  static constexpr uint32_t kDropped = PartitionCounts::kDropped;
  struct SampleTable {
    Int16Steps steps;
    std::vector<uint32_t> partitions;
  };

  void CountBatch(double* values, size_t count, int64_t* two_way, int64_t* one_way);
  void CountByTable(const double* values, size_t count, int64_t* two_way, int64_t* one_way) const;
  uint32_t PartitionsOf(double v) const;

  int32_t partitions_;
  double amplitude_range_;
  double two_way_width_;
  double one_way_width_;
  double c1_;
  double c2_;
  bool top_takes_above_;
  PartitionIndex two_way_index_;
  PartitionIndex one_way_index_;
  bool guess_ = false;  // the proven guess applies to this range
  PartitionGuess guess_setup_;
  std::vector<int32_t> two_way_guess_;
  std::vector<int32_t> one_way_guess_;
  std::shared_ptr<const SampleTable> table_;
  uint64_t tally_limit_ = 0xffffffff;
};

}  // namespace torvwy::core
