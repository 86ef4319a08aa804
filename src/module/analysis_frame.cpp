// The analysis frame: routing, the close handshake, the panel and help.
#include "module/analysis_frame.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QResizeEvent>
#include <QShortcut>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "module/analysis_view.h"
#include "module/control_panel.h"
#include "module/module_state.h"
#include "render/colours.h"
#include "ui/host_message.h"

namespace torvwy::module {
namespace {

constexpr int kCloseRetryMs = 200;

struct PanelInfo {
  const char* name;  ///< the dock's object name; empty: no panel
  int dialog;
  TextKey title;
};

PanelInfo PanelOf(AnalysisKind kind) {
  switch (kind) {
    case AnalysisKind::kPeak:
      return {"ContParameter", 6016, TextKey::kDockPeakPanel};
    case AnalysisKind::kRange:
      return {"DispParameter", 6022, TextKey::kDockRangePanel};
    case AnalysisKind::kRainflow:
      return {"RainflowParameter", 6025, TextKey::kDockRainflowPanel};
    case AnalysisKind::kCrossings:
      return {"CrossingParameter", 6040, TextKey::kDockCrossingPanel};
    case AnalysisKind::kRangePairs:
      return {"RangePairParameter", 6041, TextKey::kDockRangePairPanel};
    case AnalysisKind::kTimeAtLevel:
      return {"TimeAtLevelParameter", 6042, TextKey::kDockTimeAtLevelPanel};
    case AnalysisKind::kStatistics:
    case AnalysisKind::kProgramme:
      break;
  }
  return {"", 0, TextKey::kDockPeakPanel};
}

core::CountingKind CountingKindOf(AnalysisKind kind) {
  switch (kind) {
    case AnalysisKind::kPeak:
      return core::CountingKind::kPeak;
    case AnalysisKind::kRange:
      return core::CountingKind::kRange;
    case AnalysisKind::kCrossings:
      return core::CountingKind::kCrossings;
    case AnalysisKind::kRangePairs:
      return core::CountingKind::kRangePairs;
    case AnalysisKind::kTimeAtLevel:
      return core::CountingKind::kTimeAtLevel;
    default:
      break;
  }
  return core::CountingKind::kRainflow;
}

}  // namespace

AnalysisFrame::AnalysisFrame(AnalysisKind kind, AnalysisView* view, QWidget* parent)
    : QMainWindow(parent), kind_(kind), view_(view) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  view->setParent(this);
  setCentralWidget(view);
  const PanelInfo info = PanelOf(kind);
  if (info.dialog != 0) {
    panel_ = new QDockWidget(Text(info.title), this);
    panel_->setObjectName(QString::fromLatin1(info.name));
    panel_->setAllowedAreas(Qt::AllDockWidgetAreas);
    // The control panel in the frame's container, with the frame's panel colour.
    const core::CountingKind counting = CountingKindOf(kind);
    control_panel_ = new ControlPanel(counting, this, panel_);
    control_panel_->setAutoFillBackground(true);
    QPalette palette = control_panel_->palette();
    palette.setColor(QPalette::Window, render::ToQColor(kPanelColour));
    control_panel_->setPalette(palette);
    panel_->setWidget(control_panel_);
    addDockWidget(Qt::LeftDockWidgetArea, panel_);
    panel_->show();
  }
  setWindowTitle(view->windowTitle());
  connect(view, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
  connect(view, &AnalysisView::PassEnded, this, [this] {
    if (close_after_pass_) {
      close_after_pass_ = false;
      CloseWindow();
    }
  });
  // In the host, F1 is its Help command, which reaches this frame; a second F1 shortcut in the
  // same window would make the key ambiguous, and neither would fire.
  if (ui::HostWindow() == nullptr) {
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &AnalysisFrame::OpenHelp);
  }
}

AnalysisFrame::~AnalysisFrame() {
  if (close_timer_ != 0) killTimer(close_timer_);
  if (view_ != nullptr && view_->busy()) view_->CancelPass();
  ui::SendHostCommand(ui::HostWindow(), ui::command::kWindowGone, reinterpret_cast<qintptr>(this));
}

void AnalysisFrame::CloseWindow() {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    sub->close();
  } else {
    close();
  }
}

void AnalysisFrame::OpenHelp() {
  if (view_ != nullptr) OpenHelpTopic(this, view_->HelpTopic());
}

bool AnalysisFrame::event(QEvent* event) {
  if (event->type() == ui::kHostCommandEvent) {
    const auto* message = static_cast<ui::HostMessage*>(event);
    if (message->code() == ui::command::kHelp) {
      OpenHelp();
    } else {
      ui::SendHostCommand(view_, message->code(), message->value());
    }
    return true;
  }
  if (event->type() == ui::kHostNoticeEvent) {
    const auto* message = static_cast<ui::HostMessage*>(event);
    HandleNotice(message->code(), message->value());
    return true;
  }
  return QMainWindow::event(event);
}

void AnalysisFrame::HandleNotice(quint32 code, qintptr value) {
  if (code == ui::notice::kClosePermission) {
    closing_permitted_ = value != 0;
    return;
  }
  if (panel_ == nullptr) {  // the statistics frame keeps only the closing permission
    ui::PostHostNotice(view_, code, value);
    return;
  }
  switch (code) {
    case ui::notice::kPanelKey:
      control_panel_->HandleKey(value);
      return;
    case 1004:
    case 2002:
    case 2003:
      return;
    case ui::notice::kPanelWidth:
      if (value >= 0 && value <= kMaxPanelWidth) SlidePanel(static_cast<int>(value));
      if (view_ != nullptr) view_->setFocus();
      return;
    case ui::notice::kPanelCollapse:
      panel_auto_collapsed_ = false;
      control_panel_->ToggleCollapsed();
      return;
    default:
      ui::PostHostNotice(view_, code, value);
  }
}

void AnalysisFrame::SlidePanel(int width) {
  // Opens in steps of 50 pixels and closes in steps of 30, then sets the width exactly.
  int size = panel_->width();
  if (size > width) {
    for (; size > width; size -= 30) resizeDocks({panel_}, {size}, Qt::Horizontal);
  } else {
    for (; size < width; size += 50) resizeDocks({panel_}, {size}, Qt::Horizontal);
  }
  resizeDocks({panel_}, {std::max(width, 1)}, Qt::Horizontal);
}

void AnalysisFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitPanel();
}

void AnalysisFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A window that opens small collapses its panel too: its first resize came before the panel
  // was shown.
  QTimer::singleShot(0, this, &AnalysisFrame::FitPanel);
}

void AnalysisFrame::FitPanel() {
  if (control_panel_ == nullptr || !panel_->isVisible()) return;
  if (!control_panel_->collapsed()) {
    if (width() - panel_->width() >= kMinPictureWidth) return;
    panel_auto_collapsed_ = true;
    control_panel_->ToggleCollapsed();
    return;
  }
  // A panel collapsed by a person stays so; one collapsed here opens with room to spare, so
  // that a width near the edge does not open and close it in turn.
  const int open_width =
      std::max(control_panel_->expanded_width(), control_panel_->sizeHint().width());
  if (panel_auto_collapsed_ && width() - open_width >= kMinPictureWidth + 40) {
    panel_auto_collapsed_ = false;
    control_panel_->ToggleCollapsed();
  }
}

void AnalysisFrame::closeEvent(QCloseEvent* event) {
  if (view_ != nullptr && view_->busy()) {
    // A pass under way is cancelled first; the window closes when it has ended.
    close_after_pass_ = true;
    view_->CancelPass();
    event->ignore();
    return;
  }
  if (closing_permitted_) {
    event->accept();
    return;
  }
  event->ignore();
  ui::PostHostCommand(view_, ui::command::kCloseRequest, 0);
  if (close_timer_ == 0) close_timer_ = startTimer(kCloseRetryMs);
}

void AnalysisFrame::timerEvent(QTimerEvent* event) {
  if (event->timerId() != close_timer_) {
    QMainWindow::timerEvent(event);
    return;
  }
  killTimer(close_timer_);
  close_timer_ = 0;
  CloseWindow();
}

}  // namespace torvwy::module
