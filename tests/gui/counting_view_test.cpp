// The counting windows: a pass through the window, its result file and hand-over files, result
// mode, and closing while a pass runs.
#include "module/counting_view.h"

#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest/QTest>
#include <filesystem>

#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/module_state.h"
#include "module/setup_dialog.h"
#include "ui/host_message.h"
#include "ui/progress_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::CountingView;
using CountingWindow = DesktopTest;

/// Two blocks of the zigzag 0 10 0 -5.5 0 4.2 0 -2.5: peaks 10 and 4.2, valleys -5.5 and -2.5,
/// 256 of each, strictly monotonic between them.
std::vector<double> Zigzag() {
  const double period[] = {0, 10, 0, -5.5, 0, 4.2, 0, -2.5};
  std::vector<double> x(2048);
  for (size_t i = 0; i < x.size(); ++i) x[i] = period[i % 8];
  return x;
}

TEST_F(CountingWindow, PeakCountsOfAKnownNodeAndItsFiles) {
  WriteTest(Zigzag());
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value(); }));
  const auto& shown = std::get<core::PeakResultFile>(*view->result()).result;

  // The window's defaults: the whole node, automatic amplitude A = 10 (the largest sample),
  // N = 25. Two-way partition k holds (k*0.8 - 10, (k+1)*0.8 - 10], one-way partition k holds
  // |v| in (k*0.4, (k+1)*0.4]:
  //   peak 10 -> 24 / 24, peak 4.2 -> 17 / 10, valley -5.5 -> 5 / 13, valley -2.5 -> 9 / 6.
  // The record's last sample (-2.5) has no right neighbour and is not tested: 255 of them.
  EXPECT_EQ(shown.partitions, 25);
  EXPECT_EQ(shown.amplitude_range, 10.0);
  std::vector<int32_t> two_peaks(core::kMaxPartitions), two_valleys(core::kMaxPartitions),
      one_way(core::kMaxPartitions);
  two_peaks[24] = 256, two_peaks[17] = 256;
  two_valleys[5] = 256, two_valleys[9] = 255;
  one_way[24] = 256, one_way[10] = 256, one_way[13] = 256, one_way[6] = 255;
  EXPECT_EQ(shown.two_way_peak_counts, two_peaks);
  EXPECT_EQ(shown.two_way_valley_counts, two_valleys);
  EXPECT_EQ(shown.one_way_total_counts, one_way);
  EXPECT_EQ(shown.largest_total_count, 256);
  EXPECT_FALSE(view->cancelled());
  EXPECT_FALSE(view->picture().isNull());
  EXPECT_FALSE(view->drawn().empty);
  EXPECT_EQ(view->windowTitle().toStdString(),
            "Peak Counting Analysis -- Test Name:abc, Test Code:1, Node:2");
  EXPECT_EQ(frame->windowTitle(), view->windowTitle());

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

TEST_F(CountingWindow, ResultModeShowsTheFileAndNeverSaves) {
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
  EXPECT_EQ(view->windowTitle().toStdString(),
            "Varied-Distance Counting Result -- Test Name:abc, Test Code:1, Node:2");
  // The panel follows the loaded result: no Setup or Select Node; "O" and "N" do nothing.
  auto* setup = opened->control_panel()->findChild<QPushButton*>(QStringLiteral("setup"));
  ASSERT_NE(setup, nullptr);
  EXPECT_SOON_TRUE(setup->isHidden());
  QTest::keyClick(view, Qt::Key_O);
  ASSERT_TRUE(PassMarker(opened, view));
  EXPECT_FALSE(view->busy());
  EXPECT_EQ(view->findChild<module::SetupDialog*>(), nullptr);
  fs::remove(file);
  ui::SendHostCommand(opened, ui::command::kSaveResult);  // nothing in result mode
  EXPECT_FALSE(fs::exists(file));
  // A file that is no result file opens no window and says so.
  messages_.clear();
  EXPECT_EQ(host_.OpenResultFile(QStringLiteral("/nonexistent/x.txt")), nullptr);
  EXPECT_EQ(messages_.size(), 1);
}

TEST_F(CountingWindow, ClosingDuringAPassCancelsItFirst) {
  // The envelope pass can't be cancelled: the close is asked for once the counting pass has
  // begun. Over 2^20 half blocks of 16-bit samples (a 1 GB file that is mostly a hole) the
  // counting pass reads the whole record after the envelope pass has read it once: a close that
  // waited for the pass would let it end whole; one that cancels it ends it after the current
  // block, as a cancelled pass.
  WriteLongTest(1 << 20);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRainflowTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->busy(); }));
  const QString envelope = QString::fromStdString(
      std::string(core::LoadMessageTable(core::Language::kEnglish)[core::kMsgEnvelopeCaption]));
  // What the pass reported, and how it ended: a cancelled pass keeps its partial counts.
  bool counting_seen = false, ended = false, ended_cancelled = false;
  QObject::connect(&view->session(), &module::CountingSession::PassProgressed,
                   [&](qint64, qint64, qint64, const QString& status) {
                     if (status != envelope) counting_seen = true;
                   });
  QObject::connect(&view->session(), &module::CountingSession::ResultChanged, [&] {
    ended = true;
    ended_cancelled = view->cancelled();
  });
  // Commands during the pass are ignored, never run inside it.
  const bool grid = view->view_state().grid_shown;
  ui::SendHostCommand(frame, ui::command::kGrid, 0);
  EXPECT_EQ(view->view_state().grid_shown, grid);
  EXPECT_FALSE(frame->isEnabled());  // the progress dialog disables the analysis window
  EXPECT_TRUE(host_.isEnabled());    // and only that one
  const QPointer<ui::ProgressDialog> dialog = frame->findChild<ui::ProgressDialog*>();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(WaitFor([&] { return dialog && dialog->StatusText() == envelope; }, 300000));
  ASSERT_TRUE(WaitFor([&] { return !dialog || dialog->StatusText() != envelope; }, 300000));
  ASSERT_TRUE(view->busy());
  host_.mdi()->closeAllSubWindows();
  ASSERT_TRUE(WaitFor([&] { return host_.frames().empty(); }, 300000))
      << "the close waits for the pass";
  EXPECT_TRUE(counting_seen);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(ended_cancelled) << "the close let the pass count to the record's end";
}

TEST_F(CountingWindow, ACancelledPassIsShownButNeverSavedReportedOrExported) {
  WriteLongTest(1 << 19);
  auto* frame = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kPeakTemplate));
  auto* view = qobject_cast<CountingView*>(frame->view());
  ASSERT_TRUE(WaitFor([&] { return view->busy(); }));
  const QPointer<ui::ProgressDialog> dialog = frame->findChild<ui::ProgressDialog*>();
  ASSERT_NE(dialog, nullptr);
  // Cancel once the blocks are counted: the envelope pass reports first.
  const QString envelope = QString::fromStdString(
      std::string(core::LoadMessageTable(core::Language::kEnglish)[core::kMsgEnvelopeCaption]));
  bool envelope_seen = false, counting_seen = false;
  QObject::connect(&view->session(), &module::CountingSession::PassProgressed,
                   [&](qint64, qint64, qint64, const QString& status) {
                     if (status == envelope) envelope_seen = true;
                     if (envelope_seen && status != envelope) counting_seen = true;
                   });
  ASSERT_TRUE(WaitFor([&] { return !dialog || counting_seen; }, 300000));
  ASSERT_TRUE(dialog);
  auto* cancel = dialog->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  QTest::mouseClick(cancel, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !view->busy(); }, 300000));

  // The partial counts are shown, marked in the caption and the status bar.
  ASSERT_TRUE(view->result().has_value());
  EXPECT_TRUE(view->cancelled());
  EXPECT_TRUE(std::get<core::PeakResultFile>(*view->result()).result.cancelled);
  EXPECT_TRUE(view->windowTitle().endsWith(QStringLiteral("(cancelled)")))
      << view->windowTitle().toStdString();
  EXPECT_TRUE(frame->windowTitle().endsWith(QStringLiteral("(cancelled)")));
  EXPECT_TRUE(host_.statusBar()->currentMessage().contains(QStringLiteral("cancelled")))
      << host_.statusBar()->currentMessage().toStdString();
  EXPECT_FALSE(view->picture().isNull());
  // And peak counting says so in a message box, once.
  ASSERT_EQ(messages_.size(), 1) << messages_.join("|").toStdString();
  EXPECT_EQ(messages_[0].toStdString(),
            core::LoadMessageTable(core::Language::kEnglish)[core::kMsgCalculationCancelled]);

  // Save, report and export each say why and write nothing.
  const fs::path work = core::GetWorkFolder();
  fs::remove(work / "TorvRpt.txt");
  fs::remove(work / "TorvEpt.Dat");
  messages_.clear();
  ui::SendHostCommand(frame, ui::command::kSaveResult);
  ui::SendHostCommand(frame, ui::command::kReport);
  ui::SendHostCommand(frame, ui::command::kExport);
  EXPECT_FALSE(fs::exists(data_.path() / "abc1#2.PCM"));
  EXPECT_FALSE(fs::exists(work / "TorvRpt.txt"));
  EXPECT_FALSE(fs::exists(work / "TorvBmp.bmp"));
  EXPECT_FALSE(fs::exists(work / "TorvEpt.Dat"));
  ASSERT_EQ(messages_.size(), 3) << messages_.join("|").toStdString();
  for (const QString& message : messages_) {
    EXPECT_TRUE(message.contains(QStringLiteral("cancelled"))) << message.toStdString();
  }
}

}  // namespace
}  // namespace torvwy::testing
