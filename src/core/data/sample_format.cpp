// Conversion of raw samples to doubles for every known format.
#include "core/data/sample_format.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

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

template <typename T>
void ConvertScaled(double* out, const char* raw, size_t n, double numerator, double denominator) {
  for (size_t i = 0; i < n; ++i) {
    out[i] = static_cast<double>(LoadSample<T>(raw + i * sizeof(T))) * numerator / denominator;
  }
}

template <typename T>
void ConvertPlain(double* out, const char* raw, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<double>(LoadSample<T>(raw + i * sizeof(T)));
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
      ConvertScaled<int16_t>(out.data(), raw.data(), n, 10000.0, 32768.0);
      break;
    case kFormatInt16Half1:
    case kFormatInt16Half2:
      ConvertScaled<int16_t>(out.data(), raw.data(), n, 5000.0, 32768.0);
      break;
    case kFormatInt32:
      ConvertScaled<int32_t>(out.data(), raw.data(), n, 10000.0, 2147483648.0);
      break;
    case kFormatFloat32:
    case kFormatFloatFs:
      ConvertPlain<float>(out.data(), raw.data(), n);
      break;
    case kFormatFloat64:
      ConvertPlain<double>(out.data(), raw.data(), n);
      break;
    default:
      return UnknownFormat(format);
  }
  if (positions != nullptr) {
    *positions = {};
    for (size_t i = 1; i < n; ++i) {
      if (out[i] > out[static_cast<size_t>(positions->largest)]) {
        positions->largest = static_cast<int64_t>(i);
      }
      if (out[i] < out[static_cast<size_t>(positions->smallest)]) {
        positions->smallest = static_cast<int64_t>(i);
      }
    }
  }
  return Ok();
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

}  // namespace torvwy::core
