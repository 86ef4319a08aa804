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
