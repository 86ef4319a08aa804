// Showing counting results: the JSON objects and the readable tables of the three analyses.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/fatigue/class_matrix.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/files/result_file.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"

namespace torvwy::output {

nlohmann::ordered_json PeakJson(const core::PeakCountResult& result);
nlohmann::ordered_json RangeJson(const core::RangeCountResult& result);
nlohmann::ordered_json RainflowJson(const core::RainflowResult& result);
/// The JSON object of the result a result file holds, whichever its analysis.
nlohmann::ordered_json ResultJson(const core::AnyResultFile& file);
/// The "fatigue" object of a rainflow result: method, class, d, totals, P, L, D and, for the
/// fitting method, x0, lambda and b.
nlohmann::ordered_json FatigueJson(const core::FatigueResult& fatigue);

/// A from-to or transition matrix: {classes, edges, counts (rows of from), outside}.
nlohmann::ordered_json ClassMatrixJson(const core::ClassMatrix& matrix);

/// A range-mean matrix: {range_bins, mean_bins, range_width, mean_low, mean_width, counts (rows
/// of range), total}.
nlohmann::ordered_json RangeMeanMatrixJson(const core::RangeMeanMatrix& matrix);

/// The parameter block and the tables; `node` is "<test><code>#<node>", `unit` the EU text.
void PrintPeak(const core::PeakCountResult& result, const std::string& node,
               const std::string& unit);
void PrintRange(const core::RangeCountResult& result, const std::string& node,
                const std::string& unit, const char* analysis = "range counting");
void PrintCrossings(const core::LevelCrossingResult& result, const std::string& node,
                    const std::string& unit);
void PrintTimeAtLevel(const core::TimeAtLevelResult& result, const std::string& node,
                      const std::string& unit);
void PrintRainflow(const core::RainflowResult& result, const std::string& node,
                   const std::string& unit);
/// The parameter block and the tables of the result a result file holds.
void PrintResult(const core::AnyResultFile& file, const std::string& node, const std::string& unit);

}  // namespace torvwy::output
