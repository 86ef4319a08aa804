// Printing on the console: the JSON object, the parameter block, histogram tables.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace torvwy::output {

/// Prints the result of a run as JSON (with "result_file" when saved, then the keys of
/// `trailing` when given) or as tables.
void ShowRun(bool json, nlohmann::ordered_json object, const std::function<void()>& print_text,
             const std::filesystem::path& saved, const nlohmann::ordered_json* trailing = nullptr);

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

/// Prints the JSON object on stdout (non-finite numbers as null).
void PrintJson(const nlohmann::ordered_json& json);

}  // namespace torvwy::output
