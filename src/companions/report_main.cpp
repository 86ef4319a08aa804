// TorvRpt: the report program. Reads the report file set and writes a PDF or HTML report, or
// shows a preview with Print, Save as PDF and Save as HTML.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <string>

#include "companions/batch_mode.h"
#include "companions/output_option.h"
#include "companions/report_document.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/text_catalogue.h"

namespace {
namespace fs = std::filesystem;
using namespace torvwy;

std::string MessageOf(const core::Error& error, core::Language language) {
  return core::ErrorText(error, language);
}

/// A text of the catalogue in `language`.
QString Label(core::Language language, core::TextKey key) {
  const std::string_view text = core::Tr(language, key);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowFailure(QWidget* parent, const core::Status& status, core::Language language) {
  if (!status) {
    QMessageBox::critical(parent, "TorvRpt",
                          QString::fromStdString(MessageOf(status.error(), language)));
  }
}

/// The preview window: the report as it will print, and the three actions.
int RunPreview(const companions::LoadedReport& report, core::Language language) {
  QWidget window;
  window.setWindowTitle("TorvRpt - " + report.head);
  auto* layout = new QVBoxLayout(&window);
  auto* buttons = new QHBoxLayout();
  auto* print = new QPushButton(Label(language, core::TextKey::kReportPrintButton));
  auto* pdf = new QPushButton(Label(language, core::TextKey::kReportSavePdfButton));
  auto* html = new QPushButton(Label(language, core::TextKey::kReportSaveHtmlButton));
  buttons->addWidget(print);
  buttons->addWidget(pdf);
  buttons->addWidget(html);
  buttons->addStretch();
  layout->addLayout(buttons);
  auto* browser = new QTextBrowser();
  std::unique_ptr<QTextDocument> document = companions::ReportDocument(report, true);
  std::unique_ptr<QTextDocument> paper = companions::ReportDocument(report);
  browser->setDocument(document.get());
  layout->addWidget(browser);
  QObject::connect(print, &QPushButton::clicked, [&] {
    QPrinter printer;
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, &window);
    if (dialog.exec() == QDialog::Accepted) paper->print(&printer);
  });
  QObject::connect(pdf, &QPushButton::clicked, [&] {
    const QString path = QFileDialog::getSaveFileName(
        &window, Label(language, core::TextKey::kReportSavePdfTitle), "report.pdf", "PDF (*.pdf)");
    if (!path.isEmpty()) ShowFailure(&window, companions::WriteReportPdf(report, path), language);
  });
  QObject::connect(html, &QPushButton::clicked, [&] {
    const QString path =
        QFileDialog::getSaveFileName(&window, Label(language, core::TextKey::kReportSaveHtmlTitle),
                                     "report.html", "HTML (*.html)");
    if (!path.isEmpty()) ShowFailure(&window, companions::WriteReportHtml(report, path), language);
  });
  // Never taller than the screen: the buttons and the bottom of the page stay reachable.
  if (const QScreen* screen = window.screen()) {
    const QRect place = companions::PreviewWindowGeometry(screen->availableGeometry());
    window.resize(place.size());
    window.move(place.topLeft());
  } else {
    window.resize(900, 1000);
  }
  window.show();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  core::IgnoreFileSizeSignal();
  CLI::App app{
      "TorvRpt: makes a report from the report file TorvRpt.txt, its picture and its "
      "lists. With --pdf and/or --html it writes the report; without, it shows a "
      "preview."};
  std::string input = core::GetWorkFolder() + std::string(core::kReportFileName);
  std::string pdf;
  std::string html;
  app.add_option("--input", input, "the report file (default: TorvRpt.txt of the work folder)");
  app.add_option("--pdf", pdf, "write the report as an A4 PDF file")->check(companions::NotEmpty());
  app.add_option("--html", html, "write the report as a self-contained HTML file")
      ->check(companions::NotEmpty());
  if (auto done = companions::ParseCommandLine(app, argc, argv)) return *done;
  const core::Language language = core::GetUILanguage();
  const bool batch = !pdf.empty() || !html.empty();
  // Writing files needs no screen.
  if (batch) {
    companions::PrepareBatchRun();
  }
  QApplication application(argc, argv);
  auto report = companions::LoadReport(input);
  if (!report) {
    if (batch) {
      std::fprintf(stderr, "TorvRpt: %s\n", MessageOf(report.error(), language).c_str());
    } else {
      QMessageBox::critical(nullptr, "TorvRpt",
                            QString::fromStdString(MessageOf(report.error(), language)));
    }
    return 1;
  }
  if (!batch) return RunPreview(*report, language);
  for (const auto& [path, write] : {std::pair{pdf, &companions::WriteReportPdf},
                                    std::pair{html, &companions::WriteReportHtml}}) {
    if (path.empty()) continue;
    if (auto done = write(*report, QString::fromStdString(path)); !done) {
      std::fprintf(stderr, "TorvRpt: %s\n", MessageOf(done.error(), language).c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
