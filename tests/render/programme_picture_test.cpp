// The damage share picture of a test programme: bars as long as their shares, held to the axis.
#include "render/programme_picture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "render/picture_output.h"

namespace torvwy::render {
namespace {

/// The picture of `bars` as an image, and the pixels of the bars' fill in each bar's row.
struct Drawn {
  QImage image;
  PictureReport report;
  std::vector<int> filled;
};

Drawn DrawBars(std::vector<ShareBar> bars) {
  SharePicture picture;
  picture.title = QStringLiteral("Damage share");
  picture.axis = QStringLiteral("Share (%)");
  picture.empty = QStringLiteral("nothing");
  picture.bars = std::move(bars);
  ViewState state;
  state.colours.wave_fill = 0x0000FF;  // red, found nowhere else in the picture
  Drawn drawn;
  drawn.image = RenderImage(
      [&](QPainter& painter, const TargetGeometry& geometry) {
        return DrawSharePicture(painter, geometry, picture, state);
      },
      kDefaultAspect, kImageWidth, &drawn.report);
  for (const DrawnText& text : drawn.report.texts) {
    bool is_label = false;
    for (const ShareBar& bar : picture.bars) is_label |= bar.label == text.text;
    if (!is_label) continue;
    const int y = text.rect.center().y();
    int filled = 0;
    for (int x = 0; x < drawn.image.width(); ++x) {
      if (drawn.image.pixelColor(x, y) == QColor(255, 0, 0)) ++filled;
    }
    drawn.filled.push_back(filled);
  }
  return drawn;
}

TEST(SharePicture, DrawsEachBarAsLongAsItsShare) {
  const Drawn drawn = DrawBars({{QStringLiteral("ride"), 0.6},
                                {QStringLiteral("pothole"), 0.3},
                                {QStringLiteral("braking"), 0.1}});
  EXPECT_FALSE(drawn.report.empty);
  ASSERT_EQ(drawn.filled.size(), 3u);
  ASSERT_GT(drawn.filled[2], 0);
  EXPECT_NEAR(static_cast<double>(drawn.filled[0]) / drawn.filled[2], 6.0, 0.5);
  EXPECT_NEAR(static_cast<double>(drawn.filled[1]) / drawn.filled[2], 3.0, 0.3);
}

TEST(SharePicture, HoldsSharesOutsideNoneToAllToTheAxis) {
  const Drawn drawn = DrawBars({{QStringLiteral("all"), 1.0},
                                {QStringLiteral("more"), 1.7},
                                {QStringLiteral("nan"), std::nan("")},
                                {QStringLiteral("less"), -0.5}});
  ASSERT_EQ(drawn.filled.size(), 4u);
  EXPECT_GT(drawn.filled[0], drawn.image.width() / 3);
  EXPECT_EQ(drawn.filled[1], drawn.filled[0]) << "a share above 1 ends where 100 % does";
  EXPECT_EQ(drawn.filled[2], 0);
  EXPECT_EQ(drawn.filled[3], 0);
}

TEST(SharePicture, DrawsNoBarWithoutEventsAndNothingInATinyArea) {
  EXPECT_TRUE(DrawBars({}).filled.empty());
  QImage tiny(1, 1, QImage::Format_RGB32);
  QPainter painter(&tiny);
  TargetGeometry geometry;
  geometry.area = QRect(0, 0, 1, 1);
  EXPECT_TRUE(DrawSharePicture(painter, geometry, SharePicture{}, ViewState{}).empty);
}

}  // namespace
}  // namespace torvwy::render
