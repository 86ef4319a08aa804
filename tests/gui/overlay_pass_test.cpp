// Quitting with Ctrl+Q during a pass, and the overlay of nodes: counted behind the progress
// dialog with its Cancel, copied, printed and drawn on a log count axis.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "core/services/progress.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/doc_template.h"
#include "module/overlay_window.h"
#include "render/waveform_picture.h"
#include "ui/host_message.h"
#include "ui/language.h"
#include "ui/progress_dialog.h"

namespace torvwy::testing {
namespace {
namespace fs = std::filesystem;
using module::CountingView;
using module::OverlayWindow;

class OverlayPassTest : public CountingWindowTest {
 protected:
  /// Writes node `name` of test abc1: `amplitude` x a sine, 8 blocks, or with `half_blocks` a
  /// sparse int16 record of that length whose first blocks hold the sine.
  void WriteNodeOf(const char* name, double amplitude, int32_t half_blocks = 0) {
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "1";
    layout.node_name = name;
    std::vector<double> samples(8 * 1024);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = amplitude * std::sin(static_cast<double>(i) * 0.3);
    }
    if (half_blocks > 0) {
      layout.length_half_blocks = half_blocks;
      layout.format = 951;
    }
    const WrittenNode node = WriteNode(data_.path(), samples, layout);
    if (half_blocks > 0) {
      fs::resize_file(node.sts, static_cast<uintmax_t>(half_blocks) * 512 * 2);
    }
  }
  /// Asks for the overlay of `names` as the node chooser would answer.
  void AskOverlay(std::vector<std::string> names) {
    CountingView::SetOverlayNodesForTesting(std::move(names));
    ui::SendHostCommand(frame_, ui::command::kOverlayNodes, 0);
    CountingView::SetOverlayNodesForTesting(std::nullopt);
  }
  /// The overlay of nodes 2, 3 (twice as large) and 4 (four times), shown and painted.
  OverlayWindow* OpenOverlay() {
    WriteTest(8 * 1024);
    WriteNodeOf("3", 2.0);
    WriteNodeOf("4", 4.0);
    Open(module::kRainflowTemplate);
    AskOverlay({"2", "3", "4"});
    if (!WaitFor([&] { return view_->overlay_window() != nullptr; })) return nullptr;
    OverlayWindow* overlay = view_->overlay_window();
    if (!QTest::qWaitForWindowExposed(overlay)) return nullptr;
    overlay->repaint();
    return overlay;
  }
  /// Activates `window` and gives the keyboard focus to it, as a click on it would.
  static bool Activate(QWidget* window) {
    window->raise();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
  }
};

/// The longest horizontal run of pixels of exactly `colour` in `image` within `area`.
int LongestRun(const QImage& image, const QRect& area, QColor colour) {
  int longest = 0;
  const QRect box = area.intersected(image.rect());
  for (int y = box.top(); y <= box.bottom(); ++y) {
    int run = 0;
    for (int x = box.left(); x <= box.right(); ++x) {
      run = image.pixelColor(x, y).rgb() == colour.rgb() ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  }
  return longest;
}

TEST_F(OverlayPassTest, CtrlQDuringAPassCancelsItThenQuits) {
  WriteLongTest(1 << 19);
  Start(module::kPeakTemplate);
  ASSERT_TRUE(WaitFor([&] { return view_->busy(); }));
  bool ended_cancelled = false;
  // Cancelled while the envelope is read, the pass ends without a result; later, with a
  // partial one.
  QObject::connect(&view_->session(), &module::CountingSession::PassEnded,
                   [&] { ended_cancelled = !view_->result().has_value() || view_->cancelled(); });
  // The key as a person presses it, on whatever has the focus of the active window: the
  // progress dialog of the pass is up.
  ASSERT_TRUE(Activate(&host_));
  QWidget* focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &host_;
  QTest::keyClick(focus, Qt::Key_Q, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return host_.frames().empty() && !host_.isVisible(); }, 60000))
      << host_.frames().size() << " windows, main window shown " << host_.isVisible();
  EXPECT_TRUE(ended_cancelled) << "the pass was cancelled, not waited for";
}

TEST_F(OverlayPassTest, CancelDuringAnOverlayDrawsNothingAndLeavesTheWindowUsable) {
  WriteLongTest(1 << 18);
  WriteNodeOf("3", 2.0, 1 << 18);
  WriteNodeOf("4", 4.0, 1 << 18);
  // The window's own pass on node 2 is cancelled at once: only the overlay is timed here.
  Start(module::kRainflowTemplate);
  ASSERT_TRUE(WaitFor([&] { return view_->busy(); }));
  view_->CancelPass();
  ASSERT_TRUE(WaitFor([&] { return !view_->busy(); }, 60000));
  ASSERT_TRUE(PassMarker(frame_, view_));
  messages_.clear();

  AskOverlay({"2", "3", "4"});
  ASSERT_SOON_TRUE(view_->overlay_runner().busy() && view_->overlay_runner().dialog() != nullptr);
  ui::ProgressDialog* dialog = view_->overlay_runner().dialog();
  EXPECT_TRUE(view_->busy());
  // The window goes on drawing while the nodes are counted: the dialog names the node.
  EXPECT_SOON_TRUE(dialog->StatusText().contains(QStringLiteral("abc1#2 (1/3)")))
      << dialog->StatusText().toStdString();
  EXPECT_FALSE(frame_->isEnabled()) << "the analysis window waits for the pass";
  QPushButton* cancel = nullptr;
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) cancel = button;
  ASSERT_NE(cancel, nullptr);
  QTest::mouseClick(cancel, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return !view_->busy(); }, 60000));
  EXPECT_EQ(view_->overlay_window(), nullptr) << "nothing half-counted is drawn";
  EXPECT_SOON_TRUE(host_.statusBar()->currentMessage() == ui::Text(ui::TextKey::kOverlayCancelled));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("|").toStdString();
  // The window takes keys again: H switches its grid.
  EXPECT_TRUE(frame_->isEnabled());
  const bool grid = view_->view_state().grid_shown;
  ASSERT_TRUE(Activate(frame_->window()));
  view_->setFocus();
  QTest::keyClick(view_, Qt::Key_H);
  EXPECT_SOON_TRUE(view_->view_state().grid_shown != grid);
}

TEST_F(OverlayPassTest, CopyPutsThePictureWithItsLegendOnTheClipboard) {
  OverlayWindow* overlay = OpenOverlay();
  ASSERT_NE(overlay, nullptr);
  QApplication::clipboard()->clear();
  ASSERT_TRUE(Activate(overlay));
  QTest::keyClick(overlay, Qt::Key_C, Qt::ControlModifier);
  const QImage image = QApplication::clipboard()->image();
  ASSERT_FALSE(image.isNull()) << "Ctrl+C on the overlay copies its picture";
  EXPECT_EQ(image.width(), 800);
  const QRect area = overlay->PictureArea();
  EXPECT_EQ(image.height(), static_cast<int>(800.0 * area.height() / area.width()));
  // The legend's swatch of every node, in the top-right quarter where the legend sits.
  const QRect legend_quarter(image.width() / 2, 0, image.width() / 2, image.height() / 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(LongestRun(image, legend_quarter, render::OverlayColour(c)), 16) << "curve " << c;
  }
  // The menu's Copy does the same.
  QApplication::clipboard()->clear();
  overlay->copy_action()->trigger();
  EXPECT_EQ(QApplication::clipboard()->image().size(), image.size());
}

TEST_F(OverlayPassTest, PrintRendersTheOverlayOnAPage) {
  OverlayWindow* overlay = OpenOverlay();
  ASSERT_NE(overlay, nullptr);
  const fs::path pdf = data_.path() / "overlay.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  printer.setFullPage(true);
  ASSERT_TRUE(overlay->PrintOn(printer));
  QFile file(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  EXPECT_GT(bytes.size(), 2000) << "a page with the curves and the legend";
  EXPECT_TRUE(overlay->print_action()->isEnabled());
  EXPECT_EQ(overlay->print_action()->shortcut(), QKeySequence(QKeySequence::Print));
}

TEST_F(OverlayPassTest, TheLegendGivesEachNodesLargestCountAndTheLogAxisWorks) {
  OverlayWindow* overlay = OpenOverlay();
  ASSERT_NE(overlay, nullptr);
  const auto& drawn = overlay->drawn();
  ASSERT_EQ(drawn.legend.size(), 3u);
  const auto& curves = overlay->picture().curves;
  for (size_t c = 0; c < curves.size(); ++c) {
    const double largest = *std::max_element(curves[c].counts.begin(), curves[c].counts.end());
    const QString expected = QStringLiteral("abc1#%1 (largest count %2)")
                                 .arg(c + 2)
                                 .arg(static_cast<qlonglong>(largest));
    EXPECT_EQ(drawn.legend[c].text, expected);
    // The legend's text fits its box and lies within the curve area.
    EXPECT_TRUE(drawn.plot.wave_rect.contains(drawn.legend[c].box)) << c;
  }
  EXPECT_FALSE(overlay->log_action()->isChecked());
  EXPECT_GE(drawn.plot.y_low, 0.0);
  ASSERT_TRUE(Activate(overlay));
  QTest::keyClick(overlay, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
  overlay->repaint();
  EXPECT_TRUE(overlay->log_action()->isChecked());
  EXPECT_TRUE(overlay->picture().choices.log_counts);
  const render::DrawnPlot& plot = overlay->drawn().plot;
  // A log axis starts at a power of ten and spans whole decades.
  ASSERT_GT(plot.y_low, 0.0);
  const double decades = std::log10(plot.y_high / plot.y_low);
  EXPECT_NEAR(decades, std::round(decades), 1e-9);
  EXPECT_GE(decades, 1.0);
}

TEST_F(OverlayPassTest, TheNodesAreCountedWithTheWindowsResidueAndGate) {
  WriteTest(8 * 1024);
  WriteNodeOf("3", 2.0);
  core::TestContext test;
  test.test_name = "abc";
  test.test_code = "1";
  test.data_path = data_.path().string();
  core::CountingPlan plan;
  plan.kind = core::CountingKind::kRainflow;
  plan.residue = core::ResidueMethod::kDiscard;
  plan.gate = 0.75;
  core::SilentProgress progress;
  auto counted =
      module::CountOverlayNodes(plan, test, {"2", "3"}, core::Language::kEnglish, progress);
  ASSERT_TRUE(counted.ok()) << counted.error().detail;
  ASSERT_EQ(counted->files.size(), 2u);
  for (const core::AnyResultFile& file : counted->files) {
    const auto& result = std::get<core::RainflowResultFile>(file).result;
    EXPECT_EQ(result.residue, core::ResidueMethod::kDiscard);
    EXPECT_EQ(result.gate, 0.75);
  }
}

TEST_F(OverlayPassTest, AnAnalysisWindowFitsASmallMainWindow) {
  WriteTest(8 * 1024);
  host_.resize(500, 380);
  ASSERT_TRUE(WaitFor([&] { return host_.size() == QSize(500, 380); }));
  Open(module::kPeakTemplate);
  auto* area = host_.findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  QWidget* sub = frame_->parentWidget();
  ASSERT_NE(sub, nullptr);
  EXPECT_LE(sub->width(), area->viewport()->width());
  EXPECT_LE(sub->height(), area->viewport()->height());
  // Its panel collapses by itself, and the picture keeps the room.
  EXPECT_SOON_TRUE(frame_->control_panel()->collapsed());
  EXPECT_GE(view_->width(), sub->width() / 2);
}

}  // namespace
}  // namespace torvwy::testing
