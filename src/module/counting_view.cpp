// The counting views: drawing, input, the dialogs and the progress of their sessions.
#include "module/counting_view.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>

#include "core/counting/cursor_move.h"
#include "module/analysis_frame.h"
#include "module/bookmark_dialog.h"
#include "module/life_parameter_dialog.h"
#include "module/module_state.h"
#include "module/overlay_window.h"
#include "module/setup_dialog.h"
#include "module/waveform_viewer.h"
#include "module/y_scale_dialog.h"
#include "render/colours.h"
#include "render/draw_wave.h"
#include "render/fatigue_pictures.h"
#include "render/picture_output.h"
#include "ui/error_message.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::module {
namespace {

constexpr int kStartDelayMs = 100;

std::optional<QString> g_save_name_for_testing;
std::optional<std::vector<std::string>> g_overlay_nodes_for_testing;

/// A message-table filter ("Text File (*.txt)|*.txt|Excel File (*.xls)|*.xls||") as a Qt
/// filter ("Text File (*.txt);;Excel File (*.xls)").
QString QtFilter(const QString& table_filter) {
  const QStringList parts = table_filter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (!parts[i].isEmpty()) filters.append(parts[i]);
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace

CountingView::CountingView(core::CountingKind kind, QWidget* parent)
    : PictureView(parent), session_(kind, *this) {
  setFocusPolicy(Qt::StrongFocus);
  state_.language = ui::UiLanguage();
  state_.colours = render::ReadColours();
  static_cast<render::ViewChoices&>(state_) = session_.display();
  setWindowTitle(session_.Title());
  connect(&session_, &CountingSession::Changed, this, &CountingView::ShowSession);
  connect(&session_, &CountingSession::ResultChanged, this, [this] {
    dragging_ = false;
    PanelTakeOver();
  });
  connect(&session_, &CountingSession::PassStarted, this, &CountingView::ShowProgress);
  // The panel takes over the Follow box, and the life estimate buttons once cycles are counted;
  // a drag of the readout box goes on across an update.
  connect(&session_, &CountingSession::FollowChanged, this, &CountingView::PanelTakeOver);
  connect(&session_, &CountingSession::LiveUpdated, this, &CountingView::PanelTakeOver);
  connect(&session_, &CountingSession::PassProgressed, this,
          [this](qint64 lower, qint64 upper, qint64 position, const QString& status) {
            if (progress_ == nullptr) return;
            progress_->SetRange(lower, upper);
            progress_->SetPos(position);
            progress_->SetStatus(status);
          });
  connect(&session_, &CountingSession::ProgressEnded, this, [this] { delete progress_.data(); });
  connect(&session_, &CountingSession::PassEnded, this, &AnalysisView::PassEnded);
  connect(&overlay_runner_, &ui::PassRunner::Finished, this, &AnalysisView::PassEnded);
  // A pass that only listed the cycles changes no result: the panel takes the view over again.
  connect(&session_, &CountingSession::PassEnded, this, &CountingView::PanelTakeOver);
  connect(&session_, &CountingSession::ColoursAsked, this, [this] {
    state_.colours = render::ReadColours();
    Redraw();
  });
  // The dialog lives as long as the view and goes with it.
  bookmark_dialog_ = new BookmarkDialog(this);
  connect(bookmark_dialog_, &BookmarkDialog::Notice, this, &CountingView::BookmarkNotice);
  connect(&session_, &CountingSession::BookmarkDialogAsked, bookmark_dialog_,
          [this](int value) { bookmark_dialog_->HandleShowCommand(value); });
}

CountingView::~CountingView() { delete progress_.data(); }

void CountingView::CancelPass() {
  session_.CancelPass();
  overlay_runner_.Cancel();
}

QString CountingView::HelpTopic() const {
  switch (kind()) {
    case core::CountingKind::kPeak:
      return QStringLiteral("WyCont.html");
    case core::CountingKind::kRange:
      return QStringLiteral("WyDisp.html");
    case core::CountingKind::kCrossings:
    case core::CountingKind::kRangePairs:
    case core::CountingKind::kTimeAtLevel:
      return QStringLiteral("WyLevels.html");
    default:
      break;
  }
  return QStringLiteral("WyRainflow.html");
}

QString CountingView::PictureName() const {
  // In CountingKind order.
  static const char* const kSuffix[] = {"_Cont", "_Disp", "_RainFlow", "_Cross", "_Pairs", "_Time"};
  const auto k = static_cast<size_t>(kind());
  const QString suffix = QString::fromLatin1(kSuffix[k < std::size(kSuffix) ? k : 2]);
  const QString test = QString::fromStdString(context().test_name + context().test_code);
  if (result()) {
    const core::ResultFileNode& node = core::NodeOf(*result());
    if (!node.node_name.empty()) {
      return QString::fromStdString(node.test_name + node.test_code + "#" + node.node_name) +
             suffix;
    }
  }
  return test + suffix;
}

void CountingView::contextMenuEvent(QContextMenuEvent* event) {
  // Menu 6015 in English, 6014 in Chinese; its items post the view's own messages.
  QMenu menu(this);
  auto item = [&](TextKey text, std::optional<bool> checked, auto send) {
    QAction* action = menu.addAction(Text(text), this, send);
    action->setCheckable(checked.has_value());
    action->setChecked(checked.value_or(false));
    return action;
  };
  item(TextKey::kViewMenuGrid, state_.grid_shown,
       [this] { ui::PostHostCommand(this, ui::command::kGrid, 0); });
  item(TextKey::kViewMenuCursor, state_.cursor_shown,
       [this] { ui::PostHostCommand(this, ui::command::kCursor, 0); });
  item(TextKey::kViewMenuFullWaveform, state_.inset_shown,
       [this] { ui::PostHostNotice(this, ui::notice::kInset, state_.inset_shown ? 0 : 1); });
  item(TextKey::kViewMenuBookmark, std::nullopt,
       [this] { ui::PostHostCommand(this, ui::command::kBookmarkDialog, 1); });
  if (kind() == core::CountingKind::kRainflow) {
    item(TextKey::kPanelRangeMeanMatrix, matrix_shown(),
         [this] { ui::PostHostCommand(this, ui::command::kMatrixView, matrix_shown() ? 2 : 1); });
    item(TextKey::kPanelFromToMatrix, from_to_shown(),
         [this] { ui::PostHostCommand(this, ui::command::kFromToView, from_to_shown() ? 2 : 1); });
  }
  item(TextKey::kViewMenuLogCounts, state_.log_counts,
       [this] { ui::PostHostCommand(this, ui::command::kLogCounts, state_.log_counts ? 2 : 1); });
  item(TextKey::kViewMenuViewWaveform, std::nullopt, [this] {
    ui::PostHostCommand(this, ui::command::kViewWaveform, 0);
  })->setEnabled(!result_mode());
  item(TextKey::kViewMenuOverlayNodes, std::nullopt, [this] {
    ui::PostHostCommand(this, ui::command::kOverlayNodes, 0);
  })->setEnabled(!result_mode());
  menu.addSeparator();
  item(TextKey::kViewMenuSetup, std::nullopt, [this] {
    ui::PostHostNotice(this, ui::notice::kSetup, 0);
  })->setEnabled(!result_mode());
  menu.exec(event->globalPos() + QPoint(1, 1));
}

void CountingView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_F12:  // the panel collapses or expands: the frame's business
      ui::PostHostNotice(parentWidget(), ui::notice::kPanelCollapse, 0);
      return;
    case Qt::Key_Left:
      ui::PostHostCommand(this, ui::command::kMoveCursor, core::kCursorLeft);
      return;
    case Qt::Key_Down:
      ui::PostHostCommand(this, ui::command::kMoveCursor, core::kCursorFarLeft);
      return;
    case Qt::Key_Right:
      ui::PostHostCommand(this, ui::command::kMoveCursor, core::kCursorRight);
      return;
    case Qt::Key_Up:
      ui::PostHostCommand(this, ui::command::kMoveCursor, core::kCursorFarRight);
      return;
    default:
      break;
  }
  // The characters, upper and lower case alike; with Ctrl or Alt a key belongs to the host.
  const QString text = event->text();
  if (text.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    PictureView::keyPressEvent(event);
    return;
  }
  const char character = text.at(0).toUpper().toLatin1();
  const bool two_ways =
      kind() == core::CountingKind::kRange || kind() == core::CountingKind::kRangePairs;
  const char* const panel_keys = kind() == core::CountingKind::kPeak ? "KTWY"
                                 : two_ways                          ? "KWY"
                                                                     : "KY";
  if (character != 0 && std::strchr(panel_keys, character) != nullptr) {
    ui::PostHostNotice(parentWidget(), ui::notice::kPanelKey, character);
    return;
  }
  switch (character) {
    case 'H':
      ui::PostHostCommand(this, ui::command::kGrid, 0);
      return;
    case 'M':  // the bookmark dialog, as the context menu names it
      ui::PostHostCommand(this, ui::command::kBookmarkDialog, 1);
      return;
    case 'O':
      if (!result_mode()) ui::PostHostNotice(this, ui::notice::kSetup, 0);
      return;
    case 'N':
      if (!result_mode()) ui::PostHostNotice(this, ui::notice::kReload, 0);
      return;
    case '+':
    case '=':
      ui::PostHostCommand(this, ui::command::kZoom, 1);
      return;
    case '-':
    case '_':
      ui::PostHostCommand(this, ui::command::kZoom, 2);
      return;
    case 'I':
      ui::PostHostCommand(this, ui::command::kZoom, 0);
      return;
    case 'V':
      ui::PostHostCommand(this, ui::command::kZoom, 3);
      return;
    case 'R':
      ui::PostHostCommand(this, ui::command::kReadoutList, 0);
      return;
    case 'A':
      ui::PostHostCommand(this, ui::command::kReadoutList, 2);
      return;
    case 'L':
      ui::PostHostCommand(this, ui::command::kReadoutList, 3);
      return;
    case 'C':
      ui::PostHostCommand(this, ui::command::kReadoutList, 4);
      return;
    default:
      PictureView::keyPressEvent(event);
  }
}

void CountingView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || busy() || !result()) {
    PictureView::mousePressEvent(event);
    return;
  }
  setFocus();
  const QPoint point = event->position().toPoint();
  const QRect box = drawn().readout_box;
  if (state_.readout_box.shown && box.contains(point)) {
    const int side = drawn().close_box_size;
    if (point.x() > box.right() + 1 - side && point.y() <= box.top() + side) {
      dragging_ = false;
      session_.CloseReadoutBox();  // the close square; the position is kept
    } else {
      dragging_ = true;
      drag_offset_ = point - box.topLeft();
    }
    return;
  }
  for (const render::DrawnPlot& plot : drawn().plots) {
    if (plot.inset || !plot.wave_rect.contains(point)) continue;
    const int index = render::CellAtPoint(plot.wave_rect, partitions(), point);
    if (index >= 0) session_.SetCursor(index);
    break;
  }
}

void CountingView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    PictureView::mouseMoveEvent(event);
    return;
  }
  setCursor(Qt::SizeAllCursor);
  // The box's new top-left in thousandths of the drawing area, kept where the whole box fits.
  const QRect area = rect();
  const QRect box = drawn().readout_box;
  const QPoint top_left = event->position().toPoint() - drag_offset_;
  const int64_t width = std::max(1, area.width());
  const int64_t height = std::max(1, area.height());
  // Over the plots: left of the information column.
  const int64_t plots_width =
      drawn().column.isValid() ? drawn().column.left() - area.left() : area.width();
  const int64_t left = std::clamp<int64_t>(top_left.x() - area.left(), 0,
                                           std::max<int64_t>(0, plots_width - box.width() - 3));
  const int64_t top = std::clamp<int64_t>(top_left.y() - area.top(), 0,
                                          std::max<int64_t>(0, height - box.height()));
  session_.PlaceReadoutBox(static_cast<int>(left * 1000 / width),
                           static_cast<int>(top * 1000 / height));
}

void CountingView::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    dragging_ = false;
    unsetCursor();
    return;
  }
  PictureView::mouseReleaseEvent(event);
}

void CountingView::showEvent(QShowEvent* event) {
  PictureView::showEvent(event);
  FollowActivation();
  if (start_scheduled_) return;
  start_scheduled_ = true;
  QTimer::singleShot(kStartDelayMs, this, [this] { session_.Start(); });
}

render::PictureReport CountingView::DrawPicture(QPainter& painter,
                                                const render::TargetGeometry& geometry) {
  if (!result()) {
    painter.fillRect(geometry.area, Qt::white);
    return {};
  }
  const auto* rainflow = std::get_if<core::RainflowResultFile>(&*result());
  if (rainflow == nullptr || (!matrix_shown() && !from_to_shown())) {
    return render::DrawCountingPicture(painter, geometry, *result(), bookmarks(), state_);
  }
  if (const auto& matrix = session_.matrix(); matrix && matrix_shown()) {
    return render::DrawRangeMeanMatrixPicture(painter, geometry, *rainflow, *matrix, state_);
  }
  if (const auto& from_to = session_.from_to(); from_to && from_to_shown()) {
    return render::DrawFromToMatrixPicture(painter, geometry, *rainflow, *from_to, state_);
  }
  // No matrix (yet): the frame with the reason in its middle.
  render::PictureReport report;
  report.empty = false;
  painter.fillRect(geometry.area, Qt::white);
  QFont font = painter.font();
  font.setPixelSize(geometry.FontPixels(10));
  painter.setFont(font);
  painter.setPen(Qt::black);
  const QRect box =
      geometry.area.adjusted(geometry.area.width() / 8, 0, -geometry.area.width() / 8, 0);
  const QString text = session_.MatrixRefusal();
  painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, text);
  report.texts.push_back(
      {text, painter.boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, text)});
  return report;
}

void CountingView::ShowSession() {
  // The panel's zoom slider follows a zoom made with the keys, the menu or the Y scale dialog.
  const bool zoomed = state_.zoom != session_.display().zoom;
  static_cast<render::ViewChoices&>(state_) = session_.display();
  if (zoomed) PanelTakeOver();
  if (!state_.readout_box.shown) dragging_ = false;
  setWindowTitle(session_.Title());
  Redraw();
}

void CountingView::ShowProgress(const QString& status) {
  // The whole analysis window (the view's frame) waits for the pass, not the host.
  QWidget* window = parentWidget() != nullptr && !isWindow() ? parentWidget() : this;
  progress_ = new ui::ProgressDialog(window);
  progress_->SetStatus(status);
  connect(progress_, &ui::ProgressDialog::CancelRequested, &session_, &CountingSession::CancelPass);
  progress_->show();
  PanelTakeOver();  // no life estimate while the pass runs
}

void CountingView::Tell(const QString& text, bool warning) { ShowMessage(this, text, warning); }

bool CountingView::Ask(const QString& question) { return ui::AskYesNo(this, question); }

void CountingView::ShowStatus(const QString& text) { ui::ShowStatus(this, text); }

void CountingView::AskSetup(const core::CountingPlan& shown, double ad_range, const QString& unit,
                            std::function<void(std::optional<core::CountingPlan>)> answer) {
  auto* dialog = new SetupDialog(shown, ad_range, unit, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::finished, this, [dialog, answer = std::move(answer)](int result) {
    if (result == QDialog::Accepted) {
      answer(dialog->request());
    } else {
      answer(std::nullopt);
    }
  });
  SetupDialog::Show(dialog);
}

bool CountingView::AskNode() { return ui::SelectNodeDialogRun(this, false, false); }

void CountingView::AskYScale(double shown, std::function<void(double)> answer) {
  auto* dialog = new YScaleDialog(shown, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this,
          [dialog, answer = std::move(answer)] { answer(dialog->value()); });
  dialog->open();
}

void CountingView::AskLifeParameters(core::FatigueMethod method,
                                     std::function<void(const core::FatigueChoice&)> answer) {
  setFocus();
  auto* dialog = new LifeParameterDialog(method, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this,
          [dialog, answer = std::move(answer)] { answer(dialog->choice()); });
  dialog->open();
}

core::Status CountingView::WriteReportPicture(const std::filesystem::path& bitmap) {
  return render::WriteBitmapFile(bitmap, ReportImage());
}

void CountingView::CopyText(const QString& text) { QGuiApplication::clipboard()->setText(text); }

void CountingView::EstimateMade(const ui::FatigueTable& table, bool update) {
  ui::SetLastFatigueTable(table);
  // An update of a followed node's estimate refreshes the table shown and opens none.
  ui::SendHostCommand(ui::HostWindow(), ui::command::kFileStored,
                      update ? ui::kFileStoredUpdate : 0);
}

void CountingView::CloseWindow() {
  // A window that can't start closes.
  QTimer::singleShot(0, this, [this] {
    if (auto* frame = qobject_cast<AnalysisFrame*>(parentWidget())) frame->CloseWindow();
  });
}

void CountingView::SetSaveNameForTesting(std::optional<QString> name) {
  g_save_name_for_testing = std::move(name);
}

QString CountingView::AskReadoutListName(const QString& start) {
  if (g_save_name_for_testing) return *g_save_name_for_testing;
  return QFileDialog::getSaveFileName(this, Text(TextKey::kSaveReadoutListTitle), start,
                                      QtFilter(Message(core::kMsgListFileFilter)));
}

void CountingView::PanelTakeOver() { ui::PostHostNotice(parentWidget(), ui::notice::kPanelKey, 0); }

void CountingView::HandleCommand(quint32 code, qintptr value) {
  setFocus();
  if (HandlePictureCommand(code, value)) return;
  if (code == ui::command::kViewWaveform) return ViewWaveform();
  if (code == ui::command::kOverlayNodes) return OverlayNodes();
  session_.Handle(CommandCode(code), value);
  // The panel's matrix and log boxes follow the menu's and the context menu's switch.
  if (code == ui::command::kMatrixView || code == ui::command::kFromToView ||
      code == ui::command::kLogCounts) {
    PanelTakeOver();
  }
}

void CountingView::SetOverlayNodesForTesting(std::optional<std::vector<std::string>> names) {
  g_overlay_nodes_for_testing = std::move(names);
}

void CountingView::ViewWaveform() {
  if (result_mode() || session_.node().data_file.empty()) return;
  if (viewer_ == nullptr) {
    std::vector<double> envelope;
    if (result()) envelope = std::visit([](const auto& f) { return f.result.envelope; }, *result());
    viewer_ = new WaveformViewer(session_.node(), std::move(envelope), bookmarks(), state_.language,
                                 this);
    viewer_->setAttribute(Qt::WA_DeleteOnClose);
    const auto& p = parameters();
    if (p.range_mode == core::kRangeByBlock) {
      viewer_->SetPickedBlocks(std::make_pair(p.first_block, p.last_block));
    }
    connect(viewer_, &WaveformViewer::BlocksPicked, this,
            [this](int32_t first, int32_t last) { session_.PickBlocks(first, last); });
    // A new count brings the envelope of the record; the flags follow the bookmarks.
    connect(&session_, &CountingSession::ResultChanged, viewer_, [this] {
      if (!result() || viewer_ == nullptr) return;
      // After Select Node the viewer of the node before goes; View Waveform opens the new one.
      if (viewer_->node().data_file != session_.node().data_file) {
        viewer_->close();
        return;
      }
      viewer_->SetEnvelope(std::visit([](const auto& f) { return f.result.envelope; }, *result()));
      viewer_->SetBookmarks(bookmarks());
    });
  }
  viewer_->show();
  viewer_->raise();
  viewer_->activateWindow();
}

void CountingView::OverlayNodes() {
  if (result_mode() || busy()) return;
  // The overlay compares counts over the partitions of one amplitude range; level crossings are
  // counted on levels of their own.
  if (kind() == core::CountingKind::kCrossings) {
    return Tell(Text(TextKey::kOverlayNotForCrossings), true);
  }
  ui::NodeChoice choice;
  if (g_overlay_nodes_for_testing) {
    choice.names = *g_overlay_nodes_for_testing;
  } else {
    ui::NodeChoice start;
    start.test_name = context().test_name;
    start.test_code = context().test_code;
    start.data_path = context().data_path;
    start.result_path = context().result_path;
    start.names = context().node_list;
    ui::SelectNodeDialog dialog(this, true, false, start);
    if (dialog.exec() != QDialog::Accepted) return;
    choice = dialog.choice();
  }
  core::TestContext test = context();
  if (!choice.test_name.empty()) {
    test.test_name = choice.test_name;
    test.test_code = choice.test_code;
    test.data_path = choice.data_path;
  }
  if (choice.names.size() < 2) return Tell(Text(TextKey::kOverlayNeedsNodes), true);
  // The worker counts copies; what it found is taken on this thread once it has ended.
  auto outcome = std::make_shared<std::optional<core::Result<OverlayCounts>>>();
  const QString status = Text(TextKey::kOverlayTitle);
  const bool started = overlay_runner_.Start(
      status,
      [outcome, plan = session_.Plan(), test, names = choice.names,
       language = state_.language](core::Progress& progress) {
        *outcome = CountOverlayNodes(plan, test, names, language, progress);
      },
      [this, outcome, test, names = choice.names] {
        PanelTakeOver();
        if (!outcome->has_value()) return;
        const core::Result<OverlayCounts>& counted = **outcome;
        if (!counted) {
          const std::string& detail = counted.error().detail;
          return Tell(Text(TextKey::kOverlayFailed)
                          .arg(QString::fromStdString(detail.substr(0, detail.find(':'))))
                          .arg(ui::ErrorMessage(counted.error())),
                      true);
        }
        if (counted->cancelled) return ShowStatus(Text(TextKey::kOverlayCancelled));
        delete overlay_.data();
        overlay_ = new OverlayWindow(
            OverlayPictureOf(kind(), test, names, counted->files, session_.display()), this);
        overlay_->setAttribute(Qt::WA_DeleteOnClose);
        overlay_->show();
        overlay_->raise();
        overlay_->activateWindow();
      });
  if (started) PanelTakeOver();  // no reading and no life estimate while the nodes are counted
}

void CountingView::HandleNotice(quint32 code, qintptr value) {
  session_.Handle(NoticeCode(code), value);
}

bool CountingView::ListBookmarks(std::vector<BookmarkNode> nodes, bool browse) {
  bookmark_dialog_->ResetBookmarks();
  if (!browse) {
    bookmark_dialog_->RefreshBookmarks();
    bookmark_dialog_->SetBookmarkMode(BookmarkDialog::kHideOnlyMode);
    return false;
  }
  bookmark_dialog_->SetNodes(std::move(nodes));
  bookmark_dialog_->RefreshBookmarks();
  bookmark_dialog_->SetBookmarkMode(BookmarkDialog::kNoAddMode);
  return bookmark_dialog_->flags_shown();
}

void CountingView::BookmarkNotice(int code) {
  bool shown = session_.display().bookmarks_shown;
  if (code == bookmark_notice::kHide || code == bookmark_notice::kShow) {
    shown = code == bookmark_notice::kShow;
  }
  // Renames and deletes are in the node's file already; the flags follow the dialog's lists.
  session_.SetBookmarks(session_.LabelsOfShownNode(bookmark_dialog_->nodes()), shown);
}

void CountingView::FollowActivation() {
  if (mdi_area_ != nullptr) return;
  for (QWidget* up = parentWidget(); up != nullptr; up = up->parentWidget()) {
    if (auto* area = qobject_cast<QMdiArea*>(up)) {
      mdi_area_ = area;
      break;
    }
  }
  if (mdi_area_ == nullptr) return;
  connect(mdi_area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* active) {
    // Another window of the host became the active one (not the dialog taking the focus).
    if (active == nullptr) return;
    if (!active->isAncestorOf(this)) bookmark_dialog_->hide();
  });
}

}  // namespace torvwy::module
