// A 1-D numpy array of samples, read in place in chunks of doubles.
#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <functional>
#include <span>

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

}  // namespace torvwy::python
