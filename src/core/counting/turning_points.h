// TurningPointFinder: the peaks and valleys of samples fed in time order, found in bulk.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/count_state.h"

namespace torvwy::core {

/// How many values two lists of turning points hold.
struct TurningPointCounts {
  size_t first = 0;
  size_t second = 0;
};

/// Room a list needs past its last turning point for CollectTurningPoints to write into.
inline constexpr size_t kCollectSlack = 4;

/// Appends the turning points of x[0..count) to lists that already hold `counts`, in time order:
/// the peaks, x[j] > x[j - 1] && x[j] >= x[j + 1], to `first` and the valleys, x[j] < x[j - 1]
/// && x[j] <= x[j + 1], to `second`; with `second` null both go to `first`. Returns the new
/// counts. Reads x[-1] to x[count]; a NaN is never a peak or a valley, nor next to one. Each list
/// needs room for kCollectSlack values past its new end (written, not counted). Uses the
/// ActiveSimdLevel(); every level gives the same lists.
TurningPointCounts CollectTurningPoints(const double* x, size_t count, double* first,
                                        double* second, TurningPointCounts counts);

/// Where the direction of a load reverses, for rainflow counting: with p the sample before x[j]
/// (`previous` for j = 0), the step of x[j] is +1 when x[j] > p, -1 when x[j] < p, else 0 (a
/// NaN included). A step of -direction makes p a turning point, appended to `out`; a step that
/// is not 0 becomes the direction. `direction` must be +1 or -1 and is left as the last one.
/// Returns the number of turning points; `out` needs room for count + kCollectSlack values. Uses
/// the ActiveSimdLevel(); every level gives the same list.
size_t CollectReversals(const double* x, size_t count, double previous, int& direction,
                        double* out);

/// Finds the turning points of samples fed in time order, in pieces of any size. Every sample is
/// tested against its true neighbours, so the first and the last sample fed are never tested:
///
///   fed:     x0 x1 x2 | x3 x4 | x5 ...      held between feeds: the last two samples
///   tested:     x1 x2   x3 x4   ...
///
/// With `separate` the peaks and the valleys come in two lists; otherwise all turning points
/// come in one list in time order. Lists are handed on in turns of at most a few thousand values.
class TurningPointFinder {
 public:
  explicit TurningPointFinder(bool separate)
      : separate_(separate),
        first_(kTurnSamples + 2 + kCollectSlack),
        second_(kTurnSamples + 2 + kCollectSlack) {}

  /// Feeds the next samples; calls sink(first, second) with the values found (first: peaks, or
  /// all turning points; second: valleys, or empty). The lists may be changed by the sink.
  template <typename Sink>
  void Feed(std::span<const double> samples, Sink&& sink) {
    const double* x = samples.data();
    const size_t size = samples.size();
    size_t i = 0;
    for (; i < size && held_ < 2; ++i, ++held_) {
      previous_ = current_;
      current_ = x[i];
    }
    if (i == size) return;
    first_count_ = second_count_ = 0;
    // The held sample against its next, then x[i] against the held one and x[i + 1]; the rest
    // of the piece has both neighbours inside it.
    Test(previous_, current_, x[i]);
    if (i + 1 < size) Test(current_, x[i], x[i + 1]);
    for (size_t j = i + 1; j + 1 < size;) {
      const size_t turn_end = std::min(size - 1, j + kTurnSamples);
      const TurningPointCounts counts =
          CollectTurningPoints(x + j, turn_end - j, first_.data(),
                               separate_ ? second_.data() : nullptr, {first_count_, second_count_});
      first_count_ = counts.first;
      second_count_ = counts.second;
      j = turn_end;
      Hand(sink);
    }
    Hand(sink);
    if (size - i >= 2) {
      previous_ = x[size - 2];
      current_ = x[size - 1];
    } else {
      previous_ = current_;
      current_ = x[i];
    }
  }

  /// The samples held between feeds, for a count carried between processes.
  void SaveState(CountStateWriter& out) const {
    out.Int(held_);
    out.Double(previous_);
    out.Double(current_);
  }
  bool LoadState(CountStateReader& in) {
    held_ = static_cast<int>(in.Int(0, 2));
    previous_ = in.Double();
    current_ = in.Double();
    return in.ok();
  }

 private:
  static constexpr size_t kTurnSamples = 4096;

  void Test(double prev, double cur, double next) {
    if (cur > prev && cur >= next) {
      first_[first_count_++] = cur;
    } else if (cur < prev && cur <= next) {
      auto& list = separate_ ? second_ : first_;
      auto& count = separate_ ? second_count_ : first_count_;
      list[count++] = cur;
    }
  }

  template <typename Sink>
  void Hand(Sink& sink) {
    if (first_count_ == 0 && second_count_ == 0) return;
    sink(std::span<double>(first_.data(), first_count_),
         std::span<double>(second_.data(), second_count_));
    first_count_ = second_count_ = 0;
  }

  bool separate_;
  int held_ = 0;  // samples held so far, up to 2: previous_ and current_
  double previous_ = 0.0;
  double current_ = 0.0;
  std::vector<double> first_;
  std::vector<double> second_;
  size_t first_count_ = 0;
  size_t second_count_ = 0;
};

}  // namespace torvwy::core
