// Test programmes for Python: the text of a programme checked and saved by the core's reader,
// and counted with events of nodes and of numpy arrays.
#include "programme_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "binding_support.h"
#include "core/programme/programme_count.h"
#include "core/programme/programme_file.h"
#include "core/programme/programme_table.h"
#include "output/programme_output.h"
#include "sample_array.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

/// An event's record given as an array: the values (EU), the sampling frequency (None: not
/// known), the unit and the full scale in EU (None: none, so Amplitude=full can't be used).
using ArrayEvent = std::tuple<py::array, std::optional<double>, std::string, std::optional<double>>;

core::Programme Parse(const std::string& text, const std::string& folder) {
  return Take(core::ParseProgrammeText(text, folder));
}

core::EventCount CountArrayEvent(const ArrayEvent& given, double scale) {
  const auto& [array, frequency, unit, full_scale] = given;
  SampleArray samples(array);
  CheckCountable(samples);
  core::EventCount count;
  {
    py::gil_scoped_release release;
    core::EventCounter counter(scale);
    samples.ForEachChunk(0, samples.size(), [&](std::span<const double> values) {
      counter.Feed(values);
      return true;
    });
    count = counter.Finish();
  }
  count.unit = unit;
  count.frequency_hz = frequency.value_or(0.0);
  if (full_scale) {
    if (!(std::isfinite(*full_scale) && *full_scale > 0.0)) {
      throw py::value_error("full_scale must be a finite number above 0");
    }
    // Rainflow's full-scale rule: the largest range the recording can hold, twice the scale.
    count.full_scale_range = 2.0 * *full_scale * scale;
    count.smallest_range = *full_scale * 0.001 * scale;
  }
  return count;
}

std::string Run(const std::string& text, const std::string& folder,
                const std::map<int32_t, ArrayEvent>& arrays, int threads) {
  const core::Programme programme = Parse(text, folder);
  core::Result<core::ProgrammeResult> result = core::Error{};
  InterruptibleProgress progress;
  if (arrays.empty()) {
    py::gil_scoped_release release;
    result = core::RunProgramme(programme, threads, progress);
  } else {
    std::vector<core::EventCount> counts;
    for (size_t i = 0; i < programme.events.size(); ++i) {
      const core::ProgrammeEvent& event = programme.events[i];
      const auto given = arrays.find(event.number);
      if (given != arrays.end()) {
        counts.push_back(CountArrayEvent(given->second, event.scale));
        continue;
      }
      core::Result<core::EventCount> count = core::Error{};
      {
        py::gil_scoped_release release;
        count = core::CountProgrammeEvent(programme, i, progress);
      }
      progress.RaiseIfInterrupted();
      counts.push_back(Take(std::move(count)));
    }
    result = core::JoinProgramme(programme, counts);
  }
  progress.RaiseIfInterrupted();
  const core::ProgrammeResult done = Take(std::move(result));
  if (done.cancelled) throw py::value_error("the programme's count was cancelled");
  return output::ProgrammeJson(done).dump(-1, ' ', false,
                                          nlohmann::ordered_json::error_handler_t::replace);
}

/// One event of the programme counted from its node, as bytes for another process.
py::bytes CountEvent(const std::string& text, const std::string& folder, size_t index) {
  const core::Programme programme = Parse(text, folder);
  InterruptibleProgress progress;
  core::Result<core::EventCount> count = core::Error{};
  {
    py::gil_scoped_release release;
    count = core::CountProgrammeEvent(programme, index, progress);
  }
  progress.RaiseIfInterrupted();
  core::CountStateWriter out;
  Take(std::move(count)).SaveState(out);
  return py::bytes(out.Take());
}

/// The events' counts (bytes of CountEvent, in the programme's order) joined: the JSON object
/// and the CSV table the command line gives.
std::pair<std::string, std::string> JoinEvents(const std::string& text, const std::string& folder,
                                               const std::vector<py::bytes>& given) {
  const core::Programme programme = Parse(text, folder);
  std::vector<core::EventCount> counts(given.size());
  for (size_t i = 0; i < given.size(); ++i) {
    const std::string bytes = given[i];
    core::CountStateReader in(bytes);
    if (!counts[i].LoadState(in)) {
      throw py::value_error("the count of event " + std::to_string(i + 1) + " is damaged");
    }
  }
  core::Result<core::ProgrammeResult> result = core::Error{};
  {
    py::gil_scoped_release release;
    result = core::JoinProgramme(programme, counts);
  }
  const core::ProgrammeResult done = Take(std::move(result));
  if (done.cancelled) throw py::value_error("the programme's count was cancelled");
  return {output::ProgrammeJson(done).dump(-1, ' ', false,
                                           nlohmann::ordered_json::error_handler_t::replace),
          core::ProgrammeTableCsv(done)};
}

}  // namespace

void BindProgrammes(py::module_& m) {
  m.def("programme_count_event", &CountEvent, py::arg("text"), py::arg("folder"), py::arg("index"));
  m.def("programme_join", &JoinEvents, py::arg("text"), py::arg("folder"), py::arg("counts"));
  m.def(
      "programme_events",
      [](const std::string& text, const std::string& folder) {
        return Parse(text, folder).events.size();
      },
      py::arg("text"), py::arg("folder"));
  m.def(
      "programme_check",
      [](const std::string& text, const std::string& folder) {
        return core::ProgrammeText(Parse(text, folder));
      },
      py::arg("text"), py::arg("folder"));
  m.def(
      "programme_read",
      [](const std::string& path) {
        const core::Programme programme = Take(core::ReadProgrammeFile(path));
        return std::make_pair(core::ProgrammeText(programme), programme.folder.string());
      },
      py::arg("path"));
  m.def(
      "programme_save",
      [](const std::string& path, const std::string& text, const std::string& folder) {
        const core::Programme programme = Parse(text, folder);
        if (auto ok = core::SaveProgrammeFile(path, programme); !ok) Raise(ok.error());
      },
      py::arg("path"), py::arg("text"), py::arg("folder"));
  m.def("programme_run", &Run, py::arg("text"), py::arg("folder"), py::arg("arrays"),
        py::arg("threads"));
}

}  // namespace torvwy::python
