// The options the three counting commands share, and their text and JSON output helpers.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "core/counting/counting_parameters.h"

namespace torvwy::cli {

struct AnalysisOptions {
  NodeOptions node;
  std::string blocks;              ///< "FIRST-LAST"; empty: the whole record
  std::string amplitude = "auto";  ///< full | auto | VALUE
  std::string partitions = "25";
  bool json = false;
  bool save = false;
  std::string result_dir;  ///< where --save writes; empty: the --data folder
};

/// Adds the node options and --blocks, --amplitude, --partitions, --json.
void AddAnalysisOptions(CLI::App& command, AnalysisOptions& options);

/// A node opened and its counting parameters settled from the options.
struct PreparedRun {
  NodeFiles files;
  core::CountingParameters parameters;
};

/// Opens the node and settles the parameters: --blocks as the By Block rule (clamped to the
/// record, swapped when reversed), --amplitude as mode 0, 1 or 2. Malformed values are errors.
core::Result<PreparedRun> PrepareRun(const AnalysisOptions& options);

/// Where --save writes the result file of `kind`: "<result dir>/<test><code>#<node>.PCM|.DCM|.RFL".
core::Result<std::filesystem::path> SavePath(const AnalysisOptions& options,
                                             core::CountingKind kind);

/// A counted (and, with --save, saved) result file and the node it came from.
template <typename File>
struct CountedRun {
  File file;
  NodeFiles node;
  std::filesystem::path saved;  ///< empty when not saved
};

/// What every counting command does before it shows anything: checks where --save would write,
/// opens the node, settles the parameters, counts with `count` (info, data file, parameters,
/// progress) and, unless the pass was cancelled, saves with `save` (path, file). A cancelled
/// count is never saved, so a partial result never looks whole.
template <typename File, typename Count, typename Save>
core::Result<CountedRun<File>> CountAndSave(const AnalysisOptions& options, core::CountingKind kind,
                                            Count count, Save save) {
  CountedRun<File> run;
  if (options.save) {
    auto path = SavePath(options, kind);
    if (!path) return path.error();
    run.saved = *path;
  }
  auto prepared = PrepareRun(options);
  if (!prepared) return prepared.error();
  run.node = std::move(prepared->files);
  {
    ConsoleProgress progress;
    auto counted = count(run.node.info, run.node.sts, prepared->parameters, progress);
    if (!counted) return counted.error();
    run.file.result = std::move(*counted);
  }
  if (run.file.result.cancelled) run.saved.clear();
  if (!run.saved.empty()) {
    run.file.sampling = run.node.info;
    run.file.total_blocks = run.node.info.whole_blocks();
    if (auto ok = save(run.saved, run.file); !ok) return ok.error();
  }
  return run;
}

/// "<test><code>#<node>" of the options.
inline std::string NodeTitle(const NodeOptions& node) {
  return node.test + node.code + "#" + node.node;
}

/// Prints the result of a run as JSON (with "result_file" when saved) or as tables.
void ShowRun(const AnalysisOptions& options, nlohmann::ordered_json json,
             const std::function<void()>& print_text, const std::filesystem::path& saved);

/// One row of a histogram table.
struct HistogramRow {
  double lower = 0.0;
  double upper = 0.0;
  std::vector<double> counts;  ///< one value per count column
};

/// Prints a table of partitions with their bounds, counts and a bar of the last count column.
void PrintHistogram(const std::string& title, const std::vector<std::string>& columns,
                    const std::vector<HistogramRow>& rows, const std::string& unit);

/// Prints one "name  value" line of the parameter block.
void PrintParameter(const std::string& name, const std::string& value);

/// The first n values of a container as a JSON array.
template <typename Container>
nlohmann::ordered_json JsonArray(const Container& values, size_t n) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (size_t i = 0; i < n && i < values.size(); ++i) array.push_back(values[i]);
  return array;
}

/// Prints the JSON object on stdout (non-finite numbers as null).
void PrintJson(const nlohmann::ordered_json& json);

/// The exit code after a run: 0, or kExitCancelled with a note on stderr.
int RunExitCode(bool cancelled);

}  // namespace torvwy::cli
