// Conversion of raw samples to doubles for every known format.
#include "core/data/sample_format.h"

#include <bit>
#include <cstring>
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
