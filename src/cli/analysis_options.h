// The options the three counting commands share, and the counting run behind each of them.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>

#include "cli/cli_support.h"
#include "core/counting/counting_parameters.h"
#include "core/files/result_file.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"

namespace torvwy::cli {

struct AnalysisOptions {
  NodeOptions node;
  std::string blocks;              ///< "FIRST-LAST"; empty: the whole record
  std::string amplitude = "auto";  ///< full | auto | VALUE
  std::string partitions = "25";
  int threads = 0;  ///< worker threads of the count; 0: one per core
  bool json = false;
  bool save = false;
  std::string result_dir;   ///< where --save writes; empty: the --data folder
  bool follow = false;      ///< count the node while it is recorded
  double interval_s = 1.0;  ///< --follow: seconds between looks
  double idle_s = 30.0;     ///< --follow: seconds without a new block that end the follow
  // Level crossings only (AddCrossingOptions); empty: the default.
  std::string level_list;
  std::string reference;
  std::string direction;
  std::string gate;     ///< level crossings: the per-level gate; the cycle counts: AddGateOption
  std::string residue;  ///< rainflow only (AddResidueOption); empty: half cycles
};

/// Adds the node options and --blocks, --amplitude, --partitions, --threads, --json, --save,
/// --result-dir, --follow, --interval and --idle.
void AddAnalysisOptions(CLI::App& command, AnalysisOptions& options);

/// Adds --level-list (which excludes --partitions), --reference, --direction and --gate.
void AddCrossingOptions(CLI::App& command, AnalysisOptions& options);

/// Adds --gate: reversals smaller than G are removed before peak, range, rainflow and range-pair
/// counting.
void AddGateOption(CLI::App& command, AnalysisOptions& options);

/// Adds --residue: how rainflow counts the residue (half, full, discard or repeated).
void AddResidueOption(CLI::App& command, AnalysisOptions& options);

/// The counting plan of the options (PlanCounting of --partitions, --amplitude, --blocks and
/// --threads), with the plan's note of a partition count above 2000 on stderr.
core::Result<core::CountingPlan> PlanOfOptions(const AnalysisOptions& options,
                                               core::CountingKind kind);

/// Where --save writes the result file of `kind`: "<result dir>/<test><code>#<node>.PCM|.DCM|.RFL".
core::Result<std::filesystem::path> SavePath(const AnalysisOptions& options,
                                             core::CountingKind kind);

/// A counted (and, with --save, saved) result file and the node it came from.
struct CountedRun {
  core::AnyResultFile file;  ///< complete: names, sampling record, total blocks
  core::CountingNode node;
  std::filesystem::path saved;  ///< empty when not saved
};

/// What every counting command does before it shows anything: checks where --save would write,
/// plans the counting, opens the node, settles the plan, counts through the core's counting run
/// with the console progress and, unless the pass was cancelled, saves. A cancelled count is never
/// saved.
core::Result<CountedRun> CountForCommand(const AnalysisOptions& options, core::CountingKind kind);

/// "<test><code>#<node>" of the options.
inline std::string NodeTitle(const NodeOptions& node) {
  return node.test + node.code + "#" + node.node;
}

}  // namespace torvwy::cli
