// The amplitude statistics batch: code ranges expanded into waveforms, computed on all cores.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "core/services/result.h"
#include "core/stats/amplitude_statistics.h"
#include "core/stats/statistics_parameters.h"

namespace torvwy::core {

class Progress;

/// One column of the statistics list.
struct StatisticsColumn {
  std::string title;  ///< UTF-8
  int width_px = 80;
};

/// The statistics list: column 0 is the row number; every row holds one text per column.
struct StatisticsTable {
  int32_t content = kStatAmplitudeIndices;
  std::vector<StatisticsColumn> columns;
  std::vector<std::vector<std::string>> rows;
};

/// The columns of a content (14 for amplitude indices, 10 for peak-to-peak values) in the
/// language.
std::vector<StatisticsColumn> StatisticsColumns(int32_t content, Language language);

/// A waveform of the batch.
struct StatisticsPair {
  std::string test_code;
  std::string node_name;
};

/// The pairs (code, node), code-major in list order, whose sampling parameter file
/// "<data>/<test><code>#<node>.tsp" (extension in any case) exists as a file.
std::vector<StatisticsPair> FindValidPairs(const std::string& data_path,
                                           const std::string& test_name,
                                           const std::vector<std::string>& codes,
                                           const std::vector<std::string>& nodes);

/// How a batch runs.
struct StatisticsRunOptions {
  int number_format = 0;                   ///< format code of every numeric cell (FormatNumber)
  Language language = Language::kEnglish;  ///< of the column titles
  int threads = 0;                         ///< worker threads; 0 = one per core
};

/// The numbers behind the rows of one waveform, as computed (the rows hold their texts).
struct StatisticsPairResult {
  StatisticsPair pair;
  std::optional<AmplitudeIndicesOfNode> indices;  ///< content 0
  std::optional<PeakPeaksOfNode> peak_peaks;      ///< content 1
};

/// A pair that gave no row, and why.
struct StatisticsFailure {
  StatisticsPair pair;
  Error why;
};

/// How many failed pairs a batch keeps the reasons of.
inline constexpr size_t kReportedFailures = 3;

/// What a batch produced.
struct StatisticsBatch {
  StatisticsTable table;
  std::vector<StatisticsPairResult> results;  ///< the pairs that gave rows, in row order
  std::vector<std::string> codes;             ///< expanded test-code range
  std::vector<std::string> nodes;             ///< expanded node-name range
  int64_t valid_pairs = 0;
  int64_t finished_pairs = 0;  ///< pairs computed to their end (fewer after a cancel)
  int64_t failed_pairs = 0;    ///< finished pairs that gave no row (unreadable, damaged, no cycle)
  std::vector<StatisticsFailure> failures;  ///< the first kReportedFailures of them, in pair order
  bool cancelled = false;
};

/// Runs the batch of `parameters`: expands both code ranges, finds the valid pairs and computes
/// them, one waveform per task on a small pool of threads. Rows come out in pair order,
/// numbered "% 4d" from 1 without gaps. A pair whose files can't be read, whose record is empty
/// or longer than its data file, or (content 1) that has no half-cycle gives no row and counts
/// in failed_pairs; the batch goes on. The calling thread alone talks to `progress`: range
/// 0..valid pairs, one step per finished pair, and a cancel poll after each and every few
/// milliseconds between; a cancel stops the pairs under way within one block (they give no row
/// and are not finished) and starts no other. Fails with the bad-value message on a malformed
/// range, a content other than 0 or 1 or N outside 1..200, and with "No Valid Data File"
/// (kMsgNoValidDataFile) when no pair has a sampling parameter file.
Result<StatisticsBatch> RunStatistics(const StatisticsParameters& parameters,
                                      const StatisticsRunOptions& options, Progress& progress);

/// The reasons of the batch's first failed pairs, one line each ("abc1#2: <message> <detail>"),
/// and a last line "... (n)" when more pairs failed than were kept. Empty when none failed.
std::string DescribeFailures(const StatisticsBatch& batch, const std::string& test_name,
                             Language language);

}  // namespace torvwy::core
