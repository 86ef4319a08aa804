// Sample formats of waveform files: sizes, full scales and conversion to raw values.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/services/result.h"

namespace torvwy::core {

/// Format codes. Raw values are in the format's own units; v / c2 / c1 is the value in EU.
enum SampleFormat : int32_t {
  kFormatNone = 0,          ///< no data
  kFormatFloatFs = 111,     ///< float32, full scale from the sampling parameters (GetFullScale)
  kFormatInt16A = 706,      ///< int16, s * 10000 / 32768
  kFormatInt16B = 712,      ///< int16, s * 10000 / 32768
  kFormatInt16Half1 = 861,  ///< int16, s * 5000 / 32768
  kFormatInt16Half2 = 863,  ///< int16, s * 5000 / 32768
  kFormatInt32 = 872,       ///< int32, s * 10000 / 2^31
  kFormatFloat32 = 885,     ///< float32, the value itself
  kFormatFloat64 = 886,     ///< float64, the value itself
  kFormatInt16 = 951,       ///< int16, s * 10000 / 32768
};

/// True for a format code this system can read (0, "no data", is not one).
bool IsKnownFormat(int32_t format);

/// Bytes per sample of a known format; an error for an unknown one.
Result<int> GetSampleSize(int32_t format);

/// Full scale (raw units) of a format by its own definition: 5000 for 861/863, 10000 for the
/// others; an error for an unknown format. Format 111 takes its full scale from the node.
Result<double> GetFormatFullScale(int32_t format);

/// Positions (0-based within the converted samples) of the first largest and first smallest.
struct ExtremePositions {
  int64_t largest = 0;
  int64_t smallest = 0;
};

/// Where the largest and the smallest of `values` lie (the first of equals); 0 and 0 when empty.
void FindExtremePositions(std::span<const double> values, ExtremePositions* positions);

/// Converts raw.size() / sample size little-endian samples into raw values (not yet divided
/// by the calibration factors). `out` must hold that many doubles. When `positions` is given
/// it receives where the largest and the smallest value lie.
Status ConvertSamples(int32_t format, std::span<double> out, std::span<const char> raw,
                      ExtremePositions* positions = nullptr);

}  // namespace torvwy::core

namespace torvwy::core {

/// Encodes raw values into little-endian samples of a known format (the inverse of
/// ConvertSamples): integer formats round to the nearest step and clamp to their range.
/// Appends to `out`.
Status EncodeSamples(int32_t format, std::span<const double> raw_values, std::string& out);

/// The raw values a known format holds: integer formats from their lowest step to their
/// highest (-10000 to 9999.6948 for 951), float formats up to their largest finite value.
struct RawValueRange {
  double lowest = 0;
  double highest = 0;
  double step = 0;  ///< raw units from one integer to the next; 0 for float formats
};
Result<RawValueRange> GetRawValueRange(int32_t format);

/// What a raw value becomes when a known format stores it, as EncodeSamples and ConvertSamples
/// make it: `value` is what reads back, `in_range` is false when the format has to clip it
/// (integer formats: it rounds beyond the lowest or the highest step; float formats: it is
/// beyond the largest finite value, or not a number).
struct StoredRawValue {
  double value = 0;
  bool in_range = true;
};
StoredRawValue StoreRawValue(int32_t format, double raw_value);

}  // namespace torvwy::core
