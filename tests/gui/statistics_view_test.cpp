// The statistics window: its parameter dialog, the batch, the list, reruns, saving and result
// mode.
#include "module/statistics_view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/services/recent_list.h"
#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/module_state.h"
#include "module/statistics_dialog.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::StatisticsDialog;
using module::StatisticsView;
using StatisticsWindow = DesktopTest;

/// Types `text` into an editable combo as a person would: select all, then the keys.
void TypeInto(QComboBox* combo, const std::string& text) {
  combo->lineEdit()->selectAll();
  QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
  QTest::keyClicks(combo->lineEdit(), QString::fromStdString(text));
}

void Click(StatisticsDialog* dialog, const char* button) {
  auto* push = dialog->findChild<QPushButton*>(QString::fromLatin1(button));
  ASSERT_NE(push, nullptr) << button;
  QTest::mouseClick(push, Qt::LeftButton);
}

class StatisticsDesk : public StatisticsWindow {
 protected:
  /// Opens a statistics window and waits for its first dialog.
  StatisticsView* OpenWindow() {
    frame_ = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kStatisticsTemplate));
    auto* view = qobject_cast<StatisticsView*>(frame_->view());
    EXPECT_TRUE(WaitFor([&] { return view->dialog() != nullptr && view->dialog()->isVisible(); }));
    return view;
  }
  /// Fills the dialog with test "abc" in the data folder and the ranges, then clicks OK and
  /// waits for the batch.
  void RunBatch(StatisticsView* view, const std::string& codes, const std::string& nodes,
                bool peak_peaks = false) {
    StatisticsDialog* dialog = view->dialog();
    ASSERT_NE(dialog, nullptr);
    TypeInto(dialog->test_name(), "abc");
    TypeInto(dialog->code_range(), codes);
    TypeInto(dialog->node_range(), nodes);
    TypeInto(dialog->data_path(), data_.path().string());
    TypeInto(dialog->result_path(), data_.path().string());
    if (peak_peaks) QTest::mouseClick(dialog->peak_peak_radio(), Qt::LeftButton);
    Click(dialog, "ok");
    ASSERT_TRUE(WaitFor([&] { return view->dialog() == nullptr && !view->busy(); }));
    ASSERT_TRUE(PassMarker(frame_, view));
  }
  /// Presses "N" in the list and waits for the dialog.
  void AskAgain(StatisticsView* view) {
    QTest::keyClick(view->list(), Qt::Key_N);
    ASSERT_TRUE(WaitFor([&] { return view->dialog() != nullptr && view->dialog()->isVisible(); }));
  }
  AnalysisFrame* frame_ = nullptr;
};

TEST_F(StatisticsDesk, RunsBothContentsFromTheWindowAndReopensTheirLists) {
  WriteTest(8192);
  StatisticsView* view = OpenWindow();
  RunBatch(view, "1", "2,7");  // node 7 does not exist: no row for it
  ASSERT_TRUE(view->batch().has_value()) << messages_.join("|").toStdString();
  EXPECT_EQ(view->list()->rowCount(), 1);
  EXPECT_EQ(view->list()->columnCount(), 14);
  EXPECT_EQ(view->list()->item(0, 2)->text(), QStringLiteral("2"));
  EXPECT_EQ(view->windowTitle(), QString::fromStdString("Amplitude Statistics [abc 1 # 2,7 , " +
                                                        data_.path().string() + "]"));
  // Every column is wide enough for its title and its numbers.
  const QFontMetrics header(view->list()->horizontalHeader()->font());
  const QFontMetrics cells(view->list()->font());
  for (int c = 0; c < view->list()->columnCount(); ++c) {
    const QString title = view->list()->horizontalHeaderItem(c)->text();
    EXPECT_GT(view->list()->columnWidth(c), header.horizontalAdvance(title)) << title.toStdString();
    EXPECT_GT(view->list()->columnWidth(c),
              cells.horizontalAdvance(view->list()->item(0, c)->text()))
        << title.toStdString();
  }
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path list = data_.path() / "abc1#2_7.aps";
  ASSERT_TRUE(fs::exists(list)) << messages_.join("|").toStdString();

  // "N" asks again; the largest peak-to-peak values of the same waveform replace the list.
  AskAgain(view);
  EXPECT_TRUE(view->dialog()->amplitude_radio()->isChecked()) << "the content is never pre-set";
  EXPECT_FALSE(view->dialog()->number()->isEnabled());
  RunBatch(view, "1", "2", true);
  EXPECT_EQ(view->list()->columnCount(), 10);
  EXPECT_EQ(view->list()->rowCount(), 20) << "N of the profile: 20";
  EXPECT_TRUE(view->windowTitle().startsWith(QStringLiteral("Peak-Peak Statistics [abc 1 # 2 ,")));
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path peaks = data_.path() / "abc1#2.aps";
  ASSERT_TRUE(fs::exists(peaks));

  // Both lists open again through the host, in result mode, with their own captions.
  for (const auto& [file, rows, caption] :
       {std::tuple{list, 1, "Amplitude Statistics Result [abc 1 # 2_7 , "},
        std::tuple{peaks, 20, "Peak-Peak Statistics Result [abc 1 # 2 , "}}) {
    auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(file)));
    ASSERT_NE(opened, nullptr);
    auto* shown = qobject_cast<StatisticsView*>(opened->view());
    ASSERT_TRUE(WaitFor([&] { return shown->batch().has_value(); }));
    EXPECT_TRUE(shown->result_mode());
    EXPECT_EQ(shown->dialog(), nullptr) << "a saved list never asks";
    EXPECT_EQ(shown->list()->rowCount(), rows);
    EXPECT_TRUE(shown->windowTitle().startsWith(QString::fromLatin1(caption)))
        << shown->windowTitle().toStdString();
    fs::remove(file);
    ui::SendHostCommand(opened, ui::command::kSaveResult);
    EXPECT_FALSE(fs::exists(file)) << "result mode never saves";
  }

  // After an opened list, the host's Amplitude Statistics command still asks for a new batch.
  QAction* command = nullptr;
  for (QAction* action : host_.findChildren<QAction*>()) {
    if (action->text() == QStringLiteral("Amplitude Statistics...")) command = action;
  }
  ASSERT_NE(command, nullptr);
  const size_t before = host_.frames().size();
  command->trigger();
  ASSERT_EQ(host_.frames().size(), before + 1);
  auto* fresh =
      qobject_cast<StatisticsView*>(qobject_cast<AnalysisFrame*>(host_.frames().back())->view());
  ASSERT_TRUE(WaitFor([&] { return fresh->dialog() != nullptr; }));
  EXPECT_FALSE(fresh->result_mode());
}

TEST_F(StatisticsDesk, DialogRefusesWhatCannotRunAndCancelClosesTheFirstOne) {
  WriteTest(4096);
  StatisticsView* view = OpenWindow();
  StatisticsDialog* dialog = view->dialog();
  TypeInto(dialog->data_path(), data_.path().string());
  const struct {
    const char* codes;
    const char* nodes;
    const char* folder;  // empty: the data folder
    const char* message;
  } refusals[] = {
      {"1-A", "2", "", "The range string of TestCode or NodeName has invalide format."},
      {"1", "9-3", "", "The range string of TestCode or NodeName has invalide format."},
      {"1", "2", "/no/such/folder", "The data folder does not exist: /no/such/folder"},
      // 200 x 60 pairs: asked, and the answer is no.
      {"1-200", "1-60", "", "These ranges make 12000 pairs of test code and node. Run them all?"},
  };
  for (const auto& refusal : refusals) {
    messages_.clear();
    TypeInto(dialog->code_range(), refusal.codes);
    TypeInto(dialog->node_range(), refusal.nodes);
    TypeInto(dialog->data_path(), *refusal.folder ? refusal.folder : data_.path().string());
    Click(dialog, "ok");
    ASSERT_TRUE(PassMarker(frame_, view));  // behind anything the refusal posted
    EXPECT_EQ(messages_, QStringList{QString::fromLatin1(refusal.message)}) << refusal.codes;
    EXPECT_TRUE(dialog->isVisible()) << refusal.codes;
    EXPECT_FALSE(view->busy());
  }
  // N stays within 1..200 whatever is typed.
  QTest::mouseClick(dialog->peak_peak_radio(), Qt::LeftButton);
  ASSERT_TRUE(dialog->number()->isEnabled());
  dialog->number()->selectAll();
  QTest::keyClicks(dialog->number(), QStringLiteral("999"));
  EXPECT_LE(dialog->number()->value(), 200);

  // Cancel at the first dialog closes the window.
  QPointer<AnalysisFrame> frame = frame_;
  Click(dialog, "cancel");
  EXPECT_TRUE(WaitFor([&] { return frame.isNull(); }));
}

TEST_F(StatisticsDesk, RecentListsKeepTheNewestFirstWithoutDuplicatesUpToTwenty) {
  WriteTest(4096);
  // Twenty older code ranges already listed: the newest run pushes the oldest out.
  {
    std::ofstream old(core::RecentListPath(core::kRecentTestCodes));
    for (int i = 1; i <= 20; ++i) old << "c" << i << "\n";
  }
  StatisticsView* view = OpenWindow();
  RunBatch(view, "1", "2");
  AskAgain(view);
  RunBatch(view, "1", "1-2");
  AskAgain(view);
  RunBatch(view, "1", "2");
  EXPECT_EQ(core::LoadRecentList(core::RecentListPath(core::kRecentNodeNames)),
            (std::vector<std::string>{"2", "1-2"}));
  const auto codes = core::LoadRecentList(core::RecentListPath(core::kRecentTestCodes));
  ASSERT_EQ(codes.size(), 20u);
  EXPECT_EQ(codes.front(), "1");
  EXPECT_EQ(codes[1], "c1");
  EXPECT_EQ(codes.back(), "c19");
  EXPECT_EQ(core::LoadRecentList(core::RecentListPath(core::kRecentPaths)),
            std::vector<std::string>{data_.path().string()});

  // The next dialog offers them in that order; Cancel on a rerun keeps the list.
  AskAgain(view);
  QComboBox* nodes = view->dialog()->node_range();
  ASSERT_EQ(nodes->count(), 2);
  EXPECT_EQ(nodes->itemText(0), QStringLiteral("2"));
  EXPECT_EQ(nodes->itemText(1), QStringLiteral("1-2"));
  Click(view->dialog(), "cancel");
  ASSERT_TRUE(WaitFor([&] { return view->dialog() == nullptr; }));
  ASSERT_TRUE(PassMarker(frame_, view));
  EXPECT_EQ(view->list()->rowCount(), 1);
  EXPECT_EQ(host_.frames().size(), 1u);
}

TEST_F(StatisticsDesk, WaveformFileFillsTheFieldsByItsTitle) {
  StatisticsView* view = OpenWindow();
  StatisticsDialog* dialog = view->dialog();
  const struct {
    const char* file;
    const char* folder;
    const char* test;
    const char* code;
    const char* node;
  } cases[] = {
      {"/d/data/abc12#5.sts", "/d/data", "abc", "12", "5"},
      {"/d/data/x#1.sts", "/d/data", "x", "", "1"},
      {"/e/123#7.sts", "/e", "12", "3", "7"},
      {"/abcX#1.sts", "/", "abc", "X", "1"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(dialog->FillFromWaveformFile(QString::fromLatin1(c.file))) << c.file;
    EXPECT_EQ(dialog->data_path()->currentText(), QString::fromLatin1(c.folder)) << c.file;
    EXPECT_EQ(dialog->result_path()->currentText(), QString::fromLatin1(c.folder)) << c.file;
    EXPECT_EQ(dialog->test_name()->currentText(), QString::fromLatin1(c.test)) << c.file;
    EXPECT_EQ(dialog->code_range()->currentText(), QString::fromLatin1(c.code)) << c.file;
    EXPECT_EQ(dialog->node_range()->currentText(), QString::fromLatin1(c.node)) << c.file;
  }
  // A title without a test before "#" fills nothing.
  for (const char* nothing : {"/f/plain.sts", "/f/#3.sts"}) {
    EXPECT_FALSE(dialog->FillFromWaveformFile(QString::fromLatin1(nothing)));
    EXPECT_EQ(dialog->data_path()->currentText(), QStringLiteral("/")) << nothing;
  }
  Click(dialog, "cancel");
}

TEST_F(StatisticsDesk, ActivatedListFillsTheMdiArea) {
  WriteTest(4096);
  StatisticsView* view = OpenWindow();
  RunBatch(view, "1", "2");
  auto* sub = qobject_cast<QMdiSubWindow*>(frame_->parentWidget());
  ASSERT_NE(sub, nullptr);
  host_.mdi()->setActiveSubWindow(nullptr);
  sub->setGeometry(10, 10, 200, 150);
  host_.mdi()->setActiveSubWindow(sub);
  EXPECT_SOON_EQ(sub->geometry(), host_.mdi()->viewport()->rect());
}

TEST_F(StatisticsDesk, SaveAsksBeforeReplacingAnotherListAndAReopenedListShowsBlanks) {
  WriteTest(8192);
  StatisticsView* view = OpenWindow();
  RunBatch(view, "1", "2");
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path list = data_.path() / "abc1#2.aps";
  ASSERT_TRUE(fs::exists(list)) << messages_.join("|").toStdString();
  const auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string amplitudes = read(list);
  EXPECT_NE(amplitudes.find('_'), std::string::npos) << "the file keeps its underscores";

  // Reopened, its column titles show blanks where the file has "_".
  auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(list)));
  ASSERT_NE(opened, nullptr);
  auto* shown = qobject_cast<StatisticsView*>(opened->view());
  ASSERT_TRUE(WaitFor([&] { return shown->batch().has_value(); }));
  bool blank = false;
  for (int c = 0; c < shown->list()->columnCount(); ++c) {
    const QString title = shown->list()->horizontalHeaderItem(c)->text();
    EXPECT_FALSE(title.contains(QLatin1Char('_'))) << title.toStdString();
    blank = blank || title.contains(QLatin1Char(' '));
  }
  EXPECT_TRUE(blank);
  opened->CloseWindow();

  // A peak-peak run of the same test, code and node has the same file name: the first save
  // asks and, answered No, keeps the amplitude list; Yes replaces it; the window's own file is
  // then replaced without a question.
  messages_.clear();
  AskAgain(view);
  RunBatch(view, "1", "2", true);
  sink_.answer = false;
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  ASSERT_EQ(messages_.size(), 1) << messages_.join("|").toStdString();
  EXPECT_TRUE(messages_[0].contains(QString::fromStdString(list.string())));
  EXPECT_EQ(read(list), amplitudes);
  sink_.answer = true;
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  ASSERT_EQ(messages_.size(), 3) << messages_.join("|").toStdString();  // asked, then saved
  EXPECT_NE(read(list), amplitudes);
  sink_.answer = false;
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  EXPECT_EQ(messages_.size(), 4) << "saved without a question";
  EXPECT_TRUE(messages_.back().contains(QString::fromStdString(list.string())));
}

TEST_F(StatisticsDesk, APrintPreviewIsNotReportedAsPrinted) {
  WriteTest(8192);
  StatisticsView* view = OpenWindow();
  RunBatch(view, "1", "2");
  host_.statusBar()->clearMessage();
  bool previewed = false;
  QTimer::singleShot(0, [&] {
    WaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
    if (auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget())) {
      previewed = true;
      preview->reject();
    }
  });
  ui::SendHostCommand(frame_, ui::command::kPrintPreview);
  EXPECT_TRUE(previewed);
  EXPECT_NE(host_.statusBar()->currentMessage(), ui::Text(ui::TextKey::kHostPrinted));
  EXPECT_NE(host_.statusBar()->currentMessage(), ui::Text(ui::TextKey::kHostPrinting));
}

}  // namespace
}  // namespace torvwy::testing
