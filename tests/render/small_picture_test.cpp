// Pictures drawn smaller than their full layout: smaller type, thinned labels, a shorter column,
// and never a text over another or off the picture; the report picture at twice the size.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>

#include "picture_fixtures.h"
#include "render/picture_output.h"

namespace torvwy::render::testing {
namespace {

/// Draws `file` with the window target into a `width` x `height` picture.
PictureReport DrawAt(const core::AnyResultFile& file, const ViewState& state, int width,
                     int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  TargetGeometry geometry;
  geometry.area = QRect(0, 0, width, height);
  return DrawCountingPicture(painter, geometry, file, {}, state);
}

/// Every text box drawn: the plots' own texts and the information column's lines (the plot
/// titles are listed there with their whole plot's rectangle; those are left out).
std::vector<DrawnText> TextBoxes(const PictureReport& report) {
  std::vector<DrawnText> boxes;
  for (const DrawnPlot& plot : report.plots) {
    boxes.insert(boxes.end(), plot.texts.begin(), plot.texts.end());
  }
  for (const DrawnText& text : report.texts) {
    const bool plot_title = std::any_of(report.plots.begin(), report.plots.end(),
                                        [&](const DrawnPlot& p) { return p.area == text.rect; });
    if (!plot_title) boxes.push_back(text);
  }
  return boxes;
}

TEST(SmallPicture, NoTextOverlapsAnotherOrLeavesThePicture) {
  const core::AnyResultFile files[] = {PeakFixture(), RangeFixture(), RainflowFixture()};
  const QSize sizes[] = {{400, 300}, {320, 240}, {600, 220}, {250, 420}};
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    for (const core::AnyResultFile& file : files) {
      for (const QSize size : sizes) {
        const PictureReport report = DrawAt(file, StateFor(language), size.width(), size.height());
        const std::string where =
            std::to_string(file.index()) + " at " + std::to_string(size.width()) + "x" +
            std::to_string(size.height()) + " lang " + std::to_string(static_cast<int>(language));
        ASSERT_TRUE(report.compact) << where;
        const QRect picture(0, 0, size.width(), size.height());
        const std::vector<DrawnText> boxes = TextBoxes(report);
        for (size_t i = 0; i < boxes.size(); ++i) {
          EXPECT_TRUE(picture.contains(boxes[i].rect))
              << boxes[i].text.toStdString() << " " << where;
          for (size_t j = i + 1; j < boxes.size(); ++j) {
            EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect))
                << boxes[i].text.toStdString() << " / " << boxes[j].text.toStdString() << " "
                << where;
          }
        }
        // The column keeps the test's names and the cursor reading before the rest.
        const QStringList texts = Texts(report);
        EXPECT_TRUE(texts.contains(QStringLiteral("Ni: 2")) ||
                    std::any_of(texts.begin(), texts.end(),
                                [](const QString& t) { return t.startsWith("Ni: "); }))
            << where;
        // Every count plot still shows some of its numbers on both axes.
        for (const DrawnPlot& plot : report.plots) {
          EXPECT_GE(plot.texts.size(), 4u) << plot.title.toStdString() << " " << where;
        }
      }
    }
  }
}

TEST(SmallPicture, FontShrinksToItsFloorAndTheFullSizeKeepsTheFullLayout) {
  const core::AnyResultFile file = PeakFixture();
  const ViewState state = StateFor(core::Language::kEnglish);
  const PictureReport full = DrawAt(file, state, 800, 560);
  EXPECT_FALSE(full.compact);
  EXPECT_EQ(full.font_pixels, 12) << "9 points at 96 units per inch";
  const PictureReport half = DrawAt(file, state, 400, 300);
  EXPECT_EQ(half.font_pixels, kMinPictureFontPixels) << "12 x 300 / 480 = 7.5: the floor";
  const PictureReport three_quarters = DrawAt(file, state, 620, 440);
  EXPECT_EQ(three_quarters.font_pixels, 11) << "12 x 440 / 480 = 11";
}

TEST(SmallPicture, ReportPictureIsTheImageLayoutAtTwiceTheSize) {
  const core::AnyResultFile file = RangeFixture();
  ViewState state = StateFor(core::Language::kEnglish);
  state.colours.axis = 0x00FFFF;  // a colour nothing else has
  auto draw = [&](QPainter& painter, const TargetGeometry& geometry) {
    return DrawCountingPicture(painter, geometry, file, {}, state);
  };
  PictureReport image_report;
  PictureReport report_report;
  const QImage image = RenderImage(draw, kDefaultAspect, kImageWidth, &image_report);
  const QImage report = RenderReportImage(draw, kDefaultAspect, &report_report);
  EXPECT_EQ(image.width(), 800);
  EXPECT_EQ(report.width(), 1600);
  EXPECT_EQ(report.height(), 2 * 560);
  EXPECT_EQ(report.devicePixelRatio(), 1.0) << "an ordinary bitmap";
  // The same layout: every text in the same place, in 800-pixel units.
  ASSERT_EQ(report_report.texts.size(), image_report.texts.size());
  for (size_t i = 0; i < image_report.texts.size(); ++i) {
    EXPECT_EQ(report_report.texts[i].rect, image_report.texts[i].rect)
        << image_report.texts[i].text.toStdString();
  }
  // The frame line under the count plot is one pixel high in the image and two in the report.
  const QRect wave = report_report.plots.back().wave_rect;
  const int x = wave.center().x();
  const QColor axis = ToQColor(state.colours.axis);
  int line = -1;
  for (int y = wave.bottom() - 1; y <= wave.bottom() + 2 && line < 0; ++y) {
    if (image.pixelColor(x, y) == axis) line = y;
  }
  ASSERT_GE(line, 0);
  EXPECT_NE(image.pixelColor(x, line + 1), axis);
  int rows = 0;
  for (int y = 2 * line - 3; y <= 2 * line + 3; ++y) rows += report.pixelColor(2 * x, y) == axis;
  EXPECT_EQ(rows, 2);
}

}  // namespace
}  // namespace torvwy::render::testing
