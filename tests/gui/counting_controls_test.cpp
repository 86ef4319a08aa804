// The counting windows as an engineer works in them: the setup dialog, the panel, the cursor,
// zoom and keys, the readout list and its box, and the keys the host must leave to the view.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/files/result_file.h"
#include "core/report/list_export.h"
#include "core/services/folders.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/setup_dialog.h"
#include "module/y_scale_dialog.h"
#include "ui/host_message.h"
#include "ui/language.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::AnalysisFrame;
using module::ControlPanel;
using module::CountingView;
using module::SetupDialog;

/// Two blocks of the zigzag 0 10 0 -5.5 0 4.2 0 -2.5. With A = 10 and N = 25 the two-way
/// totals are 256 at partitions 5 (valley -5.5), 17 (peak 4.2) and 24 (peak 10) and 255 at 9
/// (valley -2.5, the record's last sample has no right neighbour); all others are 0.
std::vector<double> Zigzag() {
  const double period[] = {0, 10, 0, -5.5, 0, 4.2, 0, -2.5};
  std::vector<double> x(2048);
  for (size_t i = 0; i < x.size(); ++i) x[i] = period[i % 8];
  return x;
}

class CountingControls : public CountingWindowTest {
 protected:
  void Click(const char* name) {
    auto* button = frame_->control_panel()->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(PassMarker(frame_, view_));
  }
};

TEST_F(CountingControls, CursorMovesFromKeysButtonsHostAndMouse) {
  WriteTest(Zigzag());
  Open(module::kPeakTemplate);
  ASSERT_EQ(view_->partitions(), 25);
  ASSERT_EQ(view_->cursor(), 12);  // N / 2 after the count
  EXPECT_EQ(view_->windowTitle().toStdString(),
            "Peak Counting Analysis -- Test Name:abc, Test Code:1, Node:2");
  // Larger step max(1, 25 / 10) = 2. Local maxima of the totals 5, 9, 17, 24; local minima
  // the zeros beside them: 4, 6, 8, 10, 16, 18, 23.
  struct Case {
    int from;
    const char* how;
    int code;  // -1: a key
    Qt::Key key;
    int to;
  };
  const Case cases[] = {
      {12, "Left", -1, Qt::Key_Left, 11},       {12, "Right", -1, Qt::Key_Right, 13},
      {12, "Down", -1, Qt::Key_Down, 10},       {12, "Up", -1, Qt::Key_Up, 14},
      {0, "Left at 0", -1, Qt::Key_Left, 0},    {24, "Right at N-1", -1, Qt::Key_Right, 24},
      {23, "Up near N-1", -1, Qt::Key_Up, 24},  {1, "Down near 0", -1, Qt::Key_Down, 0},
      {12, "cursor_4", 4, Qt::Key_unknown, 9},  {12, "cursor_6", 6, Qt::Key_unknown, 17},
      {12, "cursor_5", 5, Qt::Key_unknown, 10}, {12, "cursor_7", 7, Qt::Key_unknown, 16},
      {12, "cursor_8", 8, Qt::Key_unknown, 5},  {12, "cursor_9", 9, Qt::Key_unknown, 0},
      {5, "cursor_4", 4, Qt::Key_unknown, 5},   {24, "cursor_6", 6, Qt::Key_unknown, 24},
      {12, "cursor_1", 1, Qt::Key_unknown, 10}, {12, "cursor_3", 3, Qt::Key_unknown, 14},
  };
  for (const Case& c : cases) {
    // Put the cursor at `from` with the host's command, then move it as the user does.
    ui::SendHostCommand(frame_, ui::command::kMoveCursor, 9);  // to 0
    for (int i = 0; i < c.from; ++i) ui::SendHostCommand(frame_, ui::command::kMoveCursor, 2);
    ASSERT_EQ(view_->cursor(), c.from);
    if (c.code < 0) {
      Key(c.key);
    } else {
      Click(c.how);
    }
    EXPECT_EQ(view_->cursor(), c.to) << c.how << " from " << c.from;
  }
  // Codes outside 0..9 are ignored.
  ui::SendHostCommand(frame_, ui::command::kMoveCursor, 10);
  ui::SendHostCommand(frame_, ui::command::kMoveCursor, -1);
  EXPECT_EQ(view_->cursor(), 14);

  // A click in a count plot places the cursor on the partition under it; pixel x belongs to
  // partition floor((x - left + 0.5) * N / width).
  const render::DrawnPlot* plot = nullptr;
  for (const auto& p : view_->drawn().plots) {
    if (!p.inset) plot = &p;
  }
  ASSERT_NE(plot, nullptr);
  const QRect r = plot->wave_rect;
  const int y = r.center().y();
  const int edge10 = r.left() + static_cast<int>(std::ceil(10.0 * r.width() / 25.0 - 0.5));
  const struct {
    int x, partition;
  } clicks[] = {{r.left(), 0}, {r.right(), 24}, {edge10, 10}, {edge10 - 1, 9}};
  for (const auto& c : clicks) {
    QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, QPoint(c.x, y));
    EXPECT_EQ(view_->cursor(), c.partition) << "x " << c.x;
  }
  // A click outside the plots leaves it.
  QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, QPoint(r.left(), r.top() - 2));
  EXPECT_EQ(view_->cursor(), 9);
}

TEST_F(CountingControls, ZoomKeysPanelAndDialogStayWithinBounds) {
  WriteTest(Zigzag());
  Open(module::kPeakTemplate);  // the largest count is 256
  for (int i = 0; i < 80; ++i) QTest::keyClick(view_, Qt::Key_Plus);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_DOUBLE_EQ(view_->view_state().zoom, 1000.0);
  Key(Qt::Key_I);
  EXPECT_DOUBLE_EQ(view_->view_state().zoom, 1.0);
  Key(Qt::Key_Minus);
  EXPECT_NEAR(view_->view_state().zoom, 1.0 / 1.1, 1e-12);
  for (int i = 0; i < 160; ++i) QTest::keyClick(view_, Qt::Key_Minus);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_DOUBLE_EQ(view_->view_state().zoom, 0.001);

  // The panel's slider: "-" from 200 gives 181 (trunc of 181.8), "+" then 199; zoom 10^(-0.01).
  Click("zoom_reset");
  auto* slider = frame_->control_panel()->findChild<QSlider*>(QStringLiteral("zoom_slider"));
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ(slider->value(), 200);
  EXPECT_DOUBLE_EQ(view_->view_state().zoom, 1.0);
  Click("zoom_out");
  EXPECT_EQ(slider->value(), 181);
  Click("zoom_in");
  EXPECT_EQ(slider->value(), 199);
  EXPECT_NEAR(view_->view_state().zoom, std::pow(10.0, -0.01), 1e-12);
  slider->setValue(400);
  ASSERT_TRUE(PassMarker(frame_, view_));
  Click("zoom_in");  // asks for 440: the slider keeps 400
  EXPECT_EQ(slider->value(), 400);
  EXPECT_NEAR(view_->view_state().zoom, 100.0, 1e-9);
  // A slider position outside 0..400 sent to the view is ignored.
  ui::PostHostNotice(frame_, ui::notice::kZoomSlider, 401);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_NEAR(view_->view_state().zoom, 100.0, 1e-9);

  // "V": the Y-scale dialog; 0 gives the largest zoom, 307.2 (the largest count 256 x 1.2)
  // zoom 1.
  for (const auto& [entered, zoom] : {std::pair{"0", 1000.0}, std::pair{"307.2", 1.0}}) {
    Key(Qt::Key_V);
    module::YScaleDialog* dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = view_->findChild<module::YScaleDialog*>()); }));
    dialog->field()->setText(QString::fromLatin1(entered));
    QTest::keyClick(dialog->field(), Qt::Key_Return);
    ASSERT_TRUE(PassMarker(frame_, view_));
    EXPECT_NEAR(view_->view_state().zoom, zoom, 1e-9) << entered;
    ASSERT_TRUE(WaitFor([&] { return view_->findChild<module::YScaleDialog*>() == nullptr; }));
  }
}

TEST_F(CountingControls, ReadoutListCollectSortSaveCopyAndBox) {
  WriteTest(Zigzag());
  Open(module::kPeakTemplate);
  Key(Qt::Key_T);  // peaks and valleys together: one count column
  EXPECT_SOON_TRUE(!view_->view_state().separately);
  // Collect 24, 5 (twice: one entry), 17 and 9 with the cursor buttons and "R".
  for (const char* move : {"cursor_8", "cursor_6", "cursor_6"}) {
    Click(move);  // 5 (the first largest), then the maxima to the right: 9, 17
  }
  EXPECT_EQ(view_->cursor(), 17);
  Key(Qt::Key_R);
  Click("cursor_8");
  Key(Qt::Key_R);
  Key(Qt::Key_R);
  Click("readout_0");
  Click("cursor_6");
  Key(Qt::Key_R);
  ui::SendHostCommand(frame_, ui::command::kMoveCursor, 3);  // 9 -> 11 -> ...
  for (int i = 0; i < 7; ++i) ui::SendHostCommand(frame_, ui::command::kMoveCursor, 3);
  EXPECT_EQ(view_->cursor(), 24);
  Key(Qt::Key_R);
  EXPECT_EQ(view_->readouts().indices, (std::vector<uint32_t>{5, 9, 17, 24}));
  EXPECT_EQ(view_->view_state().readouts, (std::vector<int32_t>{5, 9, 17, 24}));

  // Sort by Y with the panel's box: counts 256 255 256 256 become 256 256 256 255 by an
  // exchange sort over all pairs: 5 17 24 9. Back to X: 5 9 17 24.
  auto* sort_by = frame_->control_panel()->findChild<QComboBox*>(QStringLiteral("sort_by"));
  ASSERT_NE(sort_by, nullptr);
  QTest::keyClick(sort_by, Qt::Key_Down);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_EQ(view_->readouts().indices, (std::vector<uint32_t>{5, 17, 24, 9}));
  QTest::keyClick(sort_by, Qt::Key_Up);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_EQ(view_->readouts().indices, (std::vector<uint32_t>{5, 9, 17, 24}));

  // The list text: A = 10, W2 = 0.8; XL = i W2 - A, X = (i + 0.5) W2 - A, XR = (i + 1) W2 - A.
  const std::string expected =
      "No.  XL(Left)    X(Center)   XR(Right)   Count       \r\n"
      "1    -6          -5.6        -5.2        256         \r\n"
      "2    -2.8        -2.4        -2          255         \r\n"
      "3    3.6         4           4.4         256         \r\n"
      "4    9.2         9.6         10          256         \r\n";
  const fs::path text = data_.path() / "list.txt";
  CountingView::SetSaveNameForTesting(QString::fromStdString(text.string()));
  Click("readout_5");
  EXPECT_EQ(ReadFileBytes(text), expected);
  Click("readout_6");
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);

  // The report takes the collected list.
  const fs::path work = core::GetWorkFolder();
  fs::remove(work / "TorvRpt.txt");
  ui::SendHostCommand(frame_, ui::command::kReport);
  EXPECT_NE(ReadFileBytes(work / "TorvRpt.txt").find("[LISTDATA]"), std::string::npos);

  // A name ending in .xls goes to the list converter as .xlsx, and the window says so.
  fs::remove(work / core::kListNameFileName);
  CountingView::SetSaveNameForTesting(QString::fromStdString((data_.path() / "list.xls").string()));
  Click("readout_5");
  const auto listed = core::ReadListExport(work);
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->target, (data_.path() / "list.xlsx").string());
  EXPECT_EQ(listed->table.rows.size(), 4u);
  EXPECT_TRUE(host_.statusBar()->currentMessage().contains(QStringLiteral(".xlsx")))
      << host_.statusBar()->currentMessage().toStdString();

  // The list box: "L" shows it; a drag far beyond the window keeps it inside; a click in its
  // close square closes it and keeps its place.
  Key(Qt::Key_L);
  QRect box = view_->drawn().readout_box;
  ASSERT_FALSE(box.isEmpty());
  EXPECT_TRUE(view_->rect().contains(box));
  QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, box.center());
  QTest::mouseMove(view_, box.center() + QPoint(5000, 5000));
  QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, box.center() + QPoint(5000, 5000));
  box = view_->drawn().readout_box;
  ASSERT_FALSE(box.isEmpty());
  EXPECT_TRUE(view_->rect().contains(box)) << box.right() << " " << box.bottom();
  EXPECT_GT(box.bottom(), view_->height() - 10);
  EXPECT_LT(box.right(), view_->drawn().column.left())  // never over the information column
      << box.left() << "+" << box.width() << " column " << view_->drawn().column.left() << " of "
      << view_->width();
  const int cursor = view_->cursor();
  QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, box.topRight() + QPoint(-2, 2));
  EXPECT_FALSE(view_->view_state().readout_box.shown);
  EXPECT_TRUE(view_->drawn().readout_box.isEmpty());
  EXPECT_EQ(view_->cursor(), cursor);
  Key(Qt::Key_L);
  EXPECT_EQ(view_->drawn().readout_box, box);

  // The label-type box sets how the collected partitions are marked; "Line" is style 0.
  auto* labels = frame_->control_panel()->findChild<QComboBox*>(QStringLiteral("label_type"));
  ASSERT_NE(labels, nullptr);
  QTest::keyClick(labels, Qt::Key_Home);
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_EQ(view_->view_state().mark_style, 0);
  ui::SendHostCommand(frame_, ui::command::kMarkStyle, 5);  // outside 0..4: ignored
  EXPECT_EQ(view_->view_state().mark_style, 0);

  // "C" clears (the host's View menu must not take the bare key); "W" changes the display and
  // starts a new list.
  Key(Qt::Key_C);
  EXPECT_TRUE(view_->readouts().empty());
  EXPECT_TRUE(view_->drawn().readout_box.isEmpty());
  Key(Qt::Key_R);
  EXPECT_EQ(view_->readouts().size(), 1u);
  Key(Qt::Key_W);
  EXPECT_SOON_TRUE(view_->view_state().one_way);
  EXPECT_TRUE(view_->readouts().empty());
}

TEST_F(CountingControls, PanelKeysAndHostKeysLeaveTheViewItsLetters) {
  WriteTest(Zigzag());
  Open(module::kRangeTemplate);
  ControlPanel* panel = frame_->control_panel();
  auto* style = panel->findChild<QComboBox*>(QStringLiteral("curve_style"));
  auto* labels = panel->findChild<QComboBox*>(QStringLiteral("label_type"));
  auto* sort_by = panel->findChild<QComboBox*>(QStringLiteral("sort_by"));
  ASSERT_TRUE(style && labels && sort_by);
  EXPECT_EQ(style->currentIndex(), 4);    // Hollow Bar
  EXPECT_EQ(labels->currentIndex(), 4);   // Index
  EXPECT_EQ(sort_by->currentIndex(), 0);  // X Value
  // "Y" steps the curve style and wraps from Area (7) to Line (0); Points (6) is a scatter.
  for (int expected : {5, 6, 7, 0}) {
    Key(Qt::Key_Y);
    EXPECT_EQ(style->currentIndex(), expected);
  }
  EXPECT_SOON_EQ(view_->view_state().curve_type, 0);
  // "K" flips the inset, "W" the direction, "H" the grid: each reaches the view.
  const bool inset = view_->view_state().inset_shown;
  Key(Qt::Key_K);
  EXPECT_SOON_EQ(view_->view_state().inset_shown, !inset);
  Key(Qt::Key_W);
  EXPECT_SOON_TRUE(view_->view_state().one_way);
  const bool grid = view_->view_state().grid_shown;
  Key(Qt::Key_H);
  EXPECT_EQ(view_->view_state().grid_shown, !grid);
  // The host's View menu has its shortcuts with a modifier.
  QApplication::setActiveWindow(&host_);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  Key(Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_SOON_EQ(view_->view_state().grid_shown, grid);
  // F12 collapses the panel and expands it again.
  Key(Qt::Key_F12);
  EXPECT_TRUE(panel->collapsed());
  Key(Qt::Key_F12);
  EXPECT_FALSE(panel->collapsed());
}

TEST_F(CountingControls, SetupDialogSettlesAndRecountsAsTheCommandLineDoes) {
  WriteTest(40 * 1024);  // 40 blocks
  SetupDialog::SetAnswerForTesting(std::nullopt);
  frame_ = qobject_cast<AnalysisFrame*>(host_.OpenWindow(module::kRangeTemplate));
  view_ = qobject_cast<CountingView*>(frame_->view());
  // The first dialog: N 25, Maximum Value, the set value the AD range (float64: full scale
  // 10000, range counting 2 x 10000 / c2 / c1). Cancel counts all the same.
  SetupDialog* dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->partitions()->text(), QStringLiteral("25"));
  EXPECT_EQ(dialog->amplitude_group()->checkedId(), core::kAmplitudeAutomatic);
  EXPECT_EQ(dialog->set_value()->text(), QStringLiteral("20000"));
  EXPECT_FALSE(dialog->block_from()->isEnabled());
  EXPECT_FALSE(dialog->set_value()->isEnabled());
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return view_->result().has_value() && !view_->busy(); }));
  EXPECT_EQ(view_->partitions(), 25);
  EXPECT_EQ(view_->parameters().set_value, 20000.0);  // taken before the dialog, kept on Cancel

  // "O": By Block 30..10, 5000 partitions, OK: counted over blocks 10..30 with N = 2000.
  view_->setFocus();
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  QTest::mouseClick(dialog->range_group()->button(core::kRangeByBlock), Qt::LeftButton);
  EXPECT_TRUE(dialog->block_from()->isEnabled());
  for (auto [field, text] :
       {std::pair{dialog->block_from(), "30"}, std::pair{dialog->block_to(), "10"},
        std::pair{dialog->partitions(), "5000"}}) {
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(text));
  }
  QTest::mouseClick(dialog->spin_up(), Qt::LeftButton);  // the spin control stops at 2000
  EXPECT_EQ(dialog->partitions()->text(), QStringLiteral("2000"));
  dialog->partitions()->setText(QStringLiteral("5000"));
  QTest::keyClick(dialog->partitions(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return !view_->busy() && view_->partitions() == 2000; }));
  EXPECT_EQ(view_->parameters().partitions, 5000);
  EXPECT_EQ(view_->parameters().first_block, 10);
  EXPECT_EQ(view_->parameters().last_block, 30);

  // The command line on the same node and parameters counts the same.
  const fs::path cli_out = data_.path() / "cli";
  fs::create_directories(cli_out);
  QProcess cli;
  cli.start(QStringLiteral(TORVWY_CLI),
            {"range", "--data", QString::fromStdString(data_.path().string()), "--test", "abc",
             "--code", "1", "--node", "2", "--blocks", "30-10", "--partitions", "5000", "--save",
             "--result-dir", QString::fromStdString(cli_out.string())});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  auto saved = core::OpenResultFile(cli_out / "abc1#2.DCM");
  ASSERT_TRUE(saved);
  const auto& cli_counts = std::get<core::RangeResultFile>(*saved).result;
  const auto& shown = std::get<core::RangeResultFile>(*view_->result()).result;
  EXPECT_EQ(shown.partitions, cli_counts.partitions);
  EXPECT_EQ(shown.first_block, cli_counts.first_block);
  EXPECT_EQ(shown.two_way_counts, cli_counts.two_way_counts);
  EXPECT_EQ(shown.one_way_counts, cli_counts.one_way_counts);

  // Cancel keeps every field; a set value of 0 typed on OK is no amplitude range: it is refused,
  // and the last good value stays, in the parameters and in the dialog when it opens next.
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  dialog->partitions()->setText(QStringLiteral("7"));
  dialog->set_value()->setText(QStringLiteral("0.0"));
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return view_->findChild<SetupDialog*>() == nullptr; }));
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_FALSE(view_->busy());
  EXPECT_EQ(view_->parameters().partitions, 5000);
  EXPECT_EQ(view_->parameters().set_value, 20000.0);
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  QTest::mouseClick(dialog->amplitude_group()->button(core::kAmplitudeSetValue), Qt::LeftButton);
  dialog->set_value()->setText(QStringLiteral("0"));
  messages_.clear();
  QTest::keyClick(dialog->set_value(), Qt::Key_Return);
  // The plan refuses it in the dialog, which stays open for a better value; Esc leaves it.
  ASSERT_EQ(messages_.size(), 1) << messages_.join("|").toStdString();
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("--amplitude = 0 is not a finite number")))
      << messages_[0].toStdString();
  EXPECT_EQ(view_->findChild<SetupDialog*>(), dialog);
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(
      WaitFor([&] { return !view_->busy() && view_->findChild<SetupDialog*>() == nullptr; }));
  EXPECT_EQ(view_->parameters().set_value, 20000.0);
  // A value whose partition width A / N underflows is refused before any pass, with the text
  // the command line gives (N = 5000 is counted with 2000).
  const auto counted_range = [&] {
    return std::get<core::RangeResultFile>(*view_->result()).result.amplitude_range;
  };
  const double shown_range = counted_range();
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  QTest::mouseClick(dialog->amplitude_group()->button(core::kAmplitudeSetValue), Qt::LeftButton);
  dialog->set_value()->selectAll();
  QTest::keyClicks(dialog->set_value(), QStringLiteral("4.9e-324"));
  messages_.clear();
  QTest::keyClick(dialog->set_value(), Qt::Key_Return);
  ASSERT_EQ(messages_.size(), 1) << messages_.join("|").toStdString();
  EXPECT_TRUE(messages_[0].contains(
      QStringLiteral("--amplitude = 5e-324 makes the partition width too small: A / "
                     "2000 is below 2.2250738585072014e-308")))
      << messages_[0].toStdString();
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(
      WaitFor([&] { return !view_->busy() && view_->findChild<SetupDialog*>() == nullptr; }));
  EXPECT_EQ(view_->parameters().set_value, 20000.0);
  EXPECT_EQ(counted_range(), shown_range);
  Key(Qt::Key_O);
  dialog = WaitForSetup();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->set_value()->text(), QStringLiteral("20000"));
  QTest::keyClick(dialog, Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return view_->findChild<SetupDialog*>() == nullptr; }));
  ASSERT_TRUE(PassMarker(frame_, view_));
  EXPECT_FALSE(view_->busy());
  EXPECT_EQ(view_->parameters().set_value, 20000.0);
}

TEST_F(CountingControls, PanelCaptionsAreNotCutInEitherLanguage) {
  for (const core::Language language : {core::Language::kChinese, core::Language::kEnglish}) {
    ui::SetUiLanguage(language);
    for (const auto kind :
         {core::CountingKind::kPeak, core::CountingKind::kRange, core::CountingKind::kRainflow}) {
      ControlPanel panel(kind, nullptr);
      panel.resize(panel.sizeHint());
      panel.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
      const auto captions = [&] {
        std::vector<QWidget*> shown;
        for (QWidget* widget : panel.findChildren<QWidget*>()) {
          if (widget->isVisible() &&
              (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget))) {
            shown.push_back(widget);
          }
        }
        return shown;
      };
      // The layout is laid out once the posted layout requests have run.
      WaitFor([&] {
        return std::ranges::all_of(captions(), [](QWidget* widget) {
          return widget->width() >= widget->minimumSizeHint().width();
        });
      });
      for (QWidget* widget : captions()) {
        EXPECT_GE(widget->width(), widget->minimumSizeHint().width())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString()
            << " in language " << static_cast<int>(language);
      }
    }
  }
}

TEST_F(CountingControls, ContextMenuChecksItsItems) {
  WriteTest(Zigzag());
  Open(module::kRainflowTemplate);
  Key(Qt::Key_H);  // grid off
  struct Item {
    QString text;
    bool checkable, checked, enabled;
  };
  std::vector<Item> items;
  QTimer::singleShot(300, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
          items.push_back({QStringLiteral("-"), false, false, false});
        } else {
          items.push_back(
              {action->text(), action->isCheckable(), action->isChecked(), action->isEnabled()});
        }
      }
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                          view_->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(view_, &event);
  ASSERT_EQ(items.size(), 11u);
  EXPECT_EQ(items[0].text, QStringLiteral("[H] Grid"));
  EXPECT_TRUE(items[0].checkable);
  EXPECT_FALSE(items[0].checked);
  EXPECT_TRUE(items[1].checked);                                  // cursor
  EXPECT_TRUE(items[2].checked);                                  // full waveform
  EXPECT_TRUE(items[3].enabled);                                  // the bookmark dialog
  EXPECT_EQ(items[4].text, QStringLiteral("Range-Mean Matrix"));  // the rainflow window's own
  EXPECT_TRUE(items[4].checkable);
  EXPECT_FALSE(items[4].checked);
  EXPECT_EQ(items[5].text, QStringLiteral("From-To Matrix"));
  EXPECT_TRUE(items[5].checkable);
  EXPECT_FALSE(items[5].checked);
  EXPECT_EQ(items[6].text, QStringLiteral("Log Count Axis"));
  EXPECT_TRUE(items[6].checkable);
  EXPECT_FALSE(items[6].checked);
  EXPECT_EQ(items[7].text, QStringLiteral("View Waveform..."));
  EXPECT_EQ(items[8].text, QStringLiteral("Overlay Nodes..."));
  EXPECT_EQ(items[9].text, QStringLiteral("-"));
  EXPECT_EQ(items[10].text, QStringLiteral("[O] Setup"));
  EXPECT_TRUE(items[10].enabled);
}

}  // namespace
}  // namespace torvwy::testing
