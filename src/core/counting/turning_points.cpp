// Collecting turning points in scalar code, SSE2 (two samples a compare) and AVX2 (four): each
// step stores all its samples and moves the end of a list by the number that are turning
// points, so that no branch depends on the load.
#include "core/counting/turning_points.h"

#include <algorithm>
#include <array>

#include "core/services/simd_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace torvwy::core {
namespace {

// The number of set bits of each 4-bit mask.
constexpr std::array<uint8_t, 16> kBitCounts = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

template <bool kSeparate>
TurningPointCounts CollectScalar(const double* x, size_t begin, size_t count, double* first,
                                 double* second, TurningPointCounts n) {
  for (size_t j = begin; j < count; ++j) {
    const double cur = x[j];
    const bool peak = (cur > x[j - 1]) & (cur >= x[j + 1]);
    const bool valley = (cur < x[j - 1]) & (cur <= x[j + 1]);
    first[n.first] = cur;
    if constexpr (kSeparate) {
      n.first += peak;
      second[n.second] = cur;
      n.second += valley;
    } else {
      n.first += peak | valley;
    }
  }
  return n;
}

#if defined(__x86_64__)

// Per 2-bit mask: all ones where the high sample moves down to the low lane (mask 2: only the
// high sample is kept).
inline __m128d KeepHighOnly(int mask) {
  return _mm_castsi128_pd(_mm_set1_epi64x(mask == 2 ? -1 : 0));
}

// The samples of `v` whose bits are set, first, stored at list (two values are written).
inline size_t StoreSet2(__m128d v, int mask, double* list, size_t n) {
  const __m128d select = KeepHighOnly(mask);
  const __m128d packed =
      _mm_or_pd(_mm_and_pd(select, _mm_unpackhi_pd(v, v)), _mm_andnot_pd(select, v));
  _mm_storeu_pd(list + n, packed);
  return n + kBitCounts[static_cast<size_t>(mask)];
}

// Whole steps of two samples; returns the counts and, through `end`, where the scalar tail starts.
template <bool kSeparate>
TurningPointCounts CollectSse2(const double* x, size_t count, double* first, double* second,
                               TurningPointCounts n, size_t& end) {
  size_t j = 0;
  for (; j + 2 <= count; j += 2) {
    const __m128d cur = _mm_loadu_pd(x + j);
    const __m128d prev = _mm_loadu_pd(x + j - 1);
    const __m128d next = _mm_loadu_pd(x + j + 1);
    const int peak = _mm_movemask_pd(_mm_and_pd(_mm_cmpgt_pd(cur, prev), _mm_cmpge_pd(cur, next)));
    const int valley =
        _mm_movemask_pd(_mm_and_pd(_mm_cmplt_pd(cur, prev), _mm_cmple_pd(cur, next)));
    if constexpr (kSeparate) {
      n.first = StoreSet2(cur, peak, first, n.first);
      n.second = StoreSet2(cur, valley, second, n.second);
    } else {
      n.first = StoreSet2(cur, peak | valley, first, n.first);
    }
  }
  end = j;
  return n;
}

// For each 4-bit mask, the 32-bit lanes that move the set samples of four to the front.
struct Permutes {
  alignas(32) int32_t lanes[16][8];
};
constexpr Permutes MakePermutes() {
  Permutes p{};
  for (int mask = 0; mask < 16; ++mask) {
    int out = 0;
    for (int sample = 0; sample < 4; ++sample) {
      if ((mask >> sample) & 1) {
        p.lanes[mask][2 * out] = 2 * sample;
        p.lanes[mask][2 * out + 1] = 2 * sample + 1;
        ++out;
      }
    }
  }
  return p;
}
constexpr Permutes kPermutes = MakePermutes();

__attribute__((target("avx2"))) inline size_t StoreSet4(__m256d v, int mask, double* list,
                                                        size_t n) {
  const __m256i lanes = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPermutes.lanes[mask]));
  const __m256 packed = _mm256_permutevar8x32_ps(_mm256_castpd_ps(v), lanes);
  _mm256_storeu_pd(list + n, _mm256_castps_pd(packed));
  return n + kBitCounts[static_cast<size_t>(mask)];
}

// Whole steps of four samples; returns the counts and, through `end`, where the scalar tail
// starts.
template <bool kSeparate>
__attribute__((target("avx2"))) TurningPointCounts CollectAvx2(const double* x, size_t count,
                                                               double* first, double* second,
                                                               TurningPointCounts n, size_t& end) {
  size_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const __m256d cur = _mm256_loadu_pd(x + j);
    const __m256d prev = _mm256_loadu_pd(x + j - 1);
    const __m256d next = _mm256_loadu_pd(x + j + 1);
    const int peak = _mm256_movemask_pd(
        _mm256_and_pd(_mm256_cmp_pd(cur, prev, _CMP_GT_OQ), _mm256_cmp_pd(cur, next, _CMP_GE_OQ)));
    const int valley = _mm256_movemask_pd(
        _mm256_and_pd(_mm256_cmp_pd(cur, prev, _CMP_LT_OQ), _mm256_cmp_pd(cur, next, _CMP_LE_OQ)));
    if constexpr (kSeparate) {
      n.first = StoreSet4(cur, peak, first, n.first);
      n.second = StoreSet4(cur, valley, second, n.second);
    } else {
      n.first = StoreSet4(cur, peak | valley, first, n.first);
    }
  }
  // The scalar tail runs on plain SSE registers: clear the upper halves first.
  _mm256_zeroupper();
  end = j;
  return n;
}

#endif

template <bool kSeparate>
TurningPointCounts Collect(const double* x, size_t count, double* first, double* second,
                           TurningPointCounts n) {
  size_t j = 0;
#if defined(__x86_64__)
  switch (ActiveSimdLevel()) {
    case SimdLevel::kAvx2:
      n = CollectAvx2<kSeparate>(x, count, first, second, n, j);
      break;
    case SimdLevel::kSse2:
      n = CollectSse2<kSeparate>(x, count, first, second, n, j);
      break;
    case SimdLevel::kScalar:
      break;
  }
#endif
  return CollectScalar<kSeparate>(x, j, count, first, second, n);
}

size_t ReversalsScalar(const double* x, size_t begin, size_t count, double previous, int& direction,
                       double* out, size_t found) {
  double prev = begin == 0 ? previous : x[begin - 1];
  int d = direction;
  for (size_t j = begin; j < count; ++j) {
    const double cur = x[j];
    const int step = static_cast<int>(cur > prev) - static_cast<int>(cur < prev);
    out[found] = prev;
    found += static_cast<size_t>(step + d == 0);
    d = step != 0 ? step : d;
    prev = cur;
  }
  direction = d;
  return found;
}

#if defined(__x86_64__)

// Steps of two samples while every step is up or down: the step of sample j reverses when it
// differs from the one before (bit j of `up` against bit j - 1, the direction below bit 0); a
// step of 0 or a NaN ends the loop. Returns the count; `end` is where it stopped.
size_t ReversalsSse2(const double* x, size_t count, double previous, int& direction, double* out,
                     size_t& end) {
  size_t found = 0;
  int rising = direction > 0 ? 1 : 0;
  size_t j = 0;
  if (count >= 2) {
    __m128d prev = _mm_set_pd(x[0], previous);
    for (; j + 2 <= count;) {
      const __m128d cur = _mm_loadu_pd(x + j);
      const int up = _mm_movemask_pd(_mm_cmpgt_pd(cur, prev));
      const int down = _mm_movemask_pd(_mm_cmplt_pd(cur, prev));
      if ((up | down) != 3) break;
      const int reversed = (up ^ ((up << 1) | rising)) & 3;
      found = StoreSet2(prev, reversed, out, found);
      rising = up >> 1;
      j += 2;
      if (j + 2 <= count) prev = _mm_loadu_pd(x + j - 1);
    }
  }
  direction = rising != 0 ? 1 : -1;
  end = j;
  return found;
}

// As ReversalsSse2, four samples a step.
__attribute__((target("avx2"))) size_t ReversalsAvx2(const double* x, size_t count, double previous,
                                                     int& direction, double* out, size_t& end) {
  size_t found = 0;
  int rising = direction > 0 ? 1 : 0;
  size_t j = 0;
  if (count >= 4) {
    __m256d prev = _mm256_set_pd(x[2], x[1], x[0], previous);
    for (; j + 4 <= count;) {
      const __m256d cur = _mm256_loadu_pd(x + j);
      const int up = _mm256_movemask_pd(_mm256_cmp_pd(cur, prev, _CMP_GT_OQ));
      const int down = _mm256_movemask_pd(_mm256_cmp_pd(cur, prev, _CMP_LT_OQ));
      if ((up | down) != 15) break;
      const int reversed = (up ^ ((up << 1) | rising)) & 15;
      found = StoreSet4(prev, reversed, out, found);
      rising = up >> 3;
      j += 4;
      if (j + 4 <= count) prev = _mm256_loadu_pd(x + j - 1);
    }
  }
  _mm256_zeroupper();
  direction = rising != 0 ? 1 : -1;
  end = j;
  return found;
}

#endif

}  // namespace

size_t CollectReversals(const double* x, size_t count, double previous, int& direction,
                        double* out) {
  size_t found = 0;
  size_t j = 0;
  // A vector step that meets a step of 0 (or a NaN) leaves it, and the samples up to 8 on, to the
  // scalar loop; then the vector loop goes on.
  while (j < count) {
    size_t end = 0;
    size_t got = 0;
    const double before = j == 0 ? previous : x[j - 1];
#if defined(__x86_64__)
    switch (ActiveSimdLevel()) {
      case SimdLevel::kAvx2:
        got = ReversalsAvx2(x + j, count - j, before, direction, out + found, end);
        break;
      case SimdLevel::kSse2:
        got = ReversalsSse2(x + j, count - j, before, direction, out + found, end);
        break;
      case SimdLevel::kScalar:
        return ReversalsScalar(x, j, count, previous, direction, out, found);
    }
#else
    return ReversalsScalar(x, j, count, previous, direction, out, found);
#endif
    found += got;
    j += end;
    if (j >= count) break;
    // A few samples one by one, past the step of 0, then the vector loop again.
    const size_t stop = std::min(count, j + 8);
    found = ReversalsScalar(x, j, stop, previous, direction, out, found);
    j = stop;
  }
  return found;
}

TurningPointCounts CollectTurningPoints(const double* x, size_t count, double* first,
                                        double* second, TurningPointCounts counts) {
  return second != nullptr ? Collect<true>(x, count, first, second, counts)
                           : Collect<false>(x, count, first, nullptr, counts);
}

}  // namespace torvwy::core
