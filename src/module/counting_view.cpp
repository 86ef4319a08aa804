// The counting views: start-up, the counting pass, commands and notices.
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
#include <cmath>
#include <cstring>
#include <memory>

#include "core/counting/block_pass.h"
#include "core/counting/counting_run.h"
#include "core/counting/cursor_move.h"
#include "core/data/labels.h"
#include "core/data/sampling_info.h"
#include "core/fatigue/fatigue_list.h"
#include "core/report/companion.h"
#include "core/report/counting_hand_over.h"
#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "module/analysis_frame.h"
#include "module/bookmark_dialog.h"
#include "module/life_parameter_dialog.h"
#include "module/module_state.h"
#include "module/setup_dialog.h"
#include "module/y_scale_dialog.h"
#include "render/colours.h"
#include "render/draw_wave.h"
#include "render/picture_output.h"
#include "ui/error_message.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::module {
namespace {

constexpr int kStartDelayMs = 100;

/// 1 shows, 2 hides, any other value toggles.
bool ShowHide(qintptr value, bool shown) { return value == 1 ? true : value == 2 ? false : !shown; }

std::optional<QString> g_save_name_for_testing;

/// The stored cursor of a result (N / 2 after a count).
int32_t StoredCursor(const core::AnyResultFile& file) {
  return std::visit([](const auto& f) { return f.result.cursor_partition; }, file);
}

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

bool EndsWith(const QString& path, const char* extension) {
  return path.endsWith(QLatin1String(extension), Qt::CaseInsensitive);
}

}  // namespace

CountingView::CountingView(core::CountingKind kind, QWidget* parent)
    : PictureView(parent), kind_(kind) {
  setFocusPolicy(Qt::StrongFocus);
  state_.language = ui::UiLanguage();
  state_.colours = render::ReadColours();
  UpdateTitle();
  connect(&runner_, &ui::PassRunner::Finished, this, &AnalysisView::PassEnded);
  // The dialog lives as long as the view and goes with it.
  bookmark_dialog_ = new BookmarkDialog(this);
  connect(bookmark_dialog_, &BookmarkDialog::Notice, this, &CountingView::BookmarkNotice);
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
  // "Peak Counting Analysis -- Test Name:demo, Test Code:1, Node:2"
  static const char* const kChinese[3][3] = {{"峰值计数分析", "峰值计数结果", "峰值计数"},
                                             {"变程计数分析", "变程计数结果", "变程计数"},
                                             {"雨流法计数分析", "雨流法计数结果", "雨流法计数"}};
  static const char* const kEnglish[3][3] = {
      {"Peak Counting Analysis", "Peak Counting Result", "Peak Counting"},
      {"Varied-Distance Counting Analysis", "Varied-Distance Counting Result",
       "Varied-Distance Counting"},
      {"Rainflow Counting Analysis", "Rainflow Counting Result", "Rainflow Counting"}};
  const int kind = static_cast<int>(kind_);
  const int caption = static_cast<int>(caption_);
  QString title = Text(kChinese[kind][caption], kEnglish[kind][caption]);
  std::string test = context_.test_name, code = context_.test_code, node = context_.node_name;
  if (file_) {
    const core::ResultFileNode& stored = core::NodeOf(*file_);
    test = stored.test_name, code = stored.test_code, node = stored.node_name;
  }
  if (started_) {
    title += QStringLiteral(" -- %1:%2, %3:%4, %5:%6")
                 .arg(Message(core::kMsgTestNameLabel), QString::fromStdString(test),
                      Message(core::kMsgTestCodeLabel), QString::fromStdString(code),
                      Message(core::kMsgNodeLabel), QString::fromStdString(node));
  }
  if (file_ && core::PassCancelled(*file_)) title += Text(" (已取消)", " (cancelled)");
  setWindowTitle(title);
}

void CountingView::contextMenuEvent(QContextMenuEvent* event) {
  // Menu 6015 in English, 6014 in Chinese; its items post the view's own messages.
  QMenu menu(this);
  auto item = [&](const char* chinese, const char* english, std::optional<bool> checked,
                  auto send) {
    QAction* action = menu.addAction(Text(chinese, english), this, send);
    action->setCheckable(checked.has_value());
    action->setChecked(checked.value_or(false));
    return action;
  };
  item("坐标网线\t[H]", "[H] Grid", state_.grid_shown,
       [this] { ui::PostHostCommand(this, ui::command::kGrid, 0); });
  item("读数光标", "Cursor", state_.cursor_shown,
       [this] { ui::PostHostCommand(this, ui::command::kCursor, 0); });
  item("全程波形图", "Full Waveform", state_.inset_shown,
       [this] { ui::PostHostNotice(this, ui::notice::kInset, state_.inset_shown ? 0 : 1); });
  item("书签....\t[M]", "[M] Bookmark...", std::nullopt,
       [this] { ui::PostHostCommand(this, ui::command::kBookmarkDialog, 1); });
  menu.addSeparator();
  item("重新分析\t[O]", "[O] Setup", std::nullopt, [this] {
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
  const char* const panel_keys = kind_ == core::CountingKind::kPeak    ? "KTWY"
                                 : kind_ == core::CountingKind::kRange ? "KWY"
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
  if (event->button() != Qt::LeftButton || busy() || !file_) {
    PictureView::mousePressEvent(event);
    return;
  }
  setFocus();
  const QPoint point = event->position().toPoint();
  const QRect box = drawn().readout_box;
  if (state_.readout_box.shown && box.contains(point)) {
    const int side = drawn().close_box_size;
    if (point.x() > box.right() + 1 - side && point.y() <= box.top() + side) {
      state_.readout_box.shown = false;  // the close square; the position is kept
      dragging_ = false;
    } else {
      dragging_ = true;
      drag_offset_ = point - box.topLeft();
      return;
    }
  } else {
    for (const render::DrawnPlot& plot : drawn().plots) {
      if (plot.inset || !plot.wave_rect.contains(point)) continue;
      const int index = render::CellAtPoint(plot.wave_rect, partitions(), point);
      if (index >= 0) state_.cursor_partition = index;
      break;
    }
  }
  Redraw();
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
  state_.readout_box.x_per_mille = static_cast<int>(left * 1000 / width);
  state_.readout_box.y_per_mille = static_cast<int>(top * 1000 / height);
  Redraw();
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
    caption_ = Caption::kResult;
    FillBookmarkDialog();
    UpdateTitle();
    Redraw();
    PanelTakeOver();
    return;
  }
  auto info = core::LoadCurrentNode(context_);
  if (!info) return Fail(ui::ErrorMessage(info.error()));
  auto node = core::OpenCountingNode(context_.data_path, context_.test_name, context_.test_code,
                                     context_.node_name);
  if (!node) return Fail(ui::ErrorMessage(node.error()));
  node_ = std::move(*node);
  FillBookmarkDialog();
  core::ResetRangeOnNodeLoad(parameters_, node_.info);
  core::SettleRange(parameters_);
  UpdateTitle();
  RunSetup(true);
}

void CountingView::RunSetup(bool count_on_cancel) {
  if (result_mode() || node_.data_file.empty()) return;
  // A set value of exactly 0 takes the AD range value before the dialog shows; Cancel keeps it.
  // The full scale the counting itself takes for "AD Input Range".
  const auto full_scale = core::FullScaleOf(node_.info);
  const double ad_range = core::AdRangeValue(
      kind_, full_scale ? *full_scale : core::GetFullScale(node_.info), node_.info);
  core::TakeAdRangeAsDefault(parameters_, ad_range);
  auto* dialog =
      new SetupDialog(kind_, parameters_, ad_range, QString::fromStdString(node_.info.eu()), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::finished, this, [this, dialog, count_on_cancel](int answer) {
    if (answer == QDialog::Accepted) {
      auto settled = core::SettleCountingRequest(dialog->request(), node_.info);
      if (!settled) return ShowMessage(this, ui::ErrorMessage(settled.error()));
      parameters_ = *settled;
    } else if (!count_on_cancel) {
      return;
    }
    Recount();
  });
  SetupDialog::Show(dialog);
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
        state_.cursor_partition.reset();  // N / 2 of the new count
        ClearReadouts();
        UpdateTitle();
        Redraw();
        PanelTakeOver();
        if (cancelled()) {
          ui::ShowStatus(this, Text("计算被取消：显示的是部分计数，不能保存、报告或导出。",
                                    "The counting was cancelled: the counts shown are partial and "
                                    "can't be saved, reported or exported."));
          // Peak and range counting say so; a rainflow run cancelled in its turning-point pass
          // counted nothing and says nothing.
          if (kind_ != core::CountingKind::kRainflow) {
            ShowMessage(this, Message(core::kMsgCalculationCancelled), false);
          }
        }
      });
  PanelTakeOver();  // no life estimate while the pass runs
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
}

void CountingView::Report() {
  if (!file_) return;
  core::ReportView view;
  view.language = ui::UiLanguage();
  view.one_way = state_.one_way;
  view.separately = state_.separately;
  view.readouts = readouts_;
  core::ReportOptions options;
  options.picture = [this](const std::filesystem::path& bitmap) {
    return render::WriteBitmapFile(bitmap, ReportImage());
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

int32_t CountingView::partitions() const {
  if (!file_) return 0;
  const int32_t n = std::visit([](const auto& f) { return f.result.partitions; }, *file_);
  return core::PartitionsHeld(n);
}

int32_t CountingView::cursor() const {
  if (!file_) return 0;
  return std::clamp(state_.cursor_partition.value_or(StoredCursor(*file_)), 0,
                    std::max(0, partitions() - 1));
}

std::vector<double> CountingView::DisplayedValues() const {
  std::vector<double> values;
  if (!file_) return values;
  const size_t n = static_cast<size_t>(partitions());
  auto take = [&](const auto& counts) {
    for (size_t i = 0; i < n && i < counts.size(); ++i) values.push_back(counts[i]);
  };
  if (const auto* peak = std::get_if<core::PeakResultFile>(&*file_)) {
    take(state_.one_way ? peak->result.one_way_total_counts : peak->result.two_way_total_counts);
  } else if (const auto* range = std::get_if<core::RangeResultFile>(&*file_)) {
    take(state_.one_way ? range->result.one_way_counts : range->result.two_way_counts);
  } else {
    take(std::get<core::RainflowResultFile>(*file_).result.counts);
  }
  return values;
}

double CountingView::LargestCount() const {
  if (!file_) return 0.0;
  if (const auto* peak = std::get_if<core::PeakResultFile>(&*file_)) {
    return state_.separately ? peak->result.largest_separate_count
                             : peak->result.largest_total_count;
  }
  if (const auto* range = std::get_if<core::RangeResultFile>(&*file_)) {
    return range->result.largest_count;
  }
  return std::get<core::RainflowResultFile>(*file_).result.largest_count;
}

void CountingView::SetZoom(double zoom) {
  // A zero in the Y-scale dialog gives an infinite zoom, which is held at the top.
  if (std::isnan(zoom)) return;
  state_.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
}

void CountingView::Zoom(int operation) {
  switch (operation) {
    case 0:
      SetZoom(1.0);
      break;
    case 1:
      SetZoom(state_.zoom * 1.1);
      break;
    case 2:
      SetZoom(state_.zoom * 0.9090909090909091);
      break;
    case 3: {
      const double largest = LargestCount() * 1.2;
      auto* dialog = new YScaleDialog(std::trunc(largest / state_.zoom), this);
      dialog->setAttribute(Qt::WA_DeleteOnClose);
      connect(dialog, &QDialog::accepted, this, [this, dialog, largest] {
        SetZoom(dialog->value() == 0.0 ? kMaxZoom : largest / dialog->value());
        Redraw();
      });
      dialog->open();
      return;
    }
    default:
      return;
  }
  Redraw();
}

core::CountingReadouts CountingView::Readouts() const {
  core::CountingReadouts readouts;
  if (file_) readouts = core::CollectReadouts(*file_, {}, state_.one_way, state_.separately);
  readouts.list = readouts_;
  return readouts;
}

std::string CountingView::ReadoutText(int format) const {
  if (!file_) return {};
  const core::CountingReadouts readouts = Readouts();
  return core::ReadoutListText(readouts.list, readouts.axis, core::NamesOf(*file_),
                               readouts.columns, ui::UiLanguage(), format);
}

void CountingView::UpdateReadoutBox() {
  state_.readouts.assign(readouts_.indices.begin(), readouts_.indices.end());
  state_.readout_box.text = readouts_.empty() ? std::string() : ReadoutText(0);
  if (readouts_.empty()) state_.readout_box.shown = false;
}

void CountingView::ClearReadouts() {
  readouts_.Clear();
  dragging_ = false;
  UpdateReadoutBox();
}

void CountingView::ReadoutOperation(int operation) {
  if (!file_) return;
  switch (operation) {
    case 0: {  // collect: the counts as they are now; a listed partition stays as it was
      const auto i = static_cast<uint32_t>(cursor());
      const auto one = core::CollectReadouts(*file_, {i}, state_.one_way, state_.separately);
      if (one.list.empty()) return;
      readouts_.Collect(i, one.list.count_texts.front());
      break;
    }
    case 3:
      if (readouts_.empty()) return;
      state_.readout_box.shown = true;
      break;
    case 4:
      readouts_.Clear();
      state_.readout_box.shown = false;
      break;
    case 5:
      if (!readouts_.empty()) SaveReadoutsDialog();
      return;
    case 6:
      if (readouts_.empty()) return;
      QGuiApplication::clipboard()->setText(QString::fromStdString(ReadoutText(0)));
      return;
    default:  // 1 nothing, 2 auto: nothing yet
      return;
  }
  UpdateReadoutBox();
  Redraw();
}

void CountingView::SetSaveNameForTesting(std::optional<QString> name) {
  g_save_name_for_testing = std::move(name);
}

void CountingView::SaveReadoutsDialog() {
  const std::string default_name = core::ReadoutSaveName(core::NamesOf(*file_), kind_);
  const QString start = QString::fromStdString(
      (std::filesystem::path(context_.result_path) / (default_name + ".txt")).string());
  QString path;
  if (g_save_name_for_testing) {
    path = *g_save_name_for_testing;
  } else {
    path = QFileDialog::getSaveFileName(this, Text("保存读数列表", "Save Readout List"), start,
                                        QtFilter(Message(core::kMsgListFileFilter)));
  }
  if (!path.isEmpty()) SaveReadouts(path);
}

void CountingView::SaveReadouts(const QString& path) {
  if (!file_ || readouts_.empty()) return;
  if (EndsWith(path, ".xls") || EndsWith(path, ".xlsx")) {
    // The list converter writes workbooks, always as ".xlsx".
    QString target = path;
    if (EndsWith(target, ".xls")) target += QLatin1Char('x');
    if (auto written = core::WriteCountingListExport(*file_, Readouts(), target.toStdString(),
                                                     ui::UiLanguage());
        !written) {
      return ShowMessage(this, ui::ErrorMessage(written.error()));
    }
    if (target != path) {
      ui::ShowStatus(this, Text("读数列表保存为 ", "The readout list is saved as ") + target +
                               Text("（电子表格保存为 .xlsx）", " (workbooks are saved as .xlsx)"));
    }
    if (auto started = core::LaunchCompanion(core::kListProgram); !started) {
      ShowMessage(this, ui::ErrorMessage(started.error()));
    }
    return;
  }
  const std::string bytes = core::Utf8ToGbk(ReadoutText(0));
  if (auto saved = core::SaveFileAtomically(std::filesystem::path(path.toStdString()), bytes,
                                            core::kMsgFileWrite);
      !saved) {
    ShowMessage(this, ui::ErrorMessage(saved.error()));
  }
}

void CountingView::PanelTakeOver() { ui::PostHostNotice(parentWidget(), ui::notice::kPanelKey, 0); }

void CountingView::HandleCommand(quint32 code, qintptr value) {
  setFocus();
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
    case ui::command::kZoom:
      if (value < 0 || value > 3) return;
      Zoom(static_cast<int>(value));
      return;
    case ui::command::kMoveCursor: {
      if (value < 0 || value > 9 || !file_) return;  // step codes are 0..9
      const std::vector<double> values = DisplayedValues();
      state_.cursor_partition =
          core::MoveCursor(cursor(), values, partitions(), static_cast<int>(value));
      break;
    }
    case ui::command::kReadoutList:
      if (value < 0 || value > 6) return;
      ReadoutOperation(static_cast<int>(value));
      return;
    case ui::command::kBookmarkDialog:
      bookmark_dialog_->HandleShowCommand(static_cast<int>(value));
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
      SetZoom(std::pow(10.0, (static_cast<double>(value) - 200.0) * 0.01));
      break;
    case ui::notice::kSortOrder:
      if (value != core::kSortByX && value != core::kSortByY) return;
      readouts_.sort_by = static_cast<int32_t>(value);
      readouts_.Sort();
      UpdateReadoutBox();
      break;
    case ui::notice::kReload:
      if (result_mode() || busy()) return;
      if (ui::SelectNodeDialogRun(this, false, false)) {
        caption_ = Caption::kReloaded;
        Start();
      }
      return;
    case ui::notice::kSetup:
      if (result_mode() || busy()) return;
      if (auto tsp = core::NodeFilePath(context_.data_path, context_.test_name, context_.test_code,
                                        context_.node_name, ".tsp");
          !tsp || core::CheckNode(*tsp, node_.info) != 0) {
        ShowMessage(this, Text("测点的采样参数文件不存在或已改变。",
                               "The node's sampling parameter file is missing or has changed."));
        return;
      }
      RunSetup(false);
      return;
    case ui::notice::kInset:
      state_.inset_shown = value != 0;
      break;
    case ui::notice::kFittingEstimate:
      EstimateLife(core::FatigueMethod::kFitting);
      return;
    case ui::notice::kActualEstimate:
      EstimateLife(core::FatigueMethod::kActual);
      return;
    case ui::notice::kSeparately:
      // The list's columns follow the display: a change of it starts a new list.
      if (state_.separately != (value != 0)) ClearReadouts();
      state_.separately = value != 0;
      break;
    case ui::notice::kOneWay:
      if (state_.one_way != (value != 0)) ClearReadouts();
      state_.one_way = value != 0;
      break;
    default:
      return;
  }
  Redraw();
}

void CountingView::FillBookmarkDialog() {
  bookmark_dialog_->ResetBookmarks();
  bookmarks_.clear();
  if (result_mode()) {
    // A loaded result has no node files to browse: the flags stay hidden.
    bookmark_dialog_->RefreshBookmarks();
    bookmark_dialog_->SetBookmarkMode(BookmarkDialog::kHideOnlyMode);
    state_.bookmarks_shown = false;
    return;
  }
  std::vector<BookmarkNode> nodes;
  for (size_t i = 0; i < context_.node_list.size(); ++i) {
    const std::string& name = context_.node_list[i];
    auto tsp = core::NodeFilePath(context_.data_path, context_.test_name, context_.test_code, name,
                                  ".tsp");
    nodes.push_back({QString::fromStdString(name), tsp ? *tsp : std::filesystem::path(),
                     i < context_.labels.size() ? context_.labels[i] : std::vector<core::Label>{}});
  }
  // The flags are those of the node shown.
  for (const BookmarkNode& node : nodes) {
    if (node.name.toStdString() == context_.node_name) bookmarks_ = node.labels;
  }
  bookmark_dialog_->SetNodes(std::move(nodes));
  bookmark_dialog_->RefreshBookmarks();
  bookmark_dialog_->SetBookmarkMode(BookmarkDialog::kNoAddMode);
  state_.bookmarks_shown = bookmark_dialog_->flags_shown();
}

void CountingView::BookmarkNotice(int code) {
  if (code == bookmark_notice::kHide || code == bookmark_notice::kShow) {
    state_.bookmarks_shown = code == bookmark_notice::kShow;
  }
  // Renames and deletes are in the node's file already; the flags follow the dialog's lists.
  bookmarks_.clear();
  for (const BookmarkNode& node : bookmark_dialog_->nodes()) {
    if (node.name.toStdString() == context_.node_name) bookmarks_ = node.labels;
  }
  Redraw();
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

bool CountingView::HasCycles() const {
  if (!file_ || cancelled()) return false;
  const auto* rainflow = std::get_if<core::RainflowResultFile>(&*file_);
  if (rainflow == nullptr) return false;
  const auto& r = rainflow->result;
  const auto n = static_cast<size_t>(core::PartitionsHeld(r.partitions));
  for (size_t j = 0; j < n && j < r.counts.size(); ++j) {
    if (r.counts[j] > 0.0) return true;
  }
  return false;
}

void CountingView::EstimateLife(core::FatigueMethod method) {
  if (kind_ != core::CountingKind::kRainflow || busy() || !HasCycles()) return;
  setFocus();
  auto* dialog = new LifeParameterDialog(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog, method] {
    if (!HasCycles()) return;
    const auto& file = std::get<core::RainflowResultFile>(*file_);
    const core::ResultFileNode& node = file;
    const core::FatigueListNames names{node.test_name, node.test_code, node.node_name};
    auto estimate = core::RunFatigueEstimate(method, file.result, dialog->class_index(),
                                             dialog->reliability_index(), names, ui::UiLanguage());
    if (!estimate) return ShowMessage(this, ui::ErrorMessage(estimate.error()));
    ui::FatigueTable table;
    table.result = std::move(*estimate);
    table.names = names;
    table.unit = node.sampling.eu();
    const double frequency = node.sampling.frequency_hz();
    table.record_seconds =
        static_cast<double>(core::BlockCount(file.result.first_block, file.result.last_block)) *
        1024.0 / frequency;
    ui::SetLastFatigueTable(table);
    ui::SendHostCommand(ui::HostWindow(), ui::command::kFileStored, 0);
  });
  dialog->open();
}

}  // namespace torvwy::module
