// The printed statistics list.
#include "module/statistics_pages.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <utility>

#include "core/services/text_catalogue.h"
#include "render/text_drawing.h"

namespace torvwy::module {
namespace {

constexpr int kFontHeight = 16;
/// Texts start this far right of their column's left line, and keep as much room on the right.
constexpr double kCellPadding = 5;

}  // namespace

int StatisticsPageCount(int rows) { return rows <= 0 ? 1 : (rows - 1) / kRowsPerPage + 1; }

QString StatisticsPageHeading(const core::StatisticsReportNames& names, int32_t content,
                              core::Language language) {
  QString heading = QStringLiteral("===== ") + QString::fromStdString(names.test_name) +
                    QString::fromStdString(names.first_code);
  if (names.last_code != names.first_code) {
    heading += "_" + QString::fromStdString(names.last_code);
  }
  const bool peak_peaks = content == core::kStatPeakPeaks;
  heading +=
      QString::fromUtf8(core::Tr(language, peak_peaks ? core::TextKey::kStatisticsPeakPeakHeading
                                                      : core::TextKey::kStatisticsAmplitudeHeading)
                            .data());
  return heading;
}

StatisticsPages::StatisticsPages(const core::StatisticsTable& table, QString heading)
    : table_(table), heading_(std::move(heading)), font_(render::PictureFontFamily()) {
  font_.setPixelSize(kFontHeight);
  font_.setWeight(QFont::Normal);
  const QFontMetricsF metrics(font_);
  text_height_ = metrics.height();
  row_pitch_ = text_height_ + 6;
  const double sample = metrics.horizontalAdvance(table_.content == core::kStatPeakPeaks
                                                      ? QStringLiteral(" -0.000E+2  ")
                                                      : QStringLiteral(" -0.000E+2"));
  // The narrowest each column may be: the first three give up 4 units each, the fourth (the
  // node name of a list, or the peak value) takes them and 12 more.
  const size_t columns = table_.columns.size();
  std::vector<double> widths(columns, sample);
  for (size_t j = 0; j < columns; ++j) {
    if (j < 3) widths[j] = sample - 4;
    if (j == 3) widths[j] = sample + 24;
  }
  auto fit = [&](size_t column, const std::string& text) {
    if (column >= columns || text.empty()) return;
    const double needed =
        metrics.horizontalAdvance(QString::fromStdString(text)) + 2 * kCellPadding;
    widths[column] = std::max(widths[column], needed);
  };
  for (size_t j = 0; j < columns; ++j) fit(j, table_.columns[j].title);
  for (const auto& row : table_.rows) {
    for (size_t j = 0; j < row.size(); ++j) fit(j, row[j]);
  }
  boundaries_.assign(1, kLeft);
  for (double width : widths) boundaries_.push_back(boundaries_.back() + width);
}

std::vector<PageText> StatisticsPages::DrawPage(QPainter& painter, int page) const {
  std::vector<PageText> drawn;
  const int rows = static_cast<int>(table_.rows.size());
  const int first = (page - 1) * kRowsPerPage;
  const int last = std::min(page * kRowsPerPage, rows);  // one past
  const int on_page = std::max(0, last - first);
  const double top = kTop;
  const double r = row_pitch_;
  const double left = boundaries_.front();
  const double right = boundaries_.back();

  painter.save();
  painter.setFont(font_);
  painter.setPen(QPen(Qt::black, 0));
  painter.setBackgroundMode(Qt::TransparentMode);
  auto text = [&](const QString& value, const QRectF& cell, int flags) {
    painter.drawText(cell, flags | Qt::TextSingleLine | Qt::TextDontClip, value);
    drawn.push_back({value, cell});
  };

  text(heading_, QRectF(0, top - 2 * r, right + kLeft, 2 * r), Qt::AlignCenter);
  for (int k = 0; k <= on_page + 1; ++k) {
    painter.drawLine(QLineF(left, top + k * r, right, top + k * r));
  }
  for (double x : boundaries_) painter.drawLine(QLineF(x, top, x, top + (on_page + 1) * r));

  auto cell = [&](size_t column, int line) {
    return QRectF(boundaries_[column], top + line * r,
                  boundaries_[column + 1] - boundaries_[column], r);
  };
  auto cell_text = [&](const std::string& value, size_t column, int line) {
    const QRectF box = cell(column, line);
    text(QString::fromStdString(value), box.adjusted(kCellPadding, 3, 0, 0),
         Qt::AlignLeft | Qt::AlignTop);
    drawn.back().cell = box;
  };
  for (size_t j = 0; j < table_.columns.size(); ++j) cell_text(table_.columns[j].title, j, 0);
  for (int i = 0; i < on_page; ++i) {
    const auto& row = table_.rows[static_cast<size_t>(first + i)];
    for (size_t j = 0; j < row.size() && j < table_.columns.size(); ++j) {
      cell_text(row[j], j, i + 1);
    }
  }
  // The footer stands where the Part's uniform columns would put it: after three of them.
  const double sample_width = boundaries_.size() > 1 ? boundaries_[1] - boundaries_[0] + 4 : 80;
  const QString footer = QStringLiteral("Page %1  , Total %2 ").arg(page).arg(page_count());
  text(footer, QRectF(left + 3 * sample_width + 96, top + 62 * r + 3, right, r),
       Qt::AlignLeft | Qt::AlignTop);
  painter.restore();
  return drawn;
}

bool StatisticsPages::Print(QPrinter& printer) const {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // The page maps 1000 x 600 units onto (printable width mm x dpi x 17 / 490, dpi x 220 / 49)
  // device pixels: about 135 units to the inch either way. A list wider or longer than the
  // paper is scaled down as a whole, so that its columns keep their proportions.
  const double dpi = printer.resolution();
  const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Millimeter);
  const double x_scale = paper.width() * dpi * 17.0 / 490.0 / 1000.0;
  const double y_scale = dpi * 220.0 / 49.0 / 600.0;
  const QRect pixels = printer.pageLayout().paintRectPixels(printer.resolution());
  const double fit =
      std::min({1.0, pixels.width() / (width() * x_scale), pixels.height() / (height() * y_scale)});
  for (int page = 1; page <= page_count(); ++page) {
    if (page > 1 && !printer.newPage()) return false;
    painter.save();
    painter.scale(x_scale * fit, y_scale * fit);
    DrawPage(painter, page);
    painter.restore();
  }
  return painter.end();
}

}  // namespace torvwy::module
