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
class PartitionCounts {
 public:
  static constexpr size_t kLanes = 4;

  explicit PartitionCounts(size_t partitions = 0)
      : partitions_(partitions), two_way_(partitions * kLanes), one_way_(partitions * kLanes) {}

  size_t size() const { return partitions_; }
  int64_t two_way(size_t k) const { return Sum(two_way_, k); }
  int64_t one_way(size_t k) const { return Sum(one_way_, k); }
  std::vector<int64_t> TwoWay() const { return Sums(two_way_); }
  std::vector<int64_t> OneWay() const { return Sums(one_way_); }

  /// Adds the counts of `other`, of the same size.
  void Add(const PartitionCounts& other) {
    for (size_t j = 0; j < two_way_.size(); ++j) {
      two_way_[j] += other.two_way_[j];
      one_way_[j] += other.one_way_[j];
    }
  }
  /// Sets the counts to the given ones (of the same size; false otherwise, leaving them as they
  /// were).
  bool Assign(const std::vector<int64_t>& two_way, const std::vector<int64_t>& one_way);

  /// The lanes, partition k's at [k * kLanes, (k + 1) * kLanes).
  int64_t* two_way_lanes() { return two_way_.data(); }
  int64_t* one_way_lanes() { return one_way_.data(); }

 private:
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

  size_t partitions_;
  std::vector<int64_t> two_way_;
  std::vector<int64_t> one_way_;
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
  struct SampleTable {
    Int16Steps steps;
    std::vector<uint32_t> partitions;
  };
  static constexpr uint32_t kDropped = 0xffffffff;

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
};

}  // namespace torvwy::core
