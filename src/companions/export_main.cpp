// TorvEpt: turns the export file "TorvEpt.Dat" into a CSV file or an Excel workbook.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <string>

#include "companions/output_option.h"
#include "companions/workbook.h"
#include "core/report/export_file.h"
#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"

namespace {
namespace fs = std::filesystem;
using namespace torvwy;

/// Writes `table` as `target` by its extension (.csv or .xlsx).
core::Status Convert(const core::ExportTable& table, const fs::path& target) {
  if (companions::HasExtension(target, ".csv")) {
    return core::SaveFileAtomically(target, core::ExportCsv(table), core::kMsgFileWrite);
  }
  if (companions::HasExtension(target, ".xlsx")) {
    return companions::WriteWorkbook(target, companions::SheetOfExport(table));
  }
  return core::Fail(core::kMsgBadValue,
                    target.string() + ": choose a name ending in .csv or .xlsx");
}

std::string MessageOf(const core::Error& error, core::Language language) {
  return core::ErrorText(error, language);
}

}  // namespace

int main(int argc, char** argv) {
  core::IgnoreFileSizeSignal();
  CLI::App app{
      "TorvEpt: turns the export file TorvEpt.Dat into a CSV file (UTF-8 with BOM) or an "
      "Excel workbook. Without --to a window asks for the format and the path."};
  std::string input = core::GetWorkFolder() + std::string(core::kExportFileName);
  std::string target;
  app.add_option("--input", input, "the export file (default: TorvEpt.Dat of the work folder)");
  app.add_option("--to", target, "the file to write: NAME.csv or NAME.xlsx")
      ->check(companions::NotEmpty());
  if (auto done = companions::ParseCommandLine(app, argc, argv)) return *done;
  const core::Language language = core::GetUILanguage();
  auto bytes = core::ReadWholeFile(input);
  core::Result<core::ExportTable> table =
      bytes ? core::ParseExportFile(*bytes) : core::Result<core::ExportTable>(bytes.error());
  if (!table && bytes) {
    table = core::Fail(table.error().message, input + ": " + table.error().detail);
  }
  if (!target.empty()) {
    if (!table) {
      std::fprintf(stderr, "TorvEpt: %s\n", MessageOf(table.error(), language).c_str());
      return 1;
    }
    if (auto done = Convert(*table, target); !done) {
      std::fprintf(stderr, "TorvEpt: %s\n", MessageOf(done.error(), language).c_str());
      return 1;
    }
    std::printf("%s\n", target.c_str());
    return 0;
  }

  QApplication application(argc, argv);
  if (!table) {
    QMessageBox::critical(nullptr, "TorvEpt",
                          QString::fromStdString(MessageOf(table.error(), language)));
    return 1;
  }
  const QString suggested =
      QString::fromStdString((fs::path(QDir::homePath().toStdString()) / table->name).string());
  QString selected = QString("Excel workbook (*.xlsx)");
  const QString chosen = QFileDialog::getSaveFileName(
      nullptr, QString::fromStdString("TorvEpt - " + table->name), suggested + ".xlsx",
      "Excel workbook (*.xlsx);;CSV, UTF-8 (*.csv)", &selected);
  if (chosen.isEmpty()) return 0;
  fs::path path = chosen.toStdString();
  if (!companions::HasExtension(path, ".csv") && !companions::HasExtension(path, ".xlsx")) {
    path += selected.contains("csv") ? ".csv" : ".xlsx";
  }
  if (auto done = Convert(*table, path); !done) {
    QMessageBox::critical(nullptr, "TorvEpt",
                          QString::fromStdString(MessageOf(done.error(), language)));
    return 1;
  }
  return 0;
}
