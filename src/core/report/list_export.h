// The list export ("listname.txt", "listdata.txt") and reading the list files of the companions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

inline constexpr std::string_view kListNameFileName = "listname.txt";
inline constexpr std::string_view kListDataFileName = "listdata.txt";

/// Writes the list export into `folder` (the work folder when empty): "listdata.txt" with
/// `list_text` (a list text of format 1, UTF-8) and then "listname.txt" with `target` (the
/// spreadsheet path, made one line, no line end), both GBK with CR LF, saved as one set
/// (AtomicFileSet): after a failure both old files remain. Fails with the file-write message;
/// the list converter must not be started then.
///
///   std::string text = ReadoutListText(list, axis, names, columns, language, 1);
///   if (WriteListExport("/home/u/list.xls", text)) LaunchCompanion(kListProgram);
Status WriteListExport(const std::string& target, std::string_view list_text,
                       const std::filesystem::path& folder = {});

/// Writes "listname.txt" alone (for a table another writer put into "listdata.txt", such as the
/// fatigue table of a life estimate).
Status WriteListName(const std::string& target, const std::filesystem::path& folder = {});

/// A list table as the companions read it (UTF-8).
struct ListTable {
  std::string name;                            ///< the first line
  std::vector<std::string> header;             ///< column titles
  std::vector<std::vector<std::string>> rows;  ///< cells, as many as the header
};

/// Reads a list file (GBK; LF, CR LF or CR CR LF): a name line, "rows  columns", a header line
/// and the rows. Three kinds of list share this shape and are told apart by their lines:
///   - a readout list, whose header and rows all have 5 + 12 x (columns - 1) bytes: cut by
///     those widths (a number may fill its 12 bytes and touch the next one);
///   - a statistics list ("%s  " cells; a title may hold a single blank): cut at runs of two
///     or more blanks;
///   - a fatigue table: cut at every blank.
/// A full-width blank cell is an empty cell. Fails with the file-read message when the count
/// line is not two numbers or fewer rows follow than it says.
Result<ListTable> ParseListTable(std::string_view bytes);

/// Reads a whole file into bytes; fails with the file-read message naming it.
Result<std::string> ReadWholeFile(const std::filesystem::path& path);

/// What the list converter reads: the target path of "listname.txt" and the table of
/// "listdata.txt", both in `folder` (the work folder when empty).
struct ListExport {
  std::string target;
  ListTable table;
};
Result<ListExport> ReadListExport(const std::filesystem::path& folder = {});

}  // namespace torvwy::core
