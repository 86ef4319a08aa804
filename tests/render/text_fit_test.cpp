// Texts measured against their boxes: the readout list box and the title box of the information
// column, in both languages, at a small window and a large one.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <string>

#include "picture_fixtures.h"
#include "render/text_drawing.h"

namespace torvwy::render::testing {
namespace {

const QSize kSizes[] = {{500, 380}, {1400, 900}};

/// Draws `file` for the window into a `size` picture; `image` keeps what was drawn on.
PictureReport DrawOnScreen(const core::AnyResultFile& file, const ViewState& state, QSize size,
                           QImage& image) {
  image = QImage(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  TargetGeometry geometry;
  geometry.area = QRect(QPoint(0, 0), size);
  return DrawCountingPicture(painter, geometry, file, {}, state);
}

/// The readout list of peaks and valleys counted separately: six columns, the last the widest.
std::string SeparateReadouts() {
  std::string text = "No.  XL(Left)     X(Center)     XR(Right)     Peak_Count    Valley_Count\r\n";
  for (int i = 1; i <= 3; ++i) {
    text += std::to_string(i) +
            "    -12.3456      -11.2345      -10.1234      1234567       7654321\r\n";
  }
  return text;
}

TEST(TextFit, TheReadoutBoxShowsItsLastColumnOrShortensItsRowsInsideThePlots) {
  const core::AnyResultFile file = PeakFixture();
  const std::string text = SeparateReadouts();
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    for (const QSize size : kSizes) {
      // Where it opens, and dragged to the far right.
      for (const int x_per_mille : {ReadoutBox::kNotPlaced, 990}) {
        ViewState state = StateFor(language);
        state.readout_box.shown = true;
        state.readout_box.text = text;
        state.readout_box.x_per_mille = x_per_mille;
        state.readout_box.y_per_mille = x_per_mille == ReadoutBox::kNotPlaced ? x_per_mille : 100;
        QImage image;
        const PictureReport report = DrawOnScreen(file, state, size, image);
        const std::string where = std::to_string(size.width()) + "x" +
                                  std::to_string(size.height()) + " lang " +
                                  std::to_string(static_cast<int>(language));
        ASSERT_FALSE(report.readout_box.isEmpty()) << where;
        EXPECT_LT(report.readout_box.right(), report.column.left()) << where;
        EXPECT_GE(report.readout_box.left(), 0) << where;
        QFont font(QStringLiteral("WenQuanYi Micro Hei Mono"));
        font.setStyleHint(QFont::Monospace);
        TargetGeometry geometry;
        geometry.area = QRect(QPoint(0, 0), size);
        font.setPixelSize(geometry.FontPixels(9.0));
        const QFontMetrics metrics(font, &image);
        // The box is drawn last: its title (listed with the box's rectangle), then its rows.
        int rows = 0;
        bool in_box = false;
        for (const DrawnText& drawn : report.texts) {
          if (drawn.rect == report.readout_box) {
            in_box = true;
            continue;
          }
          if (!in_box) continue;
          ++rows;
          EXPECT_TRUE(report.readout_box.contains(drawn.rect)) << where;
          EXPECT_LE(metrics.horizontalAdvance(drawn.text), drawn.rect.width())
              << drawn.text.toStdString() << " " << where;
          if (size.width() >= 1400) {
            // Room enough: the whole row, Valley_Count included.
            EXPECT_FALSE(drawn.text.contains(QChar(0x2026))) << drawn.text.toStdString();
          }
        }
        EXPECT_EQ(rows, 4) << where;
        if (size.width() >= 1400) {
          const QStringList texts = Texts(report);
          EXPECT_TRUE(texts.contains(QString::fromStdString(text.substr(0, text.find('\r')))))
              << where;
        }
      }
    }
  }
}

TEST(TextFit, TheTitleBoxAndItsShadeStayInTheColumnAndHoldTheirTitle) {
  const core::AnyResultFile files[] = {PeakFixture(), RangeFixture(), RainflowFixture()};
  const QSize sizes[] = {{500, 380}, {1400, 900}, {525, 580}, {320, 240}};
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    for (const core::AnyResultFile& file : files) {
      for (const QSize size : sizes) {
        QImage image;
        const PictureReport report = DrawOnScreen(file, StateFor(language), size, image);
        const std::string where =
            std::to_string(file.index()) + " at " + std::to_string(size.width()) + "x" +
            std::to_string(size.height()) + " lang " + std::to_string(static_cast<int>(language));
        // The box's shade is three line widths (one pixel each on screen) right and down.
        EXPECT_TRUE(report.column.contains(report.title_box.adjusted(0, 0, 3, 3))) << where;
        const DrawnText* title = nullptr;
        for (const DrawnText& drawn : report.texts) {
          if (report.title_box.contains(drawn.rect)) title = &drawn;
        }
        ASSERT_NE(title, nullptr) << where;
        const QFontMetrics metrics(PictureFont(report.font_pixels), &image);
        EXPECT_LE(metrics.horizontalAdvance(title->text), title->rect.width())
            << title->text.toStdString() << " " << where;
        if (size.width() >= 1400) {
          EXPECT_FALSE(title->text.contains(QChar(0x2026))) << title->text.toStdString();
        }
      }
    }
  }
}

}  // namespace
}  // namespace torvwy::render::testing
