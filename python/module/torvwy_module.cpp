// The compiled part of the torvwy Python package: nodes, the counting run, result files, the
// statistics batch and every rainflow cycle, over the core. A result gives its fields as a dict
// with numpy arrays straight from its record, and its JSON text for to_dict().
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "binding_support.h"
#include "core/counting/counting_parameters.h"
#include "core/data/block_span.h"
#include "core/data/labels.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/data/waveform_reader.h"
#include "core/fatigue/class_matrix.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/fatigue/sn_class_table.h"
#include "core/files/result_file.h"
#include "core/files/statistics_result_file.h"
#include "core/rainflow/node_cycles.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/residue_method.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"
#include "core/services/atomic_file.h"
#include "core/services/code_range.h"
#include "core/services/language.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/stats/statistics_batch.h"
#include "fatigue_binding.h"
#include "live_binding.h"
#include "output/stats_output.h"
#include "programme_binding.h"
#include "recording_binding.h"
#include "result_dict.h"
#include "result_file_handle.h"
#include "sample_array.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

/// The analysis range of a cycle list: the whole record, or blocks FIRST..LAST clamped to it and
/// swapped when reversed, as the command line's --blocks.
core::CountingParameters CycleRange(const core::SamplingInfo& info,
                                    std::optional<std::pair<int32_t, int32_t>> blocks) {
  core::CountingPlan plan = PlanOf("rainflow", 25, py::str("auto"), blocks);
  if (auto ok = core::SettlePlan(plan, info); !ok) Raise(ok.error());
  return plan.parameters;
}

/// A node opened from its data folder.
class Node {
 public:
  Node(const std::string& data, const std::string& test, const std::string& code,
       const std::string& node)
      : node_(Take(core::OpenCountingNode(data, test, code, node))) {}

  /// A record of `samples` values that `read(first, count)` gives as float64 arrays: float64 at
  /// 1 Hz, c1 = c2 = 1, every value counted. The passes call `read` with the GIL taken, from
  /// their worker threads too; the tests use it for a pass that waits on its reader.
  static Node Supplied(const py::function& read, int64_t samples) {
    if (samples < 2) Raise(core::Fail(core::kMsgBadValue, "a record needs two or more values"));
    const int64_t blocks = core::CountableBlocks(samples);
    if (blocks > std::numeric_limits<int32_t>::max() / 2) {
      Raise(core::Fail(core::kMsgBadValue, "the record is too long"));
    }
    // The callable is shared by every reader of the pass; only its last owner, this node,
    // drops it, with the GIL held.
    std::shared_ptr<py::function> callable(new py::function(read), [](py::function* f) {
      const py::gil_scoped_acquire gil;
      delete f;
    });
    core::CountingNode node;
    node.test_name = "supplied";
    node.test_code = "1";
    node.node_name = "1";
    node.info.set_format(core::kFormatFloat64);
    node.info.set_frequency_hz(1.0);
    node.info.set_c1(1.0);
    node.info.set_c2(1.0);
    node.info.set_length_half_blocks(static_cast<int32_t>(2 * blocks));
    node.data_file = "supplied record";
    node.sample_count = samples;
    node.samples = [callable](int64_t first, std::span<double> out) -> core::Status {
      const py::gil_scoped_acquire gil;
      try {
        const auto values = py::array_t<double, py::array::c_style | py::array::forcecast>(
            (*callable)(first, out.size()));
        if (values.ndim() != 1 || static_cast<size_t>(values.size()) != out.size()) {
          return core::Fail(core::kMsgBadValue, "the reader gave " + std::to_string(values.size()) +
                                                    " values for " + std::to_string(out.size()));
        }
        std::copy_n(values.data(), out.size(), out.begin());
        return core::Ok();
      } catch (py::error_already_set& e) {
        return core::Fail(core::kMsgBadValue, std::string("the reader failed: ") + e.what());
      }
    };
    return Node(std::move(node));
  }

  const core::CountingNode& counting_node() const { return node_; }

  py::dict Info() const {
    const core::SamplingInfo& info = node_.info;
    auto full_scale = core::FullScaleOf(info);
    py::dict out;
    out["frequency_hz"] = info.frequency_hz();
    out["c1"] = info.c1();
    out["c2"] = info.c2();
    out["format"] = info.format();
    out["length_half_blocks"] = info.length_half_blocks();
    out["samples"] = info.record_samples();
    out["whole_blocks"] = info.whole_blocks();
    out["full_scale"] = full_scale ? *full_scale : 0.0;
    out["full_scale_eu"] = full_scale ? *full_scale / info.c2() / info.c1() : 0.0;
    out["eu"] = info.eu();
    out["text1"] = info.text1();
    out["text2"] = info.text2();
    out["text3"] = info.text3();
    out["tsp"] = node_.tsp_file.string();
    out["sts"] = node_.data_file.string();
    return out;
  }

  py::list Bookmarks() const {
    py::list out;
    for (const auto& label : core::ReadLabels(node_.tsp_file)) {
      py::dict bookmark;
      bookmark["position"] = label.position;
      bookmark["text"] = label.text;
      out.append(bookmark);
    }
    return out;
  }

  /// Samples first .. first + count - 1 of the record in EU (raw x 1 / (c2 x c1)).
  py::array_t<double> Read(int64_t first, int64_t count) const {
    const int64_t total = node_.info.record_samples();
    if (first < 0 || count < 0 || first > total || count > total - first) {
      Raise(core::Fail(core::kMsgBadValue,
                       "samples " + std::to_string(first) + "+" + std::to_string(count) +
                           " lie outside the record's " + std::to_string(total)));
    }
    // The file is opened first: a Length the .sts can't hold is its error, before any memory
    // is asked for the samples.
    std::optional<core::Result<core::WaveformReader>> opened;
    {
      py::gil_scoped_release release;
      opened.emplace(core::WaveformReader::Open(core::SourceOf(node_), node_.info));
    }
    core::WaveformReader reader = Take(std::move(*opened));
    py::array_t<double> out(static_cast<py::ssize_t>(count));
    double* values = out.mutable_data();
    core::Status read = core::Ok();
    {
      py::gil_scoped_release release;
      read = reader.Seek(first);
      const double k = 1.0 / (node_.info.c2() * node_.info.c1());
      if (read) read = reader.Read({values, static_cast<size_t>(count)});
      if (read) {
        for (int64_t i = 0; i < count; ++i) values[i] *= k;
      }
    }
    if (!read) Raise(read.error());
    return out;
  }

 private:
  explicit Node(core::CountingNode node) : node_(std::move(node)) {}

  core::CountingNode node_;
};

/// A counting run with the GIL released; Ctrl-C cancels it and raises KeyboardInterrupt.
ResultFile Count(core::CountingPlan plan, const core::CountingNode& node) {
  if (auto ok = core::SettlePlan(plan, node.info); !ok) Raise(ok.error());
  InterruptibleProgress progress;
  std::optional<core::Result<core::AnyResultFile>> counted;
  {
    py::gil_scoped_release release;
    counted.emplace(core::RunCounting(plan, node, progress));
  }
  progress.RaiseIfInterrupted();
  return ResultFile(Take(std::move(*counted)));
}

/// Writes the values (EU) of `samples` as a node; the GIL must be released by the caller.
core::Result<int64_t> WriteNodeFile(const std::filesystem::path& folder, const std::string& test,
                                    const std::string& code, const std::string& node,
                                    const core::SamplingInfo& info, const SampleArray& samples) {
  auto writer = core::NodeWriter::Open(folder, test, code, node, info);
  if (!writer) return writer.error();
  core::Status status = core::Ok();
  samples.ForEachChunk(0, samples.size(), [&](std::span<const double> values) {
    status = writer->AppendEu(values);
    return static_cast<bool>(status);
  });
  if (!status) return status.error();
  return writer->Commit();
}

/// Counts every value of an array in place, as a record of the array's blocks whose counting
/// ends at its last value (the last block partial): the one counting run reads the values
/// through a sample supplier, each scaled to the raw value `import` would store (value x c2 x
/// c1). Nothing is copied or written.
ResultFile CountArray(const core::CountingPlan& plan, const py::array& array,
                      std::optional<double> frequency_hz, std::optional<double> full_scale_eu,
                      const std::string& unit) {
  const SampleArray samples(array);
  CheckCountable(samples);
  const core::SamplingInfo info =
      ArrayInfo(samples.size(), full_scale_eu ? 0.0 : samples.LargestMagnitude(), frequency_hz,
                full_scale_eu, unit);
  const double factor = info.c2() * info.c1();
  core::CountingNode node;
  node.test_name = "array";
  node.test_code = "1";
  node.node_name = "1";
  node.info = info;
  node.data_file = "numpy array";
  node.sample_count = samples.size();
  node.samples = [&samples, factor](int64_t first, std::span<double> out) {
    size_t done = 0;
    samples.ForEachChunk(first, static_cast<int64_t>(out.size()),
                         [&](std::span<const double> values) {
                           for (const double value : values) out[done++] = value * factor;
                           return true;
                         });
    return core::Ok();
  };
  return Count(plan, node);
}

/// The conventions and the transitions of a cycle list, as Python asks them: the residue
/// method's name, the gate (EU) and, for a transition matrix, its classes and A (0: none).
core::CycleListOptions ListOptions(const std::string& residue, double gate) {
  core::CycleListOptions options;
  const auto named = core::ResidueMethodNamed(residue);
  if (!named) {
    throw RequestError("Invalid value! residue=\"" + residue +
                       "\" is not one of half, full, discard, repeated");
  }
  if (!std::isfinite(gate) || !(gate >= 0.0)) {
    throw RequestError("Invalid value! gate=" + core::ShortestText(gate) +
                       " is not a finite number of 0 or more");
  }
  options.residue = *named;
  options.gate = gate;
  return options;
}

/// The transition matrix a list is asked to count: M classes of [-A, A]; none for M = 0.
std::optional<core::ClassMatrix> AskedTransitions(int32_t classes, double amplitude_range) {
  if (classes == 0) return std::nullopt;
  return TakeValue(core::MakeClassMatrix(classes, amplitude_range));
}

/// Every cycle of blocks FIRST..LAST of a node, scaled to EU as the rainflow count scales them,
/// in the one streaming pass of the command line; Ctrl-C cancels it and raises
/// KeyboardInterrupt.
CycleList NodeCycles(const Node& node, std::optional<std::pair<int32_t, int32_t>> blocks,
                     const std::string& residue, double gate, int32_t transition_classes,
                     double amplitude_range) {
  const core::CountingNode& n = node.counting_node();
  const core::CountingParameters p = CycleRange(n.info, blocks);
  core::CycleListOptions options = ListOptions(residue, gate);
  CycleList list;
  list.transitions = AskedTransitions(transition_classes, amplitude_range);
  std::optional<core::TransitionCounter> transitions;
  if (list.transitions) {
    transitions.emplace(*list.transitions);
    options.on_turning_point = [&transitions](double point) { transitions->Add(point); };
  }
  InterruptibleProgress progress;
  std::optional<core::Result<core::NodeCycleList>> listed;
  {
    py::gil_scoped_release release;
    listed.emplace(core::ExtractNodeCycles(n, p.first_block, p.last_block, progress, options));
  }
  progress.RaiseIfInterrupted();
  core::NodeCycleList extracted = Take(std::move(*listed));
  if (extracted.cancelled) Raise(core::Fail(core::kMsgCalculationCancelled, n.data_file.string()));
  list.cycles = std::move(extracted.cycles);
  list.first_sample = extracted.first_sample;
  list.samples = extracted.samples;
  return list;
}

/// Every cycle of an array as rainflow counts it: of blocks FIRST..LAST of its record (as
/// CountArray makes it), every value of the array when no blocks are given.
CycleList ArrayCycles(const py::array& array, std::optional<std::pair<int32_t, int32_t>> blocks,
                      const std::string& residue, double gate, int32_t transition_classes,
                      double amplitude_range) {
  const SampleArray samples(array);
  CheckCountable(samples);
  const core::SamplingInfo info = ArrayInfo(samples.size(), 0.0, std::nullopt, 1.0, "");
  const core::CountingParameters p = CycleRange(info, blocks);
  const core::SampleSpan span = core::BlockSpan(p.first_block, p.last_block, samples.size());
  const core::CycleListOptions options = ListOptions(residue, gate);
  core::RainflowCycleExtractor extractor(options.residue, options.gate);
  CycleList list;
  list.transitions = AskedTransitions(transition_classes, amplitude_range);
  std::optional<core::TransitionCounter> transitions;
  if (list.transitions) {
    transitions.emplace(*list.transitions);
    extractor.on_turning_point = [&transitions](double point) { transitions->Add(point); };
  }
  {
    py::gil_scoped_release release;
    samples.ForEachChunk(span.begin, span.end - span.begin, [&](std::span<const double> values) {
      extractor.Feed(values);
      return true;
    });
    list.cycles = extractor.Finish();
    for (core::RainflowCycle& cycle : list.cycles) {
      cycle.start += span.begin;
      cycle.end += span.begin;
    }
  }
  list.first_sample = span.begin;
  list.samples = span.end - span.begin;
  return list;
}

std::string Statistics(const std::string& data, const std::string& test, const std::string& codes,
                       const std::string& nodes, std::optional<int32_t> peak_peak, int threads) {
  core::StatisticsParameters parameters;
  parameters.data_path = data;
  parameters.result_path = data;
  parameters.test_name = test;
  parameters.code_range = codes;
  parameters.node_range = nodes;
  if (peak_peak) {
    parameters.content = core::kStatPeakPeaks;
    parameters.peak_peak_count = *peak_peak;
  }
  core::StatisticsRunOptions options;
  options.language = core::Language::kEnglish;
  options.threads = threads;
  InterruptibleProgress progress;
  std::optional<core::Result<core::StatisticsBatch>> batch;
  {
    py::gil_scoped_release release;
    batch.emplace(core::RunStatistics(parameters, options, progress));
  }
  progress.RaiseIfInterrupted();
  const core::StatisticsBatch done = Take(std::move(*batch));
  return ResultFile::Dump(output::StatisticsJson(done));
}

/// A result file of any analysis (.PCM, .DCM, .RFL) as a ResultFile, or a statistics list
/// (.aps) as its JSON text.
py::object OpenResult(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".aps") {
    auto table = Take(core::ReadStatisticsResultFile(path, 0, core::Language::kEnglish));
    return py::str(ResultFile::Dump(output::StatisticsJson(table)));
  }
  std::optional<core::Result<core::AnyResultFile>> opened;
  {
    py::gil_scoped_release release;
    opened.emplace(core::OpenResultFile(path));
  }
  return py::cast(ResultFile(Take(std::move(*opened)), /*opened_from_file=*/true));
}

py::dict WriteNode(const std::string& data, const std::string& test, const std::string& code,
                   const std::string& node, const py::array& array, double frequency_hz,
                   const std::string& unit, int32_t format, std::optional<double> c1, double c2,
                   const std::string& text1, const std::string& text2, const std::string& text3) {
  const SampleArray samples(array);
  auto bad = [](const std::string& text) { Raise(core::Fail(core::kMsgBadValue, text)); };
  if (!core::IsKnownFormat(format)) bad("format " + std::to_string(format) + " is not known");
  if (c1 && (*c1 == 0.0 || !std::isfinite(*c1))) bad("c1 must be a finite number other than 0");
  if (c2 == 0.0 || !std::isfinite(c2)) bad("c2 must be a finite number other than 0");
  if (!(frequency_hz > 0.0) || !std::isfinite(frequency_hz)) {
    bad("the sampling frequency must be a number > 0");
  }
  if (samples.size() == 0) bad("no samples to write");
  // As the import refuses a cell that is not a number: a node holds finite samples only.
  if (const int64_t index = samples.FirstNonFinite(); index >= 0) {
    bad("the sample at index " + std::to_string(index) + " is not a finite number");
  }
  core::SamplingInfo info;
  info.set_format(format);
  info.set_frequency_hz(frequency_hz);
  info.set_c2(c2);
  info.set_c1(c1 ? *c1 : core::ImportC1(format, samples.LargestMagnitude(), c2));
  info.set_eu(unit);
  info.set_text1(text1);
  info.set_text2(text2);
  info.set_text3(text3);
  if (format == core::kFormatFloatFs) info.set_stored_full_scale(10000.0);
  std::error_code ec;
  std::filesystem::create_directories(data, ec);
  if (ec) bad("can't create " + data + ": " + ec.message());
  core::Result<int64_t> padding = 0;
  {
    py::gil_scoped_release release;
    padding = WriteNodeFile(data, test, code, node, info, samples);
  }
  if (!padding) Raise(padding.error());
  auto full_scale = core::FullScaleOf(info);
  py::dict out;
  out["samples"] = samples.size();
  out["padding"] = *padding;
  out["c1"] = info.c1();
  out["c2"] = info.c2();
  out["full_scale_eu"] = full_scale ? *full_scale / info.c2() / info.c1() : 0.0;
  return out;
}

/// Raises ValueError with the core's one-line text of a value it refuses.
void RefuseValue(const core::Status& status) {
  if (!status) throw py::value_error(ErrorMessage(status.error()));
}

/// The checks of the options the command line and the fleet share, in the command line's words:
/// `option` names the option ("--class") or keyword the value came from.
void BindOptionChecks(py::module_& m) {
  m.def("parse_weld_class", [](const std::string& name, const std::string& option) {
    auto index = core::ParseSnClassName(name, option);
    if (!index) RefuseValue(index.error());
    return *index;
  });
  m.def("parse_reliability", [](const std::string& text, const std::string& option) {
    auto index = core::ParseReliabilityText(text, option);
    if (!index) RefuseValue(index.error());
    return *index;
  });
  m.def("check_matrix_bins", [](int64_t range_bins, int64_t mean_bins) {
    RefuseValue(core::CheckMatrixBins(range_bins, mean_bins));
  });
}

/// The one save of the core for the files the Python side writes itself (the fleet's CSV):
/// written beside the target and renamed over it; a target that is not a regular file (or a
/// link to one) is refused with nothing touched. TorvwyError on failure.
void BindSave(py::module_& m) {
  m.def("save_file", [](const std::string& path, const py::bytes& content) {
    const std::string bytes = content;
    core::Status saved = core::Ok();
    {
      py::gil_scoped_release release;
      saved = core::SaveFileAtomically(path, bytes, core::kMsgFileWrite);
    }
    if (!saved) Raise(saved.error());
  });
  m.def("check_save_target", [](const std::string& path) {
    if (auto ok = core::CheckSaveTarget(path, core::kMsgFileWrite); !ok) Raise(ok.error());
  });
}

}  // namespace
}  // namespace torvwy::python

PYBIND11_MODULE(_torvwy, m) {
  using namespace torvwy::python;
  m.doc() = "The compiled core of the torvwy package; use the torvwy package itself.";
  const auto torvwy_error = py::register_exception<CoreError>(m, "TorvwyError", PyExc_RuntimeError);
  py::register_exception<RequestError>(m, "RequestError",
                                       py::make_tuple(torvwy_error, py::handle(PyExc_ValueError)));

  py::class_<Node>(m, "Node")
      .def(py::init<const std::string&, const std::string&, const std::string&,
                    const std::string&>(),
           py::arg("data"), py::arg("test"), py::arg("code"), py::arg("node"))
      .def_static("supplied", &Node::Supplied, py::arg("read"), py::arg("samples"))
      .def_property_readonly("info", &Node::Info)
      .def_property_readonly("bookmarks", &Node::Bookmarks)
      .def("read", &Node::Read, py::arg("first"), py::arg("count"));

  BindResultFile(m);
  BindFatigue(m);

  // The one request of every count, checked by the core as the command line's is: RequestError
  // (a TorvwyError and a ValueError) with the plan's line; `note` says what the package warns of (N
  // above 2000), else None.
  py::class_<torvwy::core::CountingPlan>(m, "Plan").def_property_readonly(
      "note", [](const torvwy::core::CountingPlan& plan) {
        return plan.note.empty() ? std::nullopt : std::optional<std::string>(plan.note);
      });
  m.def(
      "plan",
      [](const std::string& method, int64_t partitions, const py::object& amplitude,
         std::optional<std::pair<int32_t, int32_t>> blocks, int threads,
         std::optional<std::vector<double>> level_list, double reference,
         const std::string& direction, double gate, const std::string& residue) {
        // The direction in the command line's words; the numbers are checked by the plan.
        auto crossings = torvwy::core::ParseCrossingTexts({"", "", direction, ""});
        if (!crossings) throw RequestError(ErrorMessage(crossings.error()));
        if (level_list) crossings->level_list = *level_list;
        crossings->reference = reference;
        crossings->gate = gate;
        return PlanOf(method, partitions, amplitude, blocks, threads, *crossings, residue, gate);
      },
      py::arg("method"), py::arg("partitions"), py::arg("amplitude"),
      py::arg("blocks") = std::nullopt, py::arg("threads") = 1,
      py::arg("level_list") = std::nullopt, py::arg("reference") = 0.0,
      py::arg("direction") = "astm", py::arg("gate") = 0.0, py::arg("residue") = "");
  m.def("count_node", [](const torvwy::core::CountingPlan& plan, const Node& node) {
    return Count(plan, node.counting_node());
  });
  m.def("count_array", &CountArray);
  m.def("node_cycles", &NodeCycles, py::arg("node"), py::arg("blocks"), py::arg("residue") = "half",
        py::arg("gate") = 0.0, py::arg("transition_classes") = 0, py::arg("amplitude_range") = 0.0);
  m.def("array_cycles", &ArrayCycles, py::arg("array"), py::arg("blocks"),
        py::arg("residue") = "half", py::arg("gate") = 0.0, py::arg("transition_classes") = 0,
        py::arg("amplitude_range") = 0.0);
  m.def("statistics", &Statistics);
  m.def("open_result", &OpenResult);
  m.def("write_node", &WriteNode);
  BindRecording(m);
  BindLive(m);
  m.def("expand_range",
        [](const std::string& text) { return Take(torvwy::core::ExpandCodeRange(text)); });
  m.def("valid_pairs",
        [](const std::string& data, const std::string& test, const std::vector<std::string>& codes,
           const std::vector<std::string>& nodes) {
          std::vector<std::pair<std::string, std::string>> out;
          for (const auto& pair : torvwy::core::FindValidPairs(data, test, codes, nodes)) {
            out.emplace_back(pair.test_code, pair.node_name);
          }
          return out;
        });
  m.def("sn_class_index", [](const std::string& name) {
    const auto index = torvwy::core::ParseSnClassName(name, "weld class");
    return index ? *index : -1;
  });
  BindOptionChecks(m);
  BindSave(m);
  torvwy::python::BindProgrammes(m);
}
