// The statistics result file (.aps) and the list-file text of a statistics list.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/services/language.h"
#include "core/services/result.h"
#include "core/stats/statistics_batch.h"

namespace torvwy::core {

/// The result file name of a batch: "<result>/<test><code>#<nodes>.aps", where <code> is the
/// only code of a one-code list (else nothing) and <nodes> the only node, or "first_last":
/// R/abc3#1_4.aps for code 3 and nodes 1..4, R/abc#5.aps for two codes and node 5.
std::filesystem::path StatisticsResultFilePath(const std::string& result_path,
                                               const std::string& test_name,
                                               const std::vector<std::string>& codes,
                                               const std::vector<std::string>& nodes);

/// The bytes of a result file (GBK text):
///
///   -content   K   rows            three blanks apart; K = data columns (column 0 not stored)
///   title1  title2  ...  titleK    each followed by two blanks
///   cell1  cell2  ...  cellK       one line per row, likewise
///
/// Every title and cell is one whitespace-free token: its blanks and tabs are written as "_",
/// CR and LF are dropped, and an empty text is the full-width blank U+3000 (GBK A1 A1).
std::string StatisticsResultFileText(const StatisticsTable& table);

/// Writes the result file atomically; fails with the result-file message when it can't be
/// written (the previous file then stays as it was).
Status WriteStatisticsResultFile(const std::filesystem::path& path, const StatisticsTable& table);

/// Reads a result file of either layout. The current layout (first number <= 0) gives back the
/// stored tokens, a full-width blank as an empty cell, rows numbered "%d" from 1, columns 80
/// (content 0) or 90 (content 1) pixels wide. The older layout (first number > 0 = rows) has 12
/// tokens a row: code, node, maximum, minimum, two skipped numbers, mean, variance, standard
/// deviation, RMS, mean square, unit; it becomes the 12 columns No., code, node, peak value,
/// maximum, minimum, mean, variance, standard deviation, mean square, RMS, unit, with peak value,
/// maximum and minimum formatted with `number_format`. Fails with the result-file open message
/// when the file can't be read, and the damaged message on a short file, impossible counts, a
/// file that ends inside its last token (every token is written followed by blanks or a line
/// break), or a variance or standard deviation below 0 (in the older layout, and in the current
/// one when it holds the amplitude indices in the columns this program writes). A row that holds
/// a value twice must agree with itself to within the digits its cells show: the older layout's
/// standard deviation is the root of its variance and its mean square the RMS squared; the
/// current amplitude indices as this program writes them also have the peak value the larger
/// size of maximum and minimum and the two extremes less the mean; its largest peak-to-peak
/// values are their peak less their valley.
Result<StatisticsTable> ReadStatisticsResultFile(const std::filesystem::path& path,
                                                 int number_format, Language language);

/// The list-file text of a statistics list (UTF-8; the writer converts):
///
///   Stat-Result
///   rows  columns
///   No.  title1  ...        each "%s  "
///   1  cell1  ...           row number "%d  ", then each cell "%s  ", an empty cell U+3000
std::string StatisticsListText(const StatisticsTable& table);

}  // namespace torvwy::core
