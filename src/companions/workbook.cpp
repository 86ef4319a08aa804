// One-sheet workbooks through libxlsxwriter.
#include "companions/workbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::companions {
namespace fs = std::filesystem;
namespace {

/// Display width of a UTF-8 text in character cells: CJK and other wide characters take two.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    width += length >= 3 ? 2 : 1;
    i += length;
  }
  return width;
}

std::string CellText(const core::ExportCell& cell) {
  if (const auto* text = std::get_if<std::string>(&cell)) return *text;
  const double value = std::get<double>(cell);
  return std::isfinite(value) ? core::ShortestText(value) : std::string();
}

}  // namespace

std::string SheetName(const std::string& name) {
  std::string clean;
  size_t characters = 0;
  for (size_t i = 0; i < name.size() && characters < 31;) {
    const auto lead = static_cast<unsigned char>(name[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::string character = name.substr(i, length);
    if (character.size() == 1 &&
        std::string_view("[]:*?/\\\r\n\t").find(character[0]) != std::string_view::npos) {
      character = "_";
    }
    clean += character;
    ++characters;
    i += length;
  }
  // A sheet name can't begin or end with an apostrophe.
  if (!clean.empty() && clean.front() == '\'') clean.front() = '_';
  if (!clean.empty() && clean.back() == '\'') clean.back() = '_';
  return clean.empty() ? "Sheet1" : clean;
}

bool HasExtension(const fs::path& path, std::string_view extension) {
  std::string own = path.extension().string();
  std::transform(own.begin(), own.end(), own.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return own == extension;
}

core::Status WriteWorkbook(const fs::path& path, const WorkbookSheet& sheet) {
  // The library writes the whole workbook by name on close: into the saver's temporary file,
  // which Commit() then syncs and renames over the target.
  auto saver = core::AtomicFileWriter::Open(path, core::kMsgFileWrite);
  if (!saver) return saver.error();
  const auto fail = [&path](const std::string& why) {
    return core::Fail(core::kMsgFileWrite, path.string() + ": " + why);
  };
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  // The library's scratch files go into the target's folder as well.
  std::string temp_folder = folder.string();
  lxw_workbook_options options{};
  options.tmpdir = temp_folder.data();
  const std::string temp = saver->temp_path().string();
  lxw_workbook* workbook = workbook_new_opt(temp.c_str(), &options);
  if (workbook == nullptr) return fail("can't be created");
  lxw_worksheet* worksheet = workbook_add_worksheet(workbook, SheetName(sheet.name).c_str());
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  bool written = worksheet != nullptr;
  std::vector<size_t> widths(sheet.header.size(), 0);
  const auto widen = [&](size_t column, const std::string& text) {
    if (column >= widths.size()) widths.resize(column + 1, 0);
    widths[column] = std::max(widths[column], DisplayWidth(text));
  };
  for (size_t c = 0; written && c < sheet.header.size(); ++c) {
    written = worksheet_write_string(worksheet, 0, static_cast<lxw_col_t>(c),
                                     sheet.header[c].c_str(), bold) == LXW_NO_ERROR;
    widen(c, sheet.header[c]);
  }
  for (size_t r = 0; written && r < sheet.rows.size(); ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (size_t c = 0; written && c < sheet.rows[r].size(); ++c) {
      const core::ExportCell& cell = sheet.rows[r][c];
      const auto column = static_cast<lxw_col_t>(c);
      if (const auto* text = std::get_if<std::string>(&cell)) {
        written = text->empty() || worksheet_write_string(worksheet, row, column, text->c_str(),
                                                          nullptr) == LXW_NO_ERROR;
      } else if (std::isfinite(std::get<double>(cell))) {
        written = worksheet_write_number(worksheet, row, column, std::get<double>(cell), nullptr) ==
                  LXW_NO_ERROR;
      }
      widen(c, CellText(cell));
    }
  }
  for (size_t c = 0; written && c < widths.size(); ++c) {
    const double width = static_cast<double>(std::min<size_t>(widths[c] + 2, 80));
    worksheet_set_column(worksheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), width,
                         nullptr);
  }
  const lxw_error closed = workbook_close(workbook);
  if (!written) return fail("a cell can't be written (too many rows or columns?)");
  if (closed != LXW_NO_ERROR) return fail(lxw_strerror(closed));
  return saver->Commit();
}

WorkbookSheet SheetOfExport(const core::ExportTable& table) {
  return {table.name, table.columns, table.rows};
}

}  // namespace torvwy::companions
