// RangeCounter: counts the ranges between successive turning points of samples fed in time order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/partition_counter.h"
#include "core/counting/turning_points.h"
#include "core/range/range_count_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The result record of range histograms `counts` counted by `partitions`: arrays, largest
/// count, cursor partition, A, W2 and W1; the fields of the run are left at their defaults.
RangeCountResult RangeHistograms(const PartitionCounter& partitions, const PartitionCounts& counts);

/// What a range count is set up with.
struct RangeCountSetup {
  int32_t partitions = 25;       ///< N; 2000 or more counts as 2000, below 1 is refused
  double amplitude_range = 0.0;  ///< A in EU; must be finite
  double c1 = 1.0;               ///< calibration factors: a raw value v is v / c2 / c1 in EU
  double c2 = 1.0;
  /// True for a counter fed the record from the first sample of its range: the first range is
  /// measured from that sample. False for a later stretch counted on its own: its first turning
  /// point is kept for Join() and no range is measured up to it.
  bool opens_range = true;
};

/// Counts the ranges of one record. Feed the raw samples of the analysis range (converted, not
/// yet calibrated) in time order, in pieces of any size. Each turning point (cur > prev && cur >=
/// next, or cur < prev && cur <= next) ends a range that starts at the previous turning point,
/// or at the first sample fed for the first range:
///
///      first          p
///        *           / \          r1 = v - first (negative)
///         \         /   \         r2 = p - v     (positive)
///          \       /     ...      r = (cur - E) / c2 / c1, the raw difference divided after
///           v_____/
///
/// The first and the last sample fed are never turning points. A range r outside [-A, A] is
/// dropped, and so is one that is not a number (from a NaN sample); otherwise it counts in the
/// two-way partition of r and the one-way partition of |r|.
class RangeCounter {
 public:
  /// Refuses (bad-value message) N < 1 and a non-finite A.
  static Result<RangeCounter> Create(const RangeCountSetup& setup);

  /// Feeds the next raw samples.
  /// Counts the raw values of a 16-bit `format` by a table of partitions from now on (see
  /// PartitionCounter::UseSampleTable): the same counts, for a long record.
  void UseSampleTable(int32_t format) { partitions_.UseSampleTable(format); }
  /// Counts by the sample table of `other`, a counter of the same setup (but for opens_range).
  void ShareSampleTable(const RangeCounter& other) {
    partitions_.ShareSampleTable(other.partitions_);
  }

  void Feed(std::span<const double> raw_samples);

  /// Joins `later`, a counter (opens_range false) of the same setup that was fed the next
  /// stretch of the record with one sample of overlap on each side (see ChunkWindow). Its counts
  /// are added and the range across the join is counted, from this counter's last turning point
  /// (or the first sample) to the first turning point of `later`:
  ///
  ///   this   *---v-----p---v             later      p----v---p
  ///                      E |  join range  |  first turning point
  ///
  /// so the sums are the counts of one counter fed everything. With `adjacent` false (a
  /// cancelled pass, whose stretches need not meet) only the counts are added: no range is made
  /// up across the gap.
  void Join(const RangeCounter& later, bool adjacent = true);

  /// The counts so far: arrays, largest count, cursor partition, A, W2 and W1. The fields of
  /// the run (envelope, modes, blocks, cancelled) are left at their defaults.
  RangeCountResult Finish() const;

  /// The counts and what is held between feeds, for a count carried between processes (see
  /// PeakCounter::SaveState).
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  RangeCounter(PartitionCounter partitions, bool opens_range);

  PartitionCounter partitions_;
  PartitionCounts counts_;
  TurningPointFinder finder_{false};
  bool opens_range_ = true;
  bool started_ = false;       // E holds a value
  double last_extreme_ = 0.0;  // E: the raw value the next range starts from
  bool has_turning_point_ = false;
  double first_turning_point_ = 0.0;  // of a counter that does not open the range
  std::vector<double> ranges_;        // the ranges of the turning points handed on
};

}  // namespace torvwy::core
