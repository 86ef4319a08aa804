// The statistics list on the console: JSON rows and the readable table.
#pragma once

#include <nlohmann/json.hpp>

#include "core/stats/statistics_batch.h"

namespace torvwy::output {

/// {"analysis":"stats","content":K,"rows":[...]} from the numbers of a batch: content 0 rows
/// hold code, node, peak, max, min, mean, variance, std, mean_square, rms, max_minus_mean,
/// min_minus_mean and unit; content 1 rows code, node, rank, difference, peak, peak_time, valley,
/// valley_time and unit, code and node empty on the rows after a waveform's first.
nlohmann::ordered_json StatisticsJson(const core::StatisticsBatch& batch);

/// The same shape from a list read back from its file: a cell that reads as a number is a JSON
/// number, any other cell a string; keys the file's layout does not hold are left out.
nlohmann::ordered_json StatisticsJson(const core::StatisticsTable& table);

/// Prints the list as an aligned table: the column titles, then one line per row.
void PrintStatisticsTable(const core::StatisticsTable& table);

}  // namespace torvwy::output
