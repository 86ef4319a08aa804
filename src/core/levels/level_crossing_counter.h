// Level crossing counting: how often the load crosses each of a set of levels, up and down.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "core/counting/count_state.h"

namespace torvwy::core {

/// The fixed inputs of one level crossing count.
struct CrossingSetup {
  std::vector<double> levels;  ///< EU, finite and strictly increasing
  double gate = 0.0;           ///< EU, finite and >= 0
  double c1 = 1.0;             ///< calibration: a raw value v is v / c2 / c1 in EU
  double c2 = 1.0;
  /// Fed from the first sample of the range; false for a later stretch of a chunked count, fed
  /// from the sample before the stretch (which it skips: the stretch before counts the move from
  /// it), whose levels start on a side only the stretch before it knows.
  bool opens_range = true;
};

/// Counts, level by level, the crossings of the load. The load is at or above a level L when
/// x >= L, below it when x < L; it crosses L upwards when it goes from below L to at or above
/// it. A sample exactly on L is above it.
///
/// The gate G >= 0 makes each level a switch with a band [L - G, L): each level is above or
/// below; it turns above (an upward crossing) when x >= L, and below (a downward crossing) when
/// x < L - G; inside the band it stays as it was. So the counts of a level alternate, and
/// after a crossing the level counts again only once the load has come back G beyond it:
///
///   L     ----/\/\/\/\/\------------/\/--   up 1: the wiggles under L - G don't count
///   L - G - -/- - - - - -\- - - - -/- - -   down 1 when the load leaves the band below
///
/// With G = 0 every crossing counts. A level starts above or below as the first sample is.
///
/// Without a gate (and with positive calibration factors) the samples are counted in blocks by
/// their raw values: each level L becomes the smallest raw value whose conversion reaches it, and
/// a sample's level index, the number of levels at or below it, follows from those thresholds by
/// arithmetic; a move between two indices crosses the levels between them. With a gate, only the
/// samples where the load passes a level or a band's lower edge, or reaches a raw value not seen
/// since it entered its cell, cost more than two compares; a monotone run counts as its two ends
/// would.
class LevelCrossingCounter {
 public:
  explicit LevelCrossingCounter(CrossingSetup setup);

  /// Feeds the next raw samples, in time order.
  void Feed(std::span<const double> raw_samples);

  /// Takes in the counts of `later`, a later stretch (opens_range false) fed from this one's
  /// last sample but one, as if this counter had been fed its samples too. With `adjacent`
  /// false (a cancelled pass, whose stretches need not meet) only the counts are added: no
  /// crossing is made up across the gap.
  void Join(const LevelCrossingCounter& later, bool adjacent = true);

  const CrossingSetup& setup() const { return setup_; }
  /// Upward and downward crossings of each level so far.
  const std::vector<int64_t>& up() const {
    Settle();
    return up_;
  }
  const std::vector<int64_t>& down() const {
    Settle();
    return down_;
  }
  /// Samples counted from, this counter's and those of the counters joined.
  int64_t samples_fed() const { return fed_; }

  /// The counts and the levels' states, for a count carried between processes.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  enum Side : uint8_t { kUnknown, kBelow, kAbove };
  enum Opening : uint8_t { kNone, kOpensUp, kOpensDown };

  void TurnAbove(size_t level);
  void TurnBelow(size_t level);
  void FindCell(double v);
  /// Feeds samples one by one: with a gate all of them.
  void FeedEach(std::span<const double> raw_samples);
  /// Without a gate: FeedEach between the counts by raw index, for the first sample, the one
  /// before a later stretch and a block that FeedBlock leaves.
  void FeedSlowly(std::span<const double> raw_samples);
  /// Without a gate: feeds a block of at most kBlock finite samples by their raw level indices,
  /// after the first sample; false, with nothing counted, when one of them is not finite.
  bool FeedBlock(std::span<const double> raw_samples);
  /// The raw level index of a finite raw value: how many levels its conversion reaches.
  template <bool kGuessWithinOne>
  size_t RawIndex(double raw) const;
  /// Sets up the raw thresholds of the levels (see raw_levels_).
  void SetUpRawLevels();

  CrossingSetup setup_;
  std::vector<double> band_low_;  // L - G
  double levels_inverse_ = 0.0;   // 1 / the mean spacing of the levels
  double band_inverse_ = 0.0;     // and of the bands' lower edges
  /// Adds the spans counted in `up_span_` and `down_span_` to the counts and, without a gate,
  /// sets each level's side from the last value (see Feed).
  void Settle() const;

  // Without a gate a move counts a whole span of levels: +1 at its first level and -1 past its
  // last one, added up by Settle(); the sides then follow from the last value alone.
  bool spans_ = false;
  mutable std::vector<int64_t> up_span_, down_span_;
  mutable bool unsettled_ = false;

  // Without a gate, counting by raw values. The level L becomes R_L, the smallest raw value r
  // with r / c2 / c1 >= L: the conversion never reverses the order of two values, so a raw value
  // reaches L exactly when it is at least R_L, and no sample needs converting.
  //
  //   raw_levels_:  -inf  R_0  R_1  ...  R_n-1  +inf      index k: R_k-1 <= raw < R_k
  //                  [0]  [1]  [2]       [n]    [n+1]     (k levels reached)
  static constexpr size_t kBlock = 1024;
  static constexpr size_t kLanes = 4;
  bool by_raw_ = false;
  // The guess (raw - R_0) x raw_inverse_ + 1 is never more than one level off (checked for every
  // cell once), so one step against the thresholds corrects it; otherwise R is searched.
  bool raw_guess_within_one_ = false;
  std::vector<double> raw_levels_;
  double raw_inverse_ = 0.0;
  size_t index_ = 0;  // raw level index of the last sample
  // A move between indices a and b crosses every level in [min, max) once: +1 in `lows_` at the
  // lower index, +1 in `highs_` at the upper one, each in lane (sample % kLanes), so that
  // neighbouring samples never wait on one counter. A level's crossings alternate, the first one
  // upwards when the load was below the level at `span_start_`, the index where these counts
  // began: Settle() splits them into up and down.
  mutable std::vector<int64_t> lows_, highs_;
  mutable size_t span_start_ = 0;
  bool cell_stale_ = false;  // the cell below was not followed by FeedBlock
  mutable std::vector<int64_t> up_, down_;
  mutable std::vector<uint8_t> side_;  // Side of each level
  // Of a later stretch: the level's first crossing, met before its side was known; it counts if
  // the stretch before left the level on the other side.
  std::vector<uint8_t> opening_;
  int64_t fed_ = 0;
  bool skip_first_ = false;
  double last_ = 0.0;
  // No level and no band edge lies in (cell_low_, cell_high_) and none but cell_low_ itself at
  // its ends: the load moves inside [cell_low_, cell_high_) without any level changing side.
  double cell_low_ = 0.0;
  double cell_high_ = 0.0;
  // Raw values already converted into the cell: none at first (an empty interval).
  double cell_raw_low_ = std::numeric_limits<double>::infinity();
  double cell_raw_high_ = -std::numeric_limits<double>::infinity();
};

}  // namespace torvwy::core
