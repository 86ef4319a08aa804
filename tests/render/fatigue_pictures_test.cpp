// The fatigue pictures: the heat map's cells, colour scale and texts, and the damage curve.
#include "render/fatigue_pictures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/services/text_catalogue.h"
#include "picture_fixtures.h"
#include "support/test_node.h"

namespace torvwy::render {
namespace {

using testing::StateFor;
using testing::Texts;

QString Tq(core::Language language, core::TextKey key) {
  const std::string_view text = core::Tr(language, key);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// Three range bins of 3 MPa (the rainflow fixture's A = 9, N = 3) by four mean bins of 1.5 MPa
/// from -2 MPa:
///
///   range 6..9 |  .    1    .    .
///   range 3..6 |  .    .    .    .
///   range 0..3 |  2    .   0.5   .
///               -2  -0.5   1   2.5   4   mean
core::RangeMeanMatrix SmallMatrix() {
  core::RangeMeanMatrix m;
  m.range_bins = 3;
  m.mean_bins = 4;
  m.range_width = 3.0;
  m.mean_low = -2.0;
  m.mean_width = 1.5;
  m.counts = {2.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0};
  m.total_cycles = 3.5;
  return m;
}

struct Drawn {
  QImage image;
  PictureReport report;
};

Drawn DrawMatrix(const core::RangeMeanMatrix& matrix, const ViewState& state, int width = 800,
                 int height = 560, DrawTarget target = DrawTarget::kImage) {
  Drawn drawn{QImage(width, height, QImage::Format_RGB32), {}};
  drawn.image.fill(QColor(1, 2, 3));
  QPainter painter(&drawn.image);
  TargetGeometry geometry;
  geometry.target = target;
  geometry.area = QRect(0, 0, width, height);
  drawn.report =
      DrawRangeMeanMatrixPicture(painter, geometry, testing::RainflowFixture(), matrix, state);
  return drawn;
}

Drawn DrawDamage(const std::vector<core::DamageStep>& steps, const ViewState& state,
                 int width = 600, int height = 300) {
  Drawn drawn{QImage(width, height, QImage::Format_RGB32), {}};
  drawn.image.fill(QColor(1, 2, 3));
  QPainter painter(&drawn.image);
  TargetGeometry geometry;
  geometry.area = QRect(0, 0, width, height);
  drawn.report = DrawDamageHistoryPicture(painter, geometry, steps, state);
  return drawn;
}

/// Every text box of a picture: the plots' own texts and the column's lines (the plot titles
/// are listed there with the whole plot's rectangle; those are left out).
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

/// Every text inside the picture and clear of every other; no cell under the column or the
/// colour scale.
void ExpectApart(const PictureReport& report, QSize size, const std::string& where) {
  const QRect picture(QPoint(0, 0), size);
  const std::vector<DrawnText> boxes = TextBoxes(report);
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_TRUE(picture.contains(boxes[i].rect)) << boxes[i].text.toStdString() << " " << where;
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect))
          << boxes[i].text.toStdString() << " / " << boxes[j].text.toStdString() << " " << where;
    }
  }
  for (const DrawnCell& cell : report.cells) {
    EXPECT_FALSE(cell.rect.intersects(report.column)) << where;
    EXPECT_FALSE(cell.rect.intersects(report.scale_bar)) << where;
  }
}

const DrawnCell* CellAt(const PictureReport& report, int row, int column) {
  for (const DrawnCell& cell : report.cells) {
    if (cell.row == row && cell.column == column) return &cell;
  }
  return nullptr;
}

TEST(RangeMeanMatrixPicture, CellsSitInTheirBinsWithSmallRangesAtTheBottom) {
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    SCOPED_TRACE(static_cast<int>(language));
    const Drawn drawn = DrawMatrix(SmallMatrix(), StateFor(language));
    const PictureReport& report = drawn.report;
    ASSERT_FALSE(report.empty);
    ASSERT_EQ(report.plots.size(), 1u);
    const QRect wave = report.plots[0].wave_rect;
    EXPECT_DOUBLE_EQ(report.plots[0].x_low, -2.0);
    EXPECT_DOUBLE_EQ(report.plots[0].x_high, 4.0);
    EXPECT_DOUBLE_EQ(report.plots[0].y_low, 0.0);
    EXPECT_DOUBLE_EQ(report.plots[0].y_high, 9.0);
    ASSERT_EQ(report.cells.size(), 3u) << "the empty cells are left blank";
    for (const DrawnCell& cell : report.cells) EXPECT_TRUE(wave.contains(cell.rect));
    // Edges by hand: mean bin k spans a quarter of the width from k / 4, range bin i a third of
    // the height from the bottom.
    struct Expected {
      int row, column;
      double left, right, top, bottom;  // shares of the curve area from its left and top
    };
    const Expected expected[] = {
        {0, 0, 0.0, 0.25, 2.0 / 3, 1.0},
        {0, 2, 0.5, 0.75, 2.0 / 3, 1.0},
        {2, 1, 0.25, 0.5, 0.0, 1.0 / 3},
    };
    for (const Expected& e : expected) {
      const DrawnCell* cell = CellAt(report, e.row, e.column);
      ASSERT_NE(cell, nullptr) << e.row << "," << e.column;
      EXPECT_NEAR(cell->rect.left(), wave.left() + e.left * wave.width(), 1.5);
      EXPECT_NEAR(cell->rect.right() + 1, wave.left() + e.right * wave.width(), 1.5);
      EXPECT_NEAR(cell->rect.top(), wave.top() + e.top * wave.height(), 1.5);
      EXPECT_NEAR(cell->rect.bottom() + 1, wave.top() + e.bottom * wave.height(), 1.5);
      // The image shows the cell's colour in its middle.
      EXPECT_EQ(drawn.image.pixelColor(cell->rect.center()), cell->colour);
    }
    // More cycles read darker: 2 > 1 > 0.5.
    const int dark = CellAt(report, 0, 0)->colour.lightness();
    const int middle = CellAt(report, 2, 1)->colour.lightness();
    const int light = CellAt(report, 0, 2)->colour.lightness();
    EXPECT_LT(dark, middle);
    EXPECT_LT(middle, light);
    // An empty cell (range 3..6, mean -2..-0.5) stays white.
    const QPoint empty(wave.left() + wave.width() / 8, wave.top() + wave.height() / 2);
    EXPECT_EQ(drawn.image.pixelColor(empty), QColor(Qt::white));
    // The titles, in the picture's language, with the unit.
    const QStringList texts = Texts(report);
    const QString title = Tq(language, core::TextKey::kPictureMatrixTitle);
    EXPECT_TRUE(texts.contains(title));
    QStringList plot_texts;
    for (const DrawnText& text : report.plots[0].texts) plot_texts << text.text;
    EXPECT_TRUE(
        plot_texts.contains(Tq(language, core::TextKey::kPictureMatrixMeanAxis) + " (MPa)"));
    EXPECT_TRUE(
        plot_texts.contains(Tq(language, core::TextKey::kPictureMatrixRangeAxis) + " (MPa)"));
    EXPECT_TRUE(plot_texts.contains(Tq(language, core::TextKey::kPictureMatrixScale)));
  }
}

TEST(RangeMeanMatrixPicture, ColourScaleRunsFromLightToTheLargestCellBesideTheMap) {
  const Drawn drawn = DrawMatrix(SmallMatrix(), StateFor(core::Language::kEnglish));
  const PictureReport& report = drawn.report;
  const QRect wave = report.plots[0].wave_rect;
  const QRect bar = report.scale_bar;
  ASSERT_TRUE(bar.isValid());
  EXPECT_DOUBLE_EQ(report.scale_high, 2.0);
  EXPECT_GT(bar.left(), wave.right()) << "right of the map";
  EXPECT_LT(bar.right(), report.column.left()) << "left of the information column";
  EXPECT_EQ(bar.top(), wave.top());
  EXPECT_EQ(bar.bottom(), wave.bottom());
  // Lightness falls from the bottom of the bar to its top, where it is the largest cell's.
  int previous = 256;
  for (int y = bar.bottom() - 1; y > bar.top(); y -= 8) {
    const int lightness = drawn.image.pixelColor(bar.center().x(), y).lightness();
    EXPECT_LE(lightness, previous) << y;
    previous = lightness;
  }
  const QColor top = drawn.image.pixelColor(bar.center().x(), bar.top() + 1);
  EXPECT_NEAR(top.lightness(), CellAt(report, 0, 0)->colour.lightness(), 6);
  // Its tick numbers: steps of 0.5 up to the largest cell, 2 cycles.
  QStringList plot_texts;
  for (const DrawnText& text : report.plots[0].texts) {
    if (text.rect.left() > bar.right()) plot_texts << text.text;
  }
  for (const char* tick : {"0", "0.5", "1", "1.5", "2"}) {
    EXPECT_TRUE(plot_texts.contains(QString::fromLatin1(tick))) << tick;
  }
}

TEST(RangeMeanMatrixPicture, NoTextOverlapsAnotherOrLeavesThePicture) {
  const QSize sizes[] = {{800, 560}, {640, 480}, {400, 300}, {320, 240}, {600, 220}};
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    for (const QSize size : sizes) {
      const Drawn drawn =
          DrawMatrix(SmallMatrix(), StateFor(language), size.width(), size.height());
      const std::string where = std::to_string(size.width()) + "x" + std::to_string(size.height()) +
                                " lang " + std::to_string(static_cast<int>(language));
      EXPECT_EQ(drawn.report.compact, size.width() < 640 || size.height() < 480) << where;
      EXPECT_GE(TextBoxes(drawn.report).size(), 8u) << where;
      ExpectApart(drawn.report, size, where);
    }
  }
}

TEST(RangeMeanMatrixPicture, AMatrixWithoutCyclesSaysSoAndOneWithoutBinsIsAFrame) {
  core::RangeMeanMatrix none = SmallMatrix();
  std::fill(none.counts.begin(), none.counts.end(), 0.0);
  none.total_cycles = 0.0;
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    const Drawn drawn = DrawMatrix(none, StateFor(language));
    EXPECT_FALSE(drawn.report.empty);
    ASSERT_EQ(drawn.report.plots.size(), 1u);
    EXPECT_EQ(drawn.report.plots[0].missing, Tq(language, core::TextKey::kPictureNoCycles));
    EXPECT_TRUE(drawn.report.cells.empty());
    EXPECT_FALSE(drawn.report.scale_bar.isValid());
    EXPECT_TRUE(drawn.report.column.isValid()) << "the column tells whose matrix it is";
  }
  const Drawn frame = DrawMatrix(core::RangeMeanMatrix{}, StateFor(core::Language::kEnglish));
  EXPECT_TRUE(frame.report.empty);
  EXPECT_TRUE(frame.report.plots.empty());
  EXPECT_EQ(frame.image.pixelColor(0, 100), QColor(Qt::black));
  EXPECT_EQ(frame.image.pixelColor(400, 280), QColor(1, 2, 3)) << "nothing inside the frame";
  // Counts shorter than R x M are a damaged matrix: the frame, not a read past its end.
  core::RangeMeanMatrix short_counts = SmallMatrix();
  short_counts.counts.resize(5);
  EXPECT_TRUE(DrawMatrix(short_counts, StateFor(core::Language::kEnglish)).report.empty);
}

TEST(RangeMeanMatrixPicture, OneMeanValueFillsTheWidthWithTheDarkestColour) {
  // Every cycle at the same mean: one mean bin of no width; one cycle of range 3..6.
  core::RangeMeanMatrix one;
  one.range_bins = 3;
  one.mean_bins = 10;
  one.range_width = 3.0;
  one.mean_low = 5.0;
  one.mean_width = 0.0;
  one.counts.assign(30, 0.0);
  one.counts[1 * 10 + 0] = 1.0;
  one.total_cycles = 1.0;
  const Drawn drawn = DrawMatrix(one, StateFor(core::Language::kEnglish));
  ASSERT_EQ(drawn.report.cells.size(), 1u);
  const DrawnCell& cell = drawn.report.cells[0];
  const QRect wave = drawn.report.plots[0].wave_rect;
  EXPECT_LE(cell.rect.left(), wave.left() + 1);
  EXPECT_GE(cell.rect.right(), wave.right() - 1);
  EXPECT_NEAR(cell.rect.top(), wave.top() + wave.height() / 3.0, 1.5);
  EXPECT_NEAR(cell.rect.bottom() + 1, wave.top() + 2.0 * wave.height() / 3.0, 1.5);
  EXPECT_LT(drawn.report.plots[0].x_low, 5.0);
  EXPECT_GT(drawn.report.plots[0].x_high, 5.0);
  EXPECT_EQ(cell.colour, MatrixCellColour(1.0));
  EXPECT_LT(cell.colour.lightness(), MatrixCellColour(0.5).lightness());
  EXPECT_LT(MatrixCellColour(0.5).lightness(), MatrixCellColour(0.0).lightness());
  EXPECT_LT(MatrixCellColour(0.0).lightness(), 255) << "the lightest cell still shows on white";
}

TEST(RangeMeanMatrixPicture, PrintingUsesThePrintColoursWhateverTheView) {
  ViewState state = StateFor(core::Language::kEnglish);
  state.colours.background = 0x000000;
  state.colours.text = 0xFFFFFF;
  const Drawn print = DrawMatrix(SmallMatrix(), state, 1600, 1100, DrawTarget::kPrinter);
  EXPECT_EQ(print.image.pixelColor(2, 2), QColor(Qt::white));
  const Drawn screen = DrawMatrix(SmallMatrix(), state, 1600, 1100, DrawTarget::kWindow);
  EXPECT_EQ(screen.image.pixelColor(2, 2), QColor(Qt::black));
  // The cells are the same on paper.
  ASSERT_EQ(print.report.cells.size(), screen.report.cells.size());
  for (size_t i = 0; i < print.report.cells.size(); ++i) {
    EXPECT_EQ(print.report.cells[i].colour, screen.report.cells[i].colour);
  }
}

TEST(RangeMeanMatrixPicture, TheReportBitmapIsTheReportLayout) {
  torvwy::testing::TempDir dir;
  const std::filesystem::path path = dir.path() / "matrix.bmp";
  ASSERT_TRUE(WriteMatrixReportBitmap(path, testing::RainflowFixture(), SmallMatrix(),
                                      StateFor(core::Language::kEnglish))
                  .ok());
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(path.string()), "BMP"));
  EXPECT_EQ(image.width(), 2 * kImageWidth);
  EXPECT_EQ(image.height(), 2 * 560);
  // The largest cell (range 0..3, mean -2..-0.5) is in the lower left of the map.
  bool darkest = false;
  for (int y = image.height() * 3 / 4; y < image.height() * 9 / 10 && !darkest; y += 4) {
    for (int x = 80; x < 300 && !darkest; x += 4) {
      darkest = image.pixelColor(x, y) == MatrixCellColour(1.0);
    }
  }
  EXPECT_TRUE(darkest);
  EXPECT_FALSE(WriteMatrixReportBitmap(dir.path() / "missing" / "m.bmp", testing::RainflowFixture(),
                                       SmallMatrix(), StateFor(core::Language::kEnglish))
                   .ok());
}

/// The topmost row in column x of the curve area, its frame included (damage 0 lies on the
/// lower frame line), that has the curve's colour; -1 when none.
int CurveRow(const QImage& image, const QRect& wave, int x, const QColor& colour) {
  for (int y = wave.top(); y <= wave.bottom() + 1; ++y) {
    if (image.pixelColor(x, y) == colour) return y;
  }
  return -1;
}

TEST(DamageHistoryPicture, TheCurveRisesStepByStepToTheTotal) {
  // Cycles ending at 1, 2 and 3 s (the second does no damage), the residue at 4 s.
  std::vector<core::DamageStep> steps(4);
  const double seconds[] = {1.0, 2.0, 3.0, 4.0};
  const double cumulative[] = {0.1, 0.1, 0.4, 0.5};
  for (size_t i = 0; i < steps.size(); ++i) {
    steps[i].seconds = seconds[i];
    steps[i].cumulative = cumulative[i];
    steps[i].damage = cumulative[i] - (i > 0 ? cumulative[i - 1] : 0.0);
  }
  steps.back().residue = true;
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    ViewState state = StateFor(language);
    const Drawn drawn = DrawDamage(steps, state);
    ASSERT_EQ(drawn.report.plots.size(), 1u);
    const DrawnPlot& plot = drawn.report.plots[0];
    EXPECT_DOUBLE_EQ(plot.x_low, 0.0);
    EXPECT_DOUBLE_EQ(plot.x_high, 4.0);
    EXPECT_DOUBLE_EQ(plot.y_low, 0.0);
    EXPECT_DOUBLE_EQ(plot.y_high, 0.6) << "a fifth above the total";
    EXPECT_TRUE(plot.missing.isEmpty());
    EXPECT_TRUE(Texts(drawn.report).contains(Tq(language, core::TextKey::kPictureDamageTitle)));
    QStringList plot_texts;
    for (const DrawnText& text : plot.texts) plot_texts << text.text;
    EXPECT_TRUE(plot_texts.contains(Tq(language, core::TextKey::kPictureDamageAxis)));
    const QRect wave = plot.wave_rect;
    const QColor line = ToQColor(state.colours.wave_line);
    // Monotone: the curve never comes down from left to right.
    int previous = wave.bottom() + 2;
    int columns = 0;
    for (int x = wave.left() + 2; x < wave.right() - 1; ++x) {
      const int row = CurveRow(drawn.image, wave, x, line);
      if (row < 0) continue;
      ++columns;
      EXPECT_LE(row, previous) << "x " << x;
      previous = row;
    }
    EXPECT_GT(columns, wave.width() * 9 / 10);
    // The levels by hand: 0.1 between 1 and 3 s, 0.5 after 4 s (the Y axis runs to 0.6).
    auto row_of = [&](double damage) { return wave.top() + (0.6 - damage) / 0.6 * wave.height(); };
    auto x_of = [&](double s) { return static_cast<int>(wave.left() + s / 4.0 * wave.width()); };
    EXPECT_NEAR(CurveRow(drawn.image, wave, x_of(0.5), line), row_of(0.0), 2.0);
    EXPECT_NEAR(CurveRow(drawn.image, wave, x_of(2.5), line), row_of(0.1), 2.0);
    EXPECT_NEAR(CurveRow(drawn.image, wave, x_of(3.5), line), row_of(0.4), 2.0);
  }
}

TEST(DamageHistoryPicture, NoStepsSaysSoAndATinyAreaIsAFrame) {
  const Drawn drawn = DrawDamage({}, StateFor(core::Language::kChinese));
  ASSERT_EQ(drawn.report.plots.size(), 1u);
  EXPECT_EQ(drawn.report.plots[0].missing,
            Tq(core::Language::kChinese, core::TextKey::kPictureNoCycles));
  const QRect wave = drawn.report.plots[0].wave_rect;
  const QColor line = ToQColor(StateFor(core::Language::kChinese).colours.wave_line);
  EXPECT_EQ(CurveRow(drawn.image, wave, wave.center().x(), line), -1) << "no curve";
  EXPECT_TRUE(DrawDamage({}, StateFor(core::Language::kEnglish), 1, 1).report.empty);
}

/// Three classes of [-9, 9] (the rainflow fixture's A = 9, N = 3), edges -9 -3 3 9:
///
///   from  3..9 |  .   0.5   .
///   from -3..3 |  .    .    .
///   from -9..-3|  .    .    2       and one cycle beyond A, outside every cell
///                -9   -3    3    9   to
core::ClassMatrix SmallFromTo() {
  core::ClassMatrix m = *core::MakeClassMatrix(3, 9.0);
  m.Add(-6.0, 6.0, 2.0);
  m.Add(5.0, 0.0, 0.5);
  m.Add(-6.0, 12.0, 1.0);
  return m;
}

Drawn DrawFromTo(const core::ClassMatrix& matrix, const ViewState& state, QSize size = {800, 560},
                 const core::RainflowResultFile& file = testing::RainflowFixture()) {
  Drawn drawn{QImage(size, QImage::Format_RGB32), {}};
  QPainter painter(&drawn.image);
  TargetGeometry geometry;
  geometry.area = drawn.image.rect();
  drawn.report = DrawFromToMatrixPicture(painter, geometry, file, matrix, state);
  return drawn;
}

TEST(FromToMatrixPicture, CellsSitAtTheirClassesFromUpToAcrossOnSquareCells) {
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    const PictureReport report = DrawFromTo(SmallFromTo(), StateFor(language)).report;
    ASSERT_EQ(report.plots.size(), 1u);
    const QRect wave = report.plots[0].wave_rect;
    ASSERT_EQ(report.cells.size(), 2u);
    // Each class a third of either side: (from 0, to 2) lower right, (2, 1) top middle.
    for (const auto& [from, to, left, top] : {std::tuple{0, 2, 2, 2}, std::tuple{2, 1, 1, 0}}) {
      const DrawnCell* cell = CellAt(report, from, to);
      ASSERT_NE(cell, nullptr) << from << "," << to;
      EXPECT_NEAR(cell->rect.left(), wave.left() + left * wave.width() / 3.0, 1.5);
      EXPECT_NEAR(cell->rect.top(), wave.top() + top * wave.height() / 3.0, 1.5);
      EXPECT_NEAR(cell->rect.width(), wave.width() / 3.0, 1.5);
      EXPECT_NEAR(cell->rect.height(), wave.height() / 3.0, 1.5);
    }
    EXPECT_EQ(CellAt(report, 2, 1)->colour, MatrixCellColour(0.25));
    // "To" across, "from" up, in the unit, read at the inner edges on both axes.
    QStringList plot;
    for (const DrawnText& text : report.plots[0].texts) plot << text.text;
    EXPECT_TRUE(plot.contains(Tq(language, core::TextKey::kPictureFromToToAxis) + " (MPa)"));
    EXPECT_TRUE(plot.contains(Tq(language, core::TextKey::kPictureFromToFromAxis) + " (MPa)"));
    EXPECT_EQ(plot.count(QStringLiteral("-3")), 2);
    EXPECT_EQ(plot.count(QStringLiteral("3")), 2);
    // The column counts the cells' cycles and, apart, the one beyond A.
    const QStringList texts = Texts(report);
    EXPECT_TRUE(texts.contains(
        Tq(language, core::TextKey::kPictureMatrixOutside).replace(QStringLiteral("%s"), "1")));
    EXPECT_TRUE(texts.contains(
        Tq(language, core::TextKey::kPictureMatrixCycles).replace(QStringLiteral("%s"), "2.5")));
  }
  // Counts shorter than M x M are a damaged matrix: the frame, not a read past their end.
  core::ClassMatrix damaged = SmallFromTo();
  damaged.counts.resize(8);
  EXPECT_TRUE(DrawFromTo(damaged, StateFor(core::Language::kEnglish)).report.empty);
}

TEST(FromToMatrixPicture, ManyClassesAreLabelledEvenlyOnSquareCellsAndNoTextMeetsAnother) {
  // 25 classes of [-10, 10]: edges k * 0.8 - 10.
  core::ClassMatrix many = *core::MakeClassMatrix(25, 10.0);
  many.Add(-9.9, 9.9, 3.0);
  core::RainflowResultFile file = testing::RainflowFixture();
  file.result.amplitude_range = 10.0;
  for (const core::Language language : {core::Language::kEnglish, core::Language::kChinese}) {
    for (const QSize size : {QSize(800, 560), QSize(1400, 900), QSize(500, 380), QSize(320, 240)}) {
      const std::string where =
          std::to_string(size.width()) + " " + std::to_string(static_cast<int>(language));
      const PictureReport report = DrawFromTo(many, StateFor(language), size, file).report;
      const QRect wave = report.plots.at(0).wave_rect;
      EXPECT_NEAR(wave.width(), wave.height(), 1) << where;
      // The labels below the map: edges from -10 at one even step.
      std::vector<double> edges;
      for (const DrawnText& text : report.plots[0].texts) {
        bool number = false;
        const double k = (text.text.toDouble(&number) + 10.0) / 0.8;
        if (number && text.rect.top() > wave.bottom() && text.rect.top() < wave.bottom() + 20) {
          edges.push_back(k);
        }
      }
      ASSERT_GE(edges.size(), 2u) << where;
      EXPECT_NEAR(edges[0], 0.0, 1e-6) << where;
      for (size_t i = 1; i < edges.size(); ++i) {
        EXPECT_NEAR(edges[i] - edges[i - 1], edges[1] - edges[0], 1e-6) << where;
        EXPECT_NEAR(edges[i], std::round(edges[i]), 1e-6) << where;
      }
      ExpectApart(report, size, where);
    }
  }
}

TEST(MatrixColours, OnTheLogCountAxisTheCellsAreColouredByDecades) {
  // 1, 10 and 100 cycles over the decades 1..100: shares 0, 1/2 and 1 (linear: 0.01, 0.1, 1).
  core::ClassMatrix m = *core::MakeClassMatrix(3, 9.0);
  m.Add(-6.0, 0.0, 1.0);
  m.Add(0.0, 6.0, 10.0);
  m.Add(6.0, -6.0, 100.0);
  ViewState state = StateFor(core::Language::kEnglish);
  state.log_counts = true;
  const PictureReport log = DrawFromTo(m, state).report;
  EXPECT_EQ(CellAt(log, 0, 1)->colour, MatrixCellColour(0.0));
  EXPECT_EQ(CellAt(log, 1, 2)->colour, MatrixCellColour(0.5));
  EXPECT_DOUBLE_EQ(log.scale_high, 100.0);
  state.log_counts = false;
  EXPECT_EQ(CellAt(DrawFromTo(m, state).report, 1, 2)->colour, MatrixCellColour(0.1));
}

TEST(ConventionLines, ACountNamesAResidueAndAGateThatAreNotTheDefault) {
  core::RainflowResultFile rainflow = testing::RainflowFixture();
  core::PeakResultFile peak = testing::PeakFixture();
  const ViewState state = StateFor(core::Language::kChinese);
  auto columns = [&] {
    PictureReport histogram, peaks;
    testing::Render(rainflow, state, histogram);
    testing::Render(peak, state, peaks);
    return std::vector<QStringList>{
        Texts(histogram), Texts(peaks),
        Texts(DrawFromTo(SmallFromTo(), state, {800, 560}, rainflow).report)};
  };
  const QString gate = Tq(state.language, core::TextKey::kPictureGate);
  // Half cycles and no gate, the system's own: not a word, so the columns stay as they were.
  for (const QStringList& texts : columns()) {
    const QString all = texts.join('|');
    EXPECT_FALSE(all.contains(QStringLiteral("门限")) || all.contains(QStringLiteral("残余")))
        << all.toStdString();
  }
  for (const auto& [method, line] :
       {std::pair{core::ResidueMethod::kFull, core::TextKey::kPictureResidueFull},
        {core::ResidueMethod::kDiscard, core::TextKey::kPictureResidueDiscard},
        {core::ResidueMethod::kRepeated, core::TextKey::kPictureResidueRepeated}}) {
    rainflow.result.residue = method;
    rainflow.result.gate = 0.25;
    peak.result.gate = 1.5;
    const std::vector<QStringList> shown = columns();
    for (const size_t k : {0, 2}) {  // the rainflow histogram and its matrix
      EXPECT_EQ(shown[k].count(Tq(state.language, line)), 1) << k;
      EXPECT_EQ(shown[k].count(QString(gate).replace("%s", "0.25 MPa")), 1) << k;
    }
    EXPECT_EQ(shown[1].count(QString(gate).replace("%s", "1.5 MPa")), 1) << "peak";
  }
}

}  // namespace
}  // namespace torvwy::render
