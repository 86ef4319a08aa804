// The logarithmic count axis: its decades, the bars drawn on it, and the overlay picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "picture_fixtures.h"
#include "render/counting_picture.h"
#include "render/draw_wave.h"
#include "render/waveform_picture.h"

namespace torvwy::render {
namespace {

using testing::Pixel;
using testing::Render;
using testing::StateFor;

const QColor kGreen = ToQColor(0x00FF00);

TEST(LogCountAxisTest, SpansFromOneOrTheSmallestDecadeToTheDecadeAboveTheLargest) {
  struct Case {
    std::vector<double> counts;
    double largest, zoom, low, high;
  };
  const Case cases[] = {
      {{0, 3, 4000, 0}, 4000, 1, 1, 10000},  // 4000 = 4 x 10^3: up to 10^4
      {{1000}, 1000, 1, 1, 10000},           // exactly a decade: the one above it
      {{0.5, 7}, 7, 1, 0.1, 10},             // a half cycle opens the decade below 1
      {{0.04, 2}, 2, 1, 0.01, 10},           // 0.04 lies in the decade of 0.01
      {{0, 0, 0}, 0, 1, 1, 10},              // nothing counted: one decade
      {{5, 250}, 250, 10, 1, 100},           // zoom 10: 25 shown at most, up to 10^2
      {{5, 250}, 250, 1000, 1, 10},          // a zoom below the axis keeps one decade
  };
  for (const Case& c : cases) {
    const LogCountRange range = LogCountAxis(c.counts, c.largest, c.zoom);
    EXPECT_DOUBLE_EQ(range.low, c.low) << c.largest << " zoom " << c.zoom;
    EXPECT_DOUBLE_EQ(range.high, c.high) << c.largest << " zoom " << c.zoom;
  }
  EXPECT_EQ(DecadeTicks(1, 1000), (std::vector<double>{1, 10, 100, 1000}));
  EXPECT_EQ(DecadeTicks(0.1, 10), (std::vector<double>{0.1, 1, 10}));
  EXPECT_TRUE(DecadeTicks(0, 10).empty());
}

TEST(LogCountAxisTest, BarsRiseWithTheLogOfTheirCountsAndZerosDrawNothing) {
  // Range: counts {1, 1000, 0, 10, 100000} on 1 .. 10^6: the bar of c reaches log10(c) / 6.
  core::RangeResultFile range = testing::RangeFixture();
  const int counts[] = {1, 1000, 0, 10, 100000};
  for (int i = 0; i < 5; ++i) range.result.two_way_counts[static_cast<size_t>(i)] = counts[i];
  range.result.largest_count = 100000;
  ViewState state = StateFor(core::Language::kEnglish);
  state.inset_shown = false;
  state.cursor_shown = false;
  state.curve_type = CDrawWave::kFilledBar;
  state.log_counts = true;
  PictureReport report;
  const QImage image = Render(range, state, report);
  const DrawnPlot& plot = report.plots.back();
  EXPECT_DOUBLE_EQ(plot.y_low, 1.0);
  EXPECT_DOUBLE_EQ(plot.y_high, 1e6);
  const QRect area = plot.wave_rect;
  for (int i = 0; i < 5; ++i) {
    const int x = static_cast<int>(area.left() + (i + 0.5) * area.width() / 5.0);
    int top = -1;
    for (int y = area.top() + 1; y < area.bottom() && top < 0; ++y) {
      if (Pixel(image, x, y) == kGreen) top = y;
    }
    if (counts[i] <= 1) {
      // log 1 = 0 and log 0 has no value: neither rises above the bottom.
      EXPECT_TRUE(top < 0 || top >= area.bottom() - 1) << "partition " << i << " at " << top;
      continue;
    }
    const double share = std::log10(counts[i]) / 6.0;
    const int expected = static_cast<int>(area.top() + (1.0 - share) * (area.height()));
    EXPECT_NEAR(top, expected, 2) << "partition " << i;
  }
  // The decades are the tick labels, the linear steps are not.
  bool has_thousand = false;
  for (const DrawnText& text : plot.texts) has_thousand |= text.text == "1000";
  EXPECT_TRUE(has_thousand);
}

/// Draws `picture` into `image` (800 x 500, filled with `ground`) on `target`.
OverlayReport DrawOverlay(const OverlayPicture& picture, QImage& image, QColor ground = Qt::black,
                          DrawTarget target = DrawTarget::kWindow) {
  image = QImage(800, 500, QImage::Format_RGB32);
  image.fill(ground);
  QPainter painter(&image);
  TargetGeometry geometry;
  geometry.target = target;
  geometry.area = image.rect();
  return DrawOverlayPicture(painter, geometry, picture);
}

TEST(LogCountAxisTest, OverlayDrawsOneColourPerNodeAndALegend) {
  OverlayPicture picture;
  picture.title = "Counts";
  picture.x_title = "Amplitude";
  picture.x_low = 0;
  picture.x_high = 9;
  picture.curves = {{"abc1#1", {4, 2, 1}}, {"abc1#2", {1, 3, 0}}, {"abc1#3", {2, 2, 2}}};
  QImage image;
  const OverlayReport report = DrawOverlay(picture, image);
  ASSERT_EQ(report.colours.size(), 3u);
  EXPECT_NE(report.colours[0], report.colours[1]);
  EXPECT_NE(report.colours[1], report.colours[2]);
  EXPECT_NE(report.colours[0], report.colours[2]);
  ASSERT_EQ(report.legend.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(report.legend[i].text, picture.curves[i].name);
    EXPECT_EQ(
        Pixel(image, report.legend[i].swatch.center().x(), report.legend[i].swatch.center().y()),
        report.colours[i]);
  }
  // Each curve passes through its first point: centre of cell 0, at its count on 0 .. 4.8.
  const QRect wave = report.plot.wave_rect;
  EXPECT_DOUBLE_EQ(report.plot.y_high, 4.8);
  for (size_t c = 0; c < 3; ++c) {
    const int x = static_cast<int>(wave.left() + 0.5 * wave.width() / 3.0);
    const int y = static_cast<int>(
        std::lround(wave.top() + (4.8 - picture.curves[c].counts[0]) / 4.8 * wave.height()));
    bool found = false;
    for (int dx = -1; dx <= 1 && !found; ++dx) {
      for (int dy = -2; dy <= 2 && !found; ++dy)
        found = Pixel(image, x + dx, y + dy) == report.colours[c];
    }
    EXPECT_TRUE(found) << "curve " << c;
  }
}

TEST(LogCountAxisTest, OverlayOnTheLogAxisShowsACountBetweenEmptyCells) {
  // On decades the empty cells break each line: node a has one count, in cell 1, node b two
  // counts apart; each still shows in its colour, at its cell.
  OverlayPicture picture;
  picture.x_high = 10;
  picture.choices.log_counts = true;
  picture.curves = {{"a", {0, 500, 0, 0, 0}}, {"b", {0, 0, 0, 7, 0}}, {"c", {1, 0, 2, 0, 0}}};
  QImage image;
  const OverlayReport report = DrawOverlay(picture, image);
  ASSERT_EQ(report.colours.size(), 3u);
  const QRect wave = report.plot.wave_rect;
  const double cell = wave.width() / 5.0;
  const int cells[] = {1, 3, 0};
  for (size_t c = 0; c < 3; ++c) {
    // The pixels of the curve's colour within its first filled cell (the legend is in cell 4).
    int shown = 0;
    const int left = static_cast<int>(wave.left() + cells[c] * cell);
    for (int x = left; x < left + static_cast<int>(cell); ++x) {
      for (int y = wave.top(); y <= wave.bottom(); ++y) {
        shown += Pixel(image, x, y) == report.colours[c] ? 1 : 0;
      }
    }
    EXPECT_GT(shown, 10) << "curve " << c;
  }
}

// The top of a log axis is a decade, whose label sits on the plot's top edge, where a long
// title runs: the label is left out instead of written across the title.
TEST(LogCountAxisTest, TheTopDecadesLabelNeverRunsIntoALongTitle) {
  OverlayPicture picture;
  picture.title = QString::fromUtf8("多测点计数叠加 - 雨流法计数结果");
  picture.x_high = 10;
  picture.choices.log_counts = true;
  picture.curves = {{"a", {22443.5, 1090.5, 3, 0}}, {"b", {400.5, 20, 1, 1}}};
  QImage image;
  const OverlayReport report = DrawOverlay(picture, image);
  EXPECT_DOUBLE_EQ(report.plot.y_high, 100000);
  ASSERT_FALSE(report.plot.texts.empty());
  const DrawnText& title = report.plot.texts.front();
  ASSERT_TRUE(title.text.contains(picture.title));
  std::vector<QString> labels;
  for (const DrawnText& text : report.plot.texts) {
    if (&text == &title) continue;
    labels.push_back(text.text);
    EXPECT_FALSE(text.rect.intersects(title.rect.adjusted(0, 0, 0, -title.rect.height() / 4)))
        << text.text.toStdString() << " runs into the title";
  }
  EXPECT_EQ(std::count(labels.begin(), labels.end(), QStringLiteral("100000")), 0);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), QStringLiteral("10000")), 1);
}

TEST(LogCountAxisTest, OverlayOnPaperDrawsEveryCurveInAHueThatShowsOnWhite) {
  OverlayPicture picture;
  picture.x_high = 9;
  for (int i = 0; i < 8; ++i) picture.curves.push_back({QString::number(i), {1, 2, 1}});
  QImage image;
  const OverlayReport report = DrawOverlay(picture, image, Qt::white, DrawTarget::kPrinter);
  ASSERT_EQ(report.colours.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    const QColor c = report.colours[i];
    // Light hues vanish on paper: every curve is darker than the screen's white and yellow.
    EXPECT_LT(c.lightness(), 160) << "curve " << i << " " << c.name().toStdString();
    for (size_t j = 0; j < i; ++j) EXPECT_NE(c, report.colours[j]) << i << " " << j;
    EXPECT_EQ(
        Pixel(image, report.legend[i].swatch.center().x(), report.legend[i].swatch.center().y()),
        c);
  }
}

}  // namespace
}  // namespace torvwy::render
