// The proven partition guess in scalar code, SSE2 (two values a step) and AVX2 (four).
#include "core/counting/partition_kernel.h"

#include <cmath>

#include "core/services/simd_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace torvwy::core {
namespace {

// Partition trunc(g) when g lies in [0, N) and its fraction is kProvenMargin or more from 0 and
// from 1; a NaN is never proven.
inline bool Proven(double g, double partitions, int32_t& k) {
  if (!((g >= 0.0) & (g < partitions))) return false;
  k = static_cast<int32_t>(g);
  const double fraction = g - k;  // exact: g and trunc(g) share their leading bits
  return (fraction >= kProvenMargin) & (fraction <= 1.0 - kProvenMargin);
}

uint64_t GuessScalar(const double* x, size_t begin, size_t count, const PartitionGuess& guess,
                     int32_t* two_way, int32_t* one_way) {
  uint64_t proven = 0;
  const int32_t lanes = guess.lanes;
  for (size_t j = begin; j < count; ++j) {
    const double v = x[j];
    int32_t k2 = 0;
    int32_t k1 = 0;
    bool ok = (v <= guess.a) & (v >= -guess.a);
    ok &= Proven((v + guess.a) * guess.two_way_scale, guess.partitions, k2);
    ok &= Proven(std::fabs(v) * guess.one_way_scale, guess.partitions, k1);
    const auto lane = static_cast<int32_t>(j % static_cast<size_t>(lanes));
    two_way[j] = k2 * lanes + lane;
    one_way[j] = k1 * lanes + lane;
    proven |= static_cast<uint64_t>(ok) << j;
  }
  return proven;
}

#if defined(__x86_64__)

uint64_t GuessSse2(const double* x, size_t count, const PartitionGuess& guess, int32_t* two_way,
                   int32_t* one_way) {
  if (guess.lanes != 4) return GuessScalar(x, 0, count, guess, two_way, one_way);
  const __m128d a = _mm_set1_pd(guess.a);
  const __m128d minus_a = _mm_set1_pd(-guess.a);
  const __m128d two_way_scale = _mm_set1_pd(guess.two_way_scale);
  const __m128d one_way_scale = _mm_set1_pd(guess.one_way_scale);
  const __m128d zero = _mm_setzero_pd();
  const __m128d n = _mm_set1_pd(guess.partitions);
  const __m128d low = _mm_set1_pd(kProvenMargin);
  const __m128d high = _mm_set1_pd(1.0 - kProvenMargin);
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
  const __m128i lanes[2] = {_mm_set_epi32(0, 0, 1, 0), _mm_set_epi32(0, 0, 3, 2)};
  const auto proven = [&](__m128d g, __m128i& k) {
    k = _mm_cvttpd_epi32(g);
    const __m128d fraction = _mm_sub_pd(g, _mm_cvtepi32_pd(k));
    return _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(g, zero), _mm_cmplt_pd(g, n)),
                      _mm_and_pd(_mm_cmpge_pd(fraction, low), _mm_cmple_pd(fraction, high)));
  };
  uint64_t bits = 0;
  size_t j = 0;
  for (; j + 2 <= count; j += 2) {
    const __m128d v = _mm_loadu_pd(x + j);
    __m128i k2;
    __m128i k1;
    __m128d ok = _mm_and_pd(_mm_cmple_pd(v, a), _mm_cmpge_pd(v, minus_a));
    ok = _mm_and_pd(ok, proven(_mm_mul_pd(_mm_add_pd(v, a), two_way_scale), k2));
    ok = _mm_and_pd(ok, proven(_mm_mul_pd(_mm_and_pd(v, magnitude), one_way_scale), k1));
    bits |= static_cast<uint64_t>(_mm_movemask_pd(ok)) << j;
    const __m128i lane = lanes[(j >> 1) & 1];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(two_way + j),
                     _mm_add_epi32(_mm_slli_epi32(k2, 2), lane));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(one_way + j),
                     _mm_add_epi32(_mm_slli_epi32(k1, 2), lane));
  }
  return bits | GuessScalar(x, j, count, guess, two_way, one_way);
}

// The mask of the guesses g proven, with their partitions in k.
__attribute__((target("avx2"), always_inline)) inline __m256d ProvenAvx2(__m256d g, __m256d n,
                                                                         __m128i& k) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d low = _mm256_set1_pd(kProvenMargin);
  const __m256d high = _mm256_set1_pd(1.0 - kProvenMargin);
  k = _mm256_cvttpd_epi32(g);
  const __m256d fraction = _mm256_sub_pd(g, _mm256_cvtepi32_pd(k));
  return _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(g, zero, _CMP_GE_OQ), _mm256_cmp_pd(g, n, _CMP_LT_OQ)),
      _mm256_and_pd(_mm256_cmp_pd(fraction, low, _CMP_GE_OQ),
                    _mm256_cmp_pd(fraction, high, _CMP_LE_OQ)));
}

__attribute__((target("avx2"))) uint64_t GuessAvx2(const double* x, size_t count,
                                                   const PartitionGuess& guess, int32_t* two_way,
                                                   int32_t* one_way) {
  if (guess.lanes != 4) return GuessScalar(x, 0, count, guess, two_way, one_way);
  const __m256d a = _mm256_set1_pd(guess.a);
  const __m256d minus_a = _mm256_set1_pd(-guess.a);
  const __m256d two_way_scale = _mm256_set1_pd(guess.two_way_scale);
  const __m256d one_way_scale = _mm256_set1_pd(guess.one_way_scale);
  const __m256d n = _mm256_set1_pd(guess.partitions);
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  const __m128i lanes = _mm_set_epi32(3, 2, 1, 0);
  uint64_t bits = 0;
  size_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const __m256d v = _mm256_loadu_pd(x + j);
    __m128i k2;
    __m128i k1;
    __m256d ok =
        _mm256_and_pd(_mm256_cmp_pd(v, a, _CMP_LE_OQ), _mm256_cmp_pd(v, minus_a, _CMP_GE_OQ));
    ok = _mm256_and_pd(ok, ProvenAvx2(_mm256_mul_pd(_mm256_add_pd(v, a), two_way_scale), n, k2));
    ok = _mm256_and_pd(
        ok, ProvenAvx2(_mm256_mul_pd(_mm256_and_pd(v, magnitude), one_way_scale), n, k1));
    bits |= static_cast<uint64_t>(_mm256_movemask_pd(ok)) << j;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(two_way + j),
                     _mm_add_epi32(_mm_slli_epi32(k2, 2), lanes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(one_way + j),
                     _mm_add_epi32(_mm_slli_epi32(k1, 2), lanes));
  }
  // The upper halves of the vector registers are cleared before the plain code that follows:
  // left dirty, every later SSE instruction of the pass (and of the caller) waits on them, and
  // the compiler does not clear them before this call by itself.
  _mm256_zeroupper();
  return bits | GuessScalar(x, j, count, guess, two_way, one_way);
}

#endif

}  // namespace

uint64_t GuessProvenPartitions(const double* x, size_t count, const PartitionGuess& guess,
                               int32_t* two_way, int32_t* one_way) {
#if defined(__x86_64__)
  switch (ActiveSimdLevel()) {
    case SimdLevel::kAvx2:
      return GuessAvx2(x, count, guess, two_way, one_way);
    case SimdLevel::kSse2:
      return GuessSse2(x, count, guess, two_way, one_way);
    case SimdLevel::kScalar:
      break;
  }
#endif
  return GuessScalar(x, 0, count, guess, two_way, one_way);
}

}  // namespace torvwy::core
