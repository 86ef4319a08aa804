// Reading a numpy array of samples in place.
#include "sample_array.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "binding_support.h"
#include "core/data/block_span.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/services/message_table.h"

namespace torvwy::python {
namespace py = pybind11;

SampleArray::SampleArray(const py::array& array) {
  if (array.ndim() != 1) throw py::value_error("the samples must be a 1-D array");
  const py::dtype type = array.dtype();
  kind_ = type.kind();
  item_size_ = static_cast<int>(type.itemsize());
  const bool known = (kind_ == 'f' && (item_size_ == 8 || item_size_ == 4)) ||
                     (kind_ == 'i' && (item_size_ == 2 || item_size_ == 4));
  const auto order = type.attr("byteorder").cast<std::string>();
  if (!known || order == ">") {
    throw py::value_error("the samples must be float64, float32, int16 or int32, not " +
                          type.attr("name").cast<std::string>());
  }
  data_ = static_cast<const char*>(array.data());
  size_ = array.shape(0);
  stride_ = array.strides(0);
}

namespace {

template <typename T>
double At(const char* base, int64_t stride, int64_t i) {
  T value;
  std::memcpy(&value, base + i * stride, sizeof(T));
  return static_cast<double>(value);
}

}  // namespace

void SampleArray::ForEachChunk(int64_t first, int64_t count,
                               const std::function<bool(std::span<const double>)>& sink,
                               int64_t chunk) const {
  const int64_t end = std::min(size_, first + count);
  if (kind_ == 'f' && item_size_ == 8 && stride_ == 8) {
    const auto* values = reinterpret_cast<const double*>(data_);
    for (int64_t i = first; i < end; i += chunk) {
      const int64_t n = std::min(chunk, end - i);
      if (!sink({values + i, static_cast<size_t>(n)})) return;
    }
    return;
  }
  std::vector<double> buffer(
      static_cast<size_t>(std::min(chunk, std::max<int64_t>(end - first, 1))));
  for (int64_t i = first; i < end; i += chunk) {
    const int64_t n = std::min(chunk, end - i);
    for (int64_t j = 0; j < n; ++j) {
      double& out = buffer[static_cast<size_t>(j)];
      if (kind_ == 'f') {
        out =
            item_size_ == 8 ? At<double>(data_, stride_, i + j) : At<float>(data_, stride_, i + j);
      } else {
        out = item_size_ == 2 ? At<int16_t>(data_, stride_, i + j)
                              : At<int32_t>(data_, stride_, i + j);
      }
    }
    if (!sink({buffer.data(), static_cast<size_t>(n)})) return;
  }
}

double SampleArray::LargestMagnitude() const {
  double largest = 0.0;
  ForEachChunk(0, size_, [&largest](std::span<const double> values) {
    for (const double v : values) {
      if (std::fabs(v) > largest) largest = std::fabs(v);
    }
    return true;
  });
  return largest;
}

int64_t SampleArray::FirstNonFinite() const {
  if (kind_ == 'i') return -1;
  int64_t index = 0;
  int64_t found = -1;
  ForEachChunk(0, size_, [&](std::span<const double> values) {
    for (const double v : values) {
      if (!std::isfinite(v)) {
        found = index;
        return false;
      }
      ++index;
    }
    return true;
  });
  return found;
}

void CheckCountable(const SampleArray& samples) {
  if (samples.size() < 2) {
    throw py::value_error("the array holds " + std::to_string(samples.size()) +
                          (samples.size() == 1 ? " value" : " values") +
                          "; counting needs two or more");
  }
  if (const int64_t bad = samples.FirstNonFinite(); bad >= 0) {
    throw py::value_error("the value at index " + std::to_string(bad) + " is not a finite number");
  }
}

core::SamplingInfo ArrayInfo(int64_t samples, double largest_magnitude,
                             std::optional<double> frequency_hz,
                             std::optional<double> full_scale_eu, const std::string& unit) {
  if (frequency_hz && (!(*frequency_hz > 0.0) || !std::isfinite(*frequency_hz))) {
    Raise(core::Fail(core::kMsgBadValue, "the sampling frequency must be a number > 0"));
  }
  core::SamplingInfo info;
  info.set_format(core::kFormatFloat64);
  info.set_frequency_hz(frequency_hz ? *frequency_hz : 1.0);
  info.set_c2(1.0);
  if (full_scale_eu) {
    if (!(*full_scale_eu > 0.0) || !std::isfinite(*full_scale_eu)) {
      Raise(core::Fail(core::kMsgBadValue, "the full scale must be a number > 0"));
    }
    info.set_c1(*core::GetFormatFullScale(core::kFormatFloat64) / *full_scale_eu);
  } else {
    info.set_c1(core::ImportC1(core::kFormatFloat64, largest_magnitude, 1.0));
  }
  info.set_eu(unit);
  info.set_text1("torvwy import");
  info.set_text2("numpy array");
  SetArrayLength(info, samples);
  return info;
}

void SetArrayLength(core::SamplingInfo& info, int64_t samples) {
  const int64_t blocks = core::CountableBlocks(samples);
  if (blocks > std::numeric_limits<int32_t>::max() / 2) {
    Raise(core::Fail(core::kMsgBadValue, "the array is too long for one record"));
  }
  info.set_length_half_blocks(static_cast<int32_t>(2 * blocks));
}

}  // namespace torvwy::python
