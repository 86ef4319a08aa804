// The report's pictures on screen: a large picture scaled to the page keeps its thin lines; a
// rainflow report with its life estimate shows both of its pictures.
#include "companions/report_document.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <algorithm>

#include "core/report/report_file.h"
#include "support/test_node.h"

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

TEST(ReportDocument, TheMatrixPictureFollowsTheCountPictureAndTheEstimate) {
  TempDir dir;
  core::ResultFileNode node;
  node.test_name = "T";
  node.sampling.set_frequency_hz(1024.0);
  core::RainflowResult result;
  result.partitions = 2;
  result.amplitude_range = 4.0;
  result.partition_width = 2.0;
  auto bitmap = [](int width, QColor colour) {
    return [width, colour](const std::filesystem::path& path) {
      QImage image(width, 50, QImage::Format_RGB32);
      image.fill(colour);
      return image.save(QString::fromStdString(path.string()), "BMP")
                 ? core::Ok()
                 : core::Status(core::Fail(core::kMsgFileWrite, "not saved"));
    };
  };
  core::ReportOptions options;
  options.folder = dir.path();
  options.date = "2026-01-02";
  options.picture = bitmap(120, Qt::red);
  options.fatigue.estimate = core::FatigueResult{};
  options.fatigue.estimate->curve.kind = core::SnCurveKind::kDetailCategory;
  options.fatigue.estimate->curve.name = "en1993:71";
  options.fatigue.matrix_picture = bitmap(90, Qt::blue);
  auto written = core::WriteRainflowReport(result, node, core::ReportView{}, options);
  ASSERT_TRUE(written.ok()) << written.error().detail;
  auto report = companions::LoadReport(*written);
  ASSERT_TRUE(report.ok()) << report.error().detail;
  ASSERT_EQ(report->pictures.size(), 2u);
  EXPECT_EQ(report->pictures[0].width(), 120);
  EXPECT_EQ(report->pictures[1].width(), 90);
  EXPECT_EQ(report->pictures[1].pixelColor(5, 5), QColor(Qt::blue));
  const QString html = companions::ReportHtml(*report, companions::PictureSource::kResource);
  const qsizetype estimate = html.indexOf("S-N curve: en1993:71");
  ASSERT_GE(estimate, 0);
  EXPECT_LT(html.indexOf("picture:0"), estimate);
  EXPECT_GT(html.indexOf("picture:1"), estimate);
  EXPECT_GT(html.indexOf("Range-Mean Matrix"), estimate);
}

TEST(ReportDocument, PreviewWindowFitsTheScreenItOpensOn) {
  // 900 x 1000 where there is room; less on a smaller screen, with 40 pixels for the title
  // bar, in the middle of the free room.
  const struct {
    QRect available, expected;
  } cases[] = {
      {{0, 0, 1920, 1200}, {510, 80, 900, 1000}},
      {{0, 0, 1440, 900}, {270, 0, 900, 860}},
      {{0, 30, 800, 570}, {0, 30, 800, 530}},
      {{1920, 0, 1280, 1024}, {2110, 0, 900, 984}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(companions::PreviewWindowGeometry(c.available), c.expected)
        << c.available.width() << "x" << c.available.height();
  }
}

}  // namespace
}  // namespace torvwy::testing
