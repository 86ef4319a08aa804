// Following a node while it is recorded: the window's counts grow with the record and end on the
// offline counts, the cursor, list and zoom stay, and unticking, closing and bad ends stop it.
#include <sys/stat.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest/QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/life_class_setting.h"
#include "core/files/result_file.h"
#include "core/run/counting_run.h"
#include "core/run/record_follower.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/life_parameter_dialog.h"
#include "support/count_record.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::CountingView;

constexpr int64_t kBlock = 1024;

/// Block b (from 0) of a record whose turning points have many heights: a sum of three sines
/// reaching about +-7500, well inside the full scale of 10000 of float64 samples.
std::vector<double> Blocks(int64_t first, int64_t count) {
  std::vector<double> x(static_cast<size_t>(count * kBlock));
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(first * kBlock) + static_cast<double>(i);
    x[i] = 5000.0 * std::sin(t / 40.0) + 2000.0 * std::sin(t / 7.3) + 500.0 * std::sin(t / 2.1);
  }
  return x;
}

/// Node "2" of test abc1 as an acquisition writes it: the .sts grows by whole (or partial)
/// blocks, and the .tsp is rewritten atomically with the length so far and the running mark,
/// then without the mark when the record ends.
class GrowingNode {
 public:
  explicit GrowingNode(const fs::path& dir) : tsp_(dir / "abc1#2.tsp"), sts_(dir / "abc1#2.sts") {}

  /// Appends `count` blocks (those that follow the ones written) and tells the new length.
  void Grow(int64_t count, bool running = true) {
    Append(Blocks(written_ / kBlock, count));
    WriteTsp(running);
  }
  /// Appends raw samples without telling the .tsp (a block still being written).
  void Append(const std::vector<double>& samples) {
    std::ofstream out(sts_, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(samples.size() * sizeof(double)));
    written_ += static_cast<int64_t>(samples.size());
  }
  void WriteTsp(bool running) {
    std::ostringstream text;
    text << "[Sampling]\r\nFrequency=1024\r\nC1=1\r\nC2=1\r\nFormat=886\r\nLength="
         << written_ / 512 << "\r\nEU=MPa\r\nText1=\r\nText2=\r\nText3=\r\n";
    if (running) text << "[Recording]\r\nRunning=1\r\n";
    ASSERT_TRUE(core::SaveFileAtomically(tsp_, text.str(), core::kMsgFileWrite));
  }
  /// Writes `value` over sample `index` of the .sts, in place.
  void Rewrite(int64_t index, double value) {
    std::fstream out(sts_, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(index * static_cast<int64_t>(sizeof(double)));
    out.write(reinterpret_cast<const char*>(&value), sizeof(double));
  }
  /// Renames `file` over the .sts.
  void RenameOver(const fs::path& file) { fs::rename(file, sts_); }
  /// Cuts the .sts to `samples` samples (a writer that crashed, a record that shrank).
  void Truncate(int64_t samples) {
    fs::resize_file(sts_, static_cast<uintmax_t>(samples) * sizeof(double));
    written_ = samples;
  }
  int64_t blocks() const { return written_ / kBlock; }

 private:
  fs::path tsp_, sts_;
  int64_t written_ = 0;
};

class FollowWindow : public CountingWindowTest {
 protected:
  /// Writes the parameter file and a running node of `blocks` blocks.
  void StartRecording(int64_t blocks) {
    WriteTest(Blocks(0, 1));  // the parameter file; the node is written again below
    fs::remove(data_.path() / "abc1#2.sts");
    node_.Grow(blocks);
  }
  /// Waits until the window shows the counts of `blocks` whole blocks.
  bool WaitForBlocks(int64_t blocks) {
    return WaitFor(
        [&] { return view_->result().has_value() && ShownBlocks() == blocks && !view_->busy(); });
  }
  int64_t ShownBlocks() const {
    return std::visit([](const auto& f) { return int64_t{f.result.last_block}; }, *view_->result());
  }
  QCheckBox* FollowBox() const {
    return frame_->control_panel()->findChild<QCheckBox*>(QStringLiteral("follow"));
  }
  void Click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
  }
  QString Status() const { return host_.statusBar()->currentMessage(); }

  /// The offline count of the finished node with the window's parameters, as saved bytes.
  std::string OfflineBytes(core::CountingKind kind) {
    auto node = core::OpenCountingNode(data_.path(), "abc", "1", "2");
    EXPECT_TRUE(node);
    core::CountingParameters parameters = view_->parameters();
    core::ResetRangeOnNodeLoad(parameters, node->info);
    parameters.range_mode = core::kRangeFull;
    core::SettleRange(parameters);
    core::SilentProgress progress;
    auto counted = testing::CountNode(kind, *node, parameters, progress);
    EXPECT_TRUE(counted);
    const fs::path path = data_.path() / "offline.result";
    EXPECT_TRUE(core::SaveResultFile(path, *counted));
    return ReadFileBytes(path);
  }

  GrowingNode node_{data_.path()};
};

TEST_F(FollowWindow, CountsGrowWithTheRecordAndEndOnTheOfflineCounts) {
  struct Case {
    int template_id;
    core::CountingKind kind;
    const char* extension;
  };
  for (const Case& c : {Case{module::kPeakTemplate, core::CountingKind::kPeak, ".PCM"},
                        Case{module::kRangeTemplate, core::CountingKind::kRange, ".DCM"},
                        Case{module::kRainflowTemplate, core::CountingKind::kRainflow, ".RFL"}}) {
    SCOPED_TRACE(c.extension);
    node_ = GrowingNode(data_.path());
    StartRecording(2);
    Start(c.template_id);
    // A running node is followed at once, with the full scale the window proposes for it.
    ASSERT_TRUE(WaitForBlocks(2)) << messages_.join('\n').toStdString();
    EXPECT_TRUE(view_->following());
    EXPECT_EQ(view_->parameters().amplitude_mode, core::kAmplitudeFullScale);
    EXPECT_TRUE(view_->windowTitle().endsWith(QStringLiteral(" (live)")))
        << view_->windowTitle().toStdString();
    EXPECT_EQ(frame_->windowTitle(), view_->windowTitle());
    EXPECT_SOON_TRUE(FollowBox()->isChecked());
    EXPECT_SOON_TRUE(Status().contains(QStringLiteral("2 blocks counted")))
        << Status().toStdString();
    const size_t inset_before =
        std::visit([](const auto& f) { return f.result.envelope.size(); }, *view_->result());

    // The person moves the cursor, lists a partition and zooms while the counts grow.
    view_->setFocus();
    const int32_t start = view_->cursor();
    QTest::keyClick(view_, Qt::Key_Right);
    QTest::keyClick(view_, Qt::Key_Right);
    EXPECT_SOON_EQ(view_->cursor(), start + 2);
    QTest::keyClick(view_, Qt::Key_R);
    EXPECT_SOON_EQ(view_->readouts().size(), size_t{1});
    QTest::keyClick(view_, Qt::Key_Plus);
    EXPECT_SOON_TRUE(view_->view_state().zoom > 1.0);
    const double zoom = view_->view_state().zoom;

    // Saving waits for the end of the follow.
    const fs::path saved = data_.path() / (std::string("abc1#2") + c.extension);
    fs::remove(saved);
    messages_.clear();
    ui::SendHostCommand(frame_, ui::command::kSaveResult);
    EXPECT_FALSE(fs::exists(saved));
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains(QStringLiteral("untick Follow")));
    messages_.clear();

    // Three more blocks and half of the next one: only the whole blocks are counted.
    node_.Grow(3);
    const std::vector<double> block6 = Blocks(5, 1);
    node_.Append({block6.begin(), block6.begin() + 512});
    node_.WriteTsp(true);
    ASSERT_TRUE(WaitForBlocks(5));
    EXPECT_SOON_TRUE(Status().contains(QStringLiteral("5 blocks counted, 512 samples")))
        << Status().toStdString();
    EXPECT_TRUE(view_->following());
    EXPECT_EQ(view_->cursor(), start + 2);
    EXPECT_EQ(view_->view_state().zoom, zoom);
    ASSERT_EQ(view_->readouts().size(), size_t{1});
    EXPECT_EQ(view_->readouts().indices[0], static_cast<uint32_t>(start + 2));
    // The listed partition shows its count now, which is the counts' own text.
    const auto now =
        core::CollectReadouts(*view_->result(), {view_->readouts().indices[0]},
                              view_->view_state().one_way, view_->view_state().separately);
    EXPECT_EQ(view_->readouts().count_texts, now.list.count_texts);
    // The envelope inset is that of the longer record.
    EXPECT_EQ(core::NodeOf(*view_->result()).total_blocks, 5);
    EXPECT_GE(std::visit([](const auto& f) { return f.result.envelope.size(); }, *view_->result()),
              inset_before);

    // The record ends: the rest of block 6, and the .tsp without the mark.
    node_.Append({block6.begin() + 512, block6.end()});
    node_.WriteTsp(false);
    ASSERT_SOON_TRUE(!view_->following());
    EXPECT_EQ(ShownBlocks(), 6);
    EXPECT_FALSE(view_->windowTitle().contains(QStringLiteral("(live)")));
    EXPECT_SOON_TRUE(!FollowBox()->isChecked());
    EXPECT_TRUE(Status().contains(QStringLiteral("complete"))) << Status().toStdString();
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();

    // Saved now, the window's result is byte for byte the offline count of the record.
    ui::SendHostCommand(frame_, ui::command::kSaveResult);
    ASSERT_TRUE(fs::exists(saved)) << messages_.join('\n').toStdString();
    EXPECT_EQ(ReadFileBytes(saved), OfflineBytes(c.kind));
    frame_->CloseWindow();
    ASSERT_SOON_TRUE(host_.frames().empty());
  }
}

TEST_F(FollowWindow, UntickingStopsAndTheMenuFollowsAgain) {
  StartRecording(2);
  Start(module::kRangeTemplate);
  ASSERT_TRUE(WaitForBlocks(2));
  ASSERT_SOON_TRUE(FollowBox()->isChecked());

  Click(FollowBox());
  ASSERT_SOON_TRUE(!view_->following());
  EXPECT_FALSE(view_->windowTitle().contains(QStringLiteral("(live)")));
  EXPECT_TRUE(Status().contains(QStringLiteral("stopped after 2 blocks")))
      << Status().toStdString();
  // Blocks that arrive now are not looked at: two looks' time later the counts are the same.
  node_.Grow(2);
  QTest::qWait(2 * module::CountingSession::kFollowIntervalMs + 500);
  EXPECT_EQ(ShownBlocks(), 2);
  EXPECT_FALSE(FollowBox()->isChecked());

  // Analysis > Follow a Running Test (Ctrl+Shift+F) follows the active window's node again.
  host_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  QTest::keyClick(&host_, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(WaitForBlocks(4));
  EXPECT_TRUE(view_->following());
  EXPECT_SOON_TRUE(FollowBox()->isChecked());
  // And once more stops it.
  QTest::keyClick(&host_, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_SOON_TRUE(!view_->following());
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
}

TEST_F(FollowWindow, ClosingDuringAFollowIsSafe) {
  StartRecording(3);
  Start(module::kRainflowTemplate);
  ASSERT_TRUE(WaitForBlocks(3));
  QPointer<CountingView> view = view_;
  node_.Grow(4);  // a look may be under way as the window goes
  frame_->CloseWindow();
  // The sub-window goes at the event loop's next deferred delete, and the view with it.
  ASSERT_SOON_TRUE(
      (QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete), view.isNull()));
  EXPECT_TRUE(host_.frames().empty());
  node_.Grow(1);
  QTest::qWait(module::CountingSession::kFollowIntervalMs + 200);  // no look of a gone window
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
}

TEST_F(FollowWindow, AutomaticAmplitudeIsNeverFollowed) {
  // A finished node counted with the window's default, the automatic amplitude.
  WriteTest(Blocks(0, 4));
  Start(module::kPeakTemplate);
  ASSERT_TRUE(WaitForBlocks(4));
  ASSERT_EQ(view_->parameters().amplitude_mode, core::kAmplitudeAutomatic);
  const auto counted = *view_->result();
  ASSERT_SOON_TRUE(FollowBox()->isEnabled());

  // No: nothing follows, the box is unticked again, the counts stay.
  sink_.answer = false;
  Click(FollowBox());
  ASSERT_SOON_TRUE(messages_.size() == 1);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("automatic amplitude can't be followed")))
      << messages_[0].toStdString();
  EXPECT_SOON_TRUE(!FollowBox()->isChecked());
  EXPECT_FALSE(view_->following());
  EXPECT_EQ(view_->parameters().amplitude_mode, core::kAmplitudeAutomatic);
  EXPECT_EQ(std::get<core::PeakResultFile>(*view_->result()).result.amplitude_range,
            std::get<core::PeakResultFile>(counted).result.amplitude_range);

  // Yes: it follows with the full scale; the record is complete at the first look.
  sink_.answer = true;
  Click(FollowBox());
  ASSERT_SOON_TRUE(view_->parameters().amplitude_mode == core::kAmplitudeFullScale &&
                   !view_->following() && Status().contains(QStringLiteral("complete")));
  EXPECT_EQ(std::get<core::PeakResultFile>(*view_->result()).result.amplitude_range, 10000.0);
  EXPECT_EQ(ShownBlocks(), 4);
}

TEST_F(FollowWindow, ABadEndSaysWhyAndKeepsTheWholeBlocksSeen) {
  // Each damage leaves, at every step, a node a look may find.
  struct Case {
    const char* name;
    std::function<void(GrowingNode&, const fs::path& dir)> damage;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"shrank below the blocks counted",
       [](GrowingNode& node, const fs::path&) { node.Truncate(kBlock + 100); }, "truncated"},
      {"another file renamed over the waveform",
       [](GrowingNode& node, const fs::path& dir) {
         const fs::path copy = dir / "copy.sts";
         fs::copy_file(dir / "abc1#2.sts", copy);
         node.RenameOver(copy);
       },
       "another file took the waveform's place"},
      {"a counted sample rewritten, then the record finished",
       [](GrowingNode& node, const fs::path&) {
         node.Rewrite(kBlock + 5, 1234.5);
         node.WriteTsp(false);
       },
       "samples already counted were rewritten"},
      {"a FIFO renamed over the waveform",
       [](GrowingNode& node, const fs::path& dir) {
         const fs::path pipe = dir / "pipe";
         ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
         node.RenameOver(pipe);
       },
       "not a regular file (a FIFO)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    node_ = GrowingNode(data_.path());
    StartRecording(3);
    Start(module::kPeakTemplate);
    ASSERT_TRUE(WaitForBlocks(3));
    const auto seen = std::get<core::PeakResultFile>(*view_->result()).result;
    messages_.clear();
    c.damage(node_, data_.path());
    ASSERT_SOON_TRUE(!view_->following());
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("The follow ended")))
        << messages_[0].toStdString();
    EXPECT_TRUE(messages_[0].contains(QString::fromUtf8(c.says))) << messages_[0].toStdString();
    EXPECT_TRUE(messages_[0].contains(QStringLiteral("3 whole blocks")))
        << messages_[0].toStdString();
    EXPECT_FALSE(messages_[0].contains('\n'));
    EXPECT_EQ(Status(), messages_[0]);
    EXPECT_EQ(ShownBlocks(), 3);
    // The counts and the overview of the blocks seen, from the file they were counted in.
    const auto& shown = std::get<core::PeakResultFile>(*view_->result()).result;
    EXPECT_EQ(shown.two_way_peak_counts, seen.two_way_peak_counts);
    EXPECT_EQ(shown.envelope, seen.envelope);
    frame_->CloseWindow();
    ASSERT_SOON_TRUE(host_.frames().empty());
    fs::remove(data_.path() / "abc1#2.sts");  // a FIFO would stop the next node's writing
  }
}

TEST_F(FollowWindow, TheLifeEstimateShowsTheDamageSoFar) {
  StartRecording(4);
  Start(module::kRainflowTemplate);
  ASSERT_TRUE(WaitForBlocks(4));
  auto* actual = frame_->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  ASSERT_SOON_TRUE(actual->isEnabled());
  Click(actual);
  module::LifeParameterDialog* dialog = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] { return (dialog = view_->findChild<module::LifeParameterDialog*>()) != nullptr; }));
  auto* box = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(box, nullptr);
  for (QAbstractButton* button : box->buttons()) {
    if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) Click(button);
  }
  ui::FatigueTableWidget* table = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (table = host_.findChild<ui::FatigueTableWidget*>()); }));

  // The damage of the counts shown, made independently from the window's result.
  auto damage_of_shown = [&] {
    const auto& rainflow = std::get<core::RainflowResultFile>(*view_->result()).result;
    auto estimate =
        core::RunFatigueEstimate(core::FatigueMethod::kActual, rainflow, core::ReadLifeClassIndex(),
                                 3, {"abc", "1", "2"}, ui::UiLanguage());
    EXPECT_TRUE(estimate);
    return QString::fromStdString(core::FormatNumber(estimate->total_damage, 4));
  };
  EXPECT_SOON_TRUE(table->total_damage()->text() == "Damage so far: " + damage_of_shown())
      << table->total_damage()->text().toStdString();
  const QString first = table->total_damage()->text();

  node_.Grow(4);
  ASSERT_TRUE(WaitForBlocks(8));
  EXPECT_SOON_TRUE(table->total_damage()->text() == "Damage so far: " + damage_of_shown())
      << table->total_damage()->text().toStdString();
  EXPECT_NE(table->total_damage()->text(), first);
  // Eight blocks at 1024 Hz: 8 s of record over the damage so far.
  const auto kept = ui::LastFatigueTable();
  ASSERT_TRUE(kept && kept->live);
  EXPECT_DOUBLE_EQ(*ui::ImpliedLifeSeconds(*kept), 8.0 / kept->result.total_damage);

  node_.Grow(1, false);
  ASSERT_SOON_TRUE(!view_->following());
  EXPECT_SOON_TRUE(table->total_damage()->text() == "Total Damage Degree: " + damage_of_shown())
      << table->total_damage()->text().toStdString();
}

}  // namespace
}  // namespace torvwy::testing
