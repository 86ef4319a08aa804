// The statistics view: the batch, the list, saving and printing.
#include "module/statistics_view.h"

#include <QHeaderView>
#include <QPrinter>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <cctype>
#include <memory>

#include "core/data/parameter_file.h"
#include "core/files/result_file.h"
#include "core/files/statistics_result_file.h"
#include "core/report/companion.h"
#include "core/report/export_file.h"
#include "core/report/report_file.h"
#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "module/analysis_frame.h"
#include "module/module_state.h"
#include "module/printing.h"
#include "ui/error_message.h"
#include "ui/host_message.h"

namespace torvwy::module {
namespace {

constexpr int kStartDelayMs = 100;

}  // namespace

StatisticsView::StatisticsView(QWidget* parent) : AnalysisView(parent) {
  setFocusPolicy(Qt::StrongFocus);
  list_ = new QTableWidget(this);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->verticalHeader()->hide();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  setWindowTitle(ui::UiLanguage() == core::Language::kChinese
                     ? ResourceString(6020)
                     : QStringLiteral("Amplitude Statistics"));
  connect(&runner_, &ui::PassRunner::Finished, this, &AnalysisView::PassEnded);
}

void StatisticsView::showEvent(QShowEvent* event) {
  AnalysisView::showEvent(event);
  if (started_) return;
  started_ = true;
  QTimer::singleShot(kStartDelayMs, this, &StatisticsView::Start);
}

void StatisticsView::Start() {
  // A parameter file in result mode naming a saved list opens it; anything else runs the batch.
  auto context = core::ReadAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName);
  if (context && context->result_mode != 0 && !context->result_names.empty()) {
    const std::string& name = context->result_names.front();
    std::string extension = std::filesystem::path(name).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".aps") {
      auto path = core::ResultNamePath(context->result_path, name);
      if (path && Open(*path)) return;
      if (!path) ShowMessage(this, ui::ErrorMessage(path.error()));
      QTimer::singleShot(0, this, [this] {
        if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
      });
      return;
    }
  }
  Run(core::ReadStatisticsParameters());
}

bool StatisticsView::Open(const std::filesystem::path& file) {
  auto table = core::ReadStatisticsResultFile(file, core::ReadNumberFormatCode(), ui::UiLanguage());
  if (!table) {
    ShowMessage(this, ui::ErrorMessage(table.error()));
    return false;
  }
  result_mode_ = true;
  list_file_ = file;
  batch_ = core::StatisticsBatch{};
  batch_->table = std::move(*table);
  Fill();
  setWindowTitle(windowTitle().section(QStringLiteral(" - "), 0, 0) + " - " +
                 QString::fromStdString(file.filename().string()));
  return true;
}

void StatisticsView::Run(const core::StatisticsParameters& parameters) {
  parameters_ = parameters;
  auto outcome = std::make_shared<std::optional<core::Result<core::StatisticsBatch>>>();
  number_format_ = core::ReadNumberFormatCode();
  core::StatisticsRunOptions options;
  options.language = ui::UiLanguage();
  options.number_format = number_format_;
  runner_.Start(
      Message(core::kMsgCountingCaption),
      [outcome, parameters, options](core::Progress& progress) {
        *outcome = core::RunStatistics(parameters, options, progress);
      },
      [this, outcome] {
        if (!outcome->has_value()) return;
        auto& batch = **outcome;
        if (!batch) {
          ShowMessage(this, batch.error().message == core::kMsgNoValidDataFile
                                ? QStringLiteral("No Valid Data File")
                                : ui::ErrorMessage(batch.error()));
          if (!batch_) {
            QTimer::singleShot(0, this, [this] {
              if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
            });
          }
          return;
        }
        batch_ = std::move(*batch);
        Fill();
      });
}

void StatisticsView::Fill() {
  const core::StatisticsTable& table = batch_->table;
  list_->clear();
  list_->setColumnCount(static_cast<int>(table.columns.size()));
  QStringList titles;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    titles << QString::fromStdString(table.columns[c].title);
    list_->setColumnWidth(static_cast<int>(c), table.columns[c].width_px);
  }
  list_->setHorizontalHeaderLabels(titles);
  list_->setRowCount(static_cast<int>(table.rows.size()));
  for (size_t r = 0; r < table.rows.size(); ++r) {
    for (size_t c = 0; c < table.rows[r].size(); ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(table.rows[r][c]));
      if (c != table.rows[r].size() - 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      list_->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
  QString title = ui::UiLanguage() == core::Language::kChinese
                      ? ResourceString(6020)
                      : QStringLiteral("Amplitude Statistics");
  setWindowTitle(title + " - " + QString::fromStdString(parameters_.test_name) + " " +
                 QString::fromStdString(parameters_.code_range) + "#" +
                 QString::fromStdString(parameters_.node_range));
}

void StatisticsView::Save() {
  if (result_mode_ || !batch_ || batch_->table.rows.empty()) return;
  const auto path = core::StatisticsResultFilePath(parameters_.result_path, parameters_.test_name,
                                                   batch_->codes, batch_->nodes);
  if (auto ok = core::WriteStatisticsResultFile(path, batch_->table); !ok) {
    return ShowMessage(this, ui::ErrorMessage(ok.error()));
  }
  ShowMessage(this,
              ui::UiLanguage() == core::Language::kChinese
                  ? QStringLiteral("保存结束！\r\n\r\n结果已经正确保存到\r\n %1 .")
                        .arg(QString::fromStdString(path.string()))
                  : QStringLiteral("Succeed to save result File: %1 .")
                        .arg(QString::fromStdString(path.string())),
              false);
}

core::StatisticsReportNames StatisticsView::Names() const {
  return result_mode_ ? core::NamesOfListFile(list_file_)
                      : core::NamesOfBatch(parameters_, *batch_);
}

void StatisticsView::Report() {
  if (!batch_ || batch_->table.rows.empty()) return;
  StartCompanion(this, core::WriteStatisticsReport(batch_->table, Names(), ui::UiLanguage()),
                 core::kReportProgram);
}

void StatisticsView::Export() {
  if (!batch_ || batch_->table.rows.empty()) return;
  StartCompanion(this, core::WriteExport(core::StatisticsExportTable(batch_->table, Names())),
                 core::kExportProgram);
}

bool StatisticsView::PrintOn(QPrinter& printer) {
  QString html = QStringLiteral("<table border=1 cellspacing=0 cellpadding=2><tr>");
  for (int c = 0; c < list_->columnCount(); ++c) {
    html += "<th>" + list_->horizontalHeaderItem(c)->text().toHtmlEscaped() + "</th>";
  }
  html += "</tr>";
  for (int r = 0; r < list_->rowCount(); ++r) {
    html += "<tr>";
    for (int c = 0; c < list_->columnCount(); ++c) {
      const QTableWidgetItem* item = list_->item(r, c);
      html += "<td>" + (item ? item->text().toHtmlEscaped() : QString()) + "</td>";
    }
    html += "</tr>";
  }
  html += "</table>";
  QTextDocument document;
  document.setHtml("<h3>" + windowTitle().toHtmlEscaped() + "</h3>" + html);
  ui::SendHostCommand(ui::HostWindow(), ui::command::kPrinting, 0);
  document.print(&printer);
  ui::SendHostCommand(ui::HostWindow(), ui::command::kPrinting, 1);
  return true;
}

void StatisticsView::HandleCommand(quint32 code, qintptr value) {
  switch (code) {
    case ui::command::kPrint:
      PrintWithDialog(
          this, [this](QPrinter& printer) { return PrintOn(printer); }, false);
      return;
    case ui::command::kPrintPreview:
      PreviewPrint(
          this, [this](QPrinter& printer) { return PrintOn(printer); }, false);
      return;
    case ui::command::kSaveResult:
      Save();
      return;
    case ui::command::kReport:
      Report();
      return;
    case ui::command::kExport:
      Export();
      return;
    case ui::command::kDisplaySetting:
      // The setting formats the next batch's cells; the rows shown keep their texts.
      number_format_ = core::ReadNumberFormatCode();
      if (value == 1) update();
      return;
    default:
      return;
  }
}

}  // namespace torvwy::module
