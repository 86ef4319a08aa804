// The printed statistics list: pages of 60 rows, the heading, the footer, cells never cut.
#include "module/statistics_pages.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <string>

namespace torvwy::testing {
namespace {
using module::PageText;
using module::StatisticsPages;

TEST(StatisticsPages, PageCountsFollowSixtyRowsAPage) {
  const struct {
    int rows;
    int pages;
  } cases[] = {{0, 1}, {1, 1}, {60, 1}, {61, 2}, {120, 2}, {121, 3}};
  for (const auto& c : cases) EXPECT_EQ(module::StatisticsPageCount(c.rows), c.pages) << c.rows;
}

TEST(StatisticsPages, HeadingNamesOneCodeOrTheFirstAndLast) {
  core::StatisticsReportNames names;
  names.test_name = "abc";
  names.first_code = names.last_code = "3";
  EXPECT_EQ(
      module::StatisticsPageHeading(names, core::kStatAmplitudeIndices, core::Language::kEnglish),
      QStringLiteral("===== abc3 - TORV Amplitude Stat ====="));
  names.last_code = "9";
  EXPECT_EQ(module::StatisticsPageHeading(names, core::kStatPeakPeaks, core::Language::kChinese),
            QStringLiteral("===== abc3_9－TORV波形峰峰值统计 ====="));
}

TEST(StatisticsPages, SixtyOneRowsMakeTwoPagesWithEveryTextInsideItsCell) {
  // Titles and numbers wider than the narrowest column: the page widens those columns.
  core::StatisticsTable table;
  table.columns = {{"No.", 40},         {"Test Code", 80},     {"Node", 80},
                   {"Peak Value", 100}, {"Std Deviation", 80}, {"Unit", 80}};
  for (int r = 1; r <= 61; ++r) {
    table.rows.push_back({std::to_string(r), "A1" + std::to_string(r), "node-" + std::to_string(r),
                          "2949.22", "-1.23456789E+123", r == 61 ? "kN*m/s^2" : "mV"});
  }
  const StatisticsPages pages(table, QStringLiteral("===== abc1 - TORV Amplitude Stat ====="));
  ASSERT_EQ(pages.page_count(), 2);
  ASSERT_EQ(pages.boundaries().size(), table.columns.size() + 1);

  QImage image(static_cast<int>(pages.width()) + 1, static_cast<int>(pages.height()) + 1,
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  const QFontMetricsF metrics(pages.font(), &image);
  for (int page = 1; page <= 2; ++page) {
    const std::vector<PageText> texts = pages.DrawPage(painter, page);
    // Heading, titles, the page's rows, footer.
    const size_t rows_on_page = page == 1 ? 60 : 1;
    ASSERT_EQ(texts.size(), 1 + table.columns.size() * (rows_on_page + 1) + 1) << page;
    EXPECT_EQ(texts.back().text, QStringLiteral("Page %1  , Total 2 ").arg(page));
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
      // The text starts 5 units in and must end before the cell's right line.
      EXPECT_LE(5 + metrics.horizontalAdvance(texts[i].text), texts[i].cell.width())
          << texts[i].text.toStdString();
      EXPECT_GE(texts[i].cell.left(), StatisticsPages::kLeft);
      EXPECT_LE(texts[i].cell.right(), pages.width() - StatisticsPages::kLeft + 0.01);
    }
    if (page == 2) {
      EXPECT_EQ(texts[1 + table.columns.size()].text, QStringLiteral("61"));
    }
    // The footer stands below the 60th row's line.
    EXPECT_GT(texts.back().cell.top(), StatisticsPages::kTop + 61 * pages.row_pitch());
  }
  painter.end();
  // The widened columns keep their order and never shrink below the sample number's width.
  for (size_t j = 4; j + 1 < pages.boundaries().size(); ++j) {
    EXPECT_GE(pages.boundaries()[j + 1] - pages.boundaries()[j],
              metrics.horizontalAdvance(QStringLiteral(" -0.000E+2")) - 0.01);
  }
}

}  // namespace
}  // namespace torvwy::testing
