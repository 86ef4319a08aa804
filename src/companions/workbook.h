// Writing one-sheet Excel workbooks (.xlsx) for the export program and the list converter.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/report/export_file.h"
#include "core/services/result.h"

namespace torvwy::companions {

/// One sheet: its name, a header row and rows of number or text cells.
struct WorkbookSheet {
  std::string name;                 ///< UTF-8; made a valid sheet name by SheetName
  std::vector<std::string> header;  ///< written bold
  std::vector<std::vector<core::ExportCell>> rows;
};

/// A valid sheet name: the characters []:*?/\ become "_", at most 31 characters, "Sheet1"
/// when nothing is left.
std::string SheetName(const std::string& name);

/// Writes the workbook `path` with the one sheet: a bold header row, numbers as numbers (a
/// non-finite number as an empty cell), texts as texts, each column as wide as its widest cell.
/// Written beside the target and renamed over it, so a failure leaves the old file. Fails with
/// the file-write message.
core::Status WriteWorkbook(const std::filesystem::path& path, const WorkbookSheet& sheet);

/// The sheet of an export table.
WorkbookSheet SheetOfExport(const core::ExportTable& table);

/// `path` with its extension compared without case: true for ".xlsx".
bool HasExtension(const std::filesystem::path& path, std::string_view extension);

}  // namespace torvwy::companions
