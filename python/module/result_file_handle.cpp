// The counted result file of the Python package: fields, JSON, life estimate and save.
#include "result_file_handle.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <span>

#include "binding_support.h"
#include "core/fatigue/class_matrix.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/services/message_table.h"
#include "output/result_output.h"
#include "result_dict.h"

namespace py = pybind11;

namespace torvwy::python {

std::string ResultFile::Json() const { return Dump(output::ResultJson(file_)); }

py::dict ResultFile::Fields() const {
  switch (core::KindOf(file_)) {
    case core::CountingKind::kPeak:
      return PeakDict(std::get<core::PeakResultFile>(file_).result);
    case core::CountingKind::kRange:
      return RangeDict(std::get<core::RangeResultFile>(file_).result);
    case core::CountingKind::kRainflow:
      return RainflowDict(std::get<core::RainflowResultFile>(file_).result);
    default:
      break;
  }
  // The newer methods: the object their JSON prints.
  return py::module_::import("json").attr("loads")(Json()).cast<py::dict>();
}

std::string ResultFile::FatigueJson(const core::FatigueChoice& choice,
                                    const CycleList* cycles) const {
  return Dump(FatigueObject(Estimate(choice, cycles)));
}

py::dict ResultFile::Fatigue(const core::FatigueChoice& choice, const CycleList* cycles) const {
  return FatigueDict(Estimate(choice, cycles));
}

py::dict ResultFile::DamageHistory(const core::FatigueChoice& choice,
                                   const CycleList& cycles) const {
  const core::FatigueResult estimate = Estimate(choice, &cycles);
  // The list counts in the record's sample indices, from the record's first sample.
  const core::CycleTiming timing{0, cycles.first_sample + cycles.samples - 1,
                                 core::NodeOf(file_).sampling.frequency_hz()};
  const auto steps =
      TakeValue(core::DamageHistory(choice, Rainflow(), estimate, cycles.cycles, timing));
  const auto n = static_cast<py::ssize_t>(steps.size());
  py::array_t<double> seconds(n), range(n), mean(n), count(n), damage(n), cumulative(n);
  py::array_t<int64_t> sample(n);
  py::array_t<bool> residue(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    const core::DamageStep& step = steps[static_cast<size_t>(i)];
    seconds.mutable_at(i) = step.seconds;
    sample.mutable_at(i) = step.sample;
    range.mutable_at(i) = step.range;
    mean.mutable_at(i) = step.mean;
    count.mutable_at(i) = step.count;
    damage.mutable_at(i) = step.damage;
    cumulative.mutable_at(i) = step.cumulative;
    residue.mutable_at(i) = step.residue;
  }
  py::dict out;
  out["seconds"] = seconds;
  out["sample"] = sample;
  out["range"] = range;
  out["mean"] = mean;
  out["count"] = count;
  out["damage"] = damage;
  out["cumulative"] = cumulative;
  out["residue"] = residue;
  return out;
}

std::pair<int32_t, int32_t> ResultFile::CountedBlocks() const {
  const core::RainflowResult& rainflow = Rainflow();
  return {rainflow.first_block, rainflow.last_block};
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
  if (opened_from_file_) {
    throw CoreError("a result opened from its file is not saved again; nothing was written");
  }
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

const core::RainflowResult& ResultFile::Rainflow() const {
  const auto* rainflow = std::get_if<core::RainflowResultFile>(&file_);
  if (rainflow == nullptr) {
    Raise(core::Fail(core::kMsgBadValue, "a fatigue estimate needs a rainflow result"));
  }
  return rainflow->result;
}

core::FatigueResult ResultFile::Estimate(const core::FatigueChoice& choice,
                                         const CycleList* cycles) const {
  std::span<const core::RainflowCycle> listed;
  if (cycles != nullptr) listed = cycles->cycles;
  auto estimate = core::EstimateDamage(choice, Rainflow(), listed);
  // A weld class fails as it always has; a bad value of the new choices is a ValueError.
  return choice.is_weld_class_only() ? Take(std::move(estimate)) : TakeValue(std::move(estimate));
}

namespace {

/// A matrix's cells as a 2-D array of `rows` x `columns`.
py::array_t<double> Cells(const std::vector<double>& counts, int32_t rows, int32_t columns) {
  py::array_t<double> cells({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)});
  std::copy(counts.begin(), counts.end(), cells.mutable_data());
  return cells;
}

py::tuple ClassMatrixTuple(const core::ClassMatrix& matrix) {
  const py::array_t<double> edges(static_cast<py::ssize_t>(matrix.edges.size()),
                                  matrix.edges.data());
  return py::make_tuple(Cells(matrix.counts, matrix.classes, matrix.classes), edges, edges);
}

}  // namespace

py::tuple ResultFile::Matrix(const std::string& kind, const CycleList& cycles, int32_t a,
                             int32_t b) const {
  const core::RainflowResult& histogram = Rainflow();
  if (kind == "range-mean") {
    const core::RangeMeanMatrix matrix =
        TakeValue(core::MakeRangeMeanMatrix(cycles.cycles, histogram, a, b));
    py::array_t<double> range_edges(matrix.range_bins + 1), mean_edges(matrix.mean_bins + 1);
    for (int32_t i = 0; i <= matrix.range_bins; ++i)
      range_edges.mutable_at(i) = matrix.range_from(i);
    for (int32_t k = 0; k <= matrix.mean_bins; ++k) mean_edges.mutable_at(k) = matrix.mean_from(k);
    return py::make_tuple(Cells(matrix.counts, matrix.range_bins, matrix.mean_bins), range_edges,
                          mean_edges);
  }
  if (kind == "from-to") {
    return ClassMatrixTuple(TakeValue(core::MakeFromToMatrix(cycles.cycles, histogram, a)));
  }
  if (kind == "transitions" && cycles.transitions) return ClassMatrixTuple(*cycles.transitions);
  throw py::value_error("kind=\"" + kind +
                        "\" is not one of \"range-mean\", \"from-to\", \"transitions\"");
}

py::array_t<bool> ResultFile::CountsRanges(
    const py::array_t<double, py::array::c_style | py::array::forcecast>& ranges) const {
  const core::RainflowResult& histogram = Rainflow();
  py::array_t<bool> counted(ranges.size());
  for (py::ssize_t i = 0; i < ranges.size(); ++i) {
    counted.mutable_at(i) = core::RainflowCountsRange(histogram, ranges.at(i));
  }
  return counted;
}

void BindResultFile(py::module_& m) {
  py::class_<ResultFile>(m, "ResultFile")
      .def_property_readonly("kind", &ResultFile::kind)
      .def_property_readonly("node", &ResultFile::Node)
      .def("fields", &ResultFile::Fields)
      .def("json", &ResultFile::Json)
      .def("fatigue", &ResultFile::Fatigue, py::arg("choice"), py::arg("cycles").none(true))
      .def("fatigue_json", &ResultFile::FatigueJson, py::arg("choice"),
           py::arg("cycles").none(true))
      .def("damage_history", &ResultFile::DamageHistory, py::arg("choice"), py::arg("cycles"))
      .def_property_readonly("counted_blocks", &ResultFile::CountedBlocks)
      .def("matrix", &ResultFile::Matrix, py::arg("kind"), py::arg("cycles"), py::arg("a"),
           py::arg("b"))
      .def("counts_ranges", &ResultFile::CountsRanges, py::arg("ranges"))
      .def("save", &ResultFile::Save, py::arg("path"));
}

}  // namespace torvwy::python
