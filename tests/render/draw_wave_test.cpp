// CDrawWave: where bars, cursor and points land, and what degenerate ranges do.
#include "render/draw_wave.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>

#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

constexpr ColourRef kLine = 0x00FF00;    // green
constexpr ColourRef kCursor = 0x0000FF;  // red

CDrawWave PlainPlot(std::vector<double> values, double x_low, double x_high, double y_high) {
  CDrawWave plot;
  plot.SetFont(PictureFont(12));
  plot.SetData(values);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, x_low, x_high);
  plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, y_high);
  plot.SetTickTypeOfX(0, 0, 0, 0, 0);
  plot.SetTickTypeOfY(0, 0, 0, 0, 0);
  plot.SetWaveType(CDrawWave::kHollowBar);
  return plot;
}

QImage Draw(CDrawWave& plot, QSize size = QSize(400, 300)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  plot.Draw(painter, QRect(QPoint(0, 0), size));
  return image;
}

/// The first row from the top of the curve area down whose pixel in column x has `colour`.
int FirstRowOf(const QImage& image, const QRect& area, int x, ColourRef colour) {
  for (int y = area.top() + 1; y < area.bottom(); ++y) {
    if (image.pixelColor(x, y) == ToQColor(colour)) return y;
  }
  return -1;
}

TEST(DrawWaveTest, BarsReachTheRowsOfTheirCountsAndTheCursorSitsAtTheCellCentre) {
  // Four partitions of [-10, 10] with counts 0, 5, 10, 2 under a Y axis of 0..12.
  CDrawWave plot = PlainPlot({0.0, 5.0, 10.0, 2.0}, -10.0, 10.0, 12.0);
  plot.EnableCursor(true);
  plot.SetCursorPosition(1);
  const QImage image = Draw(plot);
  const QRect area = plot.GetWaveRect();
  ASSERT_GT(area.width(), 100);
  ASSERT_GT(area.height(), 100);
  const double counts[] = {0.0, 5.0, 10.0, 2.0};
  for (int i : {2, 3}) {  // away from the cursor column
    const int x = static_cast<int>(area.left() + (i + 0.5) * area.width() / 4.0);
    const double expected = area.top() + (12.0 - counts[i]) / 12.0 * area.height();
    EXPECT_NEAR(FirstRowOf(image, area, x, kLine), expected, 1.0) << "partition " << i;
  }
  // An empty partition draws no bar at all.
  const int empty_x = static_cast<int>(area.left() + 0.5 * area.width() / 4.0);
  EXPECT_EQ(FirstRowOf(image, area, empty_x, kLine), -1);

  // The cursor line stands in the centre column of partition 1 and nowhere else.
  const int cursor_x = static_cast<int>(std::floor(area.left() + 1.5 * area.width() / 4.0));
  const int middle = area.center().y();
  EXPECT_EQ(image.pixelColor(cursor_x, middle), ToQColor(kCursor));
  EXPECT_NE(image.pixelColor(cursor_x - 3, middle), ToQColor(kCursor));
  EXPECT_NE(image.pixelColor(cursor_x + 3, middle), ToQColor(kCursor));
  int x = 0;
  int y = 0;
  ASSERT_TRUE(plot.GetCurveDrawPos(1, x, y));
  EXPECT_EQ(x, cursor_x);
  EXPECT_NEAR(y, area.top() + 7.0 / 12.0 * area.height(), 1.0);
}

TEST(DrawWaveTest, CursorByPointPicksTheCellUnderThePoint) {
  CDrawWave plot = PlainPlot({1, 2, 3, 4, 5}, 0.0, 5.0, 6.0);
  EXPECT_EQ(plot.SetCursorPositionByPoint(QPoint(10, 10)), -1) << "nothing drawn yet";
  Draw(plot);
  const QRect area = plot.GetWaveRect();
  const int cell = area.width() / 5;
  EXPECT_EQ(
      plot.SetCursorPositionByPoint(QPoint(area.left() + 3 * cell + cell / 2, area.center().y())),
      3);
  EXPECT_EQ(plot.SetCursorPositionByPoint(QPoint(area.left() + 1, area.center().y())), 0);
  EXPECT_EQ(plot.SetCursorPositionByPoint(QPoint(area.right(), area.center().y())), 4);
  EXPECT_EQ(plot.SetCursorPositionByPoint(QPoint(area.left() - 5, area.center().y())), -1);
  EXPECT_EQ(plot.GetCursorPosition(), 4) << "a point outside leaves the cursor";
}

TEST(DrawWaveTest, DegenerateRangesDrawNothingOutsideTheCurveArea) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::vector<double> values;
    double x_low, x_high, y_high;
    bool drawable;
  };
  const Case cases[] = {
      {"Y range 0..0", {1, 2}, 0, 1, 0, false},
      {"X range A = 0", {1, 2}, 0, 0, 5, false},
      {"reversed X range", {1, 2}, 5, -5, 5, false},
      {"NaN range", {1, 2}, nan, 1, 5, false},
      {"infinite range", {1, 2}, 0, inf, 5, false},
      {"no data", {}, 0, 1, 5, false},
      {"huge values", {1e300, -1e300, nan, inf}, 0, 4, 5, true},
      {"one partition", {3}, 0, 1, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDrawWave plot = PlainPlot(c.values, c.x_low, c.x_high, c.y_high);
    plot.EnableCursor(true);
    plot.SetMissingText("no counts");
    const QImage image = Draw(plot);
    EXPECT_EQ(plot.Drawable(), c.drawable);
    int x = 0;
    int y = 0;
    EXPECT_EQ(plot.GetCurveDrawPos(0, x, y), c.drawable);
    const QRect area = plot.GetWaveRect();
    for (int py = 0; py < image.height(); ++py) {
      for (int px = 0; px < image.width(); ++px) {
        if (area.adjusted(-1, -1, 1, 1).contains(px, py)) continue;
        ASSERT_NE(image.pixelColor(px, py), ToQColor(kLine)) << px << "," << py;
      }
    }
  }
  // A single partition, filled, spans the whole curve area.
  CDrawWave one = PlainPlot({5.0}, 0.0, 1.0, 6.0);
  one.SetWaveType(CDrawWave::kFilledBar);
  const QImage image = Draw(one);
  const QRect area = one.GetWaveRect();
  const int row = static_cast<int>(area.top() + area.height() / 6.0) + 5;
  EXPECT_EQ(image.pixelColor(area.left() + 3, row), ToQColor(0xC0FFC0));
  EXPECT_EQ(image.pixelColor(area.right() - 3, row), ToQColor(0xC0FFC0));
  EXPECT_NE(image.pixelColor(area.center().x(), row - 10), ToQColor(0xC0FFC0));
}

TEST(DrawWaveTest, TicksAreRoundStepsWithoutNegativeZero) {
  struct Case {
    double low, high;
    int divisions;
    std::vector<double> ticks;
  };
  const Case cases[] = {
      {0.0, 12.0, 4, {0.0, 2.0, 4.0, 6.0, 8.0, 10.0, 12.0}},
      {-10.0, 10.0, 8, {-10.0, -8.0, -6.0, -4.0, -2.0, 0.0, 2.0, 4.0, 6.0, 8.0, 10.0}},
      {0.0, 9.6, 5, {0.0, 2.0, 4.0, 6.0, 8.0}},
      {-95.0, 95.0, 8, {-80.0, -60.0, -40.0, -20.0, 0.0, 20.0, 40.0, 60.0, 80.0}},
      {0.0, 1.0, 10, {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0}},
      {-0.3, 0.3, 3, {-0.2, 0.0, 0.2}},
      {5.0, 5.0, 4, {}},
      {1.0, -1.0, 4, {}},
  };
  for (const Case& c : cases) {
    const auto ticks = NiceTicks(c.low, c.high, c.divisions);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.low << ".." << c.high;
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_NEAR(ticks[i], c.ticks[i], 1e-12);
      if (c.ticks[i] == 0.0) {
        EXPECT_FALSE(std::signbit(ticks[i])) << "-0 would print as \"-0\"";
      }
    }
  }
}

}  // namespace
}  // namespace torvwy::render
