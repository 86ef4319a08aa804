// TurningPointFinder: the peaks and valleys of samples fed in time order, found in bulk.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/count_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torvwy::core {

/// Bit j of `peaks` is set when x[j] is a peak, x[j] > x[j - 1] && x[j] >= x[j + 1], and bit j
/// of `valleys` when it is a valley, x[j] < x[j - 1] && x[j] <= x[j + 1]. Reads x[-1] to
/// x[count]; count is at most 64. A NaN is never a peak or a valley, nor next to one.
inline void MarkTurningPoints(const double* x, size_t count, uint64_t& peaks, uint64_t& valleys) {
  uint64_t p = 0;
  uint64_t v = 0;
  size_t j = 0;
#if defined(__SSE2__)
  // Two lanes per compare, two compares per step: four samples give four bits at a time.
  const auto marks = [x](size_t at, int& peak, int& valley) {
    const __m128d cur = _mm_loadu_pd(x + at);
    const __m128d prev = _mm_loadu_pd(x + at - 1);
    const __m128d next = _mm_loadu_pd(x + at + 1);
    peak = _mm_movemask_pd(_mm_and_pd(_mm_cmpgt_pd(cur, prev), _mm_cmpge_pd(cur, next)));
    valley = _mm_movemask_pd(_mm_and_pd(_mm_cmplt_pd(cur, prev), _mm_cmple_pd(cur, next)));
  };
  for (; j + 4 <= count; j += 4) {
    int peak_low = 0, valley_low = 0, peak_high = 0, valley_high = 0;
    marks(j, peak_low, valley_low);
    marks(j + 2, peak_high, valley_high);
    p |= static_cast<uint64_t>(peak_low | (peak_high << 2)) << j;
    v |= static_cast<uint64_t>(valley_low | (valley_high << 2)) << j;
  }
#endif
  for (; j < count; ++j) {
    p |= static_cast<uint64_t>((x[j] > x[j - 1]) & (x[j] >= x[j + 1])) << j;
    v |= static_cast<uint64_t>((x[j] < x[j - 1]) & (x[j] <= x[j + 1])) << j;
  }
  peaks = p;
  valleys = v;
}

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
      : separate_(separate), first_(kTurnSamples + 2), second_(kTurnSamples + 2) {}

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
      double* first = first_.data();
      double* second = second_.data();
      size_t first_count = first_count_;
      size_t second_count = second_count_;
      while (j < turn_end) {
        const size_t count = std::min<size_t>(64, turn_end - j);
        uint64_t peaks = 0;
        uint64_t valleys = 0;
        MarkTurningPoints(x + j, count, peaks, valleys);
        if (separate_) {
          first_count = Collect(x + j, peaks, first, first_count);
          second_count = Collect(x + j, valleys, second, second_count);
        } else {
          first_count = Collect(x + j, peaks | valleys, first, first_count);
        }
        j += count;
      }
      first_count_ = first_count;
      second_count_ = second_count;
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

  // Appends the samples whose bits are set, in time order; returns the new count.
  static size_t Collect(const double* x, uint64_t mask, double* list, size_t count) {
    while (mask != 0) {
      list[count++] = x[std::countr_zero(mask)];
      mask &= mask - 1;
    }
    return count;
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
