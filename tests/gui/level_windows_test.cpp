// The level crossing, range-pair and time-at-level windows as an engineer works in them: the
// levels typed into the setup dialog, the counts as the command line gives them, the cursor on
// a level, saving and opening the JSON result, and the report and export of each.
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QtTest/QTest>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "core/files/result_file.h"
#include "core/services/folders.h"
#include "counting_window_fixture.h"
#include "module/control_panel.h"
#include "module/doc_template.h"
#include "module/setup_dialog.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::SetupDialog;

/// The standard's load history -2, 1, -3, 5, -1, 3, -4, 4, -2 over and over: two blocks.
std::vector<double> StandardHistory() {
  const double period[] = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  std::vector<double> x(2048);
  for (size_t i = 0; i < x.size(); ++i) x[i] = period[i % 9];
  return x;
}

class LevelWindows : public CountingWindowTest {
 protected:
  /// Types `text` into `field` over what it holds, as a person selecting it first.
  static void Type(QLineEdit* field, const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(text));
  }
  /// The JSON the command line prints for `analysis` on the same node with `options`.
  nlohmann::json Cli(const QString& analysis, QStringList options) {
    QProcess cli;
    cli.start(QStringLiteral(TORVWY_CLI),
              QStringList{analysis, "--data", QString::fromStdString(data_.path().string()),
                          "--test", "abc", "--code", "1", "--node", "2", "--json"} +
                  options);
    EXPECT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    return nlohmann::json::parse(cli.readAllStandardOutput().toStdString());
  }
};

TEST_F(LevelWindows, CrossingsAreAskedCountedAsTheCommandLineDoesSavedAndReopened) {
  WriteTest(StandardHistory());
  SetupDialog::SetAnswerForTesting(std::nullopt);
  ASSERT_NO_FATAL_FAILURE(Start(module::kCrossingsTemplate));
  SetupDialog* dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(dialog->level_list(), nullptr);
  EXPECT_TRUE(dialog->level_list()->text().isEmpty());
  EXPECT_EQ(dialog->reference()->text(), QStringLiteral("0"));
  EXPECT_EQ(dialog->gate()->text(), QStringLiteral("0"));
  EXPECT_EQ(dialog->direction()->currentText(), QStringLiteral("astm"));

  // A list that is not increasing is refused in one line, and the dialog stays with it.
  Type(dialog->level_list(), "1,0");
  QTest::keyClick(dialog->level_list(), Qt::Key_Return);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("--level-list"))) << messages_[0].toStdString();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->level_list()->hasFocus());
  // So is a gate below 0.
  Type(dialog->level_list(), "-2.5,0,2.5");
  Type(dialog->gate(), "-1");
  QTest::keyClick(dialog->gate(), Qt::Key_Return);
  ASSERT_EQ(messages_.size(), 2);
  EXPECT_TRUE(messages_[1].contains(QStringLiteral("--gate"))) << messages_[1].toStdString();
  EXPECT_TRUE(dialog->gate()->hasFocus());

  // Both directions, a gate of 1: counted on OK.
  Type(dialog->gate(), "1");
  dialog->direction()->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(dialog->direction(), Qt::Key_Down);
  EXPECT_EQ(dialog->direction()->currentText(), QStringLiteral("both"));
  QTest::keyClick(dialog->gate(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
  const auto* shown = std::get_if<core::CrossingResultFile>(&*view_->result());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->result.levels, (std::vector<double>{-2.5, 0.0, 2.5}));
  EXPECT_EQ(shown->result.direction, core::CrossingDirection::kBoth);
  EXPECT_EQ(shown->result.gate, 1.0);
  EXPECT_EQ(view_->partitions(), 3);
  const nlohmann::json cli =
      Cli(QStringLiteral("crossings"),
          {"--level-list", "-2.5,0,2.5", "--gate", "1", "--direction", "both"});
  EXPECT_EQ(cli["up"].get<std::vector<int64_t>>(), shown->result.up);
  EXPECT_EQ(cli["down"].get<std::vector<int64_t>>(), shown->result.down);
  const std::vector<double> values = view_->DisplayedValues();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[1], static_cast<double>(shown->result.up[1] + shown->result.down[1]));

  // The cursor walks the levels; the reading names the level it is on.
  view_->setFocus();
  ASSERT_TRUE(PassMarker(frame_, view_));
  const int32_t start = view_->cursor();
  Key(Qt::Key_Left);
  EXPECT_EQ(view_->cursor(), std::max(0, start - 1));
  view_->repaint();
  const auto& texts = view_->drawn().texts;
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const render::DrawnText& t) {
    return t.text.startsWith(QStringLiteral("L : "));
  }));

  // Saved beside the data as JSON, and opened again from it by its content.
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path saved = data_.path() / "abc1#2.crossings.json";
  ASSERT_TRUE(fs::exists(saved)) << messages_.join("|").toStdString();
  EXPECT_EQ(nlohmann::json::parse(ReadFileBytes(saved))["analysis"], "crossings");
  auto* reopened = qobject_cast<module::AnalysisFrame*>(
      host_.OpenResultFile(QString::fromStdString(saved.string())));
  ASSERT_NE(reopened, nullptr);
  auto* result_view = qobject_cast<module::CountingView*>(reopened->view());
  ASSERT_NE(result_view, nullptr);
  ASSERT_TRUE(WaitFor([&] { return result_view->result().has_value(); }));
  EXPECT_TRUE(result_view->result_mode());
  const auto* opened = std::get_if<core::CrossingResultFile>(&*result_view->result());
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->result.up, shown->result.up);
  EXPECT_EQ(opened->result.down, shown->result.down);
  EXPECT_TRUE(result_view->windowTitle().startsWith(ui::Text(ui::TextKey::kCrossingResultTitle)));
}

TEST_F(LevelWindows, TimeAtLevelAndRangePairsShowReportAndExportTheirCounts) {
  WriteTest(8192);
  const fs::path work = core::GetWorkFolder();
  Open(module::kTimeAtLevelTemplate);
  const auto* time = std::get_if<core::TimeAtLevelResultFile>(&*view_->result());
  ASSERT_NE(time, nullptr);
  // Every sample counts 1 / 1024 s: 8 s in all, in the partitions and outside them.
  double seconds = time->result.SecondsOutside();
  for (const double s : view_->DisplayedValues()) seconds += s;
  EXPECT_DOUBLE_EQ(seconds, 8.0);
  EXPECT_EQ(frame_->control_panel()->findChild<QObject*>(QStringLiteral("one_way")), nullptr);
  fs::remove(work / "TorvRpt.txt");
  fs::remove(work / "TorvEpt.Dat");
  ui::SendHostCommand(frame_, ui::command::kReport);
  EXPECT_NE(ReadFileBytes(work / "TorvRpt.txt").find(" - TORV Time at Level"), std::string::npos);
  ui::SendHostCommand(frame_, ui::command::kExport);
  EXPECT_NE(ReadFileBytes(work / "TorvEpt.Dat").find("abc1#2Time"), std::string::npos);

  // Range pairs: the range window's one-way choice, counted as the command line does.
  Open(module::kRangePairsTemplate);
  const auto* pairs = std::get_if<core::RangePairResultFile>(&*view_->result());
  ASSERT_NE(pairs, nullptr);
  const nlohmann::json cli = Cli(QStringLiteral("range-pairs"), {});
  const auto& counts = pairs->result.two_way_counts;
  EXPECT_EQ(cli["two_way"].get<std::vector<int64_t>>(),
            std::vector<int64_t>(counts.begin(), counts.begin() + pairs->result.partitions));
  EXPECT_FALSE(view_->view_state().one_way);
  Key(Qt::Key_W);
  EXPECT_SOON_TRUE(view_->view_state().one_way);
  fs::remove(work / "TorvRpt.txt");
  ui::SendHostCommand(frame_, ui::command::kReport);
  EXPECT_NE(ReadFileBytes(work / "TorvRpt.txt").find(" - TORV Range-Pair Counting"),
            std::string::npos);
}

}  // namespace
}  // namespace torvwy::testing
