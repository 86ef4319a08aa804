// Writing the list export and reading list files.
#include "core/report/list_export.h"

#include <fstream>
#include <sstream>

#include "core/report/hand_over_text.h"
#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kFullWidthBlankGbk = "\xA1\xA1";

fs::path FolderOr(const fs::path& folder) {
  return folder.empty() ? fs::path(GetWorkFolder()) : folder;
}

std::string Cell(std::string_view gbk) {
  const std::string_view trimmed = Trim(gbk);
  if (trimmed == kFullWidthBlankGbk) return {};
  return GbkToUtf8(trimmed);
}

/// Cuts at runs of at least `min_blanks` blanks (tabs count as blanks).
std::vector<std::string> SplitAtBlanks(std::string_view line, size_t min_blanks) {
  std::vector<std::string> cells;
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  size_t start = i;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      size_t run = i;
      while (run < line.size() && (line[run] == ' ' || line[run] == '\t')) ++run;
      if (run - i >= min_blanks || run == line.size()) {
        cells.push_back(Cell(line.substr(start, i - start)));
        start = run;
      }
      i = run;
    } else if (static_cast<unsigned char>(line[i]) >= 0x81 && i + 1 < line.size()) {
      i += 2;  // a double-byte character; its second byte may look like anything
    } else {
      ++i;
    }
  }
  if (start < line.size()) cells.push_back(Cell(line.substr(start)));
  return cells;
}

std::vector<std::string> SplitFixed(std::string_view line, size_t columns) {
  std::vector<std::string> cells;
  cells.push_back(Cell(line.substr(0, 5)));
  for (size_t c = 1; c < columns; ++c) cells.push_back(Cell(line.substr(5 + (c - 1) * 12, 12)));
  return cells;
}

}  // namespace

Status WriteListExport(const std::string& target, std::string_view list_text,
                       const fs::path& folder) {
  // One set, the name file last: the converter never finds a new name beside an old list.
  const fs::path dir = FolderOr(folder);
  AtomicFileSet set;
  auto data = set.Add(dir / kListDataFileName, kMsgFileWrite);
  if (!data) return data.error();
  (*data)->Write(HandOverBytes(list_text));
  auto name = set.Add(dir / kListNameFileName, kMsgFileWrite);
  if (!name) return name.error();
  (*name)->Write(HandOverBytes(OneLine(target)));
  return set.Commit();
}

Status WriteListName(const std::string& target, const fs::path& folder) {
  return SaveFileAtomically(FolderOr(folder) / kListNameFileName, HandOverBytes(OneLine(target)),
                            kMsgFileWrite);
}

Result<ListTable> ParseListTable(std::string_view bytes) {
  const std::vector<std::string> lines = SplitHandOverLines(bytes);
  const auto damaged = [](const std::string& detail) {
    return Fail(kMsgFileRead, "list file: " + detail);
  };
  if (lines.size() < 3) return damaged("it ends before its header line");
  ListTable table;
  table.name = GbkToUtf8(Trim(lines[0]));
  // "rows  columns"
  const std::string_view sizes = Trim(lines[1]);
  const size_t blank = sizes.find_first_of(" \t");
  const auto rows = ParseInt(sizes.substr(0, blank));
  const auto columns =
      blank == std::string_view::npos ? std::nullopt : ParseInt(sizes.substr(blank));
  if (!rows || !columns || *rows < 0 || *columns < 1 || *columns > 10000 ||
      static_cast<uint64_t>(*rows) > lines.size() - 3) {
    return damaged("line 2 \"" + GbkToUtf8(lines[1]) + "\" doesn't give the rows and columns " +
                   "that follow");
  }
  const size_t n = static_cast<size_t>(*rows);
  const size_t k = static_cast<size_t>(*columns);
  const size_t fixed_width = 5 + 12 * (k - 1);
  bool fixed = true;
  for (size_t i = 2; i < 3 + n; ++i) fixed = fixed && lines[i].size() == fixed_width;
  const auto split = [&](const std::string& line) {
    if (fixed) return SplitFixed(line, k);
    std::vector<std::string> cells = SplitAtBlanks(line, 2);
    if (cells.size() != k) {
      std::vector<std::string> single = SplitAtBlanks(line, 1);
      if (single.size() == k) cells = std::move(single);
    }
    cells.resize(k);
    return cells;
  };
  table.header = split(lines[2]);
  for (size_t r = 0; r < n; ++r) table.rows.push_back(split(lines[3 + r]));
  return table;
}

Result<std::string> ReadWholeFile(const fs::path& path) { return ReadTextFile(path, kMsgFileRead); }

Result<ListExport> ReadListExport(const fs::path& folder) {
  const fs::path dir = FolderOr(folder);
  auto name = ReadWholeFile(dir / kListNameFileName);
  if (!name) return name.error();
  auto data = ReadWholeFile(dir / kListDataFileName);
  if (!data) return data.error();
  auto table = ParseListTable(*data);
  if (!table) {
    return Fail(kMsgFileRead, (dir / kListDataFileName).string() + ": " + table.error().detail);
  }
  ListExport list;
  const std::vector<std::string> lines = SplitHandOverLines(*name);
  list.target = lines.empty() ? std::string() : GbkToUtf8(Trim(lines.front()));
  if (list.target.empty()) {
    return Fail(kMsgFileRead, (dir / kListNameFileName).string() + ": names no file");
  }
  list.table = std::move(*table);
  return list;
}

}  // namespace torvwy::core
