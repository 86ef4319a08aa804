// The export file "TorvEpt.Dat": a whole result table for the export program, and its CSV form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"
#include "core/range_pairs/range_pair_result.h"
#include "core/report/report_file.h"
#include "core/services/language.h"
#include "core/services/result.h"
#include "core/stats/statistics_batch.h"

namespace torvwy::core {

/// Kinds of an export column.
enum class ExportColumnKind : int32_t { kNumber = 0, kText = 1 };

/// A cell: a number or a text (UTF-8).
using ExportCell = std::variant<double, std::string>;

/// A table for the export program. Every row holds one cell per column, of its column's kind.
struct ExportTable {
  std::string name;                     ///< UTF-8, e.g. "T01A#3Disp"
  std::vector<std::string> columns;     ///< column names, UTF-8
  std::vector<ExportColumnKind> kinds;  ///< one per column
  std::vector<std::vector<ExportCell>> rows;

  /// Version 2.0 when a column holds texts, else 1.0.
  bool has_text_columns() const;
};

/// The bytes of the export file, little-endian, texts GBK without terminator:
///
///   "[TORV-EXPORT-FORMAT-FILE]     "   30 bytes (five trailing blanks)
///   version                           double 1.0 or 2.0
///   n, table name                     int32, n bytes
///   K, R                              int32, int32
///   K x (int32 length, column name)
///   version 2.0 only: K x int32 kind  0 number, 1 text
///   R rows of K cells                 1.0: K doubles; 2.0: a number cell a double, a text cell
///                                     int32 length and its bytes
///
/// Tables without text columns are written as version 1.0 (the counting analyses), with them
/// as 2.0 (the statistics). The name and the texts are made one line. Fails (bad-value message)
/// when a row has the wrong number of cells or a cell of the wrong kind.
Result<std::string> EncodeExportFile(const ExportTable& table);

/// Reads an export file of version 1.0 or 2.0; every length and count is checked against the
/// bytes left. Fails with the file-read message naming what is wrong.
Result<ExportTable> ParseExportFile(std::string_view bytes);

/// The peak view's table "<test><code>#<node>Cont": XL, X, XR, peak, valley and total count of
/// every partition, of the one-way or the two-way arrays.
ExportTable PeakExportTable(const PeakCountResult& result, const ReadoutNames& names, bool one_way,
                            Language language);
/// The range view's table "<test><code>#<node>Disp": XL, X, XR and the count.
ExportTable RangeExportTable(const RangeCountResult& result, const ReadoutNames& names,
                             bool one_way, Language language);
/// The range-pair view's table "<test><code>#<node>Pairs": the columns of the range view's.
ExportTable RangePairExportTable(const RangePairResult& result, const ReadoutNames& names,
                                 bool one_way, Language language);
/// The level crossing view's table "<test><code>#<node>Cross": each level with its upward,
/// downward and shown (by the result's direction) crossings.
ExportTable CrossingExportTable(const LevelCrossingResult& result, const ReadoutNames& names,
                                Language language);
/// The time-at-level view's table "<test><code>#<node>Time": XL, X, XR, the seconds, the share
/// of the time counted and the exceedance of every partition.
ExportTable TimeAtLevelExportTable(const TimeAtLevelResult& result, const ReadoutNames& names,
                                   Language language);
/// The rainflow view's table "<test><code>#<node>Rainflow": XL, X, XR and the cycles.
ExportTable RainflowExportTable(const RainflowResult& result, const ReadoutNames& names,
                                Language language);
/// The statistics table "<data name>Stat" (content 0) or "...PP" (content 1): columns 1..K of
/// the list; code, node (and, for content 1, the rank) and unit are texts, the others numbers
/// (the value of the cell text; NaN when it holds none).
ExportTable StatisticsExportTable(const StatisticsTable& table, const StatisticsReportNames& names);

/// File name of the export file.
inline constexpr std::string_view kExportFileName = "TorvEpt.Dat";

/// Writes `table` as "TorvEpt.Dat" into `folder` (the work folder when empty), atomically.
/// Returns its path; fails with the file-write message, and then no program must be started.
///
///   auto saved = WriteExport(RangeExportTable(file.result, names, one_way, language));
///   if (saved) LaunchCompanion(kExportProgram);      // TorvEpt reads the work folder's file
Result<std::filesystem::path> WriteExport(const ExportTable& table,
                                          const std::filesystem::path& folder = {});

/// The table as CSV: UTF-8 with a byte-order mark (so spreadsheets read the Chinese names),
/// fields separated by commas and quoted when they hold a comma, a quote or a line break, lines
/// ended by CR LF; numbers in their shortest round-trip form, a non-finite number as an empty
/// field.
std::string ExportCsv(const ExportTable& table);

}  // namespace torvwy::core
