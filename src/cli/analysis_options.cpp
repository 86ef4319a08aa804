// Parsing the counting options and running the count of a counting command.
#include "cli/analysis_options.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

#include "cli/command_language.h"
#include "core/files/result_file.h"
#include "core/run/counting_request.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::cli {
namespace {

core::Error Bad(const std::string& text) { return core::Fail(core::kMsgBadValue, text); }

}  // namespace

void AddAnalysisOptions(CLI::App& command, AnalysisOptions& options) {
  AddNodeOptions(command, options.node);
  command
      .add_option("--blocks", options.blocks,
                  "Analysis range FIRST-LAST in blocks of 1024 samples, from 1 (clamped to "
                  "the record, swapped when reversed); default the whole record")
      ->check(NonEmptyValue());
  command
      .add_option("--amplitude", options.amplitude,
                  "Amplitude range: full (the sampling full scale), auto (from the largest "
                  "peak) or a value in EU")
      ->capture_default_str();
  command.add_option("--partitions", options.partitions, "Number of partitions N (2000 at most)")
      ->capture_default_str();
  command.add_option("--threads", options.threads, "Worker threads (0: one per core)")
      ->check(CLI::Range(0, 256))
      ->capture_default_str();
  command.add_flag("--json", options.json, "One JSON object on stdout");
  command.add_flag("--save", options.save,
                   "Save the result file <test><code>#<node>.PCM|.DCM|.RFL and print its path");
  command
      .add_option("--result-dir", options.result_dir,
                  "Folder for --save (default: the --data folder)")
      ->check(NonEmptyValue());
  auto* follow = command.add_flag(
      "--follow", options.follow,
      "Count the node while it is recorded: the whole blocks present, then every --interval "
      "the new ones, with an update each time (with --json one object per line); ends when "
      "the record is complete, after --idle without growth, or at Ctrl-C");
  command.add_option("--interval", options.interval_s, "--follow: seconds between looks")
      ->capture_default_str()
      ->needs(follow);
  command
      .add_option("--idle", options.idle_s,
                  "--follow: seconds without a new block after which the follow ends")
      ->capture_default_str()
      ->needs(follow);
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

core::Result<CountingChoice> ParseCountingOptions(const AnalysisOptions& options) {
  CountingChoice choice;
  auto n = core::ParseInt32(options.partitions);
  if (!n) return Bad("--partitions \"" + options.partitions + "\" is not a whole number");
  if (auto ok = core::CheckPartitionCount(*n, "--partitions"); !ok) return ok.error();
  choice.partitions = *n;
  if (options.amplitude == "full") {
    choice.amplitude_mode = core::kAmplitudeFullScale;
  } else if (options.amplitude != "auto") {
    const std::string& text = options.amplitude;
    const auto value = core::ParseFiniteDouble(text);
    if (!value) return Bad("--amplitude \"" + text + "\" is neither full, auto nor a number");
    if (auto ok = core::CheckAmplitudeRange(*value, *n, "--amplitude"); !ok) return ok.error();
    choice.amplitude_mode = core::kAmplitudeSetValue;
    choice.set_value = *value;
  }
  // Above 2000 the count, the JSON and the files use 2000, as they always have; the user is told.
  if (const std::string note = core::PartitionCountNote(*n, "--partitions"); !note.empty()) {
    std::cerr << "torvwy: note: " << note << "\n";
  }
  return choice;
}

core::Result<PreparedRun> PrepareRun(const AnalysisOptions& options) {
  auto choice = ParseCountingOptions(options);
  if (!choice) return choice.error();
  const int32_t amplitude_mode = choice->amplitude_mode;
  const double set_value = choice->set_value;
  const int32_t n = choice->partitions;

  std::optional<core::BlockRange> blocks;
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
    blocks = core::BlockRange{*first, *last};
  }

  auto node = OpenNode(options.node);
  if (!node) return node.error();
  auto parameters = core::SettleCountingRequest(
      core::BlockRequest(blocks, amplitude_mode, set_value, n), node->info);
  if (!parameters) return parameters.error();
  return PreparedRun{std::move(*node), *parameters};
}

core::Result<CountedRun> CountForCommand(const AnalysisOptions& options, core::CountingKind kind) {
  std::filesystem::path saved;
  if (options.save) {
    auto path = SavePath(options, kind);
    if (!path) return path.error();
    saved = *path;
  }
  auto prepared = PrepareRun(options);
  if (!prepared) return prepared.error();
  core::CountingRunOptions run_options;
  run_options.captions = core::CountingCaptions(CommandLanguage());
  run_options.threads = options.threads;
  ConsoleProgress progress;
  auto counted =
      core::RunCounting(kind, prepared->node, prepared->parameters, progress, run_options);
  if (!counted) return counted.error();
  CountedRun run{std::move(*counted), std::move(prepared->node), {}};
  if (!saved.empty() && !core::PassCancelled(run.file)) {
    if (auto ok = core::SaveResultFile(saved, run.file); !ok) return ok.error();
    run.saved = std::move(saved);
  }
  return run;
}

}  // namespace torvwy::cli
