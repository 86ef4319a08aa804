// S-N curves, the choice of an estimate, cycle lists and damage-equivalent loads for Python.
#include "fatigue_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "binding_support.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/mean_correction.h"
#include "core/fatigue/sn_class_table.h"
#include "core/fatigue/sn_curve.h"
#include "core/services/message_table.h"
#include "result_dict.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

/// The index of reliability factor d, ValueError for a d the table doesn't hold.
int32_t ReliabilityIndex(double d) {
  for (size_t i = 0; i < core::kReliabilityFactors.size(); ++i) {
    if (core::kReliabilityFactors[i].d == d) return static_cast<int32_t>(i);
  }
  throw py::value_error("reliability " + py::str(py::float_(d)).cast<std::string>() +
                        " is not one of 0 0.5 1 2 3");
}

/// The shortest text that reads back as `value` ("inf" and "nan" for those, which the curve
/// reader refuses by name).
std::string NumberText(double value) {
  char text[32];
  const auto done = std::to_chars(text, text + sizeof(text), value);
  return std::string(text, done.ptr);
}

/// Refuses a name or unit that the text outputs couldn't show on one line.
void CheckLabel(const std::string& text, const char* what) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      throw py::value_error(std::string(what) + " must be one line of printable text");
    }
  }
}

/// A curve from its pieces, checked as a curve file is: the numbers go through the curve
/// file's reader, the name and unit are taken as they are.
core::SnCurve CurveOfPieces(double reference_range, double reference_cycles, double slope,
                            std::optional<double> knee_cycles, std::optional<double> slope2,
                            std::optional<double> cutoff_cycles, const std::string& unit,
                            const std::string& name) {
  CheckLabel(unit, "unit");
  CheckLabel(name, "name");
  std::string text = "[Curve]\nReferenceRange=" + NumberText(reference_range) +
                     "\nReferenceCycles=" + NumberText(reference_cycles) +
                     "\nSlope=" + NumberText(slope) + "\n";
  if (knee_cycles) text += "KneeCycles=" + NumberText(*knee_cycles) + "\n";
  if (slope2) text += "Slope2=" + NumberText(*slope2) + "\n";
  if (cutoff_cycles) text += "CutoffCycles=" + NumberText(*cutoff_cycles) + "\n";
  core::SnCurve curve = TakeValue(core::ParseSnCurveText(text, "user curve"));
  if (!name.empty()) curve.name = name;
  curve.unit = unit;
  return curve;
}

std::string_view KindName(core::SnCurveKind kind) {
  switch (kind) {
    case core::SnCurveKind::kWeldClass:
      return "weld_class";
    case core::SnCurveKind::kDetailCategory:
      return "detail_category";
    case core::SnCurveKind::kFile:
      break;
  }
  return "file";
}

/// N(S) of every value of `ranges`, in an array of its shape.
py::array_t<double> CyclesToFailure(
    const core::SnCurve& curve,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& ranges) {
  py::array_t<double> out(std::vector<py::ssize_t>(ranges.shape(), ranges.shape() + ranges.ndim()));
  const double* in = ranges.data();
  double* lives = out.mutable_data();
  const py::ssize_t n = ranges.size();
  {
    py::gil_scoped_release release;
    for (py::ssize_t i = 0; i < n; ++i) lives[i] = curve.CyclesToFailure(in[i]);
  }
  return out;
}

/// What an estimate is asked for, checked before anything is counted.
core::FatigueChoice MakeChoice(const std::string& method, const core::SnCurve& curve,
                               const std::string& correction, std::optional<double> ultimate,
                               std::optional<double> walker_gamma) {
  core::FatigueChoice choice;
  if (method == "fitting") {
    choice.method = core::FatigueMethod::kFitting;
  } else if (method != "actual") {
    throw py::value_error("fatigue method \"" + method + "\" is neither actual nor fitting");
  }
  choice.curve = curve;
  choice.correction.kind = TakeValue(core::ParseMeanCorrectionName(correction));
  if (ultimate) choice.correction.ultimate = *ultimate;
  if (walker_gamma) choice.correction.walker_gamma = *walker_gamma;
  if (ultimate && !(*ultimate > 0.0 && std::isfinite(*ultimate))) {
    throw py::value_error("ultimate must be a number > 0");
  }
  if (auto checked = core::CheckMeanCorrection(choice.correction); !checked) {
    RaiseValue(checked.error());
  }
  if (choice.correction.kind != core::MeanCorrectionKind::kNone &&
      choice.method == core::FatigueMethod::kFitting) {
    throw py::value_error(
        "a mean correction works on the counted cycles: it needs method=\"actual\"");
  }
  return choice;
}

/// The cycles of two columns, refused when a range or count is not a finite number >= 0.
std::vector<core::RainflowCycle> CyclesOf(
    const py::array_t<double, py::array::c_style | py::array::forcecast>& ranges,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& counts) {
  if (ranges.ndim() != 1 || counts.ndim() != 1 || ranges.size() != counts.size()) {
    throw py::value_error("the cycles' ranges and counts must be 1-D and of one length");
  }
  std::vector<core::RainflowCycle> cycles(static_cast<size_t>(ranges.size()));
  for (size_t i = 0; i < cycles.size(); ++i) {
    const double range = ranges.data()[i];
    const double count = counts.data()[i];
    if (!(range >= 0.0 && std::isfinite(range)) || !(count >= 0.0 && std::isfinite(count))) {
      throw py::value_error("cycle " + std::to_string(i) +
                            ": its range and count must be finite numbers >= 0");
    }
    cycles[i].range = range;
    cycles[i].count = count;
  }
  return cycles;
}

}  // namespace

void RaiseValue(const core::Error& error) {
  if (error.message == core::kMsgBadValue) throw py::value_error(ErrorMessage(error));
  Raise(error);
}

void BindFatigue(py::module_& m) {
  py::class_<core::SnCurve>(m, "SnCurve")
      .def_property_readonly("kind", [](const core::SnCurve& c) { return KindName(c.kind); })
      .def_readonly("name", &core::SnCurve::name)
      .def_readonly("unit", &core::SnCurve::unit)
      .def_readonly("slope", &core::SnCurve::slope)
      .def_readonly("reference_range", &core::SnCurve::reference_range)
      .def_readonly("reference_cycles", &core::SnCurve::reference_cycles)
      .def_readonly("knee_cycles", &core::SnCurve::knee_cycles)
      .def_readonly("slope2", &core::SnCurve::slope2)
      .def_readonly("cutoff_cycles", &core::SnCurve::cutoff_cycles)
      .def_readonly("category", &core::SnCurve::category)
      .def_property_readonly("knee_range", &core::SnCurve::knee_range)
      .def_property_readonly("cutoff_range", &core::SnCurve::cutoff_range)
      .def_property_readonly(
          "weld_class",
          [](const core::SnCurve& c) -> std::optional<std::string> {
            if (!c.is_weld_class()) return std::nullopt;
            return std::string(core::kSnClassTable[static_cast<size_t>(c.class_index)].name);
          })
      .def_property_readonly(
          "reliability",
          [](const core::SnCurve& c) -> std::optional<double> {
            if (!c.is_weld_class()) return std::nullopt;
            return core::kReliabilityFactors[static_cast<size_t>(c.reliability_index)].d;
          })
      .def("cycles_to_failure", &CyclesToFailure);

  m.def("sn_curve_choice", [](const std::string& text, double reliability) {
    return TakeValue(core::ParseCurveChoice(text, ReliabilityIndex(reliability)));
  });
  m.def("sn_curve_file",
        [](const std::string& path) { return TakeValue(core::ReadSnCurveFile(path)); });
  m.def("sn_curve_pieces", &CurveOfPieces);
  m.def("weld_class_curve", [](int32_t class_index, double reliability) {
    return TakeValue(core::WeldClassCurve(class_index, ReliabilityIndex(reliability)));
  });

  py::class_<core::FatigueChoice>(m, "FatigueChoice")
      .def_property_readonly("method",
                             [](const core::FatigueChoice& c) {
                               return c.method == core::FatigueMethod::kFitting ? "fitting"
                                                                                : "actual";
                             })
      .def_readonly("curve", &core::FatigueChoice::curve)
      .def_property_readonly("mean_correction",
                             [](const core::FatigueChoice& c) {
                               return std::string(core::MeanCorrectionName(c.correction.kind));
                             })
      .def_property_readonly("needs_cycles",
                             [](const core::FatigueChoice& c) {
                               return c.correction.kind != core::MeanCorrectionKind::kNone;
                             })
      .def("is_weld_class_only", &core::FatigueChoice::is_weld_class_only);
  m.def("fatigue_choice", &MakeChoice);

  py::class_<CycleList>(m, "CycleList")
      .def_readonly("first_sample", &CycleList::first_sample)
      .def_readonly("samples", &CycleList::samples)
      .def("__len__", [](const CycleList& list) { return list.cycles.size(); })
      .def("columns", [](const CycleList& list) { return CyclesTuple(list.cycles, 0); });

  m.def("damage_equivalent_loads",
        [](const py::array_t<double, py::array::c_style | py::array::forcecast>& ranges,
           const py::array_t<double, py::array::c_style | py::array::forcecast>& counts,
           const std::vector<double>& exponents, double n_eq) {
          const std::vector<core::RainflowCycle> cycles = CyclesOf(ranges, counts);
          std::vector<double> loads;
          for (const auto& load : TakeValue(core::DamageEquivalentLoads(cycles, exponents, n_eq))) {
            loads.push_back(load.load);
          }
          return loads;
        });
}

}  // namespace torvwy::python
