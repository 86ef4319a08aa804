// torvwy stats: amplitude statistics of a batch of waveforms.
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/analysis_options.h"
#include "cli/cli_support.h"
#include "cli/command_language.h"
#include "cli/handover_options.h"
#include "cli/subcommands.h"
#include "core/files/statistics_result_file.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "core/stats/statistics_batch.h"
#include "output/console_output.h"
#include "output/stats_output.h"

namespace torvwy::cli {
namespace {

struct StatsOptions {
  std::string data = ".";
  std::string test;
  std::string codes;
  std::string nodes;
  std::optional<int> peak_peak;
  int threads = 0;
  std::string lang;
  bool json = false;
  bool save = false;
  std::string result_dir;
  HandOverOptions hand_over;
  std::string readout;    ///< refused: a statistics list has no partitions
  bool one_way = false;   ///< accepted, no effect
  bool separate = false;  ///< accepted, no effect
};

constexpr char kRangeGrammar[] = R"(Code ranges (--codes, --nodes):
  a comma-separated list of items, each a code or a span FIRST-LAST, for example
  "1,3,5-9,A1-A7,B5" (1 3 5 6 7 8 9 A1 A2 ... A7 B5).
  A span's ends share their letter prefix and end in a number, first <= last; a tail written
  with leading zeros keeps its width (A08-A10: A08 A09 A10). Blanks around items and around
  "-" are ignored; codes come out in the order written, duplicates kept.
  Malformed: an empty text or item ("1,,2"), a lone "-", different prefixes ("A1-B3"),
  a span that runs backwards ("9-5"), an end without a number ("A-B").
Waveforms: every pair (code, node) in code-then-node order whose "<test><code>#<node>.tsp"
  (extension in any case) exists in --data; a pair that can't be read gives no row and the
  batch goes on. The exit code is 1 only when no pair gave a row (130 after Ctrl-C).)";

int RunStats(const StatsOptions& options) {
  if (auto ok = core::CheckName(options.test, "test name"); !ok) return ReportError(ok.error());
  if (!options.readout.empty()) return ReportError("--readout applies to counting results");
  core::Language language = CommandLanguage();
  if (options.lang == "zh") language = core::Language::kChinese;
  if (options.lang == "en") language = core::Language::kEnglish;

  core::StatisticsParameters parameters;
  parameters.data_path = options.data;
  parameters.result_path = options.result_dir.empty() ? options.data : options.result_dir;
  parameters.test_name = options.test;
  parameters.code_range = options.codes;
  parameters.node_range = options.nodes;
  if (options.peak_peak) {
    parameters.content = core::kStatPeakPeaks;
    parameters.peak_peak_count = *options.peak_peak;
  }
  if (options.save) {
    std::error_code error;
    if (!std::filesystem::is_directory(parameters.result_path, error)) {
      return ReportError("result folder " + parameters.result_path + " does not exist");
    }
  }
  core::StatisticsRunOptions run;
  run.language = language;
  run.number_format = core::ReadNumberFormatCode();
  run.threads = options.threads;

  core::Result<core::StatisticsBatch> batch = [&] {
    ConsoleProgress progress;
    return core::RunStatistics(parameters, run, progress);
  }();
  if (!batch) return ReportError(batch.error());

  const int64_t rowless = batch->failed_pairs;
  const bool none = batch->results.empty();
  std::filesystem::path saved;
  if (options.save && !batch->cancelled && !none) {
    saved = core::StatisticsResultFilePath(parameters.result_path, parameters.test_name,
                                           batch->codes, batch->nodes);
    if (auto ok = core::WriteStatisticsResultFile(saved, batch->table); !ok) {
      return ReportError(ok.error());
    }
  }
  if (options.json) {
    nlohmann::ordered_json json = output::StatisticsJson(*batch);
    json["valid_pairs"] = batch->valid_pairs;
    json["finished_pairs"] = batch->finished_pairs;
    json["rowless_pairs"] = rowless;
    json["cancelled"] = batch->cancelled;
    if (!saved.empty()) json["result_file"] = saved.string();
    output::PrintJson(json);
  } else {
    output::PrintParameter("test", parameters.test_name);
    output::PrintParameter("codes", parameters.code_range);
    output::PrintParameter("nodes", parameters.node_range);
    output::PrintParameter("content", parameters.content == core::kStatPeakPeaks
                                          ? "the " + std::to_string(parameters.peak_peak_count) +
                                                " largest peak-to-peak values"
                                          : std::string("amplitude indices"));
    output::PrintParameter("waveforms", std::to_string(batch->valid_pairs));
    std::printf("\n");
    output::PrintStatisticsTable(batch->table);
    if (!saved.empty()) std::printf("\nsaved %s\n", saved.string().c_str());
  }
  if (rowless > 0) {
    std::cerr << "torvwy: " << rowless << " of " << batch->finished_pairs
              << " waveforms gave no row (unreadable, damaged or without a half-cycle)\n";
  }
  if (batch->cancelled) return RunExitCode(true);
  if (none) {
    std::cerr << "torvwy: no waveform gave a row\n";
    // Every line of the reasons goes out with the program's prefix, so a script sees which
    // pair failed and why.
    std::string reasons = core::DescribeFailures(*batch, parameters.test_name, language);
    for (size_t start = 0; start < reasons.size();) {
      size_t end = reasons.find('\n', start);
      if (end == std::string::npos) end = reasons.size();
      std::cerr << "torvwy: " << reasons.substr(start, end - start) << "\n";
      start = end + 1;
    }
    return kExitFailure;
  }
  return HandOverStatistics(options.hand_over, batch->table, core::NamesOfBatch(parameters, *batch),
                            language, options.json);
}

}  // namespace

void RegisterStatsCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<StatsOptions>();
  auto* command = app.add_subcommand(
      "stats",
      "Amplitude statistics of a batch of waveforms: amplitude indices, or with --peak-peak the "
      "N largest peak-to-peak values of each");
  command->add_option("--data", options->data, "Data folder holding the waveforms")
      ->capture_default_str();
  command->add_option("--test", options->test, "Test name")->required();
  command->add_option("--codes", options->codes, "Test-code range, e.g. \"1,3,5-9,A1-A7,B5\"")
      ->required();
  command->add_option("--nodes", options->nodes, "Node-name range, e.g. \"1-8\"")->required();
  command
      ->add_option("--peak-peak", options->peak_peak,
                   "Keep the N largest peak-to-peak values of each waveform (N in 1..200)")
      ->check(CLI::Range(1, 200));
  command->add_option("--threads", options->threads, "Worker threads (0: one per core)")
      ->check(CLI::Range(0, 256))
      ->capture_default_str();
  command->add_option("--lang", options->lang, "Language of the column titles (zh or en)")
      ->check(CLI::IsMember({"zh", "en"}));
  command->add_flag("--json", options->json, "One JSON object instead of the table");
  command->add_flag("--save", options->save,
                    "Save the list as <result dir>/<test>[<code>]#<node or first_last>.aps");
  command
      ->add_option("--result-dir", options->result_dir,
                   "Where --save writes (default: the --data folder)")
      ->check(NonEmptyValue());
  AddHandOverOptions(*command, options->hand_over, false);
  command
      ->add_option("--readout", options->readout,
                   "Refused here: the readout list belongs to the counting analyses")
      ->check(NonEmptyValue());
  command->add_flag("--one-way", options->one_way,
                    "Accepted with the counting commands' options; "
                    "no effect on statistics");
  command->add_flag("--separate", options->separate,
                    "Accepted with the counting commands' options; no effect on statistics");
  command->footer(kRangeGrammar);
  command->callback([options, &exit_code] { exit_code = RunStats(*options); });
}

}  // namespace torvwy::cli
