// The damage share picture of a test programme.
#include "render/programme_picture.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "render/colours.h"
#include "render/text_drawing.h"

namespace torvwy::render {

PictureReport DrawSharePicture(QPainter& painter, const TargetGeometry& geometry,
                               const SharePicture& picture, const ViewState& state) {
  PictureReport report;
  const QRect area = geometry.area;
  if (area.width() < 2 || area.height() < 2) return report;
  report.empty = false;
  const bool paper = geometry.printing();
  const QColor background = paper ? QColor(Qt::white) : ToQColor(state.colours.background);
  const QColor ink = paper ? QColor(Qt::black) : ToQColor(state.colours.text);
  const QColor axis_colour = paper ? QColor(Qt::black) : ToQColor(state.colours.axis);
  const QColor fill = paper ? QColor(Qt::darkGray) : ToQColor(state.colours.wave_fill);
  const QColor edge = paper ? QColor(Qt::black) : ToQColor(state.colours.wave_line);
  const int line = geometry.LineWidth();

  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  painter.fillRect(area, background);
  // The font shrinks with a small picture, so that a few bars still fit a small window.
  const int fitting = std::max(1, area.height() / 18);
  const QFont font = PictureFont(std::min(geometry.FontPixels(9.0), std::max(6, fitting)));
  painter.setFont(font);
  report.font_pixels = font.pixelSize();
  const QFontMetrics metrics(font);
  const int row_text = metrics.height();
  const int margin = std::max(row_text / 2, area.width() / 40);

  painter.setPen(ink);
  const QRect title_box(area.left() + margin, area.top() + margin / 2, area.width() - 2 * margin,
                        row_text + row_text / 2);
  DrawClippedText(painter, picture.title, title_box, Qt::AlignHCenter | Qt::AlignVCenter);
  report.texts.push_back({picture.title, title_box});

  // Room for the labels (at most a third of the width) and the percentages.
  int label_width = 0;
  for (const ShareBar& bar : picture.bars) {
    label_width = std::max(label_width, metrics.horizontalAdvance(bar.label));
  }
  label_width = std::min(label_width + row_text / 2, area.width() / 3);
  const int percent_width = metrics.horizontalAdvance(QStringLiteral("100.0 %")) + row_text / 2;
  const int left = area.left() + margin + label_width;
  const int right = area.right() - margin - percent_width;
  const int top = title_box.bottom() + row_text / 2;
  const int bottom = area.bottom() - margin / 2 - 2 * row_text - row_text / 2;
  if (right - left < 10 || bottom - top < 4) {
    painter.restore();
    return report;
  }
  if (picture.bars.empty()) {
    DrawClippedText(painter, picture.empty, QRect(left, top, right - left, bottom - top),
                    Qt::AlignCenter);
    painter.restore();
    return report;
  }

  // The axis from 0 to 100 %, ticks every 20 %.
  painter.setPen(QPen(axis_colour, line));
  painter.drawLine(left, top, left, bottom);
  painter.drawLine(left, bottom, right, bottom);
  const auto x_of = [&](double percent) {
    return left + static_cast<int>(std::lround((right - left) * percent / 100.0));
  };
  for (int percent = 0; percent <= 100; percent += 20) {
    const int x = x_of(percent);
    painter.setPen(QPen(axis_colour, line));
    painter.drawLine(x, bottom, x, bottom + row_text / 3);
    painter.setPen(ink);
    const QRect tick(x - row_text * 2, bottom + row_text / 3, row_text * 4, row_text);
    DrawClippedText(painter, QString::number(percent), tick, Qt::AlignHCenter | Qt::AlignTop);
  }
  const QRect axis_box(left, bottom + row_text + row_text / 3, right - left, row_text);
  DrawClippedText(painter, picture.axis, axis_box, Qt::AlignHCenter | Qt::AlignTop);
  report.texts.push_back({picture.axis, axis_box});

  // One row per bar, the bar two thirds of the row's height.
  const int count = static_cast<int>(picture.bars.size());
  const double row = static_cast<double>(bottom - top) / count;
  for (int i = 0; i < count; ++i) {
    const ShareBar& bar = picture.bars[static_cast<size_t>(i)];
    const double share = std::isfinite(bar.share) ? std::clamp(bar.share, 0.0, 1.0) : 0.0;
    const int row_top = top + static_cast<int>(row * i);
    const int row_bottom = top + static_cast<int>(row * (i + 1));
    const int height = std::max(1, (row_bottom - row_top) * 2 / 3);
    const int bar_top = row_top + (row_bottom - row_top - height) / 2;
    const int width = x_of(share * 100.0) - left;
    if (width > 0) {
      painter.setPen(QPen(edge, line));
      painter.setBrush(fill);
      painter.drawRect(QRect(left + line, bar_top, width, height));
    }
    painter.setPen(ink);
    const QRect label_box(area.left() + margin, row_top, label_width - row_text / 4,
                          row_bottom - row_top);
    DrawClippedText(painter, bar.label, label_box, Qt::AlignRight | Qt::AlignVCenter);
    const QString percent = QString::number(share * 100.0, 'f', 1) + QStringLiteral(" %");
    const QRect value_box(left + std::max(0, width) + row_text / 3, row_top, percent_width,
                          row_bottom - row_top);
    DrawClippedText(painter, percent, value_box, Qt::AlignLeft | Qt::AlignVCenter);
    report.texts.push_back({bar.label, label_box});
  }
  painter.restore();
  return report;
}

}  // namespace torvwy::render
