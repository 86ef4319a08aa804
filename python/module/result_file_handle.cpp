// The counted result file of the Python package: fields, JSON, life estimate and save.
#include "result_file_handle.h"

#include "binding_support.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/services/message_table.h"
#include "output/result_output.h"
#include "result_dict.h"

namespace py = pybind11;

namespace torvwy::python {

std::string ResultFile::Json() const {
  nlohmann::ordered_json json;
  switch (core::KindOf(file_)) {
    case core::CountingKind::kPeak:
      json = output::PeakJson(std::get<core::PeakResultFile>(file_).result);
      break;
    case core::CountingKind::kRange:
      json = output::RangeJson(std::get<core::RangeResultFile>(file_).result);
      break;
    case core::CountingKind::kRainflow:
      json = output::RainflowJson(std::get<core::RainflowResultFile>(file_).result);
      break;
  }
  return Dump(json);
}

py::dict ResultFile::Fields() const {
  switch (core::KindOf(file_)) {
    case core::CountingKind::kPeak:
      return PeakDict(std::get<core::PeakResultFile>(file_).result);
    case core::CountingKind::kRange:
      return RangeDict(std::get<core::RangeResultFile>(file_).result);
    case core::CountingKind::kRainflow:
      break;
  }
  return RainflowDict(std::get<core::RainflowResultFile>(file_).result);
}

std::string ResultFile::FatigueJson(const std::string& method, int32_t class_index,
                                    int32_t reliability_index) const {
  return Dump(output::FatigueJson(Estimate(method, class_index, reliability_index)));
}

py::dict ResultFile::Fatigue(const std::string& method, int32_t class_index,
                             int32_t reliability_index) const {
  return FatigueDict(Estimate(method, class_index, reliability_index));
}

py::dict ResultFile::Node() const {
  const core::ResultFileNode& node = core::NodeOf(file_);
  py::dict out;
  out["test"] = node.test_name;
  out["code"] = node.test_code;
  out["node"] = node.node_name;
  out["unit"] = node.sampling.eu();
  out["total_blocks"] = node.total_blocks;
  return out;
}

void ResultFile::Save(const std::string& path) const {
  core::Status saved = core::Ok();
  {
    py::gil_scoped_release release;
    saved = core::SaveResultFile(path, file_);
  }
  if (!saved) Raise(saved.error());
}

std::string ResultFile::Dump(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

core::FatigueResult ResultFile::Estimate(const std::string& method, int32_t class_index,
                                         int32_t reliability_index) const {
  const auto* rainflow = std::get_if<core::RainflowResultFile>(&file_);
  if (rainflow == nullptr) {
    Raise(core::Fail(core::kMsgBadValue, "a fatigue estimate needs a rainflow result"));
  }
  core::FatigueMethod which = core::FatigueMethod::kActual;
  if (method == "fitting") {
    which = core::FatigueMethod::kFitting;
  } else if (method != "actual") {
    Raise(core::Fail(core::kMsgBadValue,
                     "fatigue method \"" + method + "\" is neither actual nor fitting"));
  }
  return Take(core::EstimateDamage(which, rainflow->result, class_index, reliability_index));
}

void BindResultFile(py::module_& m) {
  py::class_<ResultFile>(m, "ResultFile")
      .def_property_readonly("kind", &ResultFile::kind)
      .def_property_readonly("node", &ResultFile::Node)
      .def("fields", &ResultFile::Fields)
      .def("json", &ResultFile::Json)
      .def("fatigue", &ResultFile::Fatigue)
      .def("fatigue_json", &ResultFile::FatigueJson)
      .def("save", &ResultFile::Save, py::arg("path"));
}

}  // namespace torvwy::python
