// PeakCounter: counts the peaks and valleys of samples fed in time order into six histograms.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/partition_counter.h"
#include "core/counting/turning_points.h"
#include "core/peak/peak_count_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// What a peak count is set up with.
struct PeakCountSetup {
  int32_t partitions = 25;       ///< N; 2000 or more counts as 2000, below 1 is refused
  double amplitude_range = 0.0;  ///< A in EU; must be finite
  double c1 = 1.0;               ///< calibration factors: a raw value v is v / c2 / c1 in EU
  double c2 = 1.0;
  /// A is the envelope maximum (automatic amplitude). Every sample then lies within A, but the
  /// envelope divides once by c2 x c1 while a peak is divided by c2, then by c1, so a peak can
  /// land a rounding step above A; with A > 0 such a value goes to the top partitions instead of
  /// being dropped.
  bool automatic = false;
};

/// Counts peaks and valleys of one record. Feed the raw samples of the analysis range (converted,
/// not yet calibrated) in time order, in pieces of any size; every sample is tested against its
/// true neighbours, so the first and the last sample fed are never tested:
///
///        p                 p: cur > prev && cur >= next
///       / \      p__       v: cur < prev && cur <= next
///      /   \    /   \      a flat top or bottom counts at its first sample
///           v__/     ...
///
/// A value v / c2 / c1 outside [-A, A] is dropped; otherwise it counts in the two-way partition
/// of v and the one-way partition of |v|, each the lowest whose upper edge is at or above it.
class PeakCounter {
 public:
  /// Refuses (bad-value message) N < 1 and a non-finite A.
  static Result<PeakCounter> Create(const PeakCountSetup& setup);

  /// Feeds the next raw samples.
  /// Counts the raw values of a 16-bit `format` by a table of partitions from now on (see
  /// PartitionCounter::UseSampleTable): the same counts, for a long record.
  void UseSampleTable(int32_t format) { partitions_.UseSampleTable(format); }

  void Feed(std::span<const double> raw_samples);

  /// Adds the counts of `later`, a counter of the same setup that was fed the next stretch of the
  /// record with one sample of overlap on each side (see ChunkWindow): each sample is tested in
  /// exactly one of the two, so the sums are the counts of one counter fed everything.
  void Join(const PeakCounter& later);

  /// The counts so far: arrays, totals, largest counts, cursor partition, A, W2 and W1. The
  /// fields of the run (envelope, modes, blocks, cancelled) are left at their defaults.
  PeakCountResult Finish() const;

  /// The counts and the samples held between feeds, for a count carried between processes;
  /// LoadState() of them (into a counter of the same setup) goes on where it was. LoadState()
  /// fails on bytes that don't fit the setup.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  explicit PeakCounter(PartitionCounter partitions);

  PartitionCounter partitions_;
  PartitionCounts peaks_;
  PartitionCounts valleys_;
  TurningPointFinder finder_{true};
};

}  // namespace torvwy::core
