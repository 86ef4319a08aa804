// Result records as Python dicts, by the same walks of their fields as the JSON printer.
#include "result_dict.h"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

#include "output/result_fields.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

/// Builds the dict of a walk of result fields.
class DictFields {
 public:
  void Value(const char* key, bool value) { object_[key] = py::bool_(value); }
  void Value(const char* key, int32_t value) { object_[key] = py::int_(value); }
  /// None where the JSON has null.
  void Value(const char* key, double value) {
    object_[key] = std::isfinite(value) ? py::object(py::float_(value)) : py::object(py::none());
  }
  void Value(const char* key, std::string_view value) {
    object_[key] = py::str(value.data(), value.size());
  }

  /// Integers as int64, doubles as float64 with every non-finite value NaN (the JSON's null).
  template <typename T>
  void Values(const char* key, std::span<const T> values) {
    const auto n = static_cast<py::ssize_t>(values.size());
    if constexpr (std::is_integral_v<T>) {
      py::array_t<int64_t> array(n);
      int64_t* out = array.mutable_data();
      for (size_t i = 0; i < values.size(); ++i) out[i] = values[i];
      object_[key] = std::move(array);
    } else {
      py::array_t<double> array(n);
      double* out = array.mutable_data();
      for (size_t i = 0; i < values.size(); ++i) {
        out[i] = std::isfinite(values[i]) ? values[i] : std::numeric_limits<double>::quiet_NaN();
      }
      object_[key] = std::move(array);
    }
  }

  template <typename Walk>
  void Object(const char* key, const Walk& walk) {
    py::dict outer = object_;
    object_ = py::dict();
    walk(*this);
    outer[key] = object_;
    object_ = std::move(outer);
  }

  py::dict Take() { return std::move(object_); }

 private:
  py::dict object_;
};

template <typename Record, typename Walk>
py::dict DictOf(const Record& record, Walk walk) {
  DictFields fields;
  walk(record, fields);
  return fields.Take();
}

}  // namespace

py::dict PeakDict(const core::PeakCountResult& result) {
  return DictOf(result, output::VisitPeakFields<DictFields>);
}

py::dict RangeDict(const core::RangeCountResult& result) {
  return DictOf(result, output::VisitRangeFields<DictFields>);
}

py::dict RainflowDict(const core::RainflowResult& result) {
  return DictOf(result, output::VisitRainflowFields<DictFields>);
}

py::dict FatigueDict(const core::FatigueResult& fatigue) {
  return DictOf(fatigue, output::VisitFatigueFields<DictFields>);
}

py::tuple CyclesTuple(const std::vector<core::RainflowCycle>& cycles, int64_t offset) {
  const auto n = static_cast<py::ssize_t>(cycles.size());
  py::array_t<double> range(n), mean(n), count(n);
  py::array_t<int64_t> start(n), end(n);
  auto r = range.mutable_unchecked<1>();
  auto m = mean.mutable_unchecked<1>();
  auto c = count.mutable_unchecked<1>();
  auto s = start.mutable_unchecked<1>();
  auto e = end.mutable_unchecked<1>();
  for (py::ssize_t i = 0; i < n; ++i) {
    const auto& cycle = cycles[static_cast<size_t>(i)];
    r(i) = cycle.range;
    m(i) = cycle.mean;
    c(i) = cycle.count;
    s(i) = cycle.start + offset;
    e(i) = cycle.end + offset;
  }
  return py::make_tuple(range, mean, count, start, end);
}

}  // namespace torvwy::python
