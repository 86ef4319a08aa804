// torvwy import: the channels of a recording (CSV/text, MATLAB, HDF5, WAV/FLAC/AIFF) as nodes,
// every channel in one run or one channel as a named node.
#include <cmath>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/cli_support.h"
#include "cli/subcommands.h"
#include "core/data/column_reader.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "recording/recording_import.h"

namespace torvwy::cli {
namespace {

struct ImportOptions {
  std::string input;
  std::string data = ".";
  std::string test;
  std::string code;
  std::string node;  ///< empty: every channel, named from the file
  int column = 1;
  bool column_given = false;
  int time_column = 0;
  int channel = 1;
  double rate = 0.0;
  int32_t format = core::kFormatFloat64;
  std::optional<double> c1;
  double c2 = 1.0;
  std::optional<std::string> eu;  ///< none: the channel's unit, or "EU"
  std::string description;
  std::optional<double> nan_value;
  std::vector<std::string> channels;
  std::vector<std::string> node_names;
  std::string rate_from;
  std::vector<std::string> datasets;
  bool decimal_comma = false;
  bool overwrite = false;
};

std::vector<std::string> Items(const std::vector<std::string>& lists) {
  std::vector<std::string> items;
  for (const std::string& list : lists) {
    for (std::string& item : recording::SplitList(list)) items.push_back(std::move(item));
  }
  return items;
}

/// Says a column reader's failure as the import always has: its detail, with a hint for a NaN
/// or infinite cell (a reader says "not finite" or "not a finite number" of it).
int ReportReadError(const core::Error& error, const ImportOptions& options) {
  std::string text = error.detail;
  if (error.message == core::kMsgBadValue && !options.nan_value &&
      text.find("finite") != std::string::npos) {
    text += " (give --nan-value to replace it)";
  }
  return ReportError(text);
}

/// Says a node writer's failure; a value the node can't keep with the file and the column it
/// comes from.
int ReportNodeError(const core::Error& error, const ImportOptions& options) {
  if (error.message != core::kMsgBadValue) return ReportError(error);
  return ReportError(options.input + ": column " + std::to_string(options.column) + ", " +
                     error.detail);
}

core::ColumnChoice ChoiceOf(const ImportOptions& options) {
  return {options.column, options.time_column, options.nan_value, options.decimal_comma};
}

int Finish(core::NodeWriter& writer, const ImportOptions& options) {
  const int64_t real = writer.samples();
  auto padding = writer.Commit();
  if (!padding) return ReportNodeError(padding.error(), options);
  std::cout << "imported " << real << " samples into " << writer.sts_path().string() << "\n";
  if (*padding > 0) {
    std::cout << "padded " << *padding
              << " samples with the last value to fill the last half block of 512 samples\n";
  }
  std::cout << "node " << options.test << options.code << "#" << options.node << ": c1 "
            << core::ShortestText(writer.info().c1()) << ", c2 "
            << core::ShortestText(writer.info().c2()) << ", full scale "
            << core::ShortestText(writer.full_scale_eu()) << " " << writer.info().eu() << "\n";
  return kExitOk;
}

core::SamplingInfo BaseInfo(const ImportOptions& options) {
  core::SamplingInfo info;
  info.set_format(options.format);
  info.set_c2(options.c2);
  info.set_c1(options.c1.value_or(1.0));
  info.set_eu(options.eu.value_or("EU"));
  info.set_text1("torvwy import");
  info.set_text2(std::filesystem::path(options.input).filename().string());
  info.set_text3(options.description);
  if (options.format == core::kFormatFloatFs) info.set_stored_full_scale(10000.0);
  return info;
}

int ImportText(const ImportOptions& options) {
  // First pass: count, largest magnitude and the time span.
  const core::ColumnChoice choice = ChoiceOf(options);
  auto summary = core::SummarizeColumn(options.input, choice);
  if (!summary) return ReportReadError(summary.error(), options);
  const double largest = summary->largest_magnitude;
  double rate = options.rate;
  if (rate <= 0.0) {
    if (options.time_column <= 0) {
      return ReportError("give the sampling frequency with --rate, or a --time-column");
    }
    auto from_time = summary->FrequencyFromTime(options.input);
    if (!from_time) return ReportError(from_time.error().detail);
    rate = *from_time;
  }
  core::SamplingInfo info = BaseInfo(options);
  info.set_frequency_hz(rate);
  if (!options.c1 && largest > 0.0) {
    info.set_c1(core::ImportC1(options.format, largest, options.c2));
  }
  const auto of_column = [&](const core::Error& error) { return ReportNodeError(error, options); };
  auto writer =
      core::NodeWriter::Open(options.data, options.test, options.code, options.node, info);
  if (!writer) return of_column(writer.error());
  std::vector<double> values;
  values.reserve(65536);
  core::Status status = core::Ok();
  auto read = core::ReadColumnRows(options.input, choice, [&](double value, double) {
    values.push_back(value);
    if (values.size() == 65536) {
      if (status) status = writer->AppendEu(values);
      values.clear();
    }
  });
  if (!read) return ReportReadError(read.error(), options);
  if (status) status = writer->AppendEu(values);
  if (!status) return of_column(status.error());
  return Finish(*writer, options);
}

recording::ImportSettings SettingsOf(const ImportOptions& options) {
  recording::ImportSettings settings;
  settings.data = options.data;
  settings.test = options.test;
  settings.code = options.code;
  settings.format = options.format;
  settings.c1 = options.c1;
  settings.c2 = options.c2;
  settings.eu = options.eu;
  settings.description = options.description;
  settings.rate_hz = options.rate;
  settings.overwrite = options.overwrite;
  return settings;
}

recording::RecordingOptions RecordingOptionsOf(const ImportOptions& options) {
  recording::RecordingOptions read;
  read.time_column = options.time_column;
  read.decimal_comma = options.decimal_comma;
  read.nan_value = options.nan_value;
  read.rate_from = options.rate_from;
  read.datasets = Items(options.datasets);
  return read;
}

/// Says one channel of the plan: "channel 3 'Strain 1' -> node Strain_1 (note)".
std::string PlanLine(const recording::RecordingReader& file, const recording::PlannedNode& node) {
  const recording::ChannelInfo& channel = file.channels()[node.channel];
  std::string line = "channel " + std::to_string(node.channel + 1) + " '" +
                     core::EscapeControlCharacters(channel.name) + "' -> node " + node.node;
  if (!node.note.empty()) line += " (" + node.note + ")";
  return line;
}

/// The channels of a recording through the import of recordings: every channel, some chosen by
/// --channels, or the one channel a --node names.
int ImportRecording(const ImportOptions& options) {
  auto file = recording::OpenRecording(options.input, RecordingOptionsOf(options));
  if (!file) return ReportReadError(file.error(), options);
  recording::ChannelSelection selection{Items(options.channels), Items(options.node_names)};
  if (!options.node.empty()) {
    // One named node: the channel --channel or --channels picks, or the file's only channel.
    if (selection.channels.empty()) {
      if ((*file)->kind() == recording::RecordingKind::kSound) {
        selection.channels = {std::to_string(options.channel)};
      } else if ((*file)->channels().size() == 1) {
        selection.channels = {"1"};
      } else {
        return ReportError(options.input + " holds " + std::to_string((*file)->channels().size()) +
                           " channels: choose the one for --node with --channels");
      }
    }
    if (selection.channels.size() != 1) {
      return ReportError("--node names one node: give one channel with --channels");
    }
    if (!selection.node_names.empty()) {
      return ReportError("give either --node or --node-names");
    }
    selection.node_names = {options.node};
  }
  auto plan = recording::PlanNodes((*file)->channels(), selection);
  if (!plan) return ReportError(plan.error());
  for (const std::string& line : (*file)->skipped()) std::cout << "skipped: " << line << "\n";
  for (const auto& node : *plan) std::cout << PlanLine(**file, node) << "\n";
  std::cout.flush();

  const recording::ImportSettings settings = SettingsOf(options);
  if (auto ok = recording::CheckImport(**file, *plan, settings); !ok)
    return ReportError(ok.error());
  ConsoleProgress progress;
  const auto outcome =
      recording::ImportChannels(**file, *plan, settings, [&progress](int64_t done, int64_t total) {
        if (progress.upper() != total) progress.SetRange(0, total);
        progress.SetPos(done);
        return !progress.CheckCancelButton();
      });
  for (const auto& node : outcome.written) {
    std::cout << "wrote " << options.test << options.code << "#" << node.node << ": "
              << node.samples << " samples at " << core::ShortestText(node.rate_hz) << " Hz";
    if (node.padding > 0) std::cout << " (+" << node.padding << " padding)";
    std::cout << ", c1 " << core::ShortestText(node.c1) << ", c2 " << core::ShortestText(node.c2)
              << ", full scale " << core::ShortestText(node.full_scale_eu) << " " << node.eu
              << "\n";
  }
  std::cout << "imported " << outcome.written.size() << " of " << plan->size() << " channels of "
            << options.input << " into " << options.data << "\n";
  std::cout.flush();
  if (!outcome.ok()) {
    if (outcome.failure->message == core::kMsgCalculationCancelled) return RunExitCode(true);
    return ReportReadError(*outcome.failure, options);
  }
  return kExitOk;
}

int RunImport(ImportOptions options) {
  if (!core::IsKnownFormat(options.format)) {
    return ReportError("--format " + std::to_string(options.format) + " is not a known format");
  }
  if (options.c1 && (*options.c1 == 0.0 || !std::isfinite(*options.c1))) {
    return ReportError("--c1 must be a finite number other than 0");
  }
  if (options.c2 == 0.0 || !std::isfinite(options.c2)) {
    return ReportError("--c2 must be a finite number other than 0");
  }
  if (options.rate < 0.0 || !std::isfinite(options.rate)) {
    return ReportError("--rate must be a number > 0");
  }
  if (options.column < 1) return ReportError("--column must be 1 or more");
  if (options.channel < 1) return ReportError("--channel must be 1 or more");
  if (options.time_column < 0) return ReportError("--time-column must be 1 or more");
  if (options.column_given && options.node.empty()) {
    return ReportError("--column picks the value column of one --node; for several use --channels");
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.input, ec)) {
    return ReportError("can't open " + options.input + ": no such file");
  }
  auto kind = recording::DetectRecordingKind(options.input);
  if (!kind) return ReportError(kind.error());
  // One column of a text file as a named node reads as it always has.
  if (*kind == recording::RecordingKind::kText && !options.node.empty() &&
      options.channels.empty() && options.node_names.empty()) {
    if (auto ok = core::CheckName(options.node, "node name"); !ok) return ReportError(ok.error());
    if (auto free = recording::CheckNodesFree(SettingsOf(options), {options.node}); !free) {
      return ReportError(free.error());
    }
    std::filesystem::create_directories(options.data, ec);
    if (ec) return ReportError("can't create " + options.data + ": " + ec.message());
    return ImportText(options);
  }
  return ImportRecording(options);
}

}  // namespace

void RegisterImportCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<ImportOptions>();
  auto* command = app.add_subcommand(
      "import",
      "Turn the channels of a recording (CSV/text, MATLAB .mat, HDF5, WAV/FLAC/AIFF) into nodes "
      "(.tsp/.sts): every channel in one run, or one channel as the node --node names");
  command->add_option("--input", options->input, "Recording: CSV/text, .mat, HDF5 or sound file")
      ->required();
  command->add_option("--data", options->data, "Folder of the test's data files")
      ->capture_default_str();
  command->add_option("--test", options->test, "Test name")->required();
  command->add_option("--code", options->code, "Test code")->required();
  command->add_option("--node", options->node,
                      "Node name of the one channel to import; without it every channel becomes "
                      "a node named after it");
  command->add_option("--channels", options->channels,
                      "Channels to import, by name or number from 1 (comma-separated list)");
  command->add_option("--node-names", options->node_names,
                      "Node names for the chosen channels, in order (comma-separated list)");
  auto* column = command->add_option("--column", options->column,
                                     "Value column of a text file for --node, from 1");
  column->capture_default_str();
  command->add_option("--time-column", options->time_column,
                      "Time column (s) of a text file; gives the sampling frequency (a first "
                      "column headed \"time\" or \"t\" is taken as such when importing every "
                      "channel)");
  command->add_option("--rate", options->rate,
                      "Sampling frequency in Hz (sound files: from the file)");
  command->add_option("--rate-from", options->rate_from,
                      "MATLAB variable or HDF5 attribute giving the rate in Hz (\"dt\": the step "
                      "in s); tried without it: rate, sample_rate, fs, dt");
  command->add_option("--dataset", options->datasets,
                      "HDF5 dataset path to import (repeat or comma-separate for several)");
  command->add_option("--channel", options->channel, "Channel of a sound file for --node, from 1")
      ->capture_default_str();
  command->add_flag("--decimal-comma", options->decimal_comma,
                    "Text files: ';' separates the fields and ',' is the decimal mark");
  command->add_flag("--overwrite", options->overwrite,
                    "Replace nodes that exist already (without it the import refuses before "
                    "writing anything)");
  command
      ->add_option("--format", options->format,
                   "Sample format of the nodes: 886 float64 (exact), 885 float32, 951 int16 "
                   "(scaled to 90 % of full scale unless --c1 is given), 872 int32")
      ->capture_default_str();
  command->add_option("--c1", options->c1, "Calibration factor c1 (EU = raw / c2 / c1)");
  command->add_option("--c2", options->c2, "Calibration factor c2")->capture_default_str();
  command->add_option("--eu", options->eu,
                      "Engineering unit text (default: the file's unit, or EU)");
  command->add_option("--description", options->description, "Descriptive text of the nodes");
  command->add_option("--nan-value", options->nan_value,
                      "Value that replaces NaN cells (without it a NaN is an error)");
  command->callback([options, column, &exit_code] {
    options->column_given = column->count() > 0;
    exit_code = RunImport(*options);
  });
}

}  // namespace torvwy::cli
