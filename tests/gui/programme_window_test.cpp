// The test programme window driven as a person would: a programme opened from its file, counted,
// its results against the core's, its events edited and refused, saved and opened again, the
// node chooser adding events, and a cancelled calculation.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest/QTest>
#include <fstream>

#include "core/programme/programme_count.h"
#include "core/programme/programme_file.h"
#include "core/services/progress.h"
#include "desktop_fixture.h"
#include "module/analysis_frame.h"
#include "module/doc_template.h"
#include "module/programme_view.h"
#include "ui/host_message.h"
#include "ui/language.h"
#include "ui/progress_dialog.h"
#include "ui/select_node_dialog.h"

namespace torvwy::testing {
namespace {

using module::ProgrammeView;

class ProgrammeWindowTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    // Two nodes of one test in "rig" beside the programme file.
    NodeLayout layout;
    layout.test_name = "track";
    layout.test_code = "1";
    std::filesystem::create_directory(data_.path() / "rig");
    for (int n = 0; n < 2; ++n) {
      layout.node_name = "n" + std::to_string(n);
      std::vector<double> raw = SmallWalk(3000 + 700 * static_cast<size_t>(n), 40 + n);
      for (double& x : raw) x *= 100.0;
      WriteNode(data_.path() / "rig", PadToHalfBlocks(raw), layout);
    }
    programme_.name = "track A";
    programme_.curve = "en1993:71";
    programme_.residue = core::ResidueMethod::kRepeated;
    for (int n = 0; n < 2; ++n) {
      core::ProgrammeEvent event;
      event.number = n + 1;
      event.data = "rig";
      event.test = "track";
      event.code = "1";
      event.node = "n" + std::to_string(n);
      event.repeats = 5 + 40 * n;
      event.label = n == 0 ? "ride" : "brake";
      event.distance_km = 2.0;
      programme_.events.push_back(event);
    }
    file_ = data_.path() / "track.ini";
    ASSERT_TRUE(core::SaveProgrammeFile(file_, programme_));
  }
  void TearDown() override {
    ProgrammeView::SetFileNameForTesting(std::nullopt);
    DesktopTest::TearDown();
  }

  /// Opens a programme window from the host and takes its view.
  ProgrammeView* OpenWindow() {
    auto* frame =
        qobject_cast<module::AnalysisFrame*>(host_.OpenWindow(module::kProgrammeTemplate));
    if (frame == nullptr) return nullptr;
    frame_ = frame;
    return qobject_cast<ProgrammeView*>(frame->view());
  }
  /// Clicks Open, the open dialog answering with `path`.
  static void ClickOpen(ProgrammeView* view, const std::filesystem::path& path) {
    ProgrammeView::SetFileNameForTesting(QString::fromStdString(path.string()));
    QTest::mouseClick(view->open_button(), Qt::LeftButton);
  }
  /// Types `text` into the events table's cell as a person would: the cell chosen with a click,
  /// the text typed over it and Return.
  static void TypeIntoCell(QTableWidget* table, int row, int column, const QString& text) {
    QWidget* window = table->window();
    if (!window->isActiveWindow()) {
      window->activateWindow();
      QApplication::setActiveWindow(window);
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    table->setFocus();
    const QRect cell = table->visualRect(table->model()->index(row, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::keyClick(table, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
  }

  core::Programme programme_;
  std::filesystem::path file_;
  module::AnalysisFrame* frame_ = nullptr;
};

TEST_F(ProgrammeWindowTest, CalculatesTheDamageTheCoreGivesForEveryEvent) {
  ProgrammeView* view = OpenWindow();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(host_.frames().size(), 1u);
  ClickOpen(view, file_);
  ASSERT_EQ(view->events_table()->rowCount(), 2);
  EXPECT_EQ(view->name_edit()->text(), QStringLiteral("track A"));
  EXPECT_EQ(view->events_table()->item(1, ProgrammeView::kRepeats)->text(), QStringLiteral("45"));

  QTest::mouseClick(view->calculate_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value() && !view->busy(); }, 60000))
      << messages_.join("|").toStdString();
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();

  auto read = core::ReadProgrammeFile(file_);
  ASSERT_TRUE(read.ok());
  core::SilentProgress progress;
  auto expected = core::RunProgramme(*read, 1, progress);
  ASSERT_TRUE(expected.ok());
  ASSERT_GT(expected->total_damage, 0.0);
  const QTableWidget* table = view->results_table();
  EXPECT_EQ(view->tabs()->currentIndex(), ProgrammeView::kResultsTab);
  // Events, across, total, then the life in programmes, hours (the records' lengths) and km (the
  // events have distances).
  ASSERT_EQ(table->rowCount(), 7);
  for (int e = 0; e < 2; ++e) {
    const core::ProgrammeEventResult& event = expected->events[static_cast<size_t>(e)];
    EXPECT_EQ(table->item(e, 0)->text().toStdString(), event.label);
    EXPECT_EQ(table->item(e, 3)->text(), QString::number(event.damage, 'g', 6));
    EXPECT_NEAR(table->item(e, 5)->text().toDouble(), 100.0 * event.share, 0.01);
  }
  EXPECT_EQ(table->item(3, 3)->text(), QString::number(expected->total_damage, 'g', 6));
  EXPECT_EQ(table->item(4, 0)->text(), ui::Text(ui::TextKey::kProgrammeRowLifeProgrammes));
  EXPECT_EQ(table->item(4, 1)->text(), QString::number(*expected->life_programmes, 'g', 6));
  EXPECT_EQ(table->item(5, 0)->text(), ui::Text(ui::TextKey::kProgrammeRowLifeHours));
  EXPECT_EQ(table->item(6, 0)->text(), ui::Text(ui::TextKey::kProgrammeRowLifeKm));
  EXPECT_EQ(table->item(6, 1)->text(), QString::number(*expected->life_km, 'g', 6));

  // The share picture draws a bar per event, and the matrices draw their cells.
  view->tabs()->setCurrentIndex(ProgrammeView::kShareTab);
  EXPECT_SOON_TRUE(!view->share_picture()->drawn().empty);
  int labels = 0;
  for (const auto& text : view->share_picture()->drawn().texts) {
    if (text.text == QStringLiteral("ride") || text.text == QStringLiteral("brake")) ++labels;
  }
  EXPECT_EQ(labels, 2);
  view->tabs()->setCurrentIndex(ProgrammeView::kRangeMeanTab);
  EXPECT_SOON_TRUE(!view->range_mean_picture()->drawn().cells.empty());
  view->tabs()->setCurrentIndex(ProgrammeView::kFromToTab);
  EXPECT_SOON_TRUE(!view->from_to_picture()->drawn().cells.empty());
}

TEST_F(ProgrammeWindowTest, RefusesBadRepeatsAndScalesAndSavesWhatItTook) {
  ProgrammeView* view = OpenWindow();
  ASSERT_NE(view, nullptr);
  ClickOpen(view, file_);
  QTableWidget* events = view->events_table();
  ASSERT_EQ(events->rowCount(), 2);
  for (const QString& bad : {QStringLiteral("0"), QStringLiteral("2.5"), QStringLiteral("many")}) {
    messages_.clear();
    ASSERT_NO_FATAL_FAILURE(TypeIntoCell(events, 0, ProgrammeView::kRepeats, bad));
    ASSERT_SOON_TRUE(messages_.size() == 1);
    EXPECT_EQ(messages_.front(), ui::Text(ui::TextKey::kProgrammeBadRepeats).arg(bad));
    EXPECT_EQ(events->item(0, ProgrammeView::kRepeats)->text(), QStringLiteral("5"));
  }
  for (const QString& bad : {QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("inf")}) {
    messages_.clear();
    ASSERT_NO_FATAL_FAILURE(TypeIntoCell(events, 1, ProgrammeView::kScale, bad));
    ASSERT_SOON_TRUE(messages_.size() == 1);
    EXPECT_EQ(messages_.front(), ui::Text(ui::TextKey::kProgrammeBadScale).arg(bad));
    EXPECT_EQ(events->item(1, ProgrammeView::kScale)->text(), QStringLiteral("1"));
  }
  messages_.clear();
  ASSERT_NO_FATAL_FAILURE(TypeIntoCell(events, 0, ProgrammeView::kRepeats, QStringLiteral("7")));
  ASSERT_NO_FATAL_FAILURE(TypeIntoCell(events, 1, ProgrammeView::kScale, QStringLiteral("1.5")));
  ASSERT_NO_FATAL_FAILURE(TypeIntoCell(events, 1, ProgrammeView::kLabel, QStringLiteral("stop")));
  // The name typed into its field.
  view->name_edit()->setFocus();
  QTest::keyClick(view->name_edit(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(view->name_edit(), QStringLiteral("track B"));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();

  // Saved elsewhere: the relative data folder is written out in full, so the copy still finds
  // its nodes.
  TempDir other;
  const std::filesystem::path copy = other.path() / "copy.ini";
  ProgrammeView::SetFileNameForTesting(QString::fromStdString(copy.string()));
  QTest::mouseClick(view->save_button(), Qt::LeftButton);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();
  auto saved = core::ReadProgrammeFile(copy);
  ASSERT_TRUE(saved.ok()) << saved.error().detail;
  EXPECT_EQ(saved->name, "track B");
  ASSERT_EQ(saved->events.size(), 2u);
  EXPECT_EQ(saved->events[0].repeats, 7);
  EXPECT_EQ(saved->events[1].scale, 1.5);
  EXPECT_EQ(saved->events[1].label, "stop");
  EXPECT_EQ(saved->events[1].distance_km, 2.0) << "what the window has no field for is kept";
  EXPECT_EQ(std::filesystem::path(saved->events[0].data),
            (data_.path() / "rig").lexically_normal());

  // Opened again in a new window, it holds what was saved and counts.
  ProgrammeView* again = OpenWindow();
  ASSERT_NE(again, nullptr);
  ClickOpen(again, copy);
  EXPECT_EQ(again->name_edit()->text(), QStringLiteral("track B"));
  EXPECT_EQ(again->events_table()->item(0, ProgrammeView::kRepeats)->text(), QStringLiteral("7"));
  QTest::mouseClick(again->calculate_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return again->result().has_value() && !again->busy(); }, 60000))
      << messages_.join("|").toStdString();
  EXPECT_EQ(again->result()->events[0].repeats, 7);
}

TEST_F(ProgrammeWindowTest, SaysWhyAFileCantBeOpenedOrAProgrammeCantBeCounted) {
  ProgrammeView* view = OpenWindow();
  ASSERT_NE(view, nullptr);
  // Nothing to count yet.
  QTest::mouseClick(view->calculate_button(), Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_.front(), ui::Text(ui::TextKey::kProgrammeNoEvents));
  EXPECT_FALSE(view->busy());

  const std::filesystem::path broken = data_.path() / "broken.ini";
  std::ofstream(broken) << "[Programme]\nName=x\n[Event 1]\nData=rig\nTest=track\nCode=1\n"
                           "Node=n0\nRepeats=0\n";
  messages_.clear();
  ClickOpen(view, broken);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_FALSE(messages_.front().contains('\n')) << messages_.front().toStdString();
  EXPECT_TRUE(messages_.front().contains(QStringLiteral("Repeats")))
      << messages_.front().toStdString();
  EXPECT_EQ(view->events_table()->rowCount(), 0) << "a file that can't be read changes nothing";

  // A node that is not there: said when counted, and no result.
  core::Programme missing = programme_;
  missing.events[1].node = "nowhere";
  ASSERT_TRUE(core::SaveProgrammeFile(file_, missing));
  messages_.clear();
  ClickOpen(view, file_);
  QTest::mouseClick(view->calculate_button(), Qt::LeftButton);
  ASSERT_SOON_TRUE(messages_.size() == 1);
  EXPECT_TRUE(messages_.front().contains(QStringLiteral("nowhere")))
      << messages_.front().toStdString();
  EXPECT_FALSE(view->result().has_value());
}

TEST_F(ProgrammeWindowTest, AddsTheNodesChosenInTheChooserAndRemovesAnEvent) {
  WriteTest(4096);  // node 2 of test abc, code 1, named by the parameter file
  ProgrammeView* view = OpenWindow();
  ASSERT_NE(view, nullptr);
  QTest::mouseClick(view->add_button(), Qt::LeftButton);
  ui::SelectNodeDialog* dialog = nullptr;
  ASSERT_TRUE(
      WaitFor([&] { return (dialog = view->findChild<ui::SelectNodeDialog*>()) != nullptr; }));
  auto* list = dialog->findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  ASSERT_SOON_TRUE(list->count() == 1);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_Return);
  ASSERT_SOON_TRUE(view->events_table()->rowCount() == 1);
  QTableWidget* events = view->events_table();
  EXPECT_EQ(events->item(0, ProgrammeView::kNode)->text(), QStringLiteral("2"));
  EXPECT_EQ(events->item(0, ProgrammeView::kTest)->text(), QStringLiteral("abc"));
  EXPECT_EQ(events->item(0, ProgrammeView::kRepeats)->text(), QStringLiteral("1"));
  QTest::mouseClick(view->calculate_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return view->result().has_value() && !view->busy(); }, 60000))
      << messages_.join("|").toStdString();

  // Removing the event drops the result that no longer matches the events.
  view->tabs()->setCurrentIndex(ProgrammeView::kSetupTab);
  const QRect cell = events->visualRect(events->model()->index(0, ProgrammeView::kNode));
  QTest::mouseClick(events->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QTest::mouseClick(view->remove_button(), Qt::LeftButton);
  EXPECT_EQ(events->rowCount(), 0);
  EXPECT_FALSE(view->result().has_value());
  EXPECT_EQ(view->results_table()->rowCount(), 0);
}

TEST_F(ProgrammeWindowTest, ACancelledCalculationShowsNoResult) {
  WriteLongTest(1 << 18);  // node abc1#2: long enough to be cancelled while it is counted
  core::Programme programme;
  core::ProgrammeEvent event;
  event.data = data_.path().string();
  event.test = "abc";
  event.code = "1";
  event.node = "2";
  event.repeats = 3;
  programme.events.push_back(event);
  const std::filesystem::path file = data_.path() / "long.ini";
  ASSERT_TRUE(core::SaveProgrammeFile(file, programme));
  ProgrammeView* view = OpenWindow();
  ASSERT_NE(view, nullptr);
  ClickOpen(view, file);
  QTest::mouseClick(view->calculate_button(), Qt::LeftButton);
  ASSERT_SOON_TRUE(view->busy() && view->runner().dialog() != nullptr);
  EXPECT_FALSE(frame_->isEnabled()) << "the window waits for its calculation";
  QPushButton* cancel = nullptr;
  for (QPushButton* button : view->runner().dialog()->findChildren<QPushButton*>()) cancel = button;
  ASSERT_NE(cancel, nullptr);
  QTest::mouseClick(cancel, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !view->busy(); }, 60000));
  EXPECT_FALSE(view->result().has_value());
  EXPECT_EQ(view->results_table()->rowCount(), 0);
  EXPECT_SOON_TRUE(host_.statusBar()->currentMessage() ==
                   ui::Text(ui::TextKey::kProgrammeCancelled));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();
  EXPECT_TRUE(frame_->isEnabled());
  // A picture command without a result says so instead of printing nothing.
  ui::SendHostCommand(view, ui::command::kCopyPicture, 0);
  EXPECT_SOON_TRUE(messages_.size() == 1);
}

}  // namespace
}  // namespace torvwy::testing
