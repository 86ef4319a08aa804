// The statistics view: the batch, the list, saving and printing.
#include "module/statistics_view.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <memory>

#include "core/data/parameter_file.h"
#include "core/files/result_file.h"
#include "core/files/statistics_result_file.h"
#include "core/report/companion.h"
#include "core/report/export_file.h"
#include "core/report/report_file.h"
#include "core/services/folders.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "module/analysis_frame.h"
#include "module/module_state.h"
#include "module/printing.h"
#include "module/statistics_dialog.h"
#include "module/statistics_pages.h"
#include "ui/error_message.h"
#include "ui/host_message.h"
#include "ui/message_box.h"

namespace torvwy::module {
namespace {

constexpr int kStartDelayMs = 100;
/// Room beside a column's widest text: the cell's margins and the header's sort mark.
constexpr int kColumnPadding = 18;
/// Cells measured per column for its width (the rest are as wide in practice).
constexpr int kMeasuredRows = 500;

/// The window title's word for a content, after a run or for a loaded list.
QString ContentCaption(int32_t content, bool loaded) {
  const bool peak_peaks = content == core::kStatPeakPeaks;
  if (loaded) {
    return peak_peaks ? Text(TextKey::kStatisticsPeakPeakResult)
                      : Text(TextKey::kStatisticsAmplitudeResult);
  }
  return peak_peaks ? Text(TextKey::kStatisticsPeakPeak) : Text(TextKey::kTemplateStatistics);
}

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
  list_->installEventFilter(this);
  setWindowTitle(Text(TextKey::kTemplateStatistics));
  connect(&runner_, &ui::PassRunner::Finished, this, &AnalysisView::PassEnded);
}

StatisticsView::~StatisticsView() {
  // A dialog still open goes first, without telling this half-destroyed view it finished.
  if (dialog_ != nullptr) {
    dialog_->disconnect(this);
    delete dialog_;
  }
}

void StatisticsView::showEvent(QShowEvent* event) {
  AnalysisView::showEvent(event);
  if (!sub_window_watched_) {
    // The frame lives in an MDI sub-window once the host placed it there.
    QWidget* frame = parentWidget();
    if (auto* sub =
            frame != nullptr ? qobject_cast<QMdiSubWindow*>(frame->parentWidget()) : nullptr) {
      connect(sub, &QMdiSubWindow::aboutToActivate, this, &StatisticsView::FillMdiArea);
      sub_window_watched_ = true;
    }
  }
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
  parameters_ = core::ReadStatisticsParameters();
  AskAndRun();
}

void StatisticsView::AskAndRun() {
  if (dialog_ != nullptr || busy() || result_mode_) return;
  dialog_ = new StatisticsDialog(this, parameters_);
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog_, &QDialog::finished, this, [this](int result) {
    const core::StatisticsParameters chosen = dialog_->parameters();
    dialog_ = nullptr;
    if (result != QDialog::Accepted) {
      // Cancel at the window's first dialog closes it; on a rerun the list stays.
      if (!batch_) {
        QTimer::singleShot(0, this, [this] {
          if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
        });
      }
      return;
    }
    if (auto ok = core::RememberStatisticsParameters(chosen); !ok) {
      ShowMessage(this, ui::ErrorMessage(ok.error()));
    }
    Run(chosen);
  });
  dialog_->open();
}

bool StatisticsView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_N && (key->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier) {
      ui::PostHostNotice(this, ui::notice::kReload);
      return true;
    }
  }
  return AnalysisView::eventFilter(watched, event);
}

void StatisticsView::FillMdiArea() {
  // The list wants every column it can get: when its window is activated it takes the whole
  // MDI area (and stays a normal window, so Tile and Cascade still place it).
  QWidget* frame = parentWidget();
  auto* sub = frame != nullptr ? qobject_cast<QMdiSubWindow*>(frame->parentWidget()) : nullptr;
  if (sub == nullptr || sub->isMaximized() || sub->isMinimized()) return;
  if (QMdiArea* area = sub->mdiArea()) sub->setGeometry(area->viewport()->rect());
}

void StatisticsView::HandleNotice(quint32 code, qintptr) {
  if (code != ui::notice::kReload || result_mode_) return;
  QTimer::singleShot(kStartDelayMs, this, &StatisticsView::AskAndRun);
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
  const core::SplitName split = core::SplitResultFileName(file.filename().string());
  parameters_.test_name = split.test_name;
  parameters_.code_range = split.test_code;
  parameters_.node_range = split.node_name;
  parameters_.result_path = file.parent_path().string();
  Fill();
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
        if (batch && batch->table.rows.empty() && !batch->cancelled && batch->failed_pairs > 0) {
          // Every waveform failed: say why for the first few, and keep what was shown.
          ShowMessage(this, QStringLiteral("No Valid Data File\n") +
                                QString::fromStdString(core::DescribeFailures(
                                    *batch, parameters_.test_name, ui::UiLanguage())));
          if (!batch_) {
            QTimer::singleShot(0, this, [this] {
              if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
            });
          }
          return;
        }
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
        // The list of an earlier run is replaced by this run's only when the person says so.
        written_.clear();
        Fill();
      });
}

void StatisticsView::Fill() {
  const core::StatisticsTable& table = batch_->table;
  list_->clear();
  list_->setColumnCount(static_cast<int>(table.columns.size()));
  QStringList titles;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    // The file joins the words of a title with "_"; the list shows them apart.
    titles << QString::fromStdString(table.columns[c].title)
                  .replace(QLatin1Char('_'), QLatin1Char(' '));
  }
  list_->setHorizontalHeaderLabels(titles);
  // A column is at least as wide as its list's own width, and wide enough for its title and
  // its numbers at the font shown (Chinese titles and long numbers need more).
  const QFontMetrics header(list_->horizontalHeader()->font());
  const QFontMetrics cells(list_->font());
  for (size_t c = 0; c < table.columns.size(); ++c) {
    int width = std::max(table.columns[c].width_px,
                         header.horizontalAdvance(titles[static_cast<int>(c)]) + kColumnPadding);
    const size_t measured = std::min<size_t>(table.rows.size(), kMeasuredRows);
    for (size_t r = 0; r < measured; ++r) {
      if (c < table.rows[r].size()) {
        width = std::max(width, cells.horizontalAdvance(QString::fromStdString(table.rows[r][c])) +
                                    kColumnPadding);
      }
    }
    list_->setColumnWidth(static_cast<int>(c), width);
  }
  list_->setRowCount(static_cast<int>(table.rows.size()));
  for (size_t r = 0; r < table.rows.size(); ++r) {
    for (size_t c = 0; c < table.rows[r].size(); ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(table.rows[r][c]));
      if (c != table.rows[r].size() - 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      list_->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
  SetCaption();
}

void StatisticsView::SetCaption() {
  // "Amplitude Statistics [abc 1-3 # 1-8 , /data]" after a run; a loaded list names its
  // content as a result and the folder it came from.
  const QString where =
      QString::fromStdString(result_mode_ ? parameters_.result_path : parameters_.data_path);
  setWindowTitle(QStringLiteral("%1 [%2 %3 # %4 , %5]")
                     .arg(ContentCaption(batch_->table.content, result_mode_),
                          QString::fromStdString(parameters_.test_name),
                          QString::fromStdString(parameters_.code_range),
                          QString::fromStdString(parameters_.node_range), where));
}

void StatisticsView::Save() {
  if (result_mode_ || !batch_ || batch_->table.rows.empty()) return;
  const auto path = core::StatisticsResultFilePath(parameters_.result_path, parameters_.test_name,
                                                   batch_->codes, batch_->nodes);
  // A list of that name this window did not write (another run's) is replaced only when the
  // person says so.
  std::error_code error;
  if (std::filesystem::exists(path, error) && written_.count(path) == 0 &&
      !ui::AskYesNo(
          this, Text(TextKey::kReplaceFileQuestion).arg(QString::fromStdString(path.string())))) {
    return;
  }
  if (auto ok = core::WriteStatisticsResultFile(path, batch_->table); !ok) {
    return ShowMessage(this, ui::ErrorMessage(ok.error()));
  }
  written_.insert(path);
  ShowMessage(this, Text(TextKey::kStatisticsSaved).arg(QString::fromStdString(path.string())),
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

QString StatisticsView::PageHeading() const {
  if (!batch_) return QString();
  return StatisticsPageHeading(Names(), batch_->table.content, ui::UiLanguage());
}

bool StatisticsView::PrintOn(QPrinter& printer) {
  core::StatisticsTable empty;
  const StatisticsPages pages(batch_ ? batch_->table : empty, PageHeading());
  return pages.Print(printer);
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
