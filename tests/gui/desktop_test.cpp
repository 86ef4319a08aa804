// The desktop application headless: module loading, message routing, the close handshake,
// counting through a window, cancel, progress and help.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QUrl>
#include <cmath>
#include <fstream>

#include "core/counting/progress.h"
#include "core/data/parameter_file.h"
#include "core/peak/peak_counting.h"
#include "core/services/folders.h"
#include "host/host_window.h"
#include "module/analysis_frame.h"
#include "module/counting_view.h"
#include "module/module_state.h"
#include "module/statistics_view.h"
#include "support/test_node.h"
#include "ui/host_message.h"
#include "ui/message_box.h"
#include "ui/panel_icons.h"
#include "ui/progress_dialog.h"
#include "ui/select_node_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::CountingView;

/// Runs the event loop until `done` holds or `ms` have passed.
template <typename Predicate>
bool WaitFor(Predicate done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

/// Delivers what is posted, and what that posts on (the frame posts 2125 on to its view).
void Drain() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

/// Collects the 2025 messages a widget receives.
class CommandSpy : public QObject {
 public:
  explicit CommandSpy(QObject* target) { target->installEventFilter(this); }
  std::vector<quint32> codes;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == ui::kHostCommandEvent) {
      codes.push_back(static_cast<ui::HostMessage*>(event)->code());
    }
    return false;
  }
};

/// Messages shown.
class MessageSink : public QObject {
  Q_OBJECT

 public:
  QStringList texts;
 public slots:
  void Message(const QString& text) { texts.append(text); }
};

/// Opened help pages.
class UrlSink : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;
 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetMessageReceiverForTesting(&sink_);
    QString error;
    ASSERT_TRUE(host_.LoadModule(QStringLiteral(TORVWY_MODULE_PATH), &error))
        << error.toStdString();
    host_.show();
  }
  void TearDown() override { ui::SetMessageReceiverForTesting(nullptr); }

  /// A node of `samples` samples of a sine with some noise-free harmonics, and the parameter file
  /// naming it.
  void WriteTest(size_t samples) {
    std::vector<double> x(samples);
    for (size_t i = 0; i < x.size(); ++i) {
      const double t = static_cast<double>(i);
      x[i] = 50.0 * std::sin(t / 40.0) + 20.0 * std::sin(t / 7.3) + 5.0 * std::sin(t / 2.1);
    }
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "1";
    layout.node_name = "2";
    node_ = WriteNode(data_.path(), x, layout);
    core::TestContext context;
    context.test_name = "abc";
    context.test_code = "1";
    context.data_path = data_.path().string();
    context.result_path = data_.path().string();
    context.node_list = {"2"};
    context.node_name = "2";
    ASSERT_TRUE(core::WriteAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName,
                                                 context));
  }

  host::HostWindow host_;
  TempDir data_;
  WrittenNode node_;
  MessageSink sink_;
  QStringList& messages_ = sink_.texts;
};

TEST_F(Desktop, ModuleGivesFourTemplatesWhoseFramesHoldTheirViews) {
  WriteTest(8192);
  const int ids[] = {module::kPeakTemplate, module::kRangeTemplate, module::kRainflowTemplate};
  for (int id : ids) {
    auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(id));
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(frame->panel(), nullptr);  // the counting frames dock their panel on the left
    EXPECT_EQ(frame->dockWidgetArea(frame->panel()), Qt::LeftDockWidgetArea);
    EXPECT_NE(qobject_cast<CountingView*>(frame->view()), nullptr);
  }
  auto* stats = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kStatisticsTemplate));
  ASSERT_NE(stats, nullptr);
  EXPECT_EQ(stats->panel(), nullptr);
  EXPECT_EQ(host_.frames().size(), 4u);
  // Every counting window counts the node; the statistics window finds no batch (the profile's
  // default folder) and closes with "No Valid Data File".
  EXPECT_TRUE(WaitFor([&] { return host_.frames().size() == 3u; }));
  EXPECT_TRUE(messages_.contains(QStringLiteral("No Valid Data File")))
      << messages_.join("|").toStdString();
  for (QWidget* w : host_.frames()) {
    auto* view = qobject_cast<CountingView*>(qobject_cast<AnalysisFrame*>(w)->view());
    EXPECT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  }
}

TEST_F(Desktop, MessagesAreRoutedAsTheTablesSay) {
  WriteTest(8192);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  // A view code reaches the view: the grid toggles, then 2 hides and 1 shows it.
  const bool grid = view->view_state().grid_shown;
  ui::SendHostCommand(frame, ui::command::kGrid, 0);
  EXPECT_EQ(view->view_state().grid_shown, !grid);
  ui::SendHostCommand(frame, ui::command::kGrid, 2);
  EXPECT_FALSE(view->view_state().grid_shown);
  ui::SendHostCommand(frame, ui::command::kGrid, 1);
  EXPECT_TRUE(view->view_state().grid_shown);
  // 2125 notices are posted: they act once the queue runs.
  ui::PostHostNotice(frame, ui::notice::kZoomSlider, 300);
  EXPECT_DOUBLE_EQ(view->view_state().zoom, 1.0);
  Drain();
  EXPECT_NEAR(view->view_state().zoom, 10.0, 1e-12);
  // Bounded arguments out of range are ignored.
  ui::PostHostNotice(frame, ui::notice::kZoomSlider, 401);
  ui::PostHostNotice(frame, ui::notice::kCurveType, 8);
  ui::PostHostNotice(frame, ui::notice::kCurveType, 6);
  Drain();
  EXPECT_NEAR(view->view_state().zoom, 10.0, 1e-12);
  EXPECT_EQ(view->view_state().curve_type, 1);
  EXPECT_EQ(view->view_state().symbol_type, 0);
  // A frame code stays at the frame: the closing permission; unknown codes change nothing.
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 0);
  ui::SendHostCommand(frame, 1999, 0);
  ui::PostHostNotice(frame, 9999, 0);
  Drain();
  EXPECT_FALSE(frame->closing_permitted());
  // Panel width: a negative or huge width is ignored, a sane one is taken.
  ui::PostHostNotice(frame, ui::notice::kPanelWidth, -5);
  ui::PostHostNotice(frame, ui::notice::kPanelWidth, 1 << 30);
  Drain();
  ui::PostHostNotice(frame, ui::notice::kPanelWidth, 0);
  Drain();
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 1);
  Drain();
  EXPECT_TRUE(frame->closing_permitted());
  // F12 in the view reaches the frame as 2125/2007, which collapses the panel and expands it.
  ASSERT_TRUE(frame->panel()->widget()->isVisible());
  QKeyEvent f12(QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier);
  QApplication::sendEvent(view, &f12);
  Drain();
  EXPECT_FALSE(frame->panel()->widget()->isVisible());
  ui::PostHostNotice(frame, ui::notice::kPanelCollapse, 0);
  Drain();
  EXPECT_TRUE(frame->panel()->widget()->isVisible());
}

TEST_F(Desktop, ClosingWaitsForThePermissionAndTellsTheHost) {
  WriteTest(8192);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRangeTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  CommandSpy spy(view);
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 0);
  Drain();
  host_.mdi()->closeAllSubWindows();
  // Not permitted: the view hears 1008 again every 200 ms and the window stays.
  EXPECT_TRUE(WaitFor([&] {
    return std::count(spy.codes.begin(), spy.codes.end(), ui::command::kCloseRequest) >= 2;
  }));
  EXPECT_EQ(host_.frames().size(), 1u);
  const auto address = reinterpret_cast<quintptr>(frame);
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 1);
  EXPECT_TRUE(WaitFor([&] { return host_.frames().empty(); }, 2000));
  ASSERT_FALSE(host_.gone().empty());
  EXPECT_EQ(host_.gone().back(), address);
}

TEST_F(Desktop, CountsThroughTheWindowEqualTheCore) {
  WriteTest(64 * 1024);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  const auto& shown = std::get<core::PeakResultFile>(*view->result()).result;

  core::CountingParameters parameters;
  core::ResetRangeOnNodeLoad(parameters, node_.info);
  core::SettleRange(parameters);
  core::SilentProgress progress;
  auto counted = core::RunPeakCounting(node_.info, node_.sts, parameters, progress);
  ASSERT_TRUE(counted);
  EXPECT_EQ(shown.two_way_peak_counts, counted->two_way_peak_counts);
  EXPECT_EQ(shown.two_way_valley_counts, counted->two_way_valley_counts);
  EXPECT_EQ(shown.one_way_total_counts, counted->one_way_total_counts);
  EXPECT_GT(counted->largest_total_count, 0);
  EXPECT_FALSE(view->cancelled());
  EXPECT_FALSE(view->picture().isNull());
  EXPECT_FALSE(view->drawn().empty);
  EXPECT_TRUE(view->windowTitle().contains(QStringLiteral("abc1#2")))
      << view->windowTitle().toStdString();

  // Saving writes abc1#2.PCM beside the data.
  ui::SendHostCommand(frame, ui::command::kSaveResult);
  EXPECT_TRUE(fs::exists(data_.path() / "abc1#2.PCM"));

  // Report and export write their hand-over files; the companions are not installed beside
  // the test, and each missing one is said once.
  const fs::path work = core::GetWorkFolder();
  fs::remove(work / "TorvRpt.txt");
  fs::remove(work / "TorvEpt.Dat");
  messages_.clear();
  ui::SendHostCommand(frame, ui::command::kReport);
  ui::SendHostCommand(frame, ui::command::kExport);
  EXPECT_TRUE(fs::exists(work / "TorvRpt.txt"));
  EXPECT_TRUE(fs::exists(work / "TorvBmp.bmp"));
  EXPECT_TRUE(fs::exists(work / "TorvEpt.Dat"));
  ASSERT_EQ(messages_.size(), 2);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("TorvRpt"))) << messages_[0].toStdString();
  EXPECT_TRUE(messages_[1].contains(QStringLiteral("TorvEpt"))) << messages_[1].toStdString();
}

TEST_F(Desktop, ResultModeShowsTheFileAndNeverSaves) {
  WriteTest(16 * 1024);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRangeTemplate));
  auto* counted = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return counted->result().has_value(); }));
  ui::SendHostCommand(frame, ui::command::kSaveResult);
  const fs::path file = data_.path() / "abc1#2.DCM";
  ASSERT_TRUE(fs::exists(file)) << messages_.join("|").toStdString();
  const auto& original = std::get<core::RangeResultFile>(*counted->result()).result;

  auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(file)));
  ASSERT_NE(opened, nullptr);
  auto* view = qobject_cast<CountingView*>(opened->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  EXPECT_TRUE(view->result_mode());
  const auto& shown = std::get<core::RangeResultFile>(*view->result()).result;
  EXPECT_EQ(shown.two_way_counts, original.two_way_counts);
  fs::remove(file);
  ui::SendHostCommand(opened, ui::command::kSaveResult);  // nothing in result mode
  EXPECT_FALSE(fs::exists(file));
  // A file that is no result file opens no window and says so.
  messages_.clear();
  EXPECT_EQ(host_.OpenResultFile(QStringLiteral("/nonexistent/x.txt")), nullptr);
  EXPECT_EQ(messages_.size(), 1);
}

TEST_F(Desktop, StatisticsWindowRunsTheChosenTest) {
  WriteTest(8192);
  ui::NodeChoice choice;
  choice.test_name = "abc";
  choice.test_code = "1";
  choice.data_path = data_.path().string();
  choice.result_path = data_.path().string();
  choice.names = {"2", "7"};  // node 7 does not exist: no row for it
  ASSERT_TRUE(ui::WriteChoice(choice));
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kStatisticsTemplate));
  auto* view = qobject_cast<module::StatisticsView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->batch().has_value(); }));
  EXPECT_EQ(view->list()->rowCount(), 1);
  EXPECT_EQ(view->list()->columnCount(), 14);
  EXPECT_EQ(view->list()->item(0, 2)->text(), QStringLiteral("2"));
  ui::SendHostCommand(frame, ui::command::kSaveResult);
  const fs::path list = data_.path() / "abc1#2_7.aps";
  ASSERT_TRUE(fs::exists(list)) << messages_.join("|").toStdString();

  // The saved list opens again in result mode and is never saved again.
  auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(list)));
  ASSERT_NE(opened, nullptr);
  auto* shown = qobject_cast<module::StatisticsView*>(opened->view());
  ASSERT_TRUE(WaitFor([&] { return shown->batch().has_value(); }));
  EXPECT_TRUE(shown->result_mode());
  ASSERT_EQ(shown->list()->rowCount(), 1);
  EXPECT_EQ(shown->list()->item(0, 3)->text(), view->list()->item(0, 3)->text());
  fs::remove(list);
  ui::SendHostCommand(opened, ui::command::kSaveResult);
  EXPECT_FALSE(fs::exists(list));
}

TEST_F(Desktop, ClosingDuringAPassCancelsItFirst) {
  WriteTest(4 * 1024 * 1024);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRainflowTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->busy(); }));
  // Commands during the pass are ignored, never run inside it.
  const bool grid = view->view_state().grid_shown;
  ui::SendHostCommand(frame, ui::command::kGrid, 0);
  EXPECT_EQ(view->view_state().grid_shown, grid);
  EXPECT_FALSE(frame->isEnabled());  // the progress dialog disables the analysis window
  EXPECT_TRUE(host_.isEnabled());    // and only that one
  host_.mdi()->closeAllSubWindows();
  EXPECT_TRUE(WaitFor([&] { return host_.frames().empty(); }));
}

TEST(PanelIcons, EveryButtonHasItsOwnIconAndOthersNone) {
  std::vector<QImage> seen;
  auto distinct = [&seen](const QIcon& icon) {
    if (icon.isNull()) return false;
    const QImage image = icon.pixmap(24, 24).toImage();
    for (const QImage& other : seen) {
      if (other == image) return false;
    }
    seen.push_back(image);
    return true;
  };
  for (int code = 0; code <= 9; ++code)
    EXPECT_TRUE(distinct(ui::GetCursorButtonIcon(code))) << code;
  for (int index : {0, 2, 3, 4, 5, 6}) {
    EXPECT_TRUE(distinct(ui::GetReadoutButtonIcon(index))) << index;
  }
  EXPECT_TRUE(ui::GetCursorButtonIcon(10).isNull());
  EXPECT_TRUE(ui::GetCursorButtonIcon(-1).isNull());
  EXPECT_TRUE(ui::GetReadoutButtonIcon(1).isNull());
  EXPECT_TRUE(ui::GetReadoutButtonIcon(7).isNull());
}

TEST(ProgressDialog, PercentageFollowsTheBarAndCancelIsPerPoll) {
  QWidget owner;
  owner.show();
  {
    ui::ProgressDialog dialog(&owner);
    EXPECT_FALSE(owner.isEnabled());
    dialog.SetRange(0, 3);
    const char* expected[] = {"33%", "66%", "100%", "33%"};
    for (int step = 1; step <= 4; ++step) {
      dialog.SetPos(step);
      EXPECT_EQ(dialog.PercentText().toStdString(), expected[step - 1]);
    }
    dialog.SetRange(5, 5);  // an empty range shows 0 %
    dialog.SetPos(5);
    EXPECT_EQ(dialog.PercentText().toStdString(), "0%");
    dialog.RequestCancel();
    dialog.RequestCancel();
    EXPECT_TRUE(dialog.TakeCancel());
    EXPECT_FALSE(dialog.TakeCancel());
  }
  EXPECT_TRUE(owner.isEnabled());
  // A disabled owner stays disabled: the dialog only re-enables what it disabled.
  owner.setEnabled(false);
  { ui::ProgressDialog dialog(&owner); }
  EXPECT_FALSE(owner.isEnabled());
}

TEST_F(Desktop, HelpOpensItsPageOrSaysOnceThatPagesAreMissing) {
  UrlSink sink;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "Open");
  TempDir pages;
  std::ofstream(pages.path() / "WyStat_en.html") << "<html></html>";
  ::setenv("TORVWY_HELP_DIR", pages.path().c_str(), 1);
  module::ResetHelpForTesting();
  EXPECT_TRUE(module::OpenHelpTopic(nullptr, QStringLiteral("WyStat.html")));
  ASSERT_EQ(sink.opened.size(), 1);
  EXPECT_TRUE(sink.opened[0].toLocalFile().endsWith(QStringLiteral("WyStat_en.html")));

  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  // Never tried again in this process, even once the page is there.
  std::ofstream(pages.path() / "WyCont_en.html") << "<html></html>";
  EXPECT_FALSE(module::OpenHelpTopic(nullptr, QStringLiteral("WyCont.html")));
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_EQ(sink.opened.size(), 1);
  module::ResetHelpForTesting();
  ::unsetenv("TORVWY_HELP_DIR");
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

}  // namespace
}  // namespace torvwy::testing

#include "desktop_test.moc"
