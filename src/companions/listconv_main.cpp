// ldexp: turns the list export ("listname.txt", "listdata.txt") into an Excel workbook.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

#include "companions/output_option.h"
#include "companions/workbook.h"
#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace {
namespace fs = std::filesystem;
using namespace torvwy;

/// A list cell as a number when the whole text is one, else as text.
core::ExportCell CellOf(const std::string& text) {
  if (const auto value = core::ParseDouble(text)) return *value;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  core::IgnoreFileSizeSignal();
  CLI::App app{
      "ldexp: writes the list of listdata.txt as the Excel workbook named in "
      "listname.txt (both in the work folder). A name ending in .xls is saved as .xlsx."};
  std::string folder;
  app.add_option("--folder", folder, "the folder of listname.txt and listdata.txt");
  if (auto done = companions::ParseCommandLine(app, argc, argv)) return *done;
  const core::Language language = core::GetUILanguage();
  auto list = core::ReadListExport(folder);
  if (!list) {
    std::fprintf(stderr, "ldexp: %s\n", core::ErrorText(list.error(), language).c_str());
    return 1;
  }
  fs::path target = list->target;
  if (!companions::HasExtension(target, ".xlsx")) {
    const fs::path asked = target;
    if (companions::HasExtension(target, ".xls")) {
      target.replace_extension(".xlsx");
    } else {
      target += ".xlsx";
    }
    std::printf("ldexp: %s is saved as %s (this program writes .xlsx workbooks)\n",
                asked.string().c_str(), target.string().c_str());
  }
  companions::WorkbookSheet sheet;
  sheet.name = list->table.name;
  sheet.header = list->table.header;
  for (const auto& cells : list->table.rows) {
    std::vector<core::ExportCell> row;
    for (const std::string& cell : cells) row.push_back(CellOf(cell));
    sheet.rows.push_back(std::move(row));
  }
  if (auto done = companions::WriteWorkbook(target, sheet); !done) {
    std::fprintf(stderr, "ldexp: %s\n", core::ErrorText(done.error(), language).c_str());
    return 1;
  }
  std::printf("%s\n", target.string().c_str());
  return 0;
}
