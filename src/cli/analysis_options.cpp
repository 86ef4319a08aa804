// Parsing the counting options and printing counting results.
#include "cli/analysis_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/files/result_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::cli {
namespace {

core::Error Bad(const std::string& text) { return core::Fail(core::kMsgBadValue, text); }

}  // namespace

void AddAnalysisOptions(CLI::App& command, AnalysisOptions& options) {
  AddNodeOptions(command, options.node);
  command.add_option("--blocks", options.blocks,
                     "Analysis range FIRST-LAST in blocks of 1024 samples, from 1 (clamped to "
                     "the record, swapped when reversed); default the whole record");
  command
      .add_option("--amplitude", options.amplitude,
                  "Amplitude range: full (the sampling full scale), auto (from the largest "
                  "peak) or a value in EU")
      ->capture_default_str();
  command.add_option("--partitions", options.partitions, "Number of partitions N (2000 at most)")
      ->capture_default_str();
  command.add_flag("--json", options.json, "One JSON object on stdout");
  command.add_flag("--save", options.save,
                   "Save the result file <test><code>#<node>.PCM|.DCM|.RFL and print its path");
  command.add_option("--result-dir", options.result_dir,
                     "Folder for --save (default: the --data folder)");
}

core::Result<std::filesystem::path> SavePath(const AnalysisOptions& options,
                                             core::CountingKind kind) {
  const std::string folder = options.result_dir.empty() ? options.node.data : options.result_dir;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return core::Fail(core::kMsgResultFileCreate, folder + ": no such folder");
  }
  return core::ResultFilePath(folder, options.node.test, options.node.code, options.node.node,
                              kind);
}

void ShowRun(const AnalysisOptions& options, nlohmann::ordered_json json,
             const std::function<void()>& print_text, const std::filesystem::path& saved) {
  if (options.json) {
    if (!saved.empty()) json["result_file"] = saved.string();
    PrintJson(json);
    return;
  }
  print_text();
  if (!saved.empty()) std::printf("\nsaved %s\n", saved.string().c_str());
}

core::Result<PreparedRun> PrepareRun(const AnalysisOptions& options) {
  PreparedRun run;
  core::CountingParameters& p = run.parameters;
  auto n = core::ParseInt32(options.partitions);
  if (!n) return Bad("--partitions \"" + options.partitions + "\" is not a whole number");
  if (*n < 1) return Bad("--partitions must be 1 or more");
  p.partitions = *n;

  if (options.amplitude == "full") {
    p.amplitude_mode = core::kAmplitudeFullScale;
  } else if (options.amplitude == "auto") {
    p.amplitude_mode = core::kAmplitudeAutomatic;
  } else {
    const std::string& text = options.amplitude;
    const auto value = core::ParseFiniteDouble(text);
    if (!value) return Bad("--amplitude \"" + text + "\" is neither full, auto nor a number");
    p.amplitude_mode = core::kAmplitudeSetValue;
    p.set_value = *value;
  }

  std::optional<std::pair<int32_t, int32_t>> blocks;
  if (!options.blocks.empty()) {
    // FIRST-LAST; the dash that separates them is the first one after a digit.
    const std::string& text = options.blocks;
    size_t dash = std::string::npos;
    for (size_t i = 1; i < text.size(); ++i) {
      if (text[i] == '-' && std::isdigit(static_cast<unsigned char>(text[i - 1])) != 0) {
        dash = i;
        break;
      }
    }
    std::optional<int32_t> first, last;
    if (dash != std::string::npos) {
      first = core::ParseInt32(std::string_view(text).substr(0, dash));
      last = core::ParseInt32(std::string_view(text).substr(dash + 1));
    }
    if (!first || !last) return Bad("--blocks \"" + text + "\" is not FIRST-LAST");
    blocks = std::pair{*first, *last};
  }

  auto files = OpenNode(options.node);
  if (!files) return files.error();
  run.files = std::move(*files);
  core::ResetRangeOnNodeLoad(p, run.files.info);
  if (blocks) {
    p.range_mode = core::kRangeByBlock;
    p.block_from = blocks->first;
    p.block_to = blocks->second;
  }
  core::SettleRange(p);
  return run;
}

void PrintParameter(const std::string& name, const std::string& value) {
  std::printf("%-20s %s\n", name.c_str(), value.c_str());
}

void PrintHistogram(const std::string& title, const std::vector<std::string>& columns,
                    const std::vector<HistogramRow>& rows, const std::string& unit) {
  std::printf("\n%s\n", title.c_str());
  double largest = 0.0;
  for (const auto& row : rows) largest = std::max(largest, row.counts.back());
  std::printf("%5s  %12s  %12s", "#", ("from " + unit).c_str(), ("to " + unit).c_str());
  for (const auto& column : columns) std::printf("  %10s", column.c_str());
  std::printf("\n");
  constexpr int kBarWidth = 40;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    std::printf("%5zu  %12s  %12s", i + 1, core::FormatNumber(row.lower, 6).c_str(),
                core::FormatNumber(row.upper, 6).c_str());
    for (double count : row.counts) std::printf("  %10s", core::FormatNumber(count, 10).c_str());
    const double share = largest > 0.0 ? row.counts.back() / largest : 0.0;
    int bar = static_cast<int>(std::lround(share * kBarWidth));
    if (bar == 0 && row.counts.back() > 0.0) bar = 1;
    std::printf("  %s\n", std::string(static_cast<size_t>(bar), '#').c_str());
  }
}

void PrintJson(const nlohmann::ordered_json& json) {
  std::cout << json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

int RunExitCode(bool cancelled) {
  if (!cancelled) return kExitOk;
  std::cerr << "torvwy: "
            << core::LoadMessageTable(core::GetUILanguage())[core::kMsgCalculationCancelled]
            << " The counts are partial.\n";
  return kExitCancelled;
}

}  // namespace torvwy::cli
