// A 1-D numpy array of samples, read in place in chunks of doubles.
#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/data/sampling_info.h"

namespace torvwy::python {

/// The memory of a 1-D float64, float32, int16 or int32 array, taken while the GIL is held so
/// that it can be read with the GIL released (the caller keeps the array alive).
class SampleArray {
 public:
  /// Throws ValueError for another shape or type.
  explicit SampleArray(const pybind11::array& array);

  int64_t size() const { return size_; }
  /// Largest |value| (NaN skipped); 0 for an empty array.
  double LargestMagnitude() const;
  /// Index of the first NaN or infinite value; -1 when every value is finite.
  int64_t FirstNonFinite() const;
  /// Hands the values to `sink` in time order as doubles, at most `chunk` at a time: a
  /// contiguous float64 array in place, any other through one small buffer. Stops early when
  /// `sink` returns false.
  void ForEachChunk(int64_t first, int64_t count,
                    const std::function<bool(std::span<const double>)>& sink,
                    int64_t chunk = 65536) const;

 private:
  const char* data_ = nullptr;
  int64_t size_ = 0;
  int64_t stride_ = 0;  // bytes
  char kind_ = 'f';
  int item_size_ = 8;
};

/// Refuses (ValueError) an array that can't be counted: fewer than two values, or a value that
/// is not a finite number, named by its index.
void CheckCountable(const SampleArray& samples);

/// Sampling record of an array of `samples` values: float64 values, c2 = 1, c1 from the full
/// scale in EU when one is given, else the import's own choice for `largest_magnitude`; the
/// frequency when one is given, else 1 Hz, so that every time of the result is a sample number.
/// The record's length is the array's blocks (SetArrayLength). CoreError for a frequency or full
/// scale that is not a number > 0.
core::SamplingInfo ArrayInfo(int64_t samples, double largest_magnitude,
                             std::optional<double> frequency_hz,
                             std::optional<double> full_scale_eu, const std::string& unit);

/// Sets the record's length to the blocks of `samples` values, the last one partial: its
/// counting ends at the last value. CoreError when the record would be too long.
void SetArrayLength(core::SamplingInfo& info, int64_t samples);

}  // namespace torvwy::python
