// The time-history viewer, the log count axis and the overlay of nodes, driven by real events.
#include "module/waveform_viewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <atomic>
#include <cmath>
#include <filesystem>

#include "core/data/waveform_window.h"
#include "core/run/counting_run.h"
#include "core/services/folders.h"
#include "core/services/profile.h"
#include "counting_window_fixture.h"
#include "module/analysis_frame.h"
#include "module/control_panel.h"
#include "module/counting_view.h"
#include "module/doc_template.h"
#include "module/overlay_window.h"
#include "render/count_axis_setting.h"
#include "ui/host_message.h"

namespace torvwy::testing {
namespace {

using module::AnalysisFrame;
using module::CountingView;
using module::WaveformViewer;

/// A wheel turn of `notches` (positive: away from the user) at `at`.
void Wheel(QWidget* widget, QPoint at, int notches) {
  QWheelEvent event(QPointF(at), QPointF(widget->mapToGlobal(at)), QPoint(),
                    QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to) {
  QTest::mousePress(widget, button, Qt::NoModifier, from);
  QTest::mouseMove(widget, QPoint((from.x() + to.x()) / 2, to.y()));
  QTest::mouseMove(widget, to);
  QTest::mouseRelease(widget, button, Qt::NoModifier, to);
}

using WaveformViewerTest = CountingWindowTest;

TEST_F(WaveformViewerTest, ZoomAndPanChangeTheStretchAndADragPicksTheSetupBlocks) {
  WriteTest(40 * 1024);  // 40 blocks
  Open(module::kRainflowTemplate);
  auto* button = frame_->control_panel()->findChild<QPushButton*>("view_waveform");
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_SOON_TRUE(view_->waveform_viewer() != nullptr);
  WaveformViewer* viewer = view_->waveform_viewer();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
  viewer->resize(1000, 400);
  viewer->repaint();
  const int64_t record = 40 * 1024;
  EXPECT_EQ(viewer->view_first(), 0);
  EXPECT_EQ(viewer->view_count(), record);
  QRect wave = viewer->drawn().wave_rect;
  ASSERT_GT(wave.width(), 100);

  // One notch in at the middle of the curve: 0.8 of the samples, the middle sample kept.
  const QPoint middle = wave.center();
  const int64_t under =
      viewer->view_first() +
      static_cast<int64_t>((middle.x() - wave.left()) / static_cast<double>(wave.width()) * record);
  Wheel(viewer, middle, 1);
  viewer->repaint();
  EXPECT_EQ(viewer->view_count(), std::llround(record * 0.8));
  const double share = static_cast<double>(under - viewer->view_first()) / viewer->view_count();
  EXPECT_NEAR(share, (middle.x() - wave.left()) / static_cast<double>(wave.width()), 0.01);
  // + halves, Right moves a quarter on, - doubles back, Home shows all.
  const int64_t after_wheel = viewer->view_count();
  QTest::keyClick(viewer, Qt::Key_Plus);
  viewer->repaint();
  EXPECT_EQ(viewer->view_count(), std::llround(after_wheel * 0.5));
  const int64_t first = viewer->view_first();
  const int64_t count = viewer->view_count();
  QTest::keyClick(viewer, Qt::Key_Right);
  viewer->repaint();
  EXPECT_EQ(viewer->view_first(), first + count / 4);
  // A right drag 100 pixels to the left moves the stretch 100 pixels' worth of samples on.
  wave = viewer->drawn().wave_rect;
  const int64_t before_pan = viewer->view_first();
  Drag(viewer, Qt::RightButton, wave.center(), wave.center() - QPoint(100, 0));
  EXPECT_NEAR(static_cast<double>(viewer->view_first() - before_pan), 100.0 * count / wave.width(),
              2.0);
  QTest::keyClick(viewer, Qt::Key_Home);
  viewer->repaint();
  EXPECT_EQ(viewer->view_first(), 0);
  EXPECT_EQ(viewer->view_count(), record);

  // A left drag over the whole record's curve from 1/4 to 3/4 of its width picks blocks 11 to
  // 30: samples 10240 .. 30719; the setup dialog (answered OK) counts them.
  wave = viewer->drawn().wave_rect;
  const int x1 = wave.left() + wave.width() / 4;
  const int x2 = wave.left() + 3 * wave.width() / 4;
  auto block = [&](int x) {
    const int64_t sample = static_cast<int64_t>(
        std::floor((x - wave.left()) / static_cast<double>(wave.width()) * record));
    return static_cast<int32_t>(sample / 1024 + 1);
  };
  const int32_t from = block(x1);
  const int32_t to = block(x2);  // the end sample's block (the drag ends on it)
  ASSERT_LT(from, to);
  Drag(viewer, Qt::LeftButton, QPoint(x1, wave.center().y()), QPoint(x2, wave.center().y()));
  ASSERT_TRUE(viewer->picked_blocks().has_value());
  EXPECT_EQ(viewer->picked_blocks()->first, from);
  EXPECT_NEAR(viewer->picked_blocks()->second, to, 1);
  EXPECT_SOON_TRUE(view_->parameters().range_mode == core::kRangeByBlock &&
                   view_->parameters().first_block == from && !view_->busy());
  EXPECT_EQ(view_->parameters().block_from, from);
  EXPECT_EQ(view_->parameters().last_block, viewer->picked_blocks()->second);
  EXPECT_SOON_TRUE(view_->result().has_value() &&
                   std::get<core::RainflowResultFile>(*view_->result()).result.first_block == from);
}

TEST(WaveformViewerReads, AHundredMillionSampleNodeIsDrawnWithoutReadingAllOfIt) {
  // A node of 100 000 256 samples held by a supplier that counts what it is asked for.
  core::CountingNode node;
  node.test_name = "big";
  node.test_code = "1";
  node.node_name = "1";
  node.info.set_frequency_hz(1000.0);
  node.info.set_c1(1.0);
  node.info.set_c2(1.0);
  node.info.set_format(886);
  node.info.set_length_half_blocks(195313);
  node.info.set_eu("kN");
  const int64_t record = node.info.record_samples();
  ASSERT_GT(record, 100'000'000);
  auto asked = std::make_shared<std::atomic<int64_t>>(0);
  node.data_file = "big1#1.sts";
  node.samples = [asked](int64_t first, std::span<double> out) -> core::Status {
    *asked += static_cast<int64_t>(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = std::sin(static_cast<double>(first + static_cast<int64_t>(i)) * 0.01);
    }
    return core::Done{};
  };
  node.sample_count = record;
  std::vector<double> envelope(1024);
  for (size_t i = 0; i < envelope.size(); ++i) envelope[i] = i % 2 == 0 ? -1.0 : 1.0;
  WaveformViewer viewer(node, envelope, {}, core::Language::kEnglish);
  viewer.resize(1000, 400);
  viewer.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
  viewer.repaint();
  EXPECT_EQ(viewer.samples_read(), 0) << "the whole record comes from its envelope";
  EXPECT_EQ(*asked, 0);
  // Wheel in until the stretch is short enough to be read: it alone is read, once per change.
  int64_t read_allowed = 0;
  for (int turn = 0; turn < 40 && viewer.view_count() > 100'000; ++turn) {
    Wheel(&viewer, viewer.drawn().wave_rect.center(), 3);
    viewer.repaint();
    if (viewer.view_count() <= core::kMaxWindowReadSamples) read_allowed += viewer.view_count();
  }
  EXPECT_LE(viewer.view_count(), 100'000);
  EXPECT_GT(viewer.samples_read(), 0);
  EXPECT_LE(viewer.samples_read(), read_allowed);
  EXPECT_LE(*asked, read_allowed);
  EXPECT_LT(*asked, record / 10);
  // The curve of a read stretch follows the sine: its extremes reach +-1 within the margin.
  ASSERT_GE(viewer.drawn().wave_rect.width(), 100);
}

TEST_F(WaveformViewerTest, LogAxisIsAPanelChoiceKeptInTheProfile) {
  WriteTest(40 * 1024);
  Open(module::kRainflowTemplate);
  auto* box = frame_->control_panel()->findChild<QCheckBox*>("log_counts");
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(view_->view_state().log_counts);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_SOON_TRUE(view_->view_state().log_counts);
  EXPECT_TRUE(render::ReadLogCountAxis(core::ProfilePath()));
  const render::DrawnPlot& plot = view_->drawn().plots.back();
  // A log axis starts at a power of ten and spans whole decades.
  EXPECT_GT(plot.y_low, 0.0);
  const double decades = std::log10(plot.y_high / plot.y_low);
  EXPECT_NEAR(decades, std::round(decades), 1e-9);
  // A window opened later opens on the kept choice; unticking keeps "0".
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_SOON_TRUE(!view_->view_state().log_counts);
  EXPECT_FALSE(render::ReadLogCountAxis(core::ProfilePath()));
  auto profile = core::IniFile::Load(core::ProfilePath());
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->Get("settings", "LogCountAxis"), "0");
}

TEST_F(WaveformViewerTest, OverlayOfThreeNodesDrawsThreeColoursAndALegend) {
  WriteTest(8 * 1024);
  for (const char* name : {"3", "4"}) {
    NodeLayout layout;
    layout.test_name = "abc";
    layout.test_code = "1";
    layout.node_name = name;
    std::vector<double> samples(8 * 1024);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = (name[0] - '0') * std::sin(static_cast<double>(i) * 0.3);
    }
    WriteNode(data_.path(), samples, layout);
  }
  Open(module::kRainflowTemplate);
  CountingView::SetOverlayNodesForTesting(std::vector<std::string>{"2", "3", "4"});
  ui::SendHostCommand(frame_, ui::command::kOverlayNodes, 0);
  CountingView::SetOverlayNodesForTesting(std::nullopt);
  ASSERT_SOON_TRUE(view_->overlay_window() != nullptr);
  module::OverlayWindow* overlay = view_->overlay_window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay));
  overlay->repaint();
  const auto& drawn = overlay->drawn();
  ASSERT_EQ(drawn.legend.size(), 3u);
  EXPECT_TRUE(drawn.legend[0].text.startsWith("abc1#2 ("));
  EXPECT_TRUE(drawn.legend[2].text.startsWith("abc1#4 ("));
  EXPECT_NE(drawn.colours[0], drawn.colours[1]);
  EXPECT_NE(drawn.colours[1], drawn.colours[2]);
  EXPECT_NE(drawn.colours[0], drawn.colours[2]);
  // One amplitude range for all, and every curve has N counts.
  const auto& picture = overlay->picture();
  for (const auto& curve : picture.curves) {
    EXPECT_EQ(curve.counts.size(), static_cast<size_t>(view_->parameters().partitions));
  }
  // Node 4 swings 4 sin: the common range holds its -4 .. 4 at least.
  EXPECT_GE(picture.x_high, 7.9);
  // Too few nodes are refused with a message.
  CountingView::SetOverlayNodesForTesting(std::vector<std::string>{"2"});
  ui::SendHostCommand(frame_, ui::command::kOverlayNodes, 0);
  CountingView::SetOverlayNodesForTesting(std::nullopt);
  EXPECT_SOON_TRUE(messages_.size() >= 1);
}

}  // namespace
}  // namespace torvwy::testing
