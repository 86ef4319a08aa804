// The counting pictures: layout by display choices, bars, cursor, inset, flags, texts.
#include "render/counting_picture.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>
#include <cmath>
#include <string>

#include "picture_fixtures.h"
#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

using testing::Pixel;
using testing::Render;
using testing::StateFor;
using testing::Texts;

const QColor kGreen = ToQColor(0x00FF00);
const QColor kRed = ToQColor(0x0000FF);

TEST(CountingPictureTest, PlotsShareTheAreaByTheDisplayChoices) {
  const core::PeakResultFile peak = testing::PeakFixture();
  struct Case {
    bool inset, separately;
    std::vector<double> bands;  // top of each plot, as a share of the plot area's height
    std::vector<const char*> titles;
  };
  const Case cases[] = {
      {true, true, {0, 1.0 / 3, 2.0 / 3}, {"  Full Waveform", " Peak Count", " Valley Count"}},
      {true, false, {0, 1.0 / 3}, {"  Full Waveform", " Peak and Valley Count"}},
      {false, true, {0, 0.5}, {" Peak Count", " Valley Count"}},
      {false, false, {0}, {" Peak and Valley Count"}},
  };
  for (const Case& c : cases) {
    ViewState state = StateFor(core::Language::kEnglish);
    state.inset_shown = c.inset;
    state.separately = c.separately;
    PictureReport report;
    const QImage image = Render(peak, state, report);
    ASSERT_EQ(report.plots.size(), c.bands.size());
    const int height = image.height();
    for (size_t i = 0; i < c.bands.size(); ++i) {
      SCOPED_TRACE(c.titles[i]);
      EXPECT_EQ(report.plots[i].title, c.titles[i]);
      EXPECT_EQ(report.plots[i].area.top(), static_cast<int>(c.bands[i] * 6) * height / 6);
      EXPECT_EQ(report.plots[i].area.right() + 1, report.column.left());
    }
    EXPECT_EQ(report.plots.back().area.bottom(), height - 1) << "the last plot reaches the bottom";
    EXPECT_GE(report.column.width(), 110);
    EXPECT_EQ(report.column.right(), image.width() - 1);
  }
}

TEST(CountingPictureTest, BarsReachTheirCountsAndTheCursorStandsAtItsPartitionCentre) {
  // Range: two-way counts {0, 10, 4, 0, 1}, largest 10: the Y axis runs to 12.
  const core::RangeResultFile range = testing::RangeFixture();
  ViewState state = StateFor(core::Language::kEnglish);
  state.cursor_partition = 3;
  PictureReport report;
  const QImage image = Render(range, state, report);
  const DrawnPlot& plot = report.plots.back();
  EXPECT_DOUBLE_EQ(plot.y_high, 12.0);
  EXPECT_DOUBLE_EQ(plot.x_low, -20.0);
  EXPECT_DOUBLE_EQ(plot.x_high, 20.0);
  const QRect area = plot.wave_rect;
  for (int i : {1, 2}) {
    const int count = range.result.two_way_counts[static_cast<size_t>(i)];
    const int x = static_cast<int>(area.left() + (i + 0.5) * area.width() / 5.0);
    const int expected = static_cast<int>(area.top() + (12.0 - count) / 12.0 * area.height());
    int found = -1;
    for (int y = area.top() + 1; y < area.bottom() && found < 0; ++y) {
      if (Pixel(image, x, y) == kGreen) found = y;
    }
    EXPECT_NEAR(found, expected, 1) << "partition " << i;
  }
  ASSERT_TRUE(plot.cursor_x.has_value());
  const int centre = static_cast<int>(std::floor(area.left() + 3.5 * area.width() / 5.0));
  EXPECT_EQ(*plot.cursor_x, centre);
  EXPECT_EQ(Pixel(image, centre, area.center().y()), kRed);

  // The zoom divides the axis: zoom 2 puts the top at 6, and the bar of 10 is cut at the top.
  state.zoom = 2.0;
  Render(range, state, report);
  EXPECT_DOUBLE_EQ(report.plots.back().y_high, 6.0);
}

TEST(CountingPictureTest, InsetSpansTheRecordAndCarriesTheBookmarkFlags) {
  core::PeakResultFile peak = testing::PeakFixture();
  // L = 400 x 512 = 204800 samples, M = 1024 points.
  const std::vector<core::Label> bookmarks = {{"102400", "half way"}, {"0", "start"},
                                              {"-5", "before"},       {"204800", "at end"},
                                              {"abc", "junk"},        {"204799", "last sample"}};
  PictureReport report;
  const QImage image = Render(peak, StateFor(core::Language::kEnglish), report, bookmarks);
  ASSERT_FALSE(report.plots.empty());
  const DrawnPlot& inset = report.plots.front();
  ASSERT_TRUE(inset.inset);
  EXPECT_DOUBLE_EQ(inset.x_low, 0.0);
  EXPECT_DOUBLE_EQ(inset.x_high, 200.0);  // 204800 / 1024 s
  EXPECT_DOUBLE_EQ(inset.y_low, -1.2 * 8.0);
  EXPECT_DOUBLE_EQ(inset.y_high, 1.2 * 8.0);
  // The envelope's maximum (8 at point 300) is drawn at its row: 1.6 / 19.2 down the area.
  const QRect area = inset.wave_rect;
  const int x = static_cast<int>(area.left() + 300.5 * area.width() / 1024.0);
  const int row = static_cast<int>(area.top() + 1.6 / 19.2 * area.height());
  bool line_near = false;
  for (int dy = -1; dy <= 1; ++dy) line_near |= Pixel(image, x, row + dy) == kGreen;
  EXPECT_TRUE(line_near);

  // Flags only for 0 <= p < L, at curve point trunc(p / L x M).
  ASSERT_EQ(inset.flags.size(), 3u);
  const int expected_index[] = {512, 0, 1023};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(inset.flags[i].curve_index, expected_index[i]);
    const int pole = static_cast<int>(
        std::floor(area.left() + (expected_index[i] + 0.5) * area.width() / 1024.0));
    EXPECT_EQ(inset.flags[i].x, pole);
  }
  // The pole of the middle flag, dark red, runs down from the top of the curve area.
  const QRect box = inset.flags[0].box;
  EXPECT_EQ(Pixel(image, inset.flags[0].x, box.bottom() + 4), ToQColor(0x000040));
  // Flags stay inside the inset even at the right edge.
  for (const DrawnFlag& flag : inset.flags) EXPECT_LE(flag.x, area.right());

  // With the bookmarks hidden there are none.
  ViewState hidden = StateFor(core::Language::kEnglish);
  hidden.bookmarks_shown = false;
  Render(peak, hidden, report, bookmarks);
  EXPECT_TRUE(report.plots.front().flags.empty());
}

TEST(CountingPictureTest, InsetOfAMostlyNegativeRecordStaysInside) {
  core::RangeResultFile range = testing::RangeFixture();
  range.result.envelope_maximum = 2.0;
  range.result.envelope_minimum = -9.0;
  PictureReport report;
  Render(range, StateFor(core::Language::kEnglish), report);
  EXPECT_DOUBLE_EQ(report.plots.front().y_low, -1.2 * 9.0);
  EXPECT_DOUBLE_EQ(report.plots.front().y_high, 1.2 * 9.0);
}

TEST(CountingPictureTest, MissingDataIsSaidNotDividedBy) {
  struct Case {
    const char* name;
    void (*mutate)(core::RangeResultFile&);
    const char* missing;
    size_t plots;
  };
  const Case cases[] = {
      {"no counts, largest count 0",
       [](core::RangeResultFile& f) {
         std::fill(f.result.two_way_counts.begin(), f.result.two_way_counts.end(), 0);
         f.result.largest_count = 0;
       },
       "no counts", 2},
      {"A = 0", [](core::RangeResultFile& f) { f.result.amplitude_range = 0.0; },
       "no amplitude range", 2},
      {"A < 0", [](core::RangeResultFile& f) { f.result.amplitude_range = -3.0; },
       "no amplitude range", 2},
      {"envelope of zeros",
       [](core::RangeResultFile& f) {
         std::fill(f.result.envelope.begin(), f.result.envelope.end(), 0.0);
         f.result.envelope_maximum = f.result.envelope_minimum = 0.0;
       },
       "", 2},
      {"N = 1",
       [](core::RangeResultFile& f) {
         f.result.partitions = 1;
         f.result.cursor_partition = 5;
       },
       "no counts", 2},
      {"no frequency", [](core::RangeResultFile& f) { f.sampling.set_frequency_hz(0.0); }, "", 2},
      {"older layout: no inset",
       [](core::RangeResultFile& f) {
         f.old_format = true;
         f.result.envelope.clear();
       },
       "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    core::RangeResultFile range = testing::RangeFixture();
    c.mutate(range);
    // Draw into the middle of a larger image: nothing may land outside the drawing area.
    QImage image(900, 700, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    TargetGeometry geometry;
    geometry.target = DrawTarget::kImage;
    geometry.area = QRect(50, 60, 800, 560);
    QPainter painter(&image);
    const PictureReport report = DrawRangePicture(painter, geometry, range, {{"1000", "flag"}},
                                                  StateFor(core::Language::kEnglish));
    painter.end();
    ASSERT_EQ(report.plots.size(), c.plots);
    EXPECT_EQ(report.plots.back().missing, c.missing);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (geometry.area.contains(x, y)) continue;
        ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::magenta)) << x << "," << y;
      }
    }
    for (const DrawnText& text : report.texts) {
      EXPECT_TRUE(text.text.isEmpty() || geometry.area.intersects(text.rect));
    }
  }
}

TEST(CountingPictureTest, InformationColumnOfAPeakResult) {
  // The cursor at partition 0 of A = 10, N = 4 (two-way): XL = -10, X = -7.5, XR = -5.
  core::PeakResultFile peak = testing::PeakFixture();
  peak.sampling.set_text2("second text");
  ViewState state = StateFor(core::Language::kEnglish);
  state.cursor_partition = 0;
  PictureReport report;
  Render(peak, state, report);
  const QStringList expected = {"  Full Waveform",
                                " Peak Count",
                                " Valley Count",
                                "Peak Counting",
                                "Test Information:",
                                "  Test Name: demo",
                                "  Test Code: 7",
                                "  Node: 3",
                                "[second text]",
                                "Sampling Parameters:",
                                "SF: 1024Hz",
                                "Partitions: 4",
                                "Analysis Range:",
                                " From:0s",
                                "  To :200s",
                                " Total:200s",
                                "Counting Mothod:",
                                "  Peak & Valley",
                                "  Counting Separate",
                                "Cursor Reading:",
                                "Ni: 1",
                                "X : -7.5 MPa",
                                "XL: -10 MPa",
                                "XR: -5 MPa",
                                "A1: 1",
                                "A2: 4",
                                "   2024-03-05",
                                "    14:03:09"};
  EXPECT_EQ(Texts(report), expected);

  // Together and one-way: the totals of the one-way arrays; no cursor: no cursor lines.
  state.separately = false;
  state.one_way = true;
  state.cursor_partition = 1;
  Render(peak, state, report);
  QStringList texts = Texts(report);
  EXPECT_TRUE(texts.contains("  Counting Together"));
  EXPECT_TRUE(texts.contains("X : 3.75 MPa"));  // (1 + 0.5) x W1
  EXPECT_TRUE(texts.contains("A : 6"));         // one-way totals {2, 6, 4, 5}
  state.cursor_shown = false;
  Render(peak, state, report);
  texts = Texts(report);
  EXPECT_FALSE(texts.contains("Cursor Reading:"));
  EXPECT_EQ(texts[texts.size() - 3], "  Counting Together");
}

TEST(CountingPictureTest, RangeAndRainflowColumnsInBothLanguages) {
  const core::RangeResultFile range = testing::RangeFixture();
  PictureReport report;
  ViewState zh = StateFor(core::Language::kChinese);
  zh.one_way = true;
  Render(range, zh, report);
  QStringList texts = Texts(report);
  EXPECT_TRUE(texts.contains("变程计数 分析"));
  EXPECT_TRUE(texts.contains("计数方式:单向"));
  EXPECT_TRUE(texts.contains("  From:10s"));  // (11 - 1) x 1024 / 1024
  EXPECT_TRUE(texts.contains("   To :20s"));
  EXPECT_TRUE(texts.contains("  共:10s"));
  EXPECT_TRUE(texts.contains(" 变程计数结果"));
  ViewState en = StateFor(core::Language::kEnglish);
  Render(range, en, report);
  texts = Texts(report);
  const qsizetype at = texts.indexOf("  Positive & Negative");
  ASSERT_GE(at, 0);
  EXPECT_EQ(texts[at + 1], "  Counting Separately");
  // The longest title widens its box and the column instead of being cut.
  const QFontMetrics metrics(PictureFont(TargetGeometry{}.FontPixels(9.0)));
  EXPECT_GT(report.title_box.width(), metrics.horizontalAdvance("Varied-Distance Counting"));
  EXPECT_TRUE(report.column.contains(report.title_box));
  EXPECT_TRUE(texts.contains("A : 10"));

  const core::RainflowResultFile rainflow = testing::RainflowFixture();
  Render(rainflow, en, report);
  texts = Texts(report);
  EXPECT_TRUE(texts.contains("Rainflow Counting"));
  EXPECT_TRUE(texts.contains("X : 1.5 MPa"));
  EXPECT_TRUE(texts.contains("A : 2.5"));
  EXPECT_DOUBLE_EQ(report.plots.back().x_low, 0.0);
  EXPECT_DOUBLE_EQ(report.plots.back().x_high, 9.0);
  EXPECT_DOUBLE_EQ(report.plots.back().y_high, 2.4);
}

TEST(CountingPictureTest, TextsFromFilesAreClippedAndLoseTheirControlCharacters) {
  core::PeakResultFile peak = testing::PeakFixture();
  peak.test_name = "a\tb\nc";
  peak.node_name = std::string(300, 'W');
  peak.sampling.set_eu("M\rPa");
  PictureReport report;
  const QImage image = Render(peak, StateFor(core::Language::kEnglish), report);
  const QStringList texts = Texts(report);
  EXPECT_TRUE(texts.contains("  Test Name: a b c"));
  EXPECT_TRUE(texts.contains("XL: 0 M Pa"));
  EXPECT_LE(report.column.width(), image.width() / 2) << "a long name does not widen the column";
  for (const DrawnText& text : report.texts) {
    if (text.text.startsWith("  Node:")) {
      EXPECT_TRUE(report.column.contains(text.rect));
    }
  }
}

TEST(CountingPictureTest, ChineseTitleIsDrawnWithRealGlyphs) {
  const QString title = QStringLiteral("峰值计数 分析");
  const QFont font = PictureFont(12);
  const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
  for (QChar c : title) {
    if (c != ' ') {
      EXPECT_TRUE(raw.supportsCharacter(c))
          << "no glyph for U+" << std::hex << static_cast<unsigned>(c.unicode());
    }
  }
  // Distinct characters give distinct glyph images (missing glyphs would all be the same box).
  auto glyph = [&](QChar c) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, QString(c));
    return image;
  };
  EXPECT_NE(glyph(title[0]), glyph(title[1]));
  EXPECT_NE(glyph(title[1]), glyph(title[2]));

  PictureReport report;
  const QImage image = Render(testing::PeakFixture(), StateFor(core::Language::kChinese), report);
  const DrawnText* drawn = nullptr;
  for (const DrawnText& text : report.texts) {
    if (text.text == title) drawn = &text;
  }
  ASSERT_NE(drawn, nullptr);
  // The shade runs left to right, so without text every row of a column has one colour; the
  // strokes are the pixels that differ from the box's bottom row.
  int strokes = 0;
  const QRect box = drawn->rect.intersected(report.title_box.adjusted(1, 1, -1, -1));
  for (int y = box.top(); y < box.bottom() - 1; ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      strokes += Pixel(image, x, y) != Pixel(image, x, box.bottom() - 1);
    }
  }
  EXPECT_GT(strokes, 100) << "the title is drawn in the box";
}

TEST(CountingPictureTest, ReadoutListBoxStaysInsideAndHasACloseBoxOnlyOnScreen) {
  const core::RangeResultFile range = testing::RangeFixture();
  ViewState state = StateFor(core::Language::kEnglish);
  state.readout_box.shown = true;
  state.readout_box.text = "No.  XL(Left)    \r\n1    -12         \r\n2    -4\t        \r\n";
  PictureReport report;
  Render(range, state, report);
  // First placement: x = (800 / 2 - 10) x 1000 / 800 = 487 thousandths, left = 389; the box
  // would then reach into the information column, so it is pulled left to end 3 pixels before.
  EXPECT_LT(report.readout_box.left(), 389);
  EXPECT_EQ(report.readout_box.right() + 1, report.column.left() - 3);
  EXPECT_EQ(report.close_box_size, 0) << "an image has no close box";
  QStringList texts = Texts(report);
  EXPECT_TRUE(texts.contains("Readout List"));
  EXPECT_TRUE(texts.contains("2    -4         "));
  EXPECT_EQ(texts.back(), "2    -4         ");

  // Placed at the far corner it is pulled back inside the drawing area.
  state.readout_box.x_per_mille = 990;
  state.readout_box.y_per_mille = 990;
  Render(range, state, report);
  EXPECT_TRUE(QRect(0, 0, 800, 560).contains(report.readout_box))
      << report.readout_box.x() << "," << report.readout_box.y();
  EXPECT_LE(report.readout_box.right(), 800 - 3);

  // On screen the box has its close square in the top-right corner.
  QImage image(800, 560, QImage::Format_RGB32);
  QPainter painter(&image);
  TargetGeometry window;
  window.area = QRect(0, 0, 800, 560);
  report = DrawRangePicture(painter, window, range, {}, state);
  painter.end();
  EXPECT_GT(report.close_box_size, 0);
  const QPoint corner = report.readout_box.topRight() + QPoint(-report.close_box_size + 1, 0);
  EXPECT_EQ(image.pixelColor(corner), ToQColor(0x0000FF));
}

TEST(CountingPictureTest, ALongReadoutListShowsWhatFitsBesideTheInformationColumn) {
  const core::RangeResultFile range = testing::RangeFixture();
  ViewState state = StateFor(core::Language::kEnglish);
  state.readout_box.shown = true;
  state.readout_box.text = "No.  XL(Left)    \r\n";
  for (int i = 1; i <= 200; ++i) state.readout_box.text += std::to_string(i) + "    1\r\n";
  state.readout_box.x_per_mille = 990;  // dragged to the far right
  PictureReport report;
  Render(range, state, report);
  const QRect area(0, 0, 800, 560);
  EXPECT_TRUE(area.contains(report.readout_box));
  EXPECT_LT(report.readout_box.right(), report.column.left());
  const QStringList texts = Texts(report);
  EXPECT_EQ(texts.back(), QString(QChar(0x2026)));
  EXPECT_FALSE(texts.contains(QStringLiteral("200    1")));
  // Every drawn line lies inside the box.
  int rows = 0;
  for (const DrawnText& text : report.texts) {
    if (!report.readout_box.contains(text.rect.topLeft())) continue;
    ++rows;
    EXPECT_LE(text.rect.bottom(), report.readout_box.bottom()) << text.text.toStdString();
  }
  EXPECT_GT(rows, 5);
}

TEST(CountingPictureTest, ColoursComeFromTheStateOnScreenAndAreFixedOnPaper) {
  const core::RangeResultFile range = testing::RangeFixture();
  ViewState state = StateFor(core::Language::kEnglish);
  state.colours.background = 0x102030;
  state.colours.wave_background = 0x405060;
  state.colours.axis = 0x00C0F0;
  PictureReport report;
  const QImage image = Render(range, state, report);
  const QRect wave = report.plots.back().wave_rect;
  EXPECT_EQ(Pixel(image, report.column.center().x(), image.height() - 2), ToQColor(0x102030));
  EXPECT_EQ(Pixel(image, wave.left() + 2, wave.top() + 2), ToQColor(0x405060));
  EXPECT_EQ(Pixel(image, 1, 1), ToQColor(0x102030));
  EXPECT_EQ(Pixel(image, wave.left(), wave.center().y()), ToQColor(0x00C0F0));  // the frame

  // The same state on paper: an A4 page's drawing area, painted into an image that starts
  // magenta so that every white pixel below was painted white.
  const PrinterGeometry page = ComputePrinterGeometry(210.0, 297.0, 96);
  TargetGeometry paper;
  paper.target = DrawTarget::kPrinter;
  paper.area = QRect(QPoint(0, 0), page.area.size());
  paper.units_per_inch = page.units_per_inch;
  QImage sheet(paper.area.size(), QImage::Format_RGB32);
  sheet.fill(Qt::magenta);
  QPainter painter(&sheet);
  const PictureReport printed = DrawCountingPicture(painter, paper, range, {}, state);
  painter.end();
  ASSERT_FALSE(printed.plots.empty());
  const QRect printed_wave = printed.plots.back().wave_rect;
  const int line = paper.LineWidth();
  ASSERT_GT(line, 1);  // lines are thicker on paper: look two line widths inside the frame
  EXPECT_EQ(Pixel(sheet, printed.column.center().x(), sheet.height() - 2), QColor(Qt::white));
  EXPECT_EQ(Pixel(sheet, printed_wave.left() + 2 * line, printed_wave.top() + 2 * line),
            QColor(Qt::white));
  EXPECT_EQ(Pixel(sheet, 1, 1), QColor(Qt::white));
  EXPECT_EQ(Pixel(sheet, printed_wave.left(), printed_wave.center().y()), ToQColor(0x808080));
}

}  // namespace
}  // namespace torvwy::render

namespace torvwy::render {
namespace {

TEST(CountingPictureTest, LevelCrossingsStandAtTheirLevelsAndTimeAtLevelReadsSeconds) {
  // Levels -10, 0, 10 (the edges of N = 2 over [-10, 10]): each level is the centre of a step of
  // 10, the axis running from -15 to 15.
  core::CrossingResultFile crossings;
  testing::FillNode(crossings);
  crossings.result.partitions = 2;
  crossings.result.amplitude_range = 10.0;
  crossings.result.levels = {-10.0, 0.0, 10.0};
  crossings.result.up = {0, 5, 2};
  crossings.result.down = {1, 5, 0};
  crossings.result.cursor_partition = 1;
  crossings.result.envelope = testing::Envelope();
  ViewState state = StateFor(core::Language::kEnglish);
  PictureReport report;
  Render(crossings, state, report);
  ASSERT_FALSE(report.empty);
  const DrawnPlot& plot = report.plots.back();
  EXPECT_EQ(plot.points, 3);
  EXPECT_DOUBLE_EQ(plot.x_low, -15.0);
  EXPECT_DOUBLE_EQ(plot.x_high, 15.0);
  // The standard's convention: 1 down at -10, 5 up at 0, 2 up at 10; Y to 1.2 x 5.
  EXPECT_DOUBLE_EQ(plot.y_high, 6.0);
  QStringList texts = Texts(report);
  EXPECT_TRUE(texts.contains(QStringLiteral("Up: 5"))) << texts.join("|").toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("A : 5")));

  // Unevenly listed levels are drawn over their numbers, never at a wrong place in EU.
  crossings.result.partitions = 0;
  crossings.result.levels = {-10.0, 0.0, 1.0};
  Render(crossings, state, report);
  EXPECT_DOUBLE_EQ(report.plots.back().x_low, 0.5);
  EXPECT_DOUBLE_EQ(report.plots.back().x_high, 3.5);
  EXPECT_TRUE(Texts(report).contains(QStringLiteral("Levels: 3")));
  const auto& axis_texts = report.plots.back().texts;
  EXPECT_TRUE(std::any_of(axis_texts.begin(), axis_texts.end(), [](const DrawnText& t) {
    return t.text.contains(QStringLiteral("Level No."));
  }));

  // Time at level: seconds per partition, the cursor's share and exceedance.
  core::TimeAtLevelResultFile time;
  testing::FillNode(time);
  time.result.partitions = 2;
  time.result.amplitude_range = 10.0;
  time.result.width = 10.0;
  time.result.frequency_hz = 4.0;
  time.result.samples = {2, 6};
  time.result.cursor_partition = 1;
  time.result.envelope = testing::Envelope();
  Render(time, state, report);
  EXPECT_DOUBLE_EQ(report.plots.back().y_high, 1.2 * 1.5);
  texts = Texts(report);
  for (const char* line : {"T : 1.5 s", "P : 75%", "E : 75%"}) {
    EXPECT_TRUE(texts.contains(QString::fromLatin1(line)))
        << line << ": " << texts.join("|").toStdString();
  }
}

}  // namespace
}  // namespace torvwy::render
