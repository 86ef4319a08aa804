// The rest of the counting windows: the bookmark dialog writing back to the nodes' files, the
// two life estimates of the rainflow window, and the word after a cancelled pass.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>

#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/life_class_setting.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/bookmark_dialog.h"
#include "module/counting_view.h"
#include "module/life_parameter_dialog.h"
#include "render/draw_target.h"
#include "ui/fatigue_table.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::BookmarkDialog;
using module::CountingView;
using module::LifeParameterDialog;

/// The sampling section every node of these tests starts with; the bookmarks follow it.
std::string TspHead(const fs::path& tsp) {
  const std::string text = ReadFileBytes(tsp);
  return text.substr(0, text.find("[Labels]"));
}

class BookmarksAndFatigue : public CountingWindowTest {
 protected:
  /// Nodes "2" and "3" of test abc1, each with bookmarks, listed in that order.
  void WriteTwoNodes() {
    WriteTest(size_t{8192});
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "1";
    layout.node_name = "3";
    WriteNode(data_.path(), std::vector<double>(8192, 1.0), layout);
    for (const char* node : {"2", "3"}) {
      const fs::path tsp = data_.path() / ("abc1#" + std::string(node) + ".tsp");
      std::ofstream(tsp, std::ios::app | std::ios::binary)
          << "; kept as it is\r\n[Labels]\r\nLabelNum=3\r\nLabelPos001=100\r\nLabelText001=" << node
          << "a\r\nLabelPos002=4000\r\nLabelText002=" << node
          << "b\r\nLabelPos003=-5\r\nLabelText003=" << node << "c\r\n[After]\r\nKey=1\r\n";
    }
    core::TestContext context;
    context.test_name = "abc";
    context.test_code = "1";
    context.data_path = data_.path().string();
    context.result_path = data_.path().string();
    context.node_list = {"2", "3"};
    context.node_name = "2";
    ASSERT_TRUE(core::WriteAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName,
                                                 context));
  }
  void SelectRow(QListWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }
  /// Flags the picture draws over the inset.
  size_t DrawnFlags() {
    QImage image(800, 560, QImage::Format_RGB32);
    QPainter painter(&image);
    render::TargetGeometry window;
    window.area = QRect(0, 0, 800, 560);
    const auto report = view_->DrawPicture(painter, window);
    size_t flags = 0;
    for (const auto& plot : report.plots) flags += plot.flags.size();
    return flags;
  }
  LifeParameterDialog* WaitForLifeDialog() {
    LifeParameterDialog* dialog = nullptr;
    WaitFor([&] { return (dialog = view_->findChild<LifeParameterDialog*>()) != nullptr; }, 5000);
    return dialog;
  }
  void Press(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
    ASSERT_TRUE(PassMarker(frame_, view_));  // behind what the click posted
  }
  QPushButton* DialogButton(QDialog* dialog, QDialogButtonBox::ButtonRole role) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : box->buttons()) {
      if (box->buttonRole(button) == role) return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
  }
};

TEST_F(BookmarksAndFatigue, BookmarkDialogBrowsesRenamesAndDeletesAcrossNodes) {
  WriteTwoNodes();
  const fs::path tsp3 = data_.path() / "abc1#3.tsp";
  const std::string head3 = TspHead(tsp3);
  Open(module::kPeakTemplate);
  // Node 2's flags: positions 100 and 4000 lie in the record, -5 draws no flag.
  ASSERT_EQ(view_->bookmarks().size(), 3u);
  EXPECT_EQ(DrawnFlags(), 2u);

  QTest::keyClick(view_, Qt::Key_M);
  BookmarkDialog* dialog = view_->bookmark_dialog();
  // Shown growing from its centre; the buttons take clicks once it has its size.
  ASSERT_TRUE(
      WaitFor([&] { return dialog->isVisible() && dialog->size() == dialog->FullSize(); }, 5000));
  ASSERT_EQ(dialog->node_combo()->count(), 2);
  EXPECT_EQ(dialog->list()->count(), 3);
  EXPECT_EQ(dialog->list()->item(0)->text(), "2a");
  EXPECT_FALSE(dialog->add_button()->isEnabled());  // the views' mode: no Add, no Goto
  EXPECT_FALSE(dialog->goto_button()->isEnabled());

  // Node 3: its own bookmarks.
  dialog->node_combo()->setFocus();
  QTest::keyClick(dialog->node_combo(), Qt::Key_Down);
  ASSERT_SOON_TRUE(dialog->selected_node() == 1);
  EXPECT_EQ(dialog->list()->item(0)->text(), "3a");

  // A name of blanks leaves Rename disabled.
  SelectRow(dialog->list(), 1);
  QTest::keyClicks(dialog->new_name(), "   ");
  EXPECT_FALSE(dialog->rename_button()->isEnabled());
  dialog->new_name()->clear();
  QTest::keyClicks(dialog->new_name(), "Mitte");
  ASSERT_TRUE(dialog->rename_button()->isEnabled());
  Press(dialog->rename_button());
  EXPECT_EQ(ReadFileBytes(tsp3),
            head3 +
                "[Labels]\r\nLabelNum=3\r\nLabelPos001=100\r\nLabelText001=3a\r\n"
                "LabelPos002=4000\r\nLabelText002=Mitte\r\nLabelPos003=-5\r\n"
                "LabelText003=3c\r\n[After]\r\nKey=1\r\n");
  EXPECT_EQ(dialog->list()->item(1)->text(), "Mitte");

  SelectRow(dialog->list(), 0);
  Press(dialog->delete_button());
  EXPECT_EQ(ReadFileBytes(tsp3),
            head3 +
                "[Labels]\r\nLabelNum=2\r\nLabelPos001=4000\r\nLabelText001=Mitte\r\n"
                "LabelPos002=-5\r\nLabelText002=3c\r\n[After]\r\nKey=1\r\n");
  EXPECT_EQ(dialog->list()->count(), 2);
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
  // Node 2's file and flags are untouched.
  EXPECT_EQ(DrawnFlags(), 2u);

  // A file changed behind the dialog's back is left alone, and the dialog shows what it holds.
  {
    std::ofstream(tsp3, std::ios::binary | std::ios::trunc)
        << head3 << "[Labels]\r\nLabelNum=1\r\nLabelPos001=7\r\nLabelText001=other\r\n";
  }
  const std::string changed = ReadFileBytes(tsp3);
  SelectRow(dialog->list(), 1);
  Press(dialog->delete_button());
  EXPECT_EQ(ReadFileBytes(tsp3), changed);
  EXPECT_EQ(messages_.size(), 1);
  ASSERT_EQ(dialog->list()->count(), 1);
  EXPECT_EQ(dialog->list()->item(0)->text(), "other");

  // A write that fails (a full disk) changes nothing either.
  messages_.clear();
  core::SetSaveFaultForTesting([](const fs::path&) { return core::SaveFault::kWrite; });
  SelectRow(dialog->list(), 0);
  Press(dialog->delete_button());
  core::SetSaveFaultForTesting({});
  EXPECT_EQ(ReadFileBytes(tsp3), changed);
  EXPECT_EQ(messages_.size(), 1);
  EXPECT_EQ(dialog->list()->count(), 1);

  // Hide: no flags, the compact dialog; Show brings both back.
  Press(dialog->hide_radio());
  EXPECT_FALSE(view_->view_state().bookmarks_shown);
  EXPECT_EQ(DrawnFlags(), 0u);
  EXPECT_EQ(dialog->size(), dialog->CompactSize());
  EXPECT_LT(dialog->CompactSize().width(), dialog->FullSize().width());
  Press(dialog->show_radio());
  EXPECT_EQ(DrawnFlags(), 2u);
  EXPECT_EQ(dialog->size(), dialog->FullSize());

  // The host hides it (2025/1045 lParam 2); it goes with its window.
  host_.SendToActive(ui::command::kBookmarkDialog, 2);
  EXPECT_FALSE(dialog->isVisible());
  QPointer<BookmarkDialog> alive(dialog);
  frame_->CloseWindow();
  ASSERT_TRUE(WaitFor(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return alive.isNull();
      },
      5000));
}

// Saving a rainflow result tells the host nothing; the loaded result keeps its flags hidden and
// can still be estimated.
TEST_F(BookmarksAndFatigue, SavedResultOpensWithHiddenFlagsAndCanBeEstimated) {
  WriteTwoNodes();
  Open(module::kRainflowTemplate);
  CommandSpy spy(&host_);
  ui::SendHostCommand(frame_, ui::command::kSaveResult);
  const fs::path file = data_.path() / "abc1#2.RFL";
  ASSERT_TRUE(fs::exists(file)) << messages_.join("|").toStdString();
  ASSERT_TRUE(PassMarker(frame_, view_));  // behind anything the save posted
  EXPECT_TRUE(spy.codes.empty());

  auto* opened = qobject_cast<AnalysisFrame*>(host_.OpenResultFile(QString::fromStdString(file)));
  ASSERT_NE(opened, nullptr);
  frame_ = opened;
  view_ = qobject_cast<CountingView*>(opened->view());
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value(); }));
  BookmarkDialog* dialog = view_->bookmark_dialog();
  EXPECT_EQ(dialog->mode(), BookmarkDialog::kHideOnlyMode);
  EXPECT_TRUE(dialog->hide_radio()->isChecked());
  EXPECT_FALSE(dialog->hide_radio()->isEnabled());
  EXPECT_FALSE(dialog->show_radio()->isEnabled());
  EXPECT_EQ(DrawnFlags(), 0u);
  auto* actual = opened->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  ASSERT_NE(actual, nullptr);
  EXPECT_TRUE(WaitFor([&] { return actual->isEnabled(); }, 5000));
}

TEST_F(BookmarksAndFatigue, LifeEstimatesMatchTheCommandLine) {
  WriteTest(size_t{16384});
  Open(module::kRainflowTemplate);
  auto* actual = frame_->findChild<QPushButton*>(QStringLiteral("actual_estimate"));
  auto* fitting = frame_->findChild<QPushButton*>(QStringLiteral("fitting_estimate"));
  ASSERT_NE(actual, nullptr);
  ASSERT_NE(fitting, nullptr);
  ASSERT_TRUE(WaitFor([&] { return actual->isEnabled() && fitting->isEnabled(); }, 5000));
  const fs::path list = core::FatigueListPath();
  const std::string lang = ui::UiLanguage() == core::Language::kChinese ? "zh" : "en";

  struct Case {
    QPushButton* button;
    const char* method;
    int class_index;  // D, then F2
    const char* class_name;
  };
  for (const Case& c : {Case{actual, "actual", 2, "D"}, Case{fitting, "fitting", 5, "F2"}}) {
    CommandSpy spy(&host_);
    fs::remove(list);
    Press(c.button);
    LifeParameterDialog* dialog = WaitForLifeDialog();
    ASSERT_NE(dialog, nullptr) << c.method;
    // The factor always opens on d = 2.0.
    EXPECT_EQ(dialog->reliability_index(), 3);
    // The class from the curve box's keys.
    dialog->curve_box()->setFocus();
    QTest::keyClick(dialog->curve_box(), Qt::Key_Home);
    for (int i = 0; i < c.class_index; ++i) QTest::keyClick(dialog->curve_box(), Qt::Key_Down);
    ASSERT_EQ(dialog->class_index(), c.class_index);
    Press(DialogButton(dialog, QDialogButtonBox::AcceptRole));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(list); }, 5000)) << c.method;
    ASSERT_TRUE(PassMarker(frame_, view_));  // behind anything the estimate posted
    EXPECT_EQ(std::count(spy.codes.begin(), spy.codes.end(), ui::command::kFileStored), 1)
        << c.method;
    EXPECT_EQ(core::ReadLifeClassIndex(), c.class_index);
    const std::string from_window = ReadFileBytes(list);

    // The command line on the same node writes the same table.
    fs::remove(list);
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TORVWY_LANG", QString::fromStdString(lang));
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(TORVWY_CLI),
              {"rainflow", "--data", QString::fromStdString(data_.path().string()), "--test", "abc",
               "--code", "1", "--node", "2", "--fatigue", c.method, "--class", c.class_name});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(ReadFileBytes(list), from_window) << c.method;

    // The host shows the table, its total damage and the life it implies.
    auto* table = host_.findChild<ui::FatigueTableWidget*>();
    ASSERT_NE(table, nullptr);
    const auto kept = ui::LastFatigueTable();
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(table->table()->rowCount(), kept->result.partitions);
    EXPECT_TRUE(table->total_damage()->text().endsWith(
        QString::fromStdString(core::FormatNumber(kept->result.total_damage, 4))));
    // 16 blocks of 1024 samples at 1024 Hz: the life is 16 s over the damage.
    ASSERT_TRUE(ui::ImpliedLifeSeconds(*kept).has_value());
    EXPECT_DOUBLE_EQ(*ui::ImpliedLifeSeconds(*kept), 16.0 / kept->result.total_damage);
  }
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();

  // Cancel: nothing computed, written or sent.
  CommandSpy spy(&host_);
  fs::remove(list);
  Press(actual);
  LifeParameterDialog* dialog = WaitForLifeDialog();
  ASSERT_NE(dialog, nullptr);
  Press(DialogButton(dialog, QDialogButtonBox::RejectRole));
  ASSERT_TRUE(WaitFor([&] { return view_->findChild<LifeParameterDialog*>() == nullptr; }));
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_FALSE(fs::exists(list));
  EXPECT_TRUE(spy.codes.empty());
}

TEST_F(BookmarksAndFatigue, RefusedEstimateWritesNothing) {
  // Every cycle has the same range: one non-empty partition, which no fit can be drawn through.
  std::vector<double> x(8192);
  for (size_t i = 0; i < x.size(); ++i) x[i] = i % 2 == 0 ? 0.0 : 100.0;
  WriteTest(x);
  Open(module::kRainflowTemplate);
  auto* fitting = frame_->findChild<QPushButton*>(QStringLiteral("fitting_estimate"));
  ASSERT_TRUE(WaitFor([&] { return fitting->isEnabled(); }, 5000));
  const fs::path list = core::FatigueListPath();
  fs::remove(list);
  CommandSpy spy(&host_);
  Press(fitting);
  LifeParameterDialog* dialog = WaitForLifeDialog();
  ASSERT_NE(dialog, nullptr);
  Press(DialogButton(dialog, QDialogButtonBox::AcceptRole));
  ASSERT_TRUE(WaitFor([&] { return !messages_.isEmpty(); }, 5000));
  EXPECT_FALSE(fs::exists(list));
  EXPECT_TRUE(spy.codes.empty());
}

}  // namespace
}  // namespace torvwy::testing
