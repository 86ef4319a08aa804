// Parsing the counting options and running the count of a counting command.
#include "cli/analysis_options.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

#include "cli/command_language.h"
#include "core/files/json_result_file.h"
#include "core/files/result_file.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::cli {
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

void AddCrossingOptions(CLI::App& command, AnalysisOptions& options) {
  command
      .add_option("--level-list", options.level_list,
                  "The levels L1,L2,... (EU, strictly increasing) instead of the N + 1 partition "
                  "edges of [-A, A]")
      ->excludes("--partitions");
  command.add_option("--reference", options.reference,
                     "Reference level R (EU, default 0): --direction astm counts upward crossings "
                     "at and above it, downward ones below it");
  command.add_option("--direction", options.direction,
                     "The counts shown: up, down, both or astm (default)");
  command.add_option("--gate", options.gate,
                     "Gate G (EU, default 0): after a crossing a level counts again only once the "
                     "load has come back G beyond it");
}

void AddGateOption(CLI::App& command, AnalysisOptions& options) {
  command
      .add_option("--gate", options.gate,
                  "Gate G (EU, default 0: none): reversals smaller than G are removed before "
                  "counting (the count then runs on one thread)")
      ->check(NonEmptyValue());
}

void AddResidueOption(CLI::App& command, AnalysisOptions& options) {
  command
      .add_option("--residue", options.residue,
                  "The residue's steps counted as half cycles (half, default), as full cycles "
                  "(full), not at all (discard), or as the cycles they close when the record "
                  "repeats (repeated)")
      ->check(NonEmptyValue());
}

core::Result<core::CountingPlan> PlanOfOptions(const AnalysisOptions& options,
                                               core::CountingKind kind) {
  core::CountingPlan base;
  base.kind = kind;
  base.threads = options.threads;
  base.captions = core::CountingCaptions(CommandLanguage());
  const bool crossing = kind == core::CountingKind::kCrossings;
  auto crossings = core::ParseCrossingTexts(
      {.level_list = options.level_list,
       .reference = options.reference,
       .direction = options.direction,
       .gate = crossing ? std::string_view(options.gate) : std::string_view()});
  if (!crossings) return crossings.error();
  base.crossings = std::move(*crossings);
  if (kind != core::CountingKind::kCrossings) {
    if (auto ok =
            core::ApplyConventionTexts({.residue = options.residue, .gate = options.gate}, base);
        !ok) {
      return ok.error();
    }
  }
  auto plan = core::PlanCounting({.method = core::MethodOf(kind).name,
                                  .partitions = options.partitions,
                                  .amplitude = options.amplitude,
                                  .blocks = options.blocks},
                                 std::move(base));
  if (!plan) return plan.error();
  // Above 2000 the count, the JSON and the files use 2000, as they always have; the user is told.
  if (!plan->note.empty()) std::cerr << "torvwy: note: " << plan->note << "\n";
  return plan;
}

core::Result<CountedRun> CountForCommand(const AnalysisOptions& options, core::CountingKind kind) {
  std::filesystem::path saved;
  if (options.save) {
    auto path = SavePath(options, kind);
    if (!path) return path.error();
    saved = *path;
  }
  auto plan = PlanOfOptions(options, kind);
  if (!plan) return plan.error();
  auto node = OpenNode(options.node);
  if (!node) return node.error();
  if (auto ok = core::SettlePlan(*plan, node->info); !ok) return ok.error();
  ConsoleProgress progress;
  auto counted = core::RunCounting(*plan, *node, progress);
  if (!counted) return counted.error();
  CountedRun run{std::move(*counted), std::move(*node), {}};
  if (!saved.empty() && !core::PassCancelled(run.file)) {
    if (auto ok = core::SaveResultFile(saved, run.file); !ok) return ok.error();
    run.saved = std::move(saved);
    // The result files of the first three methods keep their layout, which has no place for the
    // conventions: the user is told, so that a reopened file is not taken for a default count.
    if (!core::SavedAsJson(kind) && (plan->residue || plan->gate > 0.0)) {
      std::cerr << "torvwy: note: " << run.saved.filename().string()
                << " does not record --residue or --gate; reopened, it shows the counts "
                   "without naming them\n";
    }
  }
  return run;
}

}  // namespace torvwy::cli
