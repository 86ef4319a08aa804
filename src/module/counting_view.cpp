// The counting views: start-up, the counting pass, commands and notices.
#include "module/counting_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <memory>

#include "core/counting/counting_run.h"
#include "core/data/labels.h"
#include "core/report/companion.h"
#include "core/report/counting_hand_over.h"
#include "core/services/folders.h"
#include "module/analysis_frame.h"
#include "module/module_state.h"
#include "render/colours.h"
#include "render/picture_output.h"
#include "ui/error_message.h"
#include "ui/host_message.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::module {
namespace {

constexpr int kStartDelayMs = 100;

/// 1 shows, 2 hides, any other value toggles.
bool ShowHide(qintptr value, bool shown) { return value == 1 ? true : value == 2 ? false : !shown; }

}  // namespace

CountingView::CountingView(core::CountingKind kind, QWidget* parent)
    : PictureView(parent), kind_(kind) {
  setFocusPolicy(Qt::StrongFocus);
  state_.language = ui::UiLanguage();
  state_.colours = render::ReadColours();
  UpdateTitle();
  connect(&runner_, &ui::PassRunner::Finished, this, &AnalysisView::PassEnded);
}

QString CountingView::HelpTopic() const {
  switch (kind_) {
    case core::CountingKind::kPeak:
      return QStringLiteral("WyCont.html");
    case core::CountingKind::kRange:
      return QStringLiteral("WyDisp.html");
    case core::CountingKind::kRainflow:
      break;
  }
  return QStringLiteral("WyRainflow.html");
}

QString CountingView::PictureName() const {
  static const char* const kSuffix[] = {"_Cont", "_Disp", "_RainFlow"};
  const QString suffix = QString::fromLatin1(kSuffix[static_cast<int>(kind_)]);
  const QString test = QString::fromStdString(context_.test_name + context_.test_code);
  if (file_) {
    const core::ResultFileNode& node = core::NodeOf(*file_);
    if (!node.node_name.empty()) {
      return QString::fromStdString(node.test_name + node.test_code + "#" + node.node_name) +
             suffix;
    }
  }
  return test + suffix;
}

void CountingView::UpdateTitle() {
  static const int kTitle[] = {6017, 6018, 6019};
  static const char* const kEnglish[] = {"Peak Counting", "Range Counting", "Rainflow Counting"};
  QString title = ui::UiLanguage() == core::Language::kChinese
                      ? ResourceString(kTitle[static_cast<int>(kind_)])
                      : QString::fromLatin1(kEnglish[static_cast<int>(kind_)]);
  if (file_) {
    const core::ResultFileNode& node = core::NodeOf(*file_);
    title += QStringLiteral(" - ") +
             QString::fromStdString(node.test_name + node.test_code + "#" + node.node_name);
    if (core::PassCancelled(*file_)) title += Text(" (已取消)", " (cancelled)");
  }
  setWindowTitle(title);
}

void CountingView::contextMenuEvent(QContextMenuEvent* event) {
  // Menu 6015 in English, 6014 in Chinese: one popup whose items send the view's own messages.
  const bool english = ui::UiLanguage() != core::Language::kChinese;
  QMenu menu(this);
  auto item = [&](const char* chinese, const char* english_text, auto send) {
    menu.addAction(QString::fromUtf8(english ? english_text : chinese), this, send);
  };
  item("坐标网线\t[H]", "[H] Grid", [this] { ui::SendHostCommand(this, ui::command::kGrid, 0); });
  item("读数光标", "Cursor", [this] { ui::SendHostCommand(this, ui::command::kCursor, 0); });
  item("全程波形图", "Full Waveform",
       [this] { ui::PostHostNotice(this, ui::notice::kInset, state_.inset_shown ? 0 : 1); });
  item("书签....\t[M]", "[M] Bookmark...",
       [this] { ui::SendHostCommand(this, ui::command::kBookmarkDialog, 1); });
  menu.addSeparator();
  item("重新分析\t[O]", "[O] Setup", [this] { ui::PostHostNotice(this, ui::notice::kSetup, 0); });
  menu.exec(event->globalPos());
}

void CountingView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_F12:  // the panel collapses or expands: the frame's business
      ui::PostHostNotice(parentWidget(), ui::notice::kPanelCollapse, 0);
      return;
    case Qt::Key_Left:
      ui::SendHostCommand(this, ui::command::kMoveCursor, 0);
      return;
    case Qt::Key_Down:
      ui::SendHostCommand(this, ui::command::kMoveCursor, 1);
      return;
    case Qt::Key_Right:
      ui::SendHostCommand(this, ui::command::kMoveCursor, 2);
      return;
    case Qt::Key_Up:
      ui::SendHostCommand(this, ui::command::kMoveCursor, 3);
      return;
    case Qt::Key_H:
      ui::SendHostCommand(this, ui::command::kGrid, 0);
      return;
    case Qt::Key_O:
      ui::PostHostNotice(this, ui::notice::kSetup, 0);
      return;
    default:
      PictureView::keyPressEvent(event);
  }
}

void CountingView::showEvent(QShowEvent* event) {
  PictureView::showEvent(event);
  if (started_) return;
  started_ = true;
  QTimer::singleShot(kStartDelayMs, this, &CountingView::Start);
}

void CountingView::Fail(const QString& text) {
  ShowMessage(this, text);
  // A window that can't start closes.
  QTimer::singleShot(0, this, [this] {
    if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
  });
}

void CountingView::Start() {
  const std::filesystem::path file = core::GetHostFolder() / core::kParameterFileName;
  auto context = core::ReadAnalysisParameterFile(file);
  if (!context) return Fail(ui::ErrorMessage(context.error()));
  context_ = std::move(*context);
  if (result_mode()) {
    if (context_.result_names.empty()) return Fail(Message(core::kMsgParameterFileUnreadable));
    auto path = core::ResultNamePath(context_.result_path, context_.result_names.front());
    if (!path) return Fail(ui::ErrorMessage(path.error()));
    auto opened = core::OpenResultFile(*path);
    if (!opened) return Fail(ui::ErrorMessage(opened.error()));
    if (core::KindOf(*opened) != kind_) {
      return Fail(QString::fromStdString(path->string()) +
                  Text(" 不是本分析的结果文件。", " is not a result file of this analysis."));
    }
    const core::ResultFileNode& node = core::NodeOf(*opened);
    if (node.old_format_warning) {
      ShowMessage(this, QString::fromUtf8(core::OldFormatMessage(ui::UiLanguage())), false);
    }
    file_ = std::move(*opened);
    UpdateTitle();
    Redraw();
    return;
  }
  auto info = core::LoadCurrentNode(context_);
  if (!info) return Fail(ui::ErrorMessage(info.error()));
  auto node = core::OpenCountingNode(context_.data_path, context_.test_name, context_.test_code,
                                     context_.node_name);
  if (!node) return Fail(ui::ErrorMessage(node.error()));
  node_ = std::move(*node);
  bookmarks_ = context_.labels.empty() ? std::vector<core::Label>{} : context_.labels.front();
  core::ResetRangeOnNodeLoad(parameters_, node_.info);
  core::SettleRange(parameters_);
  Recount();
}

void CountingView::Recount() {
  if (result_mode() || node_.data_file.empty()) return;
  auto outcome = std::make_shared<std::optional<core::Result<core::AnyResultFile>>>();
  const core::CountingKind kind = kind_;
  const core::CountingNode node = node_;
  const core::CountingParameters parameters = parameters_;
  core::CountingRunOptions options;
  options.captions = core::CountingCaptions(ui::UiLanguage());
  options.threads = 0;  // every core; the counts are the same as on one
  const QString status =
      Message(core::kMsgCountingCaption) + " " +
      QString::fromStdString(node.test_name + node.test_code + "#" + node.node_name);
  runner_.Start(
      status,
      [=](core::Progress& progress) {
        *outcome = core::RunCounting(kind, node, parameters, progress, options);
      },
      [this, outcome] {
        if (!outcome->has_value()) return;
        auto& counted = **outcome;
        if (!counted) {
          ShowMessage(this, ui::ErrorMessage(counted.error()));
          return;
        }
        file_ = std::move(*counted);
        if (cancelled()) {
          ui::ShowStatus(this, Text("计算被取消：显示的是部分计数，不能保存、报告或导出。",
                                    "The counting was cancelled: the counts shown are partial and "
                                    "can't be saved, reported or exported."));
        }
        UpdateTitle();
        Redraw();
      });
}

render::PictureReport CountingView::DrawPicture(QPainter& painter,
                                                const render::TargetGeometry& geometry) {
  if (!file_) {
    painter.fillRect(geometry.area, Qt::white);
    return {};
  }
  return render::DrawCountingPicture(painter, geometry, *file_, bookmarks_, state_);
}

void CountingView::SaveResult() {
  if (result_mode() || !file_) return;
  auto path = core::ResultFilePath(context_.result_path, context_.test_name, context_.test_code,
                                   context_.node_name, kind_);
  if (!path) return ShowMessage(this, ui::ErrorMessage(path.error()));
  if (auto saved = core::SaveResultFile(*path, *file_); !saved) {
    return ShowMessage(this, ui::ErrorMessage(saved.error()));
  }
  ShowMessage(
      this,
      Text("结果已保存到 ", "The result was saved to ") + QString::fromStdString(path->string()),
      false);
  if (kind_ == core::CountingKind::kRainflow) {
    ui::SendHostCommand(ui::HostWindow(), ui::command::kFileStored, 0);
  }
}

void CountingView::Report() {
  if (!file_) return;
  core::ReportView view;
  view.language = ui::UiLanguage();
  view.one_way = state_.one_way;
  view.separately = state_.separately;
  core::ReportOptions options;
  options.picture = [this](const std::filesystem::path& bitmap) {
    return render::WriteBitmapFile(bitmap, ExportImage());
  };
  options.picture_failed = [this](const core::Error& error) {
    ShowMessage(this, ui::ErrorMessage(error));
  };
  StartCompanion(this, core::WriteCountingReport(*file_, view, options), core::kReportProgram);
}

void CountingView::Export() {
  if (!file_) return;
  StartCompanion(this, core::WriteCountingExport(*file_, state_.one_way, ui::UiLanguage()),
                 core::kExportProgram);
}

void CountingView::HandleCommand(quint32 code, qintptr value) {
  if (HandlePictureCommand(code, value)) return;
  switch (code) {
    case ui::command::kReport:
      Report();
      return;
    case ui::command::kExport:
      Export();
      return;
    case ui::command::kSaveResult:
      SaveResult();
      return;
    case ui::command::kCursor:
      state_.cursor_shown = ShowHide(value, state_.cursor_shown);
      break;
    case ui::command::kGrid:
      state_.grid_shown = ShowHide(value, state_.grid_shown);
      break;
    case ui::command::kMarkStyle:
      if (value < 0 || value > 4) return;
      state_.mark_style = static_cast<int>(value);
      break;
    case ui::command::kReadColours:
      state_.colours = render::ReadColours();
      break;
    case ui::command::kDisplaySetting:
      if (kind_ != core::CountingKind::kPeak || value != 1) return;
      break;
    case ui::command::kMoveCursor:
      if (value < 0 || value > 9) return;  // step codes are 0..9
      return;
    default:
      return;
  }
  Redraw();
}

void CountingView::HandleNotice(quint32 code, qintptr value) {
  switch (code) {
    case ui::notice::kCurveType:
      if (value < 0 || value > 7) return;
      state_.curve_type = value == 6 ? 1 : static_cast<int>(value);
      state_.symbol_type = value == 6 ? 0 : 4;
      break;
    case ui::notice::kMarkStyle:
      if (value < 0 || value > 4) return;
      state_.mark_style = static_cast<int>(value);
      break;
    case ui::notice::kZoomSlider:
      if (value < 0 || value > 400) return;
      state_.zoom = std::pow(10.0, (static_cast<double>(value) - 200.0) * 0.01);
      break;
    case ui::notice::kReload:
      if (result_mode()) return;
      if (ui::SelectNodeDialogRun(this, false, false)) Start();
      return;
    case ui::notice::kSetup:
      if (result_mode()) return;
      if (auto tsp = core::NodeFilePath(context_.data_path, context_.test_name, context_.test_code,
                                        context_.node_name, ".tsp");
          !tsp || core::CheckNode(*tsp, node_.info) != 0) {
        ShowMessage(this, Text("测点的采样参数文件不存在或已改变。",
                               "The node's sampling parameter file is missing or has changed."));
        return;
      }
      Recount();
      return;
    case ui::notice::kInset:
      state_.inset_shown = value != 0;
      break;
    case ui::notice::kSeparately:
      state_.separately = value != 0;
      break;
    case ui::notice::kOneWay:
      state_.one_way = value != 0;
      break;
    default:
      return;
  }
  Redraw();
}

}  // namespace torvwy::module
