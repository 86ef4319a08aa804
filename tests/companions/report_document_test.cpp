// The report's pictures on screen: a large picture scaled to the page keeps its thin lines.
#include "companions/report_document.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>

namespace torvwy::testing {
namespace {

/// The darkest grey of a row of `image`.
int DarkestInRow(const QImage& image, int y) {
  int darkest = 255;
  for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  return darkest;
}

TEST(ReportDocument, ScreenPictureKeepsTwoPixelLinesOfAReportPicture) {
  // A 1600-pixel report picture, white with one 2-pixel black bar: a plain scaling to 605
  // pixels keeps about one column in 2.6 and can step over it.
  QImage picture(1600, 200, QImage::Format_RGB32);
  picture.fill(Qt::white);
  for (int y = 0; y < picture.height(); ++y) {
    picture.setPixel(801, y, qRgb(0, 0, 0));
    picture.setPixel(802, y, qRgb(0, 0, 0));
  }
  const QImage screen = companions::ScreenPicture(picture);
  EXPECT_EQ(screen.width(), 605);
  EXPECT_LT(DarkestInRow(screen, screen.height() / 2), 200) << "the bar is still visible";
  // A picture no wider than the page is shown as it is.
  const QImage small(400, 100, QImage::Format_RGB32);
  EXPECT_EQ(companions::ScreenPicture(small).width(), 400);
}

}  // namespace
}  // namespace torvwy::testing
