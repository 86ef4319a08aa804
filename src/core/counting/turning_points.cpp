// Marking turning points in scalar code, SSE2 (two samples a compare) and AVX2 (four).
#include "core/counting/turning_points.h"

#include "core/counting/simd_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace torvwy::core {
namespace {

void MarkScalar(const double* x, size_t begin, size_t count, uint64_t* peaks, uint64_t* valleys) {
  for (size_t j = begin; j < count; ++j) {
    const uint64_t bit = uint64_t{1} << (j % 64);
    if ((x[j] > x[j - 1]) & (x[j] >= x[j + 1])) peaks[j / 64] |= bit;
    if ((x[j] < x[j - 1]) & (x[j] <= x[j + 1])) valleys[j / 64] |= bit;
  }
}

#if defined(__x86_64__)

// Whole steps of four samples; returns where the scalar tail starts.
size_t MarkSse2(const double* x, size_t count, uint64_t* peaks, uint64_t* valleys) {
  size_t j = 0;
  for (; j + 4 <= count; j += 4) {
    int peak = 0;
    int valley = 0;
    for (size_t half = 0; half < 4; half += 2) {
      const __m128d cur = _mm_loadu_pd(x + j + half);
      const __m128d prev = _mm_loadu_pd(x + j + half - 1);
      const __m128d next = _mm_loadu_pd(x + j + half + 1);
      peak |= _mm_movemask_pd(_mm_and_pd(_mm_cmpgt_pd(cur, prev), _mm_cmpge_pd(cur, next))) << half;
      valley |= _mm_movemask_pd(_mm_and_pd(_mm_cmplt_pd(cur, prev), _mm_cmple_pd(cur, next)))
                << half;
    }
    peaks[j / 64] |= static_cast<uint64_t>(peak) << (j % 64);
    valleys[j / 64] |= static_cast<uint64_t>(valley) << (j % 64);
  }
  return j;
}

// Whole steps of eight samples; returns where the scalar tail starts.
__attribute__((target("avx2"))) size_t MarkAvx2(const double* x, size_t count, uint64_t* peaks,
                                                uint64_t* valleys) {
  size_t j = 0;
  for (; j + 8 <= count; j += 8) {
    int peak = 0;
    int valley = 0;
    for (size_t half = 0; half < 8; half += 4) {
      const __m256d cur = _mm256_loadu_pd(x + j + half);
      const __m256d prev = _mm256_loadu_pd(x + j + half - 1);
      const __m256d next = _mm256_loadu_pd(x + j + half + 1);
      peak |= _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(cur, prev, _CMP_GT_OQ),
                                               _mm256_cmp_pd(cur, next, _CMP_GE_OQ)))
              << half;
      valley |= _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(cur, prev, _CMP_LT_OQ),
                                                 _mm256_cmp_pd(cur, next, _CMP_LE_OQ)))
                << half;
    }
    peaks[j / 64] |= static_cast<uint64_t>(peak) << (j % 64);
    valleys[j / 64] |= static_cast<uint64_t>(valley) << (j % 64);
  }
  return j;
}

#endif

}  // namespace

void MarkTurningPoints(const double* x, size_t count, uint64_t* peaks, uint64_t* valleys) {
  const size_t words = (count + 63) / 64;
  for (size_t w = 0; w < words; ++w) peaks[w] = valleys[w] = 0;
  size_t j = 0;
#if defined(__x86_64__)
  switch (ActiveSimdLevel()) {
    case SimdLevel::kAvx2:
      j = MarkAvx2(x, count, peaks, valleys);
      break;
    case SimdLevel::kSse2:
      j = MarkSse2(x, count, peaks, valleys);
      break;
    case SimdLevel::kScalar:
      break;
  }
#endif
  MarkScalar(x, j, count, peaks, valleys);
}

}  // namespace torvwy::core
