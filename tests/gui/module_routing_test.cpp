// The module in the host: its templates and frames, the routing of host messages between frame
// and view, and the close handshake.
#include <QAbstractButton>
#include <QComboBox>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/module_state.h"
#include "module/statistics_dialog.h"
#include "module/statistics_view.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
using module::AnalysisFrame;
using module::CountingView;
using ModuleRouting = DesktopTest;

TEST_F(ModuleRouting, ModuleGivesFourTemplatesWhoseFramesHoldTheirViews) {
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
  // Every counting window counts the node; the statistics window asks for its batch, finds no
  // waveform of test "zzz" and closes with "No Valid Data File".
  auto* stats_view = qobject_cast<module::StatisticsView*>(stats->view());
  ASSERT_NE(stats_view, nullptr);
  ASSERT_TRUE(WaitFor([&] { return stats_view->dialog() != nullptr; }));
  stats_view->dialog()->test_name()->setEditText(QStringLiteral("zzz"));
  stats_view->dialog()->data_path()->setEditText(QString::fromStdString(data_.path().string()));
  QTest::mouseClick(stats_view->dialog()->findChild<QPushButton*>(QStringLiteral("ok")),
                    Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return host_.frames().size() == 3u; }));
  EXPECT_TRUE(messages_.contains(QStringLiteral("No Valid Data File")))
      << messages_.join("|").toStdString();
  for (QWidget* w : host_.frames()) {
    auto* view = qobject_cast<CountingView*>(qobject_cast<AnalysisFrame*>(w)->view());
    EXPECT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  }
}

TEST_F(ModuleRouting, TheLoadedModuleSpeaksTheLanguageTheHostSet) {
  // The host sets the language once; the module it loaded from its file reads the same one
  // (one copy of the shared libraries per process), not its own from the profile (English here).
  auto has_chinese = [](const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
  };
  for (const core::Language language : {core::Language::kChinese, core::Language::kEnglish}) {
    ui::SetUiLanguage(language);
    WriteTest(8192);
    auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
    ASSERT_NE(frame, nullptr);
    bool chinese = false;
    for (const QAbstractButton* button : frame->panel()->findChildren<QAbstractButton*>()) {
      chinese = chinese || has_chinese(button->text());
    }
    for (const QLabel* label : frame->panel()->findChildren<QLabel*>()) {
      chinese = chinese || has_chinese(label->text());
    }
    EXPECT_EQ(chinese, language == core::Language::kChinese) << static_cast<int>(language);
    EXPECT_EQ(ui::HostWindow(), &host_);
  }
}

TEST_F(ModuleRouting, MessagesAreRoutedAsTheTablesSay) {
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
  EXPECT_SOON_TRUE(std::abs(view->view_state().zoom - 10.0) < 1e-12);
  // Bounded arguments out of range are ignored.
  ui::PostHostNotice(frame, ui::notice::kZoomSlider, 401);
  ui::PostHostNotice(frame, ui::notice::kCurveType, 8);
  ui::PostHostNotice(frame, ui::notice::kCurveType, 6);
  EXPECT_SOON_EQ(view->view_state().curve_type, 1);  // the last one: the others came before
  EXPECT_NEAR(view->view_state().zoom, 10.0, 1e-12);
  EXPECT_EQ(view->view_state().symbol_type, 0);
  // A frame code stays at the frame: the closing permission; unknown codes change nothing.
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 0);
  ui::SendHostCommand(frame, 1999, 0);
  ui::PostHostNotice(frame, 9999, 0);
  ASSERT_TRUE(PassMarker(frame, view));
  EXPECT_FALSE(frame->closing_permitted());
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 1);
  EXPECT_SOON_TRUE(frame->closing_permitted());
  // F12 in the view reaches the frame as 2125/2007, which collapses the panel and expands it.
  ASSERT_FALSE(frame->control_panel()->collapsed());
  QKeyEvent f12(QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier);
  QApplication::sendEvent(view, &f12);
  EXPECT_SOON_TRUE(frame->control_panel()->collapsed());
  ui::PostHostNotice(frame, ui::notice::kPanelCollapse, 0);
  EXPECT_SOON_TRUE(!frame->control_panel()->collapsed());
}

TEST_F(ModuleRouting, PanelWidthNoticesSlideThePanelAndGiveTheViewTheFocus) {
  WriteTest(8192);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  host_.resize(1200, 900);
  host_.mdi()->activeSubWindow()->showMaximized();
  ASSERT_TRUE(PassMarker(frame, view));
  QDockWidget* panel = frame->panel();
  const int narrowest = panel->minimumSizeHint().width();
  struct Step {
    qintptr width;
    int expected;  // the panel's width afterwards; 0: unchanged
  };
  const Step steps[] = {
      {300, 300},    // opens wider
      {-5, 0},       // a negative width is ignored
      {1 << 30, 0},  // so is one beyond the largest
      {AnalysisFrame::kMaxPanelWidth + 1, 0},
      {170, 170},      // closes narrower
      {0, narrowest},  // 0 closes it as far as the panel lets it
      {250, 250},
  };
  for (const Step& step : steps) {
    const int before = panel->width();
    panel->setFocus();
    ASSERT_FALSE(view->hasFocus());
    ui::PostHostNotice(frame, ui::notice::kPanelWidth, step.width);
    // Any width notice hands the focus back; an ignored one changes nothing else.
    EXPECT_SOON_TRUE(view->hasFocus()) << step.width;
    if (step.expected == 0) {
      ASSERT_TRUE(PassMarker(frame, view));
      EXPECT_EQ(panel->width(), before) << step.width;
    } else {
      EXPECT_SOON_EQ(panel->width(), step.expected) << step.width;
    }
  }
}

TEST_F(ModuleRouting, ClosingWaitsForThePermissionAndTellsTheHost) {
  WriteTest(8192);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRangeTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  CommandSpy spy(view);
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 0);
  ASSERT_SOON_TRUE(!frame->closing_permitted());
  host_.mdi()->closeAllSubWindows();
  // Not permitted: the view hears 1008 again every 200 ms and the window stays.
  EXPECT_TRUE(WaitFor([&] {
    return std::count(spy.codes.begin(), spy.codes.end(), ui::command::kCloseRequest) >= 2;
  }));
  EXPECT_EQ(host_.frames().size(), 1u);
  const auto address = reinterpret_cast<quintptr>(frame);
  ui::PostHostNotice(frame, ui::notice::kClosePermission, 1);
  // The sub-window leaves the list as it closes; the frame is deleted, and says so, a moment
  // later.
  EXPECT_TRUE(WaitFor([&] { return host_.frames().empty() && !host_.gone().empty(); }));
  ASSERT_FALSE(host_.gone().empty());
  EXPECT_EQ(host_.gone().back(), address);
}

}  // namespace
}  // namespace torvwy::testing
