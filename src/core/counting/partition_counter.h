// PartitionCounter: counts batches of values into the two-way and one-way partitions of a run.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/partition_index.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Counts of one kind of value; entry k is partition k.
struct PartitionCounts {
  std::vector<int64_t> two_way;
  std::vector<int64_t> one_way;
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
/// Values come in batches so that the work vectorises: the conversion to EU, then a guess of
/// both partitions from the widths, then a check of each guess against its two stored edges,
///
///     edge(k-1) < v <= edge(k)     (edge(-1) taken as -infinity)
///
/// which on monotone edges proves k the linear scan's answer; a guess that fails the check (a
/// value on or next to an edge) is settled by PartitionIndex::Find.
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

  /// Turns the raw values into EU in place, v / c2 / c1 (first by c2, then by c1, with the
  /// rounding of those two divisions), and counts them into `counts`.
  void CountRaw(std::span<double> raw_values, PartitionCounts& counts);

 private:
  PartitionCounter(const PartitionSetup& setup, int32_t partitions);
  void CountBatch(double* values, size_t count, int64_t* two_way, int64_t* one_way);

  int32_t partitions_;
  double amplitude_range_;
  double two_way_width_;
  double one_way_width_;
  double c1_;
  double c2_;
  bool top_takes_above_;
  PartitionIndex two_way_index_;
  PartitionIndex one_way_index_;
  // The edges with -infinity in front, so edge(k - 1) is at index k; empty when the edges are not
  // monotone, which leaves every value to PartitionIndex::Find.
  std::vector<double> two_way_edges_;
  std::vector<double> one_way_edges_;
  std::vector<int32_t> two_way_guess_;
  std::vector<int32_t> one_way_guess_;
};

}  // namespace torvwy::core
