// Level crossing counting: how often the load crosses each of a set of levels, up and down.
#include "core/levels/level_crossing_counter.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "core/services/simd_level.h"

namespace torvwy::core {
namespace {

/// 1 / the mean spacing of `sorted`, for FirstAbove.
double InverseSpacing(std::span<const double> sorted) {
  const size_t n = sorted.size();
  return n < 2 ? 0.0 : static_cast<double>(n - 1) / (sorted[n - 1] - sorted[0]);
}

/// Index of the first entry of `sorted` above v: a guess from the entries' mean spacing (exact
/// for the evenly spaced partition edges, within a step or two of rounding), corrected against
/// the entries themselves; a binary search where the guess is far off (an uneven level list).
size_t FirstAbove(std::span<const double> sorted, double inverse_spacing, double v) {
  const size_t n = sorted.size();
  if (n < 2) return n == 1 && sorted[0] <= v ? 1 : 0;
  const double guess = (v - sorted[0]) * inverse_spacing + 1.0;
  size_t k = !(guess > 0.0) ? 0 : guess >= static_cast<double>(n) ? n : static_cast<size_t>(guess);
  for (int step = 0; step < 3; ++step) {
    if (k < n && sorted[k] <= v) {
      ++k;
    } else if (k > 0 && sorted[k - 1] > v) {
      --k;
    } else {
      return k;
    }
  }
  return static_cast<size_t>(std::upper_bound(sorted.begin(), sorted.end(), v) - sorted.begin());
}

/// The doubles in their order as integers (NaN aside): -0 and +0 share a key.
int64_t OrderKey(double x) {
  const auto bits = std::bit_cast<int64_t>(x);
  return bits < 0 ? -(bits & std::numeric_limits<int64_t>::max()) : bits;
}

double OfOrderKey(int64_t key) {
  return key < 0 ? -std::bit_cast<double>(-key) : std::bit_cast<double>(key);
}

/// The smallest raw value r with r / c2 / c1 >= level, for finite c1, c2 > 0 and a finite level;
/// +infinity when no finite raw value reaches it. The quotient never falls as r grows (each
/// division rounds a growing exact quotient), so the doubles are searched in their order.
double RawThreshold(double level, double c1, double c2) {
  // -infinity stays below the level, +infinity reaches it.
  int64_t below = OrderKey(-std::numeric_limits<double>::infinity());
  int64_t reaches = OrderKey(std::numeric_limits<double>::infinity());
  while (below + 1 < reaches) {
    const int64_t middle = std::midpoint(below, reaches);
    if (OfOrderKey(middle) / c2 / c1 >= level) {
      reaches = middle;
    } else {
      below = middle;
    }
  }
  return OfOrderKey(reaches);
}

/// The raw level index guessed from the thresholds' mean spacing, kept within [0, top]: never
/// falls as the raw value grows, every step of it is.
inline size_t RawGuess(double raw, double origin, double inverse, double top) {
  double t = (raw - origin) * inverse + 1.0;
  t = t > 0.0 ? t : 0.0;
  t = t < top ? t : top;
  return static_cast<size_t>(static_cast<int32_t>(t));
}

#if defined(__x86_64__)

/// The raw level indices of x[0..count) four at a time, each as RawGuess corrected by one step
/// against the padded thresholds `r` (see raw_levels_); returns where the scalar tail starts.
/// `finite` is cleared when a value is not finite (its index is then of no use).
__attribute__((target("avx2"))) size_t RawIndicesAvx2(const double* x, size_t count,
                                                      const double* r, double inverse, double top,
                                                      uint32_t* indices, bool& finite) {
  const __m256d origin_v = _mm256_set1_pd(r[1]);
  const __m256d inverse_v = _mm256_set1_pd(inverse);
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d top_v = _mm256_set1_pd(top);
  const __m256d largest = _mm256_set1_pd(std::numeric_limits<double>::max());
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  const __m256d every = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  __m256d all_finite = every;
  size_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const __m256d v = _mm256_loadu_pd(x + j);
    all_finite =
        _mm256_and_pd(all_finite, _mm256_cmp_pd(_mm256_and_pd(v, magnitude), largest, _CMP_LE_OQ));
    // As RawGuess: maxpd takes its second operand, 0, for a NaN.
    __m256d t = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, origin_v), inverse_v), one);
    t = _mm256_min_pd(_mm256_max_pd(t, _mm256_setzero_pd()), top_v);
    t = _mm256_round_pd(t, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m128i k = _mm256_cvttpd_epi32(t);
    // R_k-1 and R_k (the masked gather: the plain one leaves its source unset).
    const __m256d below = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), r, k, every, 8);
    const __m256d above = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), r + 1, k, every, 8);
    const __m256d step = _mm256_sub_pd(_mm256_and_pd(_mm256_cmp_pd(above, v, _CMP_LE_OQ), one),
                                       _mm256_and_pd(_mm256_cmp_pd(below, v, _CMP_GT_OQ), one));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(indices + j),
                     _mm256_cvttpd_epi32(_mm256_add_pd(t, step)));
  }
  finite = finite && _mm256_movemask_pd(all_finite) == 0xf;
  _mm256_zeroupper();
  return j;
}

#endif

}  // namespace

LevelCrossingCounter::LevelCrossingCounter(CrossingSetup setup) : setup_(std::move(setup)) {
  const size_t n = setup_.levels.size();
  band_low_.resize(n);
  for (size_t i = 0; i < n; ++i) band_low_[i] = setup_.levels[i] - setup_.gate;
  levels_inverse_ = InverseSpacing(setup_.levels);
  band_inverse_ = InverseSpacing(band_low_);
  up_.assign(n, 0);
  down_.assign(n, 0);
  spans_ = setup_.gate == 0.0;
  up_span_.assign(n + 1, 0);
  down_span_.assign(n + 1, 0);
  skip_first_ = !setup_.opens_range;
  side_.assign(n, kUnknown);
  opening_.assign(n, kNone);
  SetUpRawLevels();
}

void LevelCrossingCounter::SetUpRawLevels() {
  const std::vector<double>& levels = setup_.levels;
  const double c1 = setup_.c1;
  const double c2 = setup_.c2;
  const auto finite = [](double x) { return std::isfinite(x); };
  by_raw_ = spans_ && !levels.empty() && std::all_of(levels.begin(), levels.end(), finite) &&
            finite(c1) && finite(c2) && c1 > 0.0 && c2 > 0.0;
  if (!by_raw_) return;
  const size_t n = levels.size();
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  raw_levels_.assign(n + 2, kInfinity);
  raw_levels_[0] = -kInfinity;
  for (size_t i = 0; i < n; ++i) raw_levels_[i + 1] = RawThreshold(levels[i], c1, c2);
  const std::span<const double> r(raw_levels_.data() + 1, n);
  raw_inverse_ = InverseSpacing(r);
  lows_.assign((n + 1) * kLanes, 0);
  highs_.assign((n + 1) * kLanes, 0);

  // The guess and the index both never fall as the raw value grows, so the guess is within one
  // of the index everywhere when it is at both ends of each index's raw values [R_k-1, R_k)
  // (finite ones: a block holds no other).
  constexpr double kLargest = std::numeric_limits<double>::max();
  const double top = static_cast<double>(n);
  raw_guess_within_one_ = std::all_of(r.begin(), r.end(), finite) && finite(raw_inverse_) &&
                          raw_inverse_ > 0.0 && n < std::numeric_limits<int32_t>::max();
  for (size_t k = 0; k <= n && raw_guess_within_one_; ++k) {
    const double low = k == 0 ? -kLargest : r[k - 1];
    const double high = k == n ? kLargest : std::nextafter(r[k], -kInfinity);
    if (low > high) continue;  // two levels with one threshold: no raw value has index k
    raw_guess_within_one_ = RawGuess(low, r[0], raw_inverse_, top) + 1 >= k &&
                            RawGuess(high, r[0], raw_inverse_, top) <= k + 1;
  }
}

void LevelCrossingCounter::TurnAbove(size_t i) {
  if (side_[i] == kBelow) ++up_[i];
  if (side_[i] == kUnknown) opening_[i] = kOpensUp;
  side_[i] = kAbove;
}

void LevelCrossingCounter::TurnBelow(size_t i) {
  if (side_[i] == kAbove) ++down_[i];
  if (side_[i] == kUnknown) opening_[i] = kOpensDown;
  side_[i] = kBelow;
}

// Every side changes only where the load passes a level or a band's lower edge t (the tests are
// all v >= t): between the nearest edge at or below v and the nearest above it nothing happens.
void LevelCrossingCounter::FindCell(double v) {
  cell_low_ = -std::numeric_limits<double>::infinity();
  cell_high_ = std::numeric_limits<double>::infinity();
  for (const auto& [edges, inverse] :
       {std::pair{&setup_.levels, levels_inverse_}, std::pair{&band_low_, band_inverse_}}) {
    const size_t k = FirstAbove(*edges, inverse, v);
    if (k > 0) cell_low_ = std::max(cell_low_, (*edges)[k - 1]);
    if (k < edges->size()) cell_high_ = std::min(cell_high_, (*edges)[k]);
  }
}

void LevelCrossingCounter::Feed(std::span<const double> raw_samples) {
  if (!by_raw_) return FeedEach(raw_samples);
  std::span<const double> rest = raw_samples;
  // The first sample sets the levels' sides (past the sample before a later stretch).
  while (!rest.empty() && (skip_first_ || fed_ == 0)) {
    FeedSlowly(rest.first(1));
    rest = rest.subspan(1);
  }
  while (!rest.empty()) {
    const std::span<const double> block = rest.first(std::min(kBlock, rest.size()));
    rest = rest.subspan(block.size());
    // A NaN, which FeedEach takes, is followed by FeedEach too.
    if (std::isnan(last_) || !FeedBlock(block)) FeedSlowly(block);
  }
}

void LevelCrossingCounter::FeedSlowly(std::span<const double> raw_samples) {
  // FeedEach counts its spans in up_span_ and down_span_ from the cell of `last_`; the counts
  // by raw index go on from the index of its last value.
  Settle();
  if (cell_stale_) {
    FindCell(last_);
    cell_raw_low_ = std::numeric_limits<double>::infinity();
    cell_raw_high_ = -std::numeric_limits<double>::infinity();
    cell_stale_ = false;
  }
  FeedEach(raw_samples);
  Settle();
  index_ = span_start_ = FirstAbove(setup_.levels, levels_inverse_, last_);
}

template <bool kGuessWithinOne>
size_t LevelCrossingCounter::RawIndex(double raw) const {
  const double* r = raw_levels_.data();
  const size_t n = setup_.levels.size();
  if constexpr (kGuessWithinOne) {
    // One step: the index is k + 1 when R_k <= raw, k - 1 when R_k-1 > raw (never both).
    const size_t k = RawGuess(raw, r[1], raw_inverse_, static_cast<double>(n));
    return k + static_cast<size_t>(r[k + 1] <= raw) - static_cast<size_t>(r[k] > raw);
  } else {
    return FirstAbove(std::span<const double>(r + 1, n), raw_inverse_, raw);
  }
}

bool LevelCrossingCounter::FeedBlock(std::span<const double> raw_samples) {
  const size_t count = raw_samples.size();
  const double* x = raw_samples.data();
  // First every index, so that a block with a value that is not finite is left untouched.
  std::array<uint32_t, kBlock> indices;
  size_t vector_end = 0;
  bool finite = true;
  constexpr double kLargest = std::numeric_limits<double>::max();
  if (raw_guess_within_one_) {
#if defined(__x86_64__)
    if (ActiveSimdLevel() == SimdLevel::kAvx2) {
      vector_end =
          RawIndicesAvx2(x, count, raw_levels_.data(), raw_inverse_,
                         static_cast<double>(setup_.levels.size()), indices.data(), finite);
    }
#endif
    for (size_t j = vector_end; j < count; ++j) {
      finite &= std::fabs(x[j]) <= kLargest;
      indices[j] = static_cast<uint32_t>(RawIndex<true>(x[j]));
    }
  } else {
    for (size_t j = 0; j < count; ++j) {
      finite &= std::fabs(x[j]) <= kLargest;
      indices[j] = static_cast<uint32_t>(RawIndex<false>(x[j]));
    }
  }
  if (!finite) return false;

  // Every move, a span [lower, upper) of levels, counted in lanes; no branch on the load.
  int64_t* lows = lows_.data();
  int64_t* highs = highs_.data();
  size_t previous = index_;
  const auto move = [&](size_t k, size_t lane) {
    ++lows[std::min(previous, k) * kLanes + lane];
    ++highs[std::max(previous, k) * kLanes + lane];
    previous = k;
  };
  size_t j = 0;
  for (; j + kLanes <= count; j += kLanes) {
    static_assert(kLanes == 4);
    move(indices[j], 0);
    move(indices[j + 1], 1);
    move(indices[j + 2], 2);
    move(indices[j + 3], 3);
  }
  for (; j < count; ++j) move(indices[j], j % kLanes);
  index_ = previous;
  fed_ += static_cast<int64_t>(count);
  // The one value converted: the sides follow from it (Settle) and a later FeedEach from it.
  last_ = x[count - 1] / setup_.c2 / setup_.c1;
  unsettled_ = true;
  cell_stale_ = true;
  return true;
}

void LevelCrossingCounter::FeedEach(std::span<const double> raw_samples) {
  const std::vector<double>& levels = setup_.levels;
  for (const double raw : raw_samples) {
    if (skip_first_) {
      // The sample before the stretch: the stretch before it counts the move from it.
      skip_first_ = false;
      continue;
    }
    ++fed_;
    // A raw value between two raw values already found in the cell converts into the cell too:
    // the conversion, a division by each factor, never reverses the order of two values.
    if (raw >= cell_raw_low_ && raw <= cell_raw_high_) continue;
    const double v = raw / setup_.c2 / setup_.c1;
    if (fed_ == 1) {
      for (size_t i = 0; i < levels.size(); ++i) {
        if (setup_.opens_range) {
          side_[i] = v >= levels[i] ? kAbove : kBelow;
        } else if (v >= levels[i]) {
          TurnAbove(i);
        } else if (v < band_low_[i]) {
          TurnBelow(i);
        }
      }
    } else if (v >= cell_low_ && v < cell_high_) {
      cell_raw_low_ = std::min(cell_raw_low_, raw);
      cell_raw_high_ = std::max(cell_raw_high_, raw);
      continue;
    } else if (spans_) {
      // Every level is on the side of the last value: the levels in (last, v] or (v, last] all
      // cross, one span.
      const bool rise = v > last_;
      const size_t first = FirstAbove(levels, levels_inverse_, rise ? last_ : v);
      const size_t end = FirstAbove(levels, levels_inverse_, rise ? v : last_);
      std::vector<int64_t>& span = rise ? up_span_ : down_span_;
      ++span[first];
      --span[end];
      unsettled_ = true;
    } else if (v > last_) {
      // The levels in (last, v] are reached.
      for (size_t i = FirstAbove(levels, levels_inverse_, last_),
                  end = FirstAbove(levels, levels_inverse_, v);
           i < end; ++i) {
        TurnAbove(i);
      }
    } else {
      // The bands whose lower edge lies in (v, last] are left below.
      for (size_t i = FirstAbove(band_low_, band_inverse_, v),
                  end = FirstAbove(band_low_, band_inverse_, last_);
           i < end; ++i) {
        TurnBelow(i);
      }
    }
    // A new cell: `last_` stands for every value in it (each finds the same levels above it).
    last_ = v;
    FindCell(v);
    cell_raw_low_ = cell_raw_high_ = raw;
  }
}

void LevelCrossingCounter::Settle() const {
  if (!unsettled_) return;
  int64_t up = 0, down = 0, crossed = 0;
  for (size_t i = 0; i < up_.size(); ++i) {
    up += up_span_[i];
    down += down_span_[i];
    up_[i] += up;
    down_[i] += down;
    up_span_[i] = down_span_[i] = 0;
    if (by_raw_) {
      // The moves whose span [lower, upper) holds level i: lower <= i < upper.
      for (size_t lane = 0; lane < kLanes; ++lane) {
        crossed += lows_[i * kLanes + lane] - highs_[i * kLanes + lane];
        lows_[i * kLanes + lane] = highs_[i * kLanes + lane] = 0;
      }
      // Level i lay above the load at index span_start_ <= i: its first crossing is upwards.
      const int64_t rising = span_start_ <= i ? (crossed + 1) / 2 : crossed / 2;
      up_[i] += rising;
      down_[i] += crossed - rising;
    }
    side_[i] = last_ >= setup_.levels[i] ? kAbove : kBelow;
  }
  up_span_.back() = down_span_.back() = 0;
  if (by_raw_) {
    std::fill(lows_.end() - kLanes, lows_.end(), 0);
    std::fill(highs_.end() - kLanes, highs_.end(), 0);
    span_start_ = index_;
  }
  unsettled_ = false;
}

void LevelCrossingCounter::Join(const LevelCrossingCounter& later, bool adjacent) {
  Settle();
  later.Settle();
  if (later.fed_ == 0) return;
  if (!adjacent) {
    for (size_t i = 0; i < up_.size(); ++i) {
      up_[i] += later.up_[i];
      down_[i] += later.down_[i];
    }
    fed_ += later.fed_;
    return;
  }
  if (fed_ == 0) {
    *this = later;
    return;
  }
  for (size_t i = 0; i < up_.size(); ++i) {
    // The later stretch's first crossing of a level, met blind, counts when this stretch left the
    // level on the other side; when this one doesn't know either, it stays open.
    if (later.opening_[i] == kOpensUp) TurnAbove(i);
    if (later.opening_[i] == kOpensDown) TurnBelow(i);
    up_[i] += later.up_[i];
    down_[i] += later.down_[i];
    if (later.side_[i] != kUnknown) side_[i] = later.side_[i];
  }
  fed_ += later.fed_;
  last_ = later.last_;
  index_ = span_start_ = later.index_;
  cell_stale_ = later.cell_stale_;
  cell_low_ = later.cell_low_;
  cell_high_ = later.cell_high_;
  cell_raw_low_ = later.cell_raw_low_;
  cell_raw_high_ = later.cell_raw_high_;
}

void LevelCrossingCounter::SaveState(CountStateWriter& out) const {
  Settle();
  out.Int(fed_);
  out.Double(last_);
  out.Ints(up_);
  out.Ints(down_);
  out.Ints(side_);
  out.Ints(opening_);
}

bool LevelCrossingCounter::LoadState(CountStateReader& in) {
  const auto n = static_cast<int64_t>(setup_.levels.size());
  const int64_t fed = in.Int(0, std::numeric_limits<int64_t>::max());
  const double last = in.Double();
  auto up = in.Ints<int64_t>(n);
  auto down = in.Ints<int64_t>(n);
  const auto side = in.Ints<int64_t>(n);
  const auto opening = in.Ints<int64_t>(n);
  const auto counts_ok = [](const std::vector<int64_t>& c) {
    return std::all_of(c.begin(), c.end(), [](int64_t x) { return x >= 0; });
  };
  const auto at_most = [](const std::vector<int64_t>& f, int64_t most) {
    return std::all_of(f.begin(), f.end(), [most](int64_t x) { return x >= 0 && x <= most; });
  };
  if (!in.ok() || !counts_ok(up) || !counts_ok(down) || !at_most(side, kAbove) ||
      !at_most(opening, kOpensDown) || !std::isfinite(last)) {
    return in.Fail();
  }
  fed_ = fed;
  skip_first_ = skip_first_ && fed == 0;
  last_ = last;
  up_ = std::move(up);
  down_ = std::move(down);
  side_.assign(side.begin(), side.end());
  opening_.assign(opening.begin(), opening.end());
  if (fed_ > 0) FindCell(last_);
  std::fill(up_span_.begin(), up_span_.end(), 0);
  std::fill(down_span_.begin(), down_span_.end(), 0);
  std::fill(lows_.begin(), lows_.end(), 0);
  std::fill(highs_.begin(), highs_.end(), 0);
  index_ = span_start_ = FirstAbove(setup_.levels, levels_inverse_, last_);
  cell_stale_ = false;
  unsettled_ = false;
  // The raw values of the cell are learnt again from the next samples.
  cell_raw_low_ = std::numeric_limits<double>::infinity();
  cell_raw_high_ = -std::numeric_limits<double>::infinity();
  return true;
}

}  // namespace torvwy::core
