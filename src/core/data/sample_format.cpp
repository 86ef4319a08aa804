// Conversion of raw samples to doubles for every known format.
#include "core/data/sample_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

template <typename T>
T LoadSample(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    // Waveform files are little-endian.
    char bytes[sizeof(T)];
    std::memcpy(bytes, p, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    std::memcpy(&value, bytes, sizeof(T));
  }
  return value;
}

// The scale of an integer format as one factor: numerator / denominator is exact (625 / 2^11,
// 625 / 2^12, 625 / 2^27), and so is s x numerator for every sample, so s x numerator /
// denominator and s x factor are the same exact value.
constexpr double kInt16Scale = 10000.0 / 32768.0;
constexpr double kInt16HalfScale = 5000.0 / 32768.0;
constexpr double kInt32Scale = 10000.0 / 2147483648.0;
static_assert(kInt16Scale * 32768.0 == 10000.0 && kInt16HalfScale * 32768.0 == 5000.0 &&
              kInt32Scale * 2147483648.0 == 10000.0);

// One loop per format, no dispatch per sample. On little-endian machines the samples are loaded
// as they lie (an unaligned load of the same bytes); with SSE2 four samples go at a time, and
// the conversions of int16, int32 and float to double are exact, so the lanes give what the
// scalar tail gives.
void ConvertInt16(double* out, const char* raw, size_t n, double scale) {
  size_t i = 0;
#if defined(__SSE2__)
  if constexpr (std::endian::native == std::endian::little) {
    const __m128d factor = _mm_set1_pd(scale);
    for (; i + 8 <= n; i += 8) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i * 2));
      // Sign-extend each int16 to int32: place it in the upper half, shift back arithmetically.
      const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
      const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
      _mm_storeu_pd(out + i, _mm_mul_pd(_mm_cvtepi32_pd(low), factor));
      _mm_storeu_pd(out + i + 2, _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(low, 8)), factor));
      _mm_storeu_pd(out + i + 4, _mm_mul_pd(_mm_cvtepi32_pd(high), factor));
      _mm_storeu_pd(out + i + 6, _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(high, 8)), factor));
    }
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<double>(LoadSample<int16_t>(raw + i * 2)) * scale;
}

void ConvertInt32(double* out, const char* raw, size_t n, double scale) {
  size_t i = 0;
#if defined(__SSE2__)
  if constexpr (std::endian::native == std::endian::little) {
    const __m128d factor = _mm_set1_pd(scale);
    for (; i + 4 <= n; i += 4) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i * 4));
      _mm_storeu_pd(out + i, _mm_mul_pd(_mm_cvtepi32_pd(s), factor));
      _mm_storeu_pd(out + i + 2, _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(s, 8)), factor));
    }
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<double>(LoadSample<int32_t>(raw + i * 4)) * scale;
}

void ConvertFloat32(double* out, const char* raw, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 4 <= n; i += 4) {
      const __m128 s = _mm_loadu_ps(reinterpret_cast<const float*>(raw + i * 4));
      _mm_storeu_pd(out + i, _mm_cvtps_pd(s));
      _mm_storeu_pd(out + i + 2, _mm_cvtps_pd(_mm_movehl_ps(s, s)));
    }
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<double>(LoadSample<float>(raw + i * 4));
}

void ConvertFloat64(double* out, const char* raw, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, raw, n * sizeof(double));
  } else {
    for (size_t i = 0; i < n; ++i) out[i] = LoadSample<double>(raw + i * 8);
  }
}

Error UnknownFormat(int32_t format) {
  return Fail(kMsgUnknownFormat, "unknown sample format code " + std::to_string(format));
}

}  // namespace

bool IsKnownFormat(int32_t format) {
  switch (format) {
    case kFormatFloatFs:
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16Half1:
    case kFormatInt16Half2:
    case kFormatInt32:
    case kFormatFloat32:
    case kFormatFloat64:
    case kFormatInt16:
      return true;
    default:
      return false;
  }
}

Result<int> GetSampleSize(int32_t format) {
  switch (format) {
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16Half1:
    case kFormatInt16Half2:
    case kFormatInt16:
      return 2;
    case kFormatInt32:
    case kFormatFloat32:
    case kFormatFloatFs:
      return 4;
    case kFormatFloat64:
      return 8;
    default:
      return UnknownFormat(format);
  }
}

Result<double> GetFormatFullScale(int32_t format) {
  if (!IsKnownFormat(format)) return UnknownFormat(format);
  return (format == kFormatInt16Half1 || format == kFormatInt16Half2) ? 5000.0 : 10000.0;
}

Status ConvertSamples(int32_t format, std::span<double> out, std::span<const char> raw,
                      ExtremePositions* positions) {
  auto size = GetSampleSize(format);
  if (!size) return size.error();
  const size_t n = raw.size() / static_cast<size_t>(*size);
  if (out.size() < n) return Fail(kMsgBadValue, "conversion buffer too small");
  switch (format) {
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16:
      ConvertInt16(out.data(), raw.data(), n, kInt16Scale);
      break;
    case kFormatInt16Half1:
    case kFormatInt16Half2:
      ConvertInt16(out.data(), raw.data(), n, kInt16HalfScale);
      break;
    case kFormatInt32:
      ConvertInt32(out.data(), raw.data(), n, kInt32Scale);
      break;
    case kFormatFloat32:
    case kFormatFloatFs:
      ConvertFloat32(out.data(), raw.data(), n);
      break;
    case kFormatFloat64:
      ConvertFloat64(out.data(), raw.data(), n);
      break;
    default:
      return UnknownFormat(format);
  }
  if (positions != nullptr) FindExtremePositions(out.first(n), positions);
  return Ok();
}

namespace {

#if defined(__SSE2__)
// Where the first of x[0..n) equal to `value` lies; `value` is one of them.
size_t FirstEqual(const double* x, size_t n, double value) {
  const __m128d v = _mm_set1_pd(value);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const int mask = _mm_movemask_pd(_mm_cmpeq_pd(_mm_loadu_pd(x + i), v)) |
                     (_mm_movemask_pd(_mm_cmpeq_pd(_mm_loadu_pd(x + i + 2), v)) << 2);
    if (mask != 0) return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
  while (x[i] != value) ++i;
  return i;
}
#endif

// The first largest and smallest of values free of NaN: the extremes by SSE2, then the first
// value equal to each (equal values include 0 and -0, which the scan treats alike too). False,
// and nothing found, when a NaN is among the values.
bool FindExtremesWithoutNaN(std::span<const double> values, ExtremePositions* positions) {
#if defined(__SSE2__)
  const double* x = values.data();
  const size_t n = values.size();
  if (n < 4) return false;
  __m128d high = _mm_loadu_pd(x);
  __m128d low = high;
  __m128d unordered = _mm_cmpunord_pd(high, high);
  size_t i = 2;
  for (; i + 2 <= n; i += 2) {
    const __m128d v = _mm_loadu_pd(x + i);
    high = _mm_max_pd(high, v);
    low = _mm_min_pd(low, v);
    unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(v, v));
  }
  if (i < n) {
    const __m128d v = _mm_set1_pd(x[i]);
    high = _mm_max_pd(high, v);
    low = _mm_min_pd(low, v);
    unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(v, v));
  }
  if (_mm_movemask_pd(unordered) != 0) return false;
  const double largest = std::max(_mm_cvtsd_f64(high), _mm_cvtsd_f64(_mm_unpackhi_pd(high, high)));
  const double smallest = std::min(_mm_cvtsd_f64(low), _mm_cvtsd_f64(_mm_unpackhi_pd(low, low)));
  positions->largest = static_cast<int64_t>(FirstEqual(x, n, largest));
  positions->smallest = static_cast<int64_t>(FirstEqual(x, n, smallest));
  return true;
#else
  (void)values;
  (void)positions;
  return false;
#endif
}

}  // namespace

void FindExtremePositions(std::span<const double> values, ExtremePositions* positions) {
  *positions = {};
  if (FindExtremesWithoutNaN(values, positions)) return;
  for (size_t i = 1; i < values.size(); ++i) {
    if (values[i] > values[static_cast<size_t>(positions->largest)]) {
      positions->largest = static_cast<int64_t>(i);
    }
    if (values[i] < values[static_cast<size_t>(positions->smallest)]) {
      positions->smallest = static_cast<int64_t>(i);
    }
  }
}

}  // namespace torvwy::core

namespace torvwy::core {
namespace {

template <typename T>
void AppendLe(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  out.append(bytes, sizeof(T));
}

template <typename T>
T ToInteger(double scaled) {
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (!(scaled >= lo)) return std::numeric_limits<T>::min();  // also NaN
  if (scaled >= hi) return std::numeric_limits<T>::max();
  return static_cast<T>(std::llround(scaled));
}

}  // namespace

Status EncodeSamples(int32_t format, std::span<const double> raw_values, std::string& out) {
  switch (format) {
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16:
      for (double v : raw_values) AppendLe(out, ToInteger<int16_t>(v * 32768.0 / 10000.0));
      return Ok();
    case kFormatInt16Half1:
    case kFormatInt16Half2:
      for (double v : raw_values) AppendLe(out, ToInteger<int16_t>(v * 32768.0 / 5000.0));
      return Ok();
    case kFormatInt32:
      for (double v : raw_values) AppendLe(out, ToInteger<int32_t>(v * 2147483648.0 / 10000.0));
      return Ok();
    case kFormatFloat32:
    case kFormatFloatFs:
      for (double v : raw_values) AppendLe(out, static_cast<float>(v));
      return Ok();
    case kFormatFloat64:
      for (double v : raw_values) AppendLe(out, v);
      return Ok();
    default:
      return UnknownFormat(format);
  }
}

Result<RawValueRange> GetRawValueRange(int32_t format) {
  switch (format) {
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16:
      return RawValueRange{-32768.0 * kInt16Scale, 32767.0 * kInt16Scale, kInt16Scale};
    case kFormatInt16Half1:
    case kFormatInt16Half2:
      return RawValueRange{-32768.0 * kInt16HalfScale, 32767.0 * kInt16HalfScale, kInt16HalfScale};
    case kFormatInt32:
      return RawValueRange{-2147483648.0 * kInt32Scale, 2147483647.0 * kInt32Scale, kInt32Scale};
    case kFormatFloat32:
    case kFormatFloatFs:
      return RawValueRange{-std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                           0.0};
    case kFormatFloat64:
      return RawValueRange{-std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                           0.0};
    default:
      return UnknownFormat(format);
  }
}

namespace {

// An integer format keeps a value that rounds (half away from 0, as llround) to one of its
// integers: s - 0.5 < scaled < s + 0.5 for s from the lowest to the highest. The scaling is the
// one EncodeSamples does, the reading back the one ConvertSamples does.
template <typename T>
StoredRawValue StoreInteger(double scaled, double step) {
  const double lowest = static_cast<double>(std::numeric_limits<T>::min());
  const double highest = static_cast<double>(std::numeric_limits<T>::max());
  return {static_cast<double>(ToInteger<T>(scaled)) * step,
          scaled > lowest - 0.5 && scaled < highest + 0.5};
}

}  // namespace

StoredRawValue StoreRawValue(int32_t format, double v) {
  switch (format) {
    case kFormatInt16A:
    case kFormatInt16B:
    case kFormatInt16:
      return StoreInteger<int16_t>(v * 32768.0 / 10000.0, kInt16Scale);
    case kFormatInt16Half1:
    case kFormatInt16Half2:
      return StoreInteger<int16_t>(v * 32768.0 / 5000.0, kInt16HalfScale);
    case kFormatInt32:
      return StoreInteger<int32_t>(v * 2147483648.0 / 10000.0, kInt32Scale);
    case kFormatFloat32:
    case kFormatFloatFs: {
      // Beyond the largest float the conversion is undefined: the value is clipped to it.
      constexpr double kLargest = std::numeric_limits<float>::max();
      if (!(std::fabs(v) <= kLargest))
        return {std::isnan(v) ? v : std::copysign(kLargest, v), false};
      return {static_cast<double>(static_cast<float>(v)), true};
    }
    default:
      return {v, std::isfinite(v)};
  }
}

}  // namespace torvwy::core
