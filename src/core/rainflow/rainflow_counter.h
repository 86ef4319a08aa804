// RainflowCounter: turning points, four-point cycle extraction and the partition count, streamed.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/counting/count_state.h"
#include "core/counting/partition_index.h"
#include "core/data/sampling_info.h"
#include "core/rainflow/rainflow_result.h"
#include "core/rainflow/residue_method.h"
#include "core/rainflow/residue_stack.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The smallest counted range t = |FS / c2 / c1| x 0.001 (EU): a thousandth of the full scale.
double SmallestCountedRange(double full_scale, const SamplingInfo& info);

/// Where a count keeps a residue that outgrows memory.
struct RainflowStorage {
  int64_t residue_memory_points = ResidueStack::kDefaultMemoryPoints;
  std::filesystem::path scratch_folder;  ///< empty: the system's temporary folder
};

/// The fixed inputs of one rainflow count.
struct RainflowSetup {
  int32_t partitions = 25;       ///< N, 1..2000
  double amplitude_range = 0.0;  ///< A (EU): ranges above it are dropped
  double smallest_range = 0.0;   ///< t (EU): ranges below it are dropped, and a range of 0 always
  double scale = 1.0;            ///< k = 1 / (c2 x c1): raw value x k = EU
  ResidueMethod residue = ResidueMethod::kHalf;  ///< how Finish() counts the residue
  /// Residue points kept in memory before the oldest go to a scratch file.
  int64_t residue_memory_points = ResidueStack::kDefaultMemoryPoints;
  /// Folder of that scratch file; the system's temporary folder ($TMPDIR, else /tmp) when empty.
  std::filesystem::path scratch_folder;
  /// Optional observers (tests, tools): every extracted range with its weight (1.0 closed cycle,
  /// 0.5 residue half cycle; 1.0 for a residue counted whole or closed by the repeat) before the
  /// drop test, and the residue points in time order.
  std::function<void(double range, double weight)> on_cycle;
  std::function<void(double point)> on_residue;
  /// True for a counter fed the analysis range from its first sample, which is the first turning
  /// point. False for a later stretch counted on its own and joined (Join()) to the counter of
  /// everything before it.
  bool opens_range = true;
};

/// Counts closed load cycles of one node. Feed the raw samples of the analysis range in time
/// order, in chunks of any size; Finish() counts the residue by the setup's ResidueMethod (half
/// cycles unless asked otherwise).
///
/// Turning points: the first sample, then every sample where the direction reverses, then the
/// last sample. The direction starts falling when the second sample is below the first, else
/// rising (equal samples start rising), and a run of equal samples never reverses it, so a flat
/// top or bottom gives one turning point of its value. Each turning point is scaled by k.
///
/// Cycles: four consecutive points a b c d close the cycle b c when its range lies inside both
/// neighbouring ranges:
///
///        b               r = |c - b| is a closed cycle when
///       / \    d             r <= |b - a|  and  r <= |d - c|
///      /   \  /          b and c are then removed, a and d become neighbours.
///     a     c
///
/// The points wait on a stack (ResidueStack); each new point is tested as the top of a window,
/// and after a closing the window below the new top is tested again, so each point is pushed and
/// removed at most once: linear time, however the swings nest.
///
/// Why this finds what the pass-after-pass rule finds (scan windows left to right, skip past a
/// closed cycle, compact, repeat until a pass closes none). Turning points alternate between
/// valleys and peaks (equal neighbours included), and a window closes exactly when its inner pair
/// lies inside its outer points, for b a peak: a <= c and b <= d. Closing keeps the alternation.
/// Two windows that can both close either share at most one point, and then closing one leaves
/// the other closable, or they overlap:
///
///   by three  a b c d e      both close only if b = d; either closing leaves a b e and
///                            counts the same range |b - c| = |d - c|
///   by two    a b c d e f    closing b c leaves a d e f closable (c >= a, so d - e <= d - a);
///                            closing d e leaves a b c f closable (f >= d >= b); both end in
///                            a f with the ranges |b - c| and |d - e|
///
/// So closings may be made in any order and always end with the same residue and the same ranges
/// (a terminating rewriting whose overlaps rejoin is confluent). Both rules stop exactly when no
/// window of the remaining points closes, so they count the same multiset of ranges, and the
/// counts agree bit for bit (sums of 1.0 and 0.5 are exact in any order).
///
/// The argument compares ranges exactly. The comparisons are made on rounded differences, which
/// order ranges faithfully for every integer sample format (same-kind points lie at least one
/// quantum apart, far above the rounding of any range); for float data two distinct points of one
/// kind closer than the rounding of the largest range (about 2^-52 of it) can tie, and there the
/// pass-after-pass rule itself depends on its scan order.
class RainflowCounter {
 public:
  /// A setup with N outside 1..2000, a non-finite A, a non-finite or zero k or a NaN t makes
  /// Feed() and Finish() fail with the bad-value message.
  explicit RainflowCounter(const RainflowSetup& setup);

  /// Examines the next raw samples. Fails when the residue can't be spilled to or read back from
  /// its scratch file; the count is then lost and every later call fails the same way.
  Status Feed(std::span<const double> raw_samples);

  /// Takes the last sample as the last turning point, counts the residue (CountResidue) and
  /// returns the histogram (counts, N, A, w, t, largest count, cursor partition, T). The scratch
  /// file is removed. Fails as Feed() does.
  Result<RainflowResult> Finish();

  /// Joins `later`, a counter (opens_range false) of the same setup that was fed the next stretch
  /// of the range with one sample of overlap on each side (see ChunkWindow); this counter has
  /// been fed (or joined) everything before it. `later` is emptied.
  ///
  /// A stretch counted alone does not know the direction it starts in, so the sample before its
  /// first step that is not zero waits: it is a turning point when that step reverses the
  /// direction this counter ended in. The cycles `later` closed are added; its residue, in time
  /// order, then goes onto this counter's stack and the four-point rule runs again over the
  /// joined residues:
  ///
  ///   this residue   a b c d          later residue   e f g
  ///   joined stack   a b c d [w] e f g    (w: the waiting sample, when it turns)
  ///
  /// Closings may be made in any order and end with the same cycles and residue (see above), so
  /// Finish() after the last join counts what one counter fed everything counts. Fails as Feed()
  /// does, or with the error of `later`.
  Status Join(RainflowCounter& later);

  /// What Finish() would return now, without finishing: the last sample fed as the last turning
  /// point and the residue counted, into a copy of the counts. The counter is
  /// unchanged (observers are not called) and may be fed on. Fails as Feed() does, and after
  /// Finish().
  Result<RainflowResult> Peek();

  /// The counts, the samples held and the residue, for a count carried between processes;
  /// LoadState() of them (into a fresh counter of the same setup) goes on where it was. Saving
  /// fails as Feed() does and after Finish(); loading fails on bytes that don't fit the setup.
  Status SaveState(CountStateWriter& out);
  bool LoadState(CountStateReader& in);

  /// Turning points found so far.
  int64_t turning_points() const { return turning_points_; }

  /// The smallest and largest point held (EU): the residue and the last sample fed. A closing
  /// removes a pair only from between points beyond both of it, so the largest and the smallest
  /// sample of the record stay: these are the extremes of every sample fed, scaled by k. Nothing
  /// before the first sample. Fails as Feed() does.
  Result<std::optional<std::pair<double, double>>> HeldRange();

 private:
  bool AddTurningPoints(const double* raw, size_t count, double k);
  void CountRange(double range, double weight);
  void CountRangeInto(std::array<double, kMaxPartitions>& counts, double range,
                      double weight) const;
  /// Counts the residue `points` (EU, in time order, the last sample last) by the residue
  /// method into `counts`. For `repeated` the residue's points follow it once more, as samples
  /// after the last one (the seam takes the turning-point rule), on a stack that holds it; the
  /// cycles that close are whole cycles:
  ///
  ///   residue  a b c d e       stack  a b c d  +  samples a b c d e  ->  closings, full
  ///
  /// What is left is the residue again (shown on random loads in the tests), so every further
  /// repeat adds the record's cycles and these: nothing stays open beyond the residue itself.
  void CountResidue(std::vector<double>& points, std::array<double, kMaxPartitions>& counts,
                    bool observed);
  RainflowResult MakeResult(const std::array<double, kMaxPartitions>& counts,
                            int64_t turning_points) const;
  void Failed(Error error);

  RainflowSetup setup_;
  PartitionIndex index_;
  ResidueStack stack_;
  std::vector<double> turning_buffer_;  // the turning points of one piece of a Feed()
  std::array<double, kMaxPartitions> counts_{};
  double scale_;
  double amplitude_range_;
  double smallest_range_;
  double counted_from_;  // t, or the smallest range above 0 when t is not: 0 is no range
  std::optional<Error> error_;
  bool finished_ = false;

  bool opens_range_ = true;
  int seen_ = 0;  // samples examined, up to 2
  double first_ = 0.0;
  double prev_ = 0.0;
  int direction_ = 1;  // +1 rising, -1 falling, 0 not known yet (a later stretch)
  bool has_waiting_ = false;
  double waiting_ = 0.0;  // a later stretch's first candidate turning point
  int waiting_step_ = 0;  // the sign of the step after it
  int64_t turning_points_ = 0;
};

}  // namespace torvwy::core
