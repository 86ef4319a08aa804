// torvwy import: a CSV/text column or a 16-bit PCM WAV file as a node (.tsp/.sts pair).
#include <cmath>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/cli_support.h"
#include "cli/subcommands.h"
#include "core/data/column_reader.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
#include "core/data/wav_reader.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::cli {
namespace {

struct ImportOptions {
  std::string input;
  std::string data = ".";
  std::string test;
  std::string code;
  std::string node;
  int column = 1;
  int time_column = 0;
  int channel = 1;
  double rate = 0.0;
  int32_t format = core::kFormatFloat64;
  std::optional<double> c1;
  double c2 = 1.0;
  std::string eu = "EU";
  std::string description;
  std::optional<double> nan_value;
};

/// Says a column reader's failure as the import always has: its detail, with a hint for a NaN
/// cell.
int ReportReadError(const core::Error& error, const ImportOptions& options) {
  std::string text = error.detail;
  if (error.message == core::kMsgBadValue && !options.nan_value) {
    text += " (give --nan-value to replace it)";
  }
  return ReportError(text);
}

core::ColumnChoice ChoiceOf(const ImportOptions& options) {
  return {options.column, options.time_column, options.nan_value};
}

int Finish(core::NodeWriter& writer, const ImportOptions& options) {
  const int64_t real = writer.samples();
  auto padding = writer.Commit();
  if (!padding) return ReportError(padding.error());
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
  info.set_eu(options.eu);
  info.set_text1("torvwy import");
  info.set_text2(std::filesystem::path(options.input).filename().string());
  info.set_text3(options.description);
  if (options.format == core::kFormatFloatFs) info.set_stored_full_scale(10000.0);
  return info;
}

int ImportWav(const ImportOptions& options) {
  auto wav = core::WavReader::Open(options.input);
  if (!wav) return ReportError(wav.error().detail);
  if (options.channel < 1 || options.channel > wav->channels()) {
    return ReportError("--channel must be 1.." + std::to_string(wav->channels()));
  }
  core::SamplingInfo info = BaseInfo(options);
  info.set_frequency_hz(options.rate > 0 ? options.rate : wav->rate_hz());
  auto writer =
      core::NodeWriter::Open(options.data, options.test, options.code, options.node, info);
  if (!writer) return ReportError(writer.error());
  std::vector<int16_t> samples;
  std::vector<double> values;
  while (wav->frames_left() > 0) {
    if (auto read = wav->Read(options.channel - 1, 4096, samples); !read) {
      return ReportError(read.error().detail);
    }
    values.clear();
    // A sample s reads s x 10000 / 32768 raw units, as the int16 formats convert it.
    for (const int16_t s : samples) values.push_back(static_cast<double>(s) * 10000.0 / 32768.0);
    if (auto ok = writer->Append(values); !ok) return ReportError(ok.error());
  }
  return Finish(*writer, options);
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
  auto writer =
      core::NodeWriter::Open(options.data, options.test, options.code, options.node, info);
  if (!writer) return ReportError(writer.error());
  std::vector<double> values;
  values.reserve(65536);
  core::Status status = core::Ok();
  const double c1 = info.c1(), c2 = info.c2();
  auto read = core::ReadColumnRows(options.input, choice, [&](double value, double) {
    values.push_back(value * c2 * c1);  // EU back to raw units
    if (values.size() == 65536) {
      if (status) status = writer->Append(values);
      values.clear();
    }
  });
  if (!read) return ReportReadError(read.error(), options);
  if (status) status = writer->Append(values);
  if (!status) return ReportError(status.error());
  return Finish(*writer, options);
}

int RunImport(const ImportOptions& options) {
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
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.input, ec)) {
    return ReportError("can't open " + options.input + ": no such file");
  }
  std::filesystem::create_directories(options.data, ec);
  if (ec) return ReportError("can't create " + options.data + ": " + ec.message());
  return core::LooksLikeWav(options.input) ? ImportWav(options) : ImportText(options);
}

}  // namespace

void RegisterImportCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<ImportOptions>();
  auto* command = app.add_subcommand(
      "import",
      "Turn a column of a CSV/text file, or a 16-bit PCM WAV file, into a node (.tsp/.sts)");
  command->add_option("--input", options->input, "CSV/text or WAV file")->required();
  command->add_option("--data", options->data, "Folder of the test's data files")
      ->capture_default_str();
  command->add_option("--test", options->test, "Test name")->required();
  command->add_option("--code", options->code, "Test code")->required();
  command->add_option("--node", options->node, "Node name")->required();
  command->add_option("--column", options->column, "Value column of a text file, from 1")
      ->capture_default_str();
  command->add_option("--time-column", options->time_column,
                      "Time column (s) of a text file; gives the sampling frequency");
  command->add_option("--rate", options->rate, "Sampling frequency in Hz (WAV: from the file)");
  command->add_option("--channel", options->channel, "Channel of a WAV file, from 1")
      ->capture_default_str();
  command
      ->add_option("--format", options->format,
                   "Sample format of the node: 886 float64 (exact), 885 float32, 951 int16 "
                   "(scaled to 90 % of full scale unless --c1 is given), 872 int32")
      ->capture_default_str();
  command->add_option("--c1", options->c1, "Calibration factor c1 (EU = raw / c2 / c1)");
  command->add_option("--c2", options->c2, "Calibration factor c2")->capture_default_str();
  command->add_option("--eu", options->eu, "Engineering unit text")->capture_default_str();
  command->add_option("--description", options->description, "Descriptive text of the node");
  command->add_option("--nan-value", options->nan_value,
                      "Value that replaces NaN cells (without it a NaN is an error)");
  command->callback([options, &exit_code] { exit_code = RunImport(*options); });
}

}  // namespace torvwy::cli
