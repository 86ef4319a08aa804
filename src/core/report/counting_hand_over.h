// What a counting result hands over, whichever analysis it is: its readout list, its report
// and its export table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/files/result_file.h"
#include "core/report/export_file.h"
#include "core/report/readout_list.h"
#include "core/report/report_file.h"
#include "core/services/language.h"

namespace torvwy::core {

/// A readout list of a counting result with the axis and columns its text needs.
struct CountingReadouts {
  ReadoutList list;
  ReadoutAxis axis;
  ReadoutColumns columns = ReadoutColumns::kCount;
};

/// The partitions `indices` (0-based) collected as the view shows the result: the one-way or
/// two-way arrays, peaks and valleys separately or together (peak counting); the levels of a
/// level crossing count.
CountingReadouts CollectReadouts(const AnyResultFile& file, const std::vector<uint32_t>& indices,
                                 bool one_way, bool separately);

/// The points a cursor or a readout list picks from: the levels of a level crossing count, the
/// partitions (at most the held ones) of the others.
int32_t ReadoutPoints(const AnyResultFile& file);

/// The values the view's curve shows, one per point: peak totals, range or range-pair counts (of
/// the one-way or two-way arrays), rainflow cycles, the level crossings by the result's direction,
/// the seconds at each level.
std::vector<double> ShownValues(const AnyResultFile& file, bool one_way);

/// The names of the result's node.
ReadoutNames NamesOf(const AnyResultFile& file);

/// The export table of the result as the view shows it.
ExportTable CountingExportTable(const AnyResultFile& file, bool one_way, Language language);

/// Writes the report file set of the result (WritePeakReport and its siblings). A cancelled
/// pass is never reported (cancelled message, nothing written).
Result<std::filesystem::path> WriteCountingReport(const AnyResultFile& file, const ReportView& view,
                                                  const ReportOptions& options = {});

/// Writes the export file of the result as the view shows it (WriteExport of
/// CountingExportTable). A cancelled pass is never exported (cancelled message).
Result<std::filesystem::path> WriteCountingExport(const AnyResultFile& file, bool one_way,
                                                  Language language,
                                                  const std::filesystem::path& folder = {});

/// The list text (format 1) of the readouts, for the list export.
std::string CountingReadoutText(const AnyResultFile& file, const CountingReadouts& readouts,
                                Language language);

/// Writes the list export of the readouts for the spreadsheet `target` (WriteListExport). A
/// cancelled pass is never list-exported (cancelled message).
Status WriteCountingListExport(const AnyResultFile& file, const CountingReadouts& readouts,
                               const std::string& target, Language language,
                               const std::filesystem::path& folder = {});

}  // namespace torvwy::core
