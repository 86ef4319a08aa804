// Range-pair counting: a range counts as a cycle once a later range at least as large pairs it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/count_state.h"
#include "core/counting/partition_counter.h"
#include "core/counting/turning_points.h"
#include "core/range_pairs/range_pair_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// What a range-pair count is set up with: the partitions of range counting (N, A, c1, c2).
using RangePairSetup = PartitionSetup;

/// Counts the range pairs of one record, fed its raw samples in time order in pieces of any size.
/// The points are the first sample, every turning point (as range counting finds them) and the
/// last sample. Each point goes on a stack; while the stack holds three points or more, X is the
/// range of the top two and Y the range below it:
///
///        Y   X                  |X| >= |Y|: Y is paired by X, a cycle of range |Y|: it counts
///   a       c                   as one, with the sign of b - a, and a and b leave the stack
///    \     /                    |X| <  |Y|: the next point is read
///     \   /
///       b
///
/// A counted range r = (b - a) / c2 / c1 goes into the two-way partition of r and the one-way
/// partition of |r| as a range of range counting does, and is dropped outside [-A, A]. What stays
/// on the stack at the end is a run of ranges each smaller than the one before: no later range
/// pairs them, and none is counted.
///
/// The stack holds only ranges that shrink, so its size is bounded by the number of range sizes
/// the record's values can make (at most 65536 for a 16-bit format). A range pair depends on the
/// whole history before it, so the count is one stretch: it is not cut into chunks.
class RangePairCounter {
 public:
  /// Refuses (bad-value message) what PartitionCounter refuses.
  static Result<RangePairCounter> Create(const RangePairSetup& setup);

  /// Counts the raw differences of the 16-bit `format` by a table from now on (a long record).
  void UseSampleTable(int32_t format) { partitions_.UseSampleTable(format); }

  /// Feeds the next raw samples.
  void Feed(std::span<const double> raw_samples);

  /// The count so far, the last sample fed taken as the last point; the counter goes on.
  RangePairResult Finish() const;

  /// Samples fed so far.
  int64_t samples_fed() const { return fed_; }

  /// The counts and the stack, for a count carried between processes.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  explicit RangePairCounter(PartitionCounter partitions);
  /// Pushes `points` in turn, each with the pairs it closes appended to `pairs` (raw
  /// differences).
  static void PushAll(std::vector<double>& stack, std::span<const double> points,
                      std::vector<double>& pairs);

  PartitionCounter partitions_;
  PartitionCounts counts_;
  TurningPointFinder finder_{false};
  std::vector<double> stack_;  // raw points, the top last
  std::vector<double> pairs_;  // raw differences waiting to be counted
  int64_t fed_ = 0;
  double last_sample_ = 0.0;
};

}  // namespace torvwy::core
