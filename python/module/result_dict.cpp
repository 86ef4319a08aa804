// Result records as Python dicts, by the same walks of their fields as the JSON printer.
#include "result_dict.h"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/fatigue/mean_correction.h"
#include "core/files/result_fields.h"
#include "output/result_output.h"

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

  /// Integers as int64, doubles as float64: a NaN stays NaN and an infinity (a life where the
  /// curve does no damage) infinite; the JSON has null for both.
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
      for (size_t i = 0; i < values.size(); ++i) out[i] = values[i];
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

/// Fills in the fields of a JSON object that are missing.
class JsonFiller {
 public:
  explicit JsonFiller(nlohmann::ordered_json& object) : object_(object) {}
  bool Has(const char* key) const { return object_.contains(key); }
  void Erase(const char* key) { object_.erase(key); }
  void Value(const char* key, double value) {
    if (std::isfinite(value)) {
      object_[key] = value;
    } else {
      object_[key] = nullptr;
    }
  }
  void Value(const char* key, std::string_view value) { object_[key] = std::string(value); }

 private:
  nlohmann::ordered_json& object_;
};

/// Fills in the fields of a dict that are missing.
class DictFiller {
 public:
  explicit DictFiller(py::dict& object) : object_(object) {}
  bool Has(const char* key) const { return object_.contains(key); }
  void Erase(const char* key) {
    if (object_.contains(key)) PyDict_DelItemString(object_.ptr(), key);
  }
  void Value(const char* key, double value) {
    object_[key] = std::isfinite(value) ? py::object(py::float_(value)) : py::object(py::none());
  }
  void Value(const char* key, std::string_view value) {
    object_[key] = py::str(value.data(), value.size());
  }

 private:
  py::dict& object_;
};

/// The fields of the curve and the correction an estimate used, where they are not the weld
/// class of old, for a field walk that doesn't give them: a curve other than a weld class has
/// no class and d but its name and unit; a correction adds the curve, its name, Su and
/// Walker's gamma (none where the correction has none). A walk that gives "curve" is taken as
/// it is.
template <typename Filler>
void FillChoiceFields(const core::FatigueResult& fatigue, Filler& f) {
  const core::MeanCorrection& correction = fatigue.correction;
  const bool corrected = correction.kind != core::MeanCorrectionKind::kNone;
  if (f.Has("curve") || (fatigue.curve.is_weld_class() && !corrected)) return;
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  if (!fatigue.curve.is_weld_class()) {
    f.Erase("class");
    f.Erase("d");
  }
  f.Value("curve", std::string_view(fatigue.curve.name));
  f.Value("curve_unit", std::string_view(fatigue.curve.unit));
  if (corrected) {
    f.Value("mean_correction", core::MeanCorrectionName(correction.kind));
    f.Value("ultimate", correction.ultimate > 0.0 ? correction.ultimate : kNone);
    f.Value("walker_gamma",
            correction.kind == core::MeanCorrectionKind::kWalker ? correction.walker_gamma : kNone);
  }
}

template <typename Record, typename Walk>
py::dict DictOf(const Record& record, Walk walk) {
  DictFields fields;
  walk(record, fields);
  return fields.Take();
}

}  // namespace

py::dict PeakDict(const core::PeakCountResult& result) {
  return DictOf(result, core::VisitPeakFields<DictFields>);
}

py::dict RangeDict(const core::RangeCountResult& result) {
  return DictOf(
      result, [](const core::RangeCountResult& r, DictFields& f) { core::VisitRangeFields(r, f); });
}

py::dict RainflowDict(const core::RainflowResult& result) {
  return DictOf(result, core::VisitRainflowFields<DictFields>);
}

py::dict FatigueDict(const core::FatigueResult& fatigue) {
  py::dict object = DictOf(fatigue, core::VisitFatigueFields<DictFields>);
  DictFiller filler(object);
  FillChoiceFields(fatigue, filler);
  return object;
}

nlohmann::ordered_json FatigueObject(const core::FatigueResult& fatigue) {
  nlohmann::ordered_json object = output::FatigueJson(fatigue);
  JsonFiller filler(object);
  FillChoiceFields(fatigue, filler);
  return object;
}

py::tuple CyclesTuple(const std::vector<core::RainflowCycle>& cycles, int64_t offset) {
  const auto n = static_cast<py::ssize_t>(cycles.size());
  py::array_t<double> range(n), mean(n), count(n);
  py::array_t<int64_t> start(n), end(n);
  py::array_t<double> from(n), to(n);
  auto f = from.mutable_unchecked<1>();
  auto t = to.mutable_unchecked<1>();
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
    f(i) = cycle.from;
    t(i) = cycle.to;
  }
  return py::make_tuple(range, mean, count, start, end, from, to);
}

}  // namespace torvwy::python
