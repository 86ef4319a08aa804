// Drawing the time-history picture and the overlay of several nodes' counts.
#include "render/waveform_picture.h"

#include <QFontMetrics>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "core/services/text_catalogue.h"
#include "render/draw_wave.h"
#include "render/information_column.h"
#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

using core::TextKey;
using core::Tr;
using layout::Q;

constexpr int kFontPoints = 9;

ViewState StateOf(core::Language language, const PictureColours& colours, bool grid) {
  ViewState state;
  state.language = language;
  state.colours = colours;
  state.grid_shown = grid;
  return state;
}

/// Bookmark flags at their times:
///
///   +--------+        the text box at the top of the curve area, its pole from its left edge
///   |  text  |        down through the curve area at the bookmark's time
///   +--------+
///   |
void DrawTimeFlags(QPainter& painter, const CDrawWave& plot, const WaveformPicture& picture,
                   WaveformReport& report) {
  const QRect wave = plot.GetWaveRect();
  painter.save();
  painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
  const QFontMetrics metrics(painter.font(), painter.device());
  for (size_t i = 0; i < picture.flags.size(); ++i) {
    const auto& flag = picture.flags[i];
    if (!(flag.time_s >= picture.t_low_s) || !(flag.time_s <= picture.t_high_s)) continue;
    const int x = static_cast<int>(std::lround(plot.MapX(flag.time_s)));
    const QString text =
        metrics.elidedText(flag.text, Qt::ElideRight, std::max(8, wave.width() / 4));
    const int w = metrics.horizontalAdvance(text);
    const int h = metrics.height();
    painter.setPen(QPen(ToQColor(0xFFFF00), 1, Qt::DashLine));
    painter.drawLine(x, wave.top(), x, wave.bottom());
    const QRect box(x, wave.top(), w + 6, h + 2);
    painter.fillRect(box, ToQColor(0xC4FFFF));
    painter.setPen(ToQColor(0x000040));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(ToQColor(0x0000FF));
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
    report.flags.push_back({static_cast<int>(i), x, box});
  }
  painter.restore();
}

}  // namespace

WaveformReport DrawWaveformPicture(QPainter& painter, const QRect& area,
                                   const WaveformPicture& picture) {
  WaveformReport report;
  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  painter.fillRect(area, ToQColor(picture.colours.background));
  TargetGeometry geometry;
  geometry.target = DrawTarget::kWindow;
  geometry.area = area;
  const QFont font = PictureFont(geometry.FontPixels(kFontPoints));
  const QFontMetrics metrics(font, painter.device());
  const int line = metrics.height() + 4;
  const int footer_height = static_cast<int>(picture.footer.size()) * line + 4;
  const QRect plot_rect(area.left(), area.top(), area.width(),
                        std::max(2, area.height() - footer_height));
  CDrawWave plot;
  const ViewState state = StateOf(picture.language, picture.colours, picture.grid_shown);
  layout::PreparePlot(plot, geometry, state, font, false);
  plot.SetData(picture.values);
  plot.SetWaveType(CDrawWave::kLine);
  plot.EnableCursor(false);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, picture.t_low_s, picture.t_high_s);
  plot.SetRangeOfY(CDrawWave::kRangeFixed, picture.y_low, picture.y_high);
  plot.SetTitle("  " + Q(Tr(picture.language, TextKey::kWaveformTitle)),
                Q(Tr(picture.language, TextKey::kWaveformXTitle)),
                Q(Tr(picture.language, TextKey::kWaveformYTitle)));
  plot.SetEU(QStringLiteral("s"), picture.eu);
  plot.SetMissingText(picture.missing);
  plot.Draw(painter, plot_rect);
  report.wave_rect = plot.GetWaveRect();
  report.t_low_s = plot.x_low();
  report.t_high_s = plot.x_high();
  for (const auto& [text, box] : plot.drawn_texts()) report.texts.push_back({text, box});
  painter.setFont(font);
  if (picture.pick_s && plot.Drawable()) {
    // The picked range as a translucent band over the curve.
    const double from = std::max(picture.pick_s->first, picture.t_low_s);
    const double to = std::min(picture.pick_s->second, picture.t_high_s);
    if (to > from) {
      const int left = static_cast<int>(std::lround(plot.MapX(from)));
      const int right = static_cast<int>(std::lround(plot.MapX(to)));
      const QRect wave = report.wave_rect;
      report.pick_rect =
          QRect(QPoint(left, wave.top()), QPoint(std::max(left, right), wave.bottom()));
      QColor band = ToQColor(0xFF8040);
      band.setAlpha(70);
      painter.fillRect(report.pick_rect, band);
      painter.setPen(QPen(ToQColor(0xFF8040), 1));
      painter.drawLine(left, wave.top(), left, wave.bottom());
      painter.drawLine(right, wave.top(), right, wave.bottom());
    }
  }
  if (plot.Drawable()) DrawTimeFlags(painter, plot, picture, report);
  painter.setPen(ToQColor(picture.colours.text));
  int y = plot_rect.bottom() + 3;
  for (const QString& text : picture.footer) {
    const QRect box(area.left() + 6, y, area.width() - 12, line);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, box.width());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    report.texts.push_back(
        {shown, QRect(box.left(), box.top(),
                      std::min(box.width(), metrics.horizontalAdvance(shown)), box.height())});
    y += line;
  }
  painter.restore();
  return report;
}

QColor OverlayColour(int i) {
  static constexpr ColourRef kHues[] = {0x00FF00, 0x00A5FF, 0xFFFF00, 0xFF00FF,
                                        0x0000FF, 0xFFFFFF, 0x80FF80, 0xFF8080};
  constexpr int kCount = static_cast<int>(std::size(kHues));
  return ToQColor(kHues[((i % kCount) + kCount) % kCount]);
}

QColor OverlayPaperColour(int i) {
  // Dark hues that stand out on white paper, none of them white or yellow.
  static constexpr ColourRef kHues[] = {0x008000, 0x0080FF, 0xFF0000, 0x800080,
                                        0x0000FF, 0x000000, 0x808000, 0x004080};
  constexpr int kCount = static_cast<int>(std::size(kHues));
  return ToQColor(kHues[((i % kCount) + kCount) % kCount]);
}

OverlayReport DrawOverlayPicture(QPainter& painter, const TargetGeometry& geometry,
                                 const OverlayPicture& picture) {
  OverlayReport report;
  const QRect area = geometry.area;
  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  const bool printing = geometry.printing();
  painter.fillRect(area, printing ? QColor(Qt::white) : ToQColor(picture.colours.background));
  const QFont font = PictureFont(geometry.FontPixels(kFontPoints));
  ViewState state = StateOf(picture.language, picture.colours, picture.choices.grid_shown);
  CDrawWave plot;
  layout::PreparePlot(plot, geometry, state, font, false);
  size_t n = 0;
  double largest = 0.0;
  std::vector<double> all;
  for (const OverlayCurve& curve : picture.curves) {
    n = std::max(n, curve.counts.size());
    for (double v : curve.counts) {
      if (std::isfinite(v)) largest = std::max(largest, v);
      all.push_back(v);
    }
  }
  // The plot draws no curve of its own: the axes over n cells, the curves drawn below.
  const std::vector<double> cells(std::max<size_t>(n, 1), 0.0);
  plot.SetData(cells);
  plot.SetWaveType(CDrawWave::kLine);
  plot.SetColors([&] {
    auto colours = layout::PlotColours(geometry, picture.colours);
    colours[CDrawWave::kWaveLine] = picture.colours.wave_background;
    return colours;
  }());
  plot.EnableCursor(false);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, picture.x_low, picture.x_high);
  if (!(largest > 0.0)) largest = 1.0;
  const double zoom = std::isfinite(picture.choices.zoom) && picture.choices.zoom > 0.0
                          ? std::clamp(picture.choices.zoom, 0.001, 1000.0)
                          : 1.0;
  if (picture.choices.log_counts) {
    const LogCountRange range = LogCountAxis(all, largest, zoom);
    plot.SetLogY(true);
    plot.SetRangeOfY(CDrawWave::kRangeFixed, range.low, range.high);
  } else {
    plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, 1.2 * largest / zoom);
  }
  plot.SetTitle("  " + picture.title, picture.x_title, QStringLiteral("Number"));
  plot.SetEU(picture.eu, QString());
  plot.Draw(painter, area);
  report.plot = layout::Describe(plot, area, picture.title, static_cast<int>(n));
  const QRect wave = plot.GetWaveRect();
  painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
  for (size_t c = 0; c < picture.curves.size(); ++c) {
    const QColor colour =
        printing ? OverlayPaperColour(static_cast<int>(c)) : OverlayColour(static_cast<int>(c));
    report.colours.push_back(colour);
    painter.setPen(QPen(colour, std::max(2, geometry.LineWidth() * 2)));
    const auto& counts = picture.curves[c].counts;
    const double cell = wave.width() / static_cast<double>(std::max<size_t>(n, 1));
    // A run of one point, a count between two empty cells on a logarithmic axis, draws as a
    // step across its cell: a polyline of one point draws nothing.
    QPolygonF run;
    const auto draw_run = [&] {
      if (run.size() == 1) {
        const QPointF at = run.front();
        painter.drawLine(QPointF(at.x() - std::max(3.0, cell / 2), at.y()),
                         QPointF(at.x() + std::max(3.0, cell / 2), at.y()));
      } else {
        painter.drawPolyline(run);
      }
      run.clear();
    };
    for (size_t i = 0; i < counts.size(); ++i) {
      const double y = plot.MapY(counts[i]);
      if (!std::isfinite(y)) {  // a zero on a logarithmic axis breaks the line
        draw_run();
        continue;
      }
      const double x = wave.left() + (static_cast<double>(i) + 0.5) * cell;
      run << QPointF(x, std::clamp(y, wave.top() - 10.0, wave.bottom() + 10.0));
    }
    draw_run();
  }
  // The legend: a swatch and the node's name per curve, in the top-right corner.
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  const int h = metrics.height();
  int text_width = 0;
  for (const OverlayCurve& curve : picture.curves) {
    text_width = std::max(text_width, metrics.horizontalAdvance(curve.name));
  }
  const int swatch = 2 * h;
  const int width = swatch + 12 + text_width;
  const int height = static_cast<int>(picture.curves.size()) * (h + 2) + 6;
  const QRect legend(wave.right() - width - 6, wave.top() + 6, width, height);
  painter.fillRect(legend, printing ? QColor(Qt::white) : ToQColor(picture.colours.background));
  painter.setPen(QPen(printing ? QColor(Qt::black) : ToQColor(picture.colours.axis), 1));
  painter.drawRect(legend.adjusted(0, 0, -1, -1));
  for (size_t c = 0; c < picture.curves.size(); ++c) {
    const int top = legend.top() + 3 + static_cast<int>(c) * (h + 2);
    const QRect swatch_rect(legend.left() + 4, top + h / 2 - 2, swatch, 5);
    painter.fillRect(swatch_rect, report.colours[c]);
    const QRect box(swatch_rect.right() + 5, top, text_width + 2, h);
    painter.setPen(printing ? QColor(Qt::black) : ToQColor(picture.colours.text));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     picture.curves[c].name);
    report.legend.push_back({picture.curves[c].name, report.colours[c], swatch_rect, box});
  }
  painter.restore();
  return report;
}

}  // namespace torvwy::render
