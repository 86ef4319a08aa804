// torvwy import: a CSV/text column or a 16-bit PCM WAV file as a node (.tsp/.sts pair).
#include <strings.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/cli_support.h"
#include "cli/subcommands.h"
#include "core/data/node_writer.h"
#include "core/data/sample_format.h"
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

/// Fields of a text line, split at commas, semicolons, tabs and blanks.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  const bool has_separator = line.find_first_of(",;\t") != std::string_view::npos;
  while (pos <= line.size()) {
    if (!has_separator) {
      pos = line.find_first_not_of(' ', pos);
      if (pos == std::string_view::npos) break;
    }
    size_t end = line.find_first_of(has_separator ? ",;\t" : " ", pos);
    if (end == std::string_view::npos) end = line.size();
    std::string_view field = line.substr(pos, end - pos);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    fields.push_back(field);
    pos = end + 1;
  }
  return fields;
}

/// The field as a number: a finite value, NaN for "nan" texts, nothing for other text.
std::optional<double> ParseField(std::string_view field) {
  if (field.empty()) return std::nullopt;
  std::string text(field);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

/// Reads the value column of a text file row by row; calls `sink(value, time)`.
/// Lines before the first number row (headers) and lines starting with '#' or '%' are skipped.
template <typename Sink>
int ReadTextRows(const ImportOptions& options, Sink sink) {
  std::ifstream in(options.input, std::ios::binary);
  if (!in) return ReportError("can't open " + options.input);
  std::string line;
  int64_t line_number = 0;
  bool data_started = false;
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#' || line[first] == '%') continue;
    const auto fields = SplitFields(line);
    const std::string where = options.input + " line " + std::to_string(line_number);
    auto field = [&](int column) -> std::optional<double> {
      if (column < 1 || static_cast<size_t>(column) > fields.size()) return std::nullopt;
      return ParseField(fields[static_cast<size_t>(column - 1)]);
    };
    auto value = field(options.column);
    if (!value) {
      if (!data_started) continue;  // a header line
      return ReportError(where + ": column " + std::to_string(options.column) +
                         " is missing or not a number");
    }
    data_started = true;
    if (!std::isfinite(*value)) {
      if (!options.nan_value) {
        return ReportError(where + ": the value is not finite (give --nan-value to replace it)");
      }
      value = *options.nan_value;
    }
    double time = 0.0;
    if (options.time_column > 0) {
      auto t = field(options.time_column);
      if (!t || !std::isfinite(*t)) {
        return ReportError(where + ": time column " + std::to_string(options.time_column) +
                           " is missing or not a number");
      }
      time = *t;
    }
    sink(*value, time);
  }
  if (in.bad()) return ReportError("read error in " + options.input);
  return kExitOk;
}

struct WavData {
  int channels = 0;
  uint32_t rate = 0;
  std::streamoff data_offset = 0;
  uint64_t data_bytes = 0;
};

uint32_t Le32(const char* p) {
  return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

/// Finds the format and data chunks of a 16-bit PCM WAV file.
std::optional<WavData> ReadWavHeader(std::ifstream& in, std::string& error) {
  char riff[12];
  if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    error = "not a RIFF/WAVE file";
    return std::nullopt;
  }
  WavData wav;
  bool have_format = false;
  char header[8];
  while (in.read(header, 8)) {
    const uint32_t size = Le32(header + 4);
    if (std::memcmp(header, "fmt ", 4) == 0) {
      char fmt[16];
      if (size < 16 || !in.read(fmt, 16)) {
        error = "damaged format chunk";
        return std::nullopt;
      }
      const int audio_format = static_cast<unsigned char>(fmt[0]) | fmt[1] << 8;
      wav.channels = static_cast<unsigned char>(fmt[2]) | fmt[3] << 8;
      wav.rate = Le32(fmt + 4);
      const int bits = static_cast<unsigned char>(fmt[14]) | fmt[15] << 8;
      if ((audio_format != 1 && audio_format != 0xFFFE) || bits != 16) {
        error = "only 16-bit PCM WAV files can be imported";
        return std::nullopt;
      }
      in.seekg(static_cast<std::streamoff>(size - 16 + (size & 1)), std::ios::cur);
      have_format = true;
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (!have_format || wav.channels < 1 || wav.rate == 0) {
        error = "data chunk before a valid format chunk";
        return std::nullopt;
      }
      wav.data_offset = in.tellg();
      wav.data_bytes = size;
      return wav;
    } else {
      in.seekg(static_cast<std::streamoff>(size + (size & 1)), std::ios::cur);
    }
  }
  error = "no data chunk";
  return std::nullopt;
}

bool IsWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::memcmp(magic, "RIFF", 4) == 0;
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
  std::ifstream in(options.input, std::ios::binary);
  std::string error;
  auto wav = ReadWavHeader(in, error);
  if (!wav) return ReportError(options.input + ": " + error);
  if (options.channel < 1 || options.channel > wav->channels) {
    return ReportError("--channel must be 1.." + std::to_string(wav->channels));
  }
  core::SamplingInfo info = BaseInfo(options);
  info.set_frequency_hz(options.rate > 0 ? options.rate : wav->rate);
  auto writer =
      core::NodeWriter::Open(options.data, options.test, options.code, options.node, info);
  if (!writer) return ReportError(writer.error());
  in.clear();
  in.seekg(wav->data_offset);
  const size_t frame = static_cast<size_t>(wav->channels) * 2;
  std::vector<char> raw(frame * 4096);
  std::vector<double> values;
  uint64_t left = wav->data_bytes / frame;
  while (left > 0) {
    const size_t frames = static_cast<size_t>(std::min<uint64_t>(left, 4096));
    if (!in.read(raw.data(), static_cast<std::streamsize>(frames * frame))) {
      return ReportError(options.input + ": the data chunk is cut short");
    }
    values.clear();
    for (size_t f = 0; f < frames; ++f) {
      const char* p = raw.data() + f * frame + static_cast<size_t>(options.channel - 1) * 2;
      const auto s = static_cast<int16_t>(static_cast<unsigned char>(p[0]) | p[1] << 8);
      // A sample s reads s x 10000 / 32768 raw units, as the int16 formats convert it.
      values.push_back(static_cast<double>(s) * 10000.0 / 32768.0);
    }
    if (auto ok = writer->Append(values); !ok) return ReportError(ok.error());
    left -= frames;
  }
  return Finish(*writer, options);
}

int ImportText(const ImportOptions& options) {
  // First pass: count, largest magnitude and the time span.
  int64_t rows = 0;
  double largest = 0.0, first_time = 0.0, last_time = 0.0;
  int rc = ReadTextRows(options, [&](double value, double time) {
    if (rows == 0) first_time = time;
    last_time = time;
    largest = std::max(largest, std::fabs(value));
    ++rows;
  });
  if (rc != kExitOk) return rc;
  if (rows == 0) return ReportError(options.input + ": no number rows found");
  double rate = options.rate;
  if (rate <= 0.0) {
    if (options.time_column <= 0) {
      return ReportError("give the sampling frequency with --rate, or a --time-column");
    }
    if (rows < 2 || !(last_time > first_time)) {
      return ReportError(options.input + ": the time column does not increase");
    }
    rate = static_cast<double>(rows - 1) / (last_time - first_time);
  }
  core::SamplingInfo info = BaseInfo(options);
  info.set_frequency_hz(rate);
  const bool integer_format = options.format != core::kFormatFloat32 &&
                              options.format != core::kFormatFloat64 &&
                              options.format != core::kFormatFloatFs;
  if (!options.c1 && largest > 0.0) {
    // The full scale in EU (FS / c2 / c1) should fit the signal: the amplitude range "full" and
    // the smallest counted rainflow range (a thousandth of it) depend on it. Integer formats use
    // 90 % of their full scale; float formats take a power of two, so that v x c2 x c1 / c2 / c1
    // gives every value back exactly.
    const double full_scale = options.format == core::kFormatFloatFs
                                  ? 10000.0
                                  : *core::GetFormatFullScale(options.format);
    const double c1 = 0.9 * full_scale / largest / options.c2;
    info.set_c1(integer_format ? c1 : std::exp2(std::floor(std::log2(std::fabs(c1)))));
  }
  auto writer =
      core::NodeWriter::Open(options.data, options.test, options.code, options.node, info);
  if (!writer) return ReportError(writer.error());
  std::vector<double> values;
  values.reserve(65536);
  core::Status status = core::Ok();
  const double c1 = info.c1(), c2 = info.c2();
  rc = ReadTextRows(options, [&](double value, double) {
    values.push_back(value * c2 * c1);  // EU back to raw units
    if (values.size() == 65536) {
      if (status) status = writer->Append(values);
      values.clear();
    }
  });
  if (rc != kExitOk) return rc;
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
  return IsWav(options.input) ? ImportWav(options) : ImportText(options);
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
