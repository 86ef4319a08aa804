// The bindings of recordings: the channels of a CSV/text, MATLAB, HDF5 or sound file.
#include "recording_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "binding_support.h"
#include "core/services/message_table.h"
#include "recording/recording_import.h"

namespace py = pybind11;

namespace torvwy::python {
namespace {

recording::RecordingOptions ReadOptions(std::optional<int> time_column, bool decimal_comma,
                                        std::optional<double> nan_value,
                                        const std::string& rate_from,
                                        const std::vector<std::string>& datasets) {
  recording::RecordingOptions options;
  if (time_column) {
    if (*time_column < 1) Raise(core::Fail(core::kMsgBadValue, "time_column must be 1 or more"));
    options.time_column = *time_column;
  }
  options.decimal_comma = decimal_comma;
  options.nan_value = nan_value;
  options.rate_from = rate_from;
  options.datasets = datasets;
  return options;
}

recording::RecordingHandle Open(const std::filesystem::path& path,
                                const recording::RecordingOptions& options) {
  core::Result<recording::RecordingHandle> file = core::Fail(0, "");
  {
    py::gil_scoped_release release;
    file = recording::OpenRecording(path, options);
  }
  return Take(std::move(file));
}

/// The channels of a recording read whole: (names, arrays, rates, units, skipped).
py::tuple ReadChannels(const std::filesystem::path& path, std::optional<int> time_column,
                       bool decimal_comma, std::optional<double> nan_value,
                       const std::string& rate_from, const std::vector<std::string>& datasets,
                       const std::vector<std::string>& channels) {
  auto file = Open(path, ReadOptions(time_column, decimal_comma, nan_value, rate_from, datasets));
  auto plan = Take(recording::PlanNodes(file->channels(), {channels, {}}));
  py::list names, arrays, rates, units, skipped;
  for (const std::string& line : file->skipped()) skipped.append(line);
  for (const recording::PlannedNode& planned : plan) {
    const recording::ChannelInfo& channel = file->channels()[planned.channel];
    py::array_t<double> array(static_cast<py::ssize_t>(channel.length));
    double* out = array.mutable_data();
    int64_t filled = 0;
    core::Status read = core::Ok();
    {
      py::gil_scoped_release release;
      read = file->Read(planned.channel, [&](std::span<const double> values) -> core::Status {
        if (filled + static_cast<int64_t>(values.size()) > channel.length) {
          return core::Fail(core::kMsgFileRead, path.string() + ": channel '" + channel.name +
                                                    "' holds more samples than it said");
        }
        std::copy(values.begin(), values.end(), out + filled);
        filled += static_cast<int64_t>(values.size());
        return core::Ok();
      });
    }
    if (!read) Raise(read.error());
    if (filled != channel.length) {
      Raise(core::Fail(core::kMsgFileRead, path.string() + ": channel '" + channel.name +
                                               "' holds fewer samples than it said"));
    }
    names.append(channel.name);
    arrays.append(std::move(array));
    rates.append(channel.rate_hz);
    units.append(channel.unit);
  }
  return py::make_tuple(names, arrays, rates, units, skipped);
}

/// Imports channels as nodes; a list of dicts, one per written node, or TorvwyError naming the
/// nodes written before the failure.
py::list ImportFile(const std::filesystem::path& path, const std::filesystem::path& data,
                    const std::string& test, const std::string& code,
                    const std::vector<std::string>& channels,
                    const std::vector<std::string>& node_names, int32_t format,
                    std::optional<double> c1, double c2, std::optional<std::string> eu,
                    const std::string& description, double rate, bool overwrite,
                    std::optional<int> time_column, bool decimal_comma,
                    std::optional<double> nan_value, const std::string& rate_from,
                    const std::vector<std::string>& datasets) {
  auto file = Open(path, ReadOptions(time_column, decimal_comma, nan_value, rate_from, datasets));
  auto plan = Take(recording::PlanNodes(file->channels(), {channels, node_names}));
  recording::ImportSettings settings;
  settings.data = data;
  settings.test = test;
  settings.code = code;
  settings.format = format;
  settings.c1 = c1;
  settings.c2 = c2;
  settings.eu = std::move(eu);
  settings.description = description;
  settings.rate_hz = rate;
  settings.overwrite = overwrite;
  settings.overwrite_hint = "pass overwrite=True to replace it";
  settings.rate_hint = "give it with rate=";
  InterruptibleProgress progress;
  recording::ImportOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = recording::ImportChannels(*file, plan, settings, [&](int64_t done, int64_t total) {
      if (progress.upper() != total) progress.SetRange(0, total);
      progress.SetPos(done);
      return !progress.CheckCancelButton();
    });
  }
  progress.RaiseIfInterrupted();
  if (!outcome.ok()) {
    core::Error error = *outcome.failure;
    std::string written;
    for (const auto& node : outcome.written) written += (written.empty() ? "" : ", ") + node.node;
    error.detail += written.empty() ? " (no node written)" : " (written before: " + written + ")";
    Raise(error);
  }
  py::list out;
  for (const auto& node : outcome.written) {
    py::dict entry;
    entry["channel"] = file->channels()[node.channel].name;
    entry["node"] = node.node;
    entry["samples"] = node.samples;
    entry["padding"] = node.padding;
    entry["frequency_hz"] = node.rate_hz;
    entry["c1"] = node.c1;
    entry["c2"] = node.c2;
    entry["full_scale_eu"] = node.full_scale_eu;
    entry["eu"] = node.eu;
    out.append(std::move(entry));
  }
  return out;
}

}  // namespace

void BindRecording(py::module_& m) {
  m.def("read_channels", &ReadChannels);
  m.def("import_file", &ImportFile);
}

}  // namespace torvwy::python
