// Drawing the range-mean and from-to matrices as heat maps and the damage as it grew through the
// record.
#include "render/fatigue_pictures.h"

#include <QFontMetrics>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>

#include "core/counting/counting_parameters.h"
#include "core/services/number_format.h"
#include "core/services/text_catalogue.h"
#include "render/draw_wave.h"
#include "render/information_column.h"
#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

using core::TextKey;
using core::Tr;
using layout::Fmt;
using layout::InfoLine;
using layout::Q;

bool Finite(double value) { return std::isfinite(value); }

/// Draws only a frame round the area: a picture with nothing to lay out.
PictureReport EmptyFrame(QPainter& painter, const TargetGeometry& geometry) {
  painter.save();
  painter.setClipRect(geometry.area, Qt::IntersectClip);
  painter.setPen(QPen(Qt::black, geometry.LineWidth()));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(geometry.area.adjusted(0, 0, -1, -1));
  painter.restore();
  return PictureReport{};
}

/// The X range of the mean bins; one mean value (no bin width) is shown as a band round it.
std::pair<double, double> MeanAxis(const core::RangeMeanMatrix& matrix) {
  const double low = matrix.mean_low;
  if (matrix.mean_width > 0.0 && Finite(matrix.mean_width)) {
    return {low, matrix.mean_to(matrix.mean_bins - 1)};
  }
  const double half = std::max({std::fabs(low) * 0.1, matrix.range_width / 2.0, 1e-9});
  return {low - half, low + half};
}

/// The mean columns drawn: the mean bins, or one column when the means have no width.
int MeanColumns(const core::RangeMeanMatrix& matrix) {
  return matrix.mean_width > 0.0 && Finite(matrix.mean_width) ? matrix.mean_bins : 1;
}

/// Pixel rectangle between two mapped edges, at least one pixel on each side.
QRect Between(double x0, double x1, double y0, double y1) {
  const int left = static_cast<int>(std::lround(std::min(x0, x1)));
  const int right = std::max(left + 1, static_cast<int>(std::lround(std::max(x0, x1))));
  const int top = static_cast<int>(std::lround(std::min(y0, y1)));
  const int bottom = std::max(top + 1, static_cast<int>(std::lround(std::max(y0, y1))));
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

/// How a cell's cycles map to its colour: a share of the largest cell, or, on the window's log
/// count axis, its place among the decades from the one at or below the smallest cell to the one
/// at or above the largest, so that a cell of 2 cycles beside one of 2000 does not fade to white:
///
///   linear   share = n / largest                       ticks 0, 0.5, 1, ... up to largest
///   log      share = log(n / low) / log(high / low)     ticks 1, 10, 100, ... low to high
struct ColourScale {
  bool log = false;
  double low = 0.0;
  double high = 0.0;  ///< the count at the top of the scale; 0: no cycles

  double Share(double count) const {
    if (!(high > low)) return 0.0;
    if (!log) return count / high;
    if (!(count > 0.0)) return 0.0;
    return std::log10(count / low) / std::log10(high / low);
  }
  std::vector<double> Ticks() const {
    return log ? DecadeTicks(low, high) : NiceTicks(0.0, high, 5);
  }
};

ColourScale MakeColourScale(std::span<const double> counts, bool log) {
  ColourScale scale;
  scale.log = log;
  double smallest = std::numeric_limits<double>::infinity();
  for (double count : counts) {
    if (!Finite(count) || !(count > 0.0)) continue;
    scale.high = std::max(scale.high, count);
    smallest = std::min(smallest, count);
  }
  if (log && scale.high > 0.0) {
    scale.low = std::pow(10.0, std::floor(std::log10(smallest)));
    scale.high = std::pow(10.0, std::ceil(std::log10(scale.high)));
    if (!(scale.high > scale.low)) scale.high = 10.0 * scale.low;  // every cell alike
  }
  return scale;
}

/// The colour scale's bar, right of the map:
///
///   Cycles       scale title in the plot's title row
///   +--+ 12      the bar spans the map's curve area, light (few cycles) at the bottom,
///   |##| 10      dark (the largest cell) at the top; tick numbers right of it, left out
///   |##|  5      where they would meet another
///   |  |  0
///   +--+
struct ScaleLayout {
  QRect strip;  ///< the whole room of the scale
  int bar_width = 0;
  int gap = 0;
  std::vector<double> ticks;
};

ScaleLayout MeasureScale(const QFontMetrics& metrics, const QString& title,
                         const ColourScale& colours, const QRect& plots) {
  ScaleLayout scale;
  scale.gap = std::max(2, metrics.height() / 3);
  scale.bar_width = std::max(8, metrics.height());
  scale.ticks = colours.Ticks();
  int widest = 0;
  for (double tick : scale.ticks) {
    widest = std::max(
        widest, metrics.horizontalAdvance(QString::fromStdString(core::FormatNumber(tick, 0))));
  }
  const int width =
      std::max(scale.bar_width + 4 * scale.gap + widest, metrics.horizontalAdvance(title) + 2);
  const int room = std::min(width, std::max(0, plots.width() / 4));
  scale.strip = QRect(plots.right() + 1 - room, plots.top(), room, plots.height());
  return scale;
}

void DrawScale(QPainter& painter, const ScaleLayout& scale, const QRect& wave,
               const ColourScale& colours, const QString& title, const QColor& text_colour,
               const QColor& frame_colour, int line_width, DrawnPlot& drawn,
               PictureReport& report) {
  const QFontMetrics metrics(painter.font(), painter.device());
  const int h = metrics.height();
  const QRect bar(scale.strip.left() + scale.gap, wave.top(), scale.bar_width, wave.height());
  if (bar.right() >= scale.strip.right() || bar.height() < 2) return;
  report.scale_bar = bar;
  report.scale_high = colours.high;
  const int rows = bar.height();
  for (int r = 0; r < rows; ++r) {
    const double share = (rows - 1 - r + 0.5) / rows;
    painter.fillRect(QRect(bar.left(), bar.top() + r, bar.width(), 1), MatrixCellColour(share));
  }
  painter.setPen(QPen(frame_colour, line_width));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(bar);
  painter.setPen(text_colour);
  std::vector<QRect> placed;
  // The title takes one text line at the top of the plot's title row.
  const QRect title_box(scale.strip.left(), scale.strip.top(), scale.strip.width(), h);
  const QString shown_title = metrics.elidedText(title, Qt::ElideRight, title_box.width());
  if (!shown_title.isEmpty() && wave.top() - scale.strip.top() >= h) {
    const QRect box(title_box.left(), title_box.top(),
                    std::min(title_box.width(), metrics.horizontalAdvance(shown_title)),
                    title_box.height());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown_title);
    drawn.texts.push_back({shown_title, box});
    placed.push_back(box);
  }
  for (double tick : scale.ticks) {
    const int y = static_cast<int>(std::lround(bar.bottom() - colours.Share(tick) * (rows - 1)));
    painter.setPen(QPen(frame_colour, line_width));
    painter.drawLine(bar.right(), y, bar.right() + scale.gap, y);
    const QString label = QString::fromStdString(core::FormatNumber(tick, 0));
    // Centred on its tick, but kept beside the bar: the end numbers align with its ends.
    const int top = std::clamp(y - h / 2, bar.top(), std::max(bar.top(), bar.bottom() + 1 - h));
    const QRect box(bar.right() + 2 * scale.gap, top, metrics.horizontalAdvance(label), h);
    const bool room = scale.strip.contains(box) &&
                      std::none_of(placed.begin(), placed.end(), [&](const QRect& other) {
                        return other.intersects(box.adjusted(-1, -1, 1, 1));
                      });
    if (!room) continue;
    painter.setPen(text_colour);
    painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, label);
    drawn.texts.push_back({label, box});
    placed.push_back(box);
  }
}

/// Opens a picture on its target: clipped to the area, the background filled, its size and font
/// chosen (report.compact, report.font_pixels); the caller restores the painter at its end.
QFont OpenPicture(QPainter& painter, const TargetGeometry& geometry, const ViewState& state,
                  const core::MessageTable& table, PictureReport& report) {
  report.empty = false;
  painter.save();
  painter.setClipRect(geometry.area, Qt::IntersectClip);
  painter.fillRect(geometry.area,
                   geometry.printing() ? QColor(Qt::white) : ToQColor(state.colours.background));
  layout::SizePicture(geometry, table, report);
  return PictureFont(report.font_pixels);
}

/// The plot a heat map's cells are drawn over: no curve of its own (one bar of no height) and no
/// cursor, its labels of `digits` significant digits (0: six) thinned at every size, and the map
/// on white whatever the background, so that its light end reads as few cycles. Returns the
/// plot's colours.
std::array<ColourRef, CDrawWave::kColourCount> PrepareHeatMap(CDrawWave& plot,
                                                              const TargetGeometry& geometry,
                                                              const ViewState& state,
                                                              const QFont& font, int digits) {
  layout::PreparePlot(plot, geometry, state, font, true);
  std::array<ColourRef, CDrawWave::kColourCount> colours =
      layout::PlotColours(geometry, state.colours);
  colours[CDrawWave::kWaveBackground] = 0xFFFFFF;
  plot.SetColors(colours);
  plot.SetTickTypeOfX(0, 0, 0, digits, 0);
  plot.SetTickTypeOfY(0, 0, 0, digits, 0);
  static const double kZero = 0.0;
  plot.SetData(&kZero, 1);
  plot.SetWaveType(CDrawWave::kHollowBar);
  plot.EnableCursor(false);
  return colours;
}

/// Titles a heat map's plot, its axes in the node's unit, and returns what it says in its middle
/// instead of cells: that there is no amplitude range, or no cycle; empty when it has cells.
QString TitleHeatMap(CDrawWave& plot, const QString& title, TextKey x_title, TextKey y_title,
                     const core::RainflowResultFile& file, core::Language language, bool ranged,
                     bool counted) {
  const QString eu = SanitizeText(file.sampling.eu());
  plot.SetTitle(title, Q(Tr(language, x_title)), Q(Tr(language, y_title)));
  plot.SetEU(eu, eu);
  QString missing;
  if (!ranged) {
    missing = Q(Tr(language, TextKey::kPictureNoAmplitudeRange));
  } else if (!counted) {
    missing = Q(Tr(language, TextKey::kPictureNoCycles));
  }
  plot.SetMissingText(missing);
  return missing;
}

/// Ends a heat map once its cells are drawn: the frame again over the cells at its edges, then
/// the colour scale beside it.
void CloseHeatMap(QPainter& painter, const TargetGeometry& geometry, const QRect& wave,
                  const std::array<ColourRef, CDrawWave::kColourCount>& colours, const QFont& font,
                  const ScaleLayout& scale, const ColourScale& colour_scale,
                  const QString& scale_title, DrawnPlot& drawn, PictureReport& report) {
  painter.setPen(QPen(ToQColor(colours[CDrawWave::kAxis]), geometry.LineWidth()));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(wave);
  painter.setFont(font);
  DrawScale(painter, scale, wave, colour_scale, scale_title, ToQColor(colours[CDrawWave::kText]),
            ToQColor(colours[CDrawWave::kAxis]), geometry.LineWidth(), drawn, report);
}

/// The information column of a matrix picture: the rainflow count's lines, its conventions, the
/// matrix's size and its cycles.
layout::InfoColumn MatrixColumn(const core::RainflowResultFile& file,
                                const core::MessageTable& table, core::Language language,
                                int32_t rows, int32_t columns, double cycles) {
  const core::RainflowResult& r = file.result;
  layout::InfoColumn column;
  column.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPictureRainflowTitle))});
  layout::AddCommonLines(column, core::PartitionsHeld(r.partitions), file, table, language);
  layout::AddRangeLines(column, r.first_block, r.last_block, file.sampling.frequency_hz(),
                        "  From:%ss", "   To :%ss", " Total:%ss");
  layout::AddConventionLines(column, &r.residue, r.gate, file.sampling.eu(), language);
  column.lines.push_back(
      {InfoLine::kFixed, Fmt(Tr(language, TextKey::kPictureMatrixBins).data(), rows, columns)});
  column.lines.push_back({InfoLine::kFixed, Fmt(Tr(language, TextKey::kPictureMatrixCycles).data(),
                                                core::FormatNumber(cycles, 0).c_str())});
  return column;
}

/// The class edges of a from-to matrix as tick values: a value a rounding away from 0 is 0, so
/// that the middle edge reads "0" rather than "1.77636e-15".
std::vector<double> EdgeTicks(const core::ClassMatrix& matrix) {
  std::vector<double> edges = matrix.edges;
  const double tiny = 1e-9 * std::fabs(matrix.amplitude_range);
  for (double& edge : edges) {
    if (std::fabs(edge) < tiny) edge = 0.0;
  }
  return edges;
}

/// The significant digits of the edge labels: enough to tell neighbouring edges apart (two below
/// the class width's leading digit) and to print A's whole part, so that an automatic A of
/// 133.018 reads -133, -122, ..., -5.32, 5.32 rather than six digits each.
int EdgeDigits(const core::ClassMatrix& matrix) {
  const double a = std::fabs(matrix.amplitude_range);
  const double width = 2.0 * a / std::max(1, matrix.classes);
  if (!(a > 0.0) || !(width > 0.0) || !Finite(a) || !Finite(width)) return 0;
  const int lead_a = static_cast<int>(std::floor(std::log10(a)));
  const int lead_width = static_cast<int>(std::floor(std::log10(width)));
  return std::clamp(std::max(lead_a + 1, lead_a - lead_width + 2), 3, 8);
}

}  // namespace

QColor MatrixCellColour(double share) {
  // A sequential ramp from a light yellow-green through teal to a deep blue: its lightness
  // falls steadily, so that more cycles always read darker, on screen and in grey print alike.
  static constexpr std::array<ColourRef, 8> kStops = {0xB1F8ED, 0xB4E9C7, 0xBBCD7F, 0xC4B641,
                                                      0xC0911D, 0xA85E22, 0x943425, 0x581D08};
  if (!Finite(share)) share = 0.0;
  share = std::clamp(share, 0.0, 1.0);
  const double at = share * (kStops.size() - 1);
  const size_t i = std::min(kStops.size() - 2, static_cast<size_t>(at));
  const double t = at - static_cast<double>(i);
  const QColor a = ToQColor(kStops[i]);
  const QColor b = ToQColor(kStops[i + 1]);
  auto mix = [t](int u, int v) { return static_cast<int>(std::lround(u + (v - u) * t)); };
  return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

PictureReport DrawRangeMeanMatrixPicture(QPainter& painter, const TargetGeometry& geometry,
                                         const core::RainflowResultFile& file,
                                         const core::RangeMeanMatrix& matrix,
                                         const ViewState& state) {
  const QRect area = geometry.area;
  const size_t cells =
      static_cast<size_t>(std::max(0, matrix.range_bins)) * std::max(0, matrix.mean_bins);
  if (matrix.range_bins <= 0 || matrix.mean_bins <= 0 || matrix.counts.size() < cells ||
      area.width() < 2 || area.height() < 2) {
    return EmptyFrame(painter, geometry);
  }
  PictureReport report;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  const QFont font = OpenPicture(painter, geometry, state, table, report);

  const ColourScale colour_scale = MakeColourScale(matrix.counts, state.log_counts);
  const double largest = colour_scale.high;
  const layout::InfoColumn column =
      MatrixColumn(file, table, language, matrix.range_bins, matrix.mean_bins, matrix.total_cycles);
  const QRect plots = layout::PlaceColumn(painter, geometry, font, column, report);

  const QString title = Q(Tr(language, TextKey::kPictureMatrixTitle));
  const QString scale_title = Q(Tr(language, TextKey::kPictureMatrixScale));
  const QFontMetrics metrics(font, painter.device());
  const bool counted = largest > 0.0;
  const double range_top = matrix.range_to(matrix.range_bins - 1);
  const bool ranged = matrix.range_width > 0.0 && Finite(range_top);
  ScaleLayout scale;
  QRect map = plots;
  if (counted && ranged) {
    scale = MeasureScale(metrics, scale_title, colour_scale, plots);
    map.setRight(scale.strip.left() - 1);
  }

  CDrawWave plot;
  // Thinned labels at every size: the first mean (often negative) would meet the range's 0.
  const auto colours = PrepareHeatMap(plot, geometry, state, font, 0);
  const auto [mean_low, mean_high] = MeanAxis(matrix);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, mean_low, mean_high);
  plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, ranged ? range_top : 1.0);
  const QString missing =
      TitleHeatMap(plot, title, TextKey::kPictureMatrixMeanAxis, TextKey::kPictureMatrixRangeAxis,
                   file, language, ranged, counted);
  plot.Draw(painter, map);
  report.texts.push_back({title, map});
  DrawnPlot drawn = layout::Describe(plot, map, title, matrix.range_bins * matrix.mean_bins);
  drawn.missing = missing;

  if (counted && ranged) {
    const QRect wave = plot.GetWaveRect();
    painter.save();
    painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
    const int columns = MeanColumns(matrix);
    for (int32_t i = 0; i < matrix.range_bins; ++i) {
      for (int32_t k = 0; k < columns; ++k) {
        const double count = matrix.at(i, k);
        if (!(count > 0.0) || !Finite(count)) continue;
        const double x0 = columns == 1 ? mean_low : matrix.mean_from(k);
        const double x1 = columns == 1 ? mean_high : matrix.mean_to(k);
        const QRect rect = Between(plot.MapX(x0), plot.MapX(x1), plot.MapY(matrix.range_to(i)),
                                   plot.MapY(matrix.range_from(i)));
        const QColor colour = MatrixCellColour(colour_scale.Share(count));
        painter.fillRect(rect, colour);
        report.cells.push_back({i, k, count, rect.intersected(wave), colour});
      }
    }
    painter.restore();
    CloseHeatMap(painter, geometry, wave, colours, font, scale, colour_scale, scale_title, drawn,
                 report);
  }
  report.plots.push_back(std::move(drawn));
  layout::DrawInformation(painter, geometry, state, font, column, report);
  painter.restore();
  return report;
}

PictureReport DrawFromToMatrixPicture(QPainter& painter, const TargetGeometry& geometry,
                                      const core::RainflowResultFile& file,
                                      const core::ClassMatrix& matrix, const ViewState& state) {
  const QRect area = geometry.area;
  const int32_t m = matrix.classes;
  const auto classes = static_cast<size_t>(std::max(0, m));
  if (m <= 0 || matrix.counts.size() < classes * classes || matrix.edges.size() < classes + 1 ||
      area.width() < 2 || area.height() < 2) {
    return EmptyFrame(painter, geometry);
  }
  PictureReport report;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  const QFont font = OpenPicture(painter, geometry, state, table, report);

  const ColourScale colour_scale = MakeColourScale(matrix.counts, state.log_counts);
  const double largest = colour_scale.high;
  layout::InfoColumn column = MatrixColumn(file, table, language, m, m, matrix.total);
  // Cycles whose turning points lie beyond [-A, A] (a set amplitude below the load) are in no
  // cell: the column says how many, so that the cells' sum is not taken for the whole count.
  if (matrix.outside > 0.0) {
    column.lines.push_back(
        {InfoLine::kFixed, Fmt(Tr(language, TextKey::kPictureMatrixOutside).data(),
                               core::FormatNumber(matrix.outside, 0).c_str())});
  }
  const QRect plots = layout::PlaceColumn(painter, geometry, font, column, report);

  const QString title = Q(Tr(language, TextKey::kPictureFromToTitle));
  const QString scale_title = Q(Tr(language, TextKey::kPictureMatrixScale));
  const QFontMetrics metrics(font, painter.device());
  const bool counted = largest > 0.0;
  const double low = matrix.edges.front();
  const double high = matrix.edges[classes];
  const bool ranged = Finite(low) && Finite(high) && high > low;
  ScaleLayout scale;
  QRect map = plots;
  if (counted && ranged) {
    scale = MeasureScale(metrics, scale_title, colour_scale, plots);
    map.setRight(scale.strip.left() - 1);
  }

  CDrawWave plot;
  const auto colours = PrepareHeatMap(plot, geometry, state, font, EdgeDigits(matrix));
  plot.SetRangeOfX(CDrawWave::kRangeFixed, ranged ? low : -1.0, ranged ? high : 1.0);
  plot.SetRangeOfY(CDrawWave::kRangeFixed, ranged ? low : -1.0, ranged ? high : 1.0);
  if (ranged) {
    // The axes read the class edges, so that a cell is read off its labels.
    plot.SetTickValuesOfX(EdgeTicks(matrix));
    plot.SetTickValuesOfY(EdgeTicks(matrix));
  }
  const QString missing =
      TitleHeatMap(plot, title, TextKey::kPictureFromToToAxis, TextKey::kPictureFromToFromAxis,
                   file, language, ranged, counted);
  // Both axes run over [-A, A]: square cells, so that from = to is the diagonal at 45 degrees.
  // A room wider than high keeps the map and its scale together in its middle; a room higher
  // than wide leaves its foot empty, the title staying in the top row beside the column's.
  const QRect laid = plot.LayoutWaveRect(map, metrics);
  if (const int extra = laid.width() - laid.height(); ranged && extra > 0) {
    const int shift = extra / 2;
    map.adjust(shift, 0, shift - extra, 0);
    scale.strip.translate(shift - extra, 0);
  } else if (ranged && extra < 0) {
    map.setBottom(map.bottom() + extra);
  }
  plot.Draw(painter, map);
  report.texts.push_back({title, map});
  DrawnPlot drawn = layout::Describe(plot, map, title, m * m);
  drawn.missing = missing;

  if (counted && ranged) {
    const QRect wave = plot.GetWaveRect();
    painter.save();
    painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
    // The diagonal from = to, under the cells: a cycle above it falls first, one below it rises.
    //
    //   from ^      /
    //        |  falls
    //        |    /
    //        |   / rises
    //        +----------> to
    QPen diagonal(ToQColor(colours[CDrawWave::kGrid]), 0, Qt::DotLine);
    diagonal.setCosmetic(true);
    painter.setPen(diagonal);
    painter.drawLine(QPointF(plot.MapX(low), plot.MapY(low)),
                     QPointF(plot.MapX(high), plot.MapY(high)));
    for (int32_t from = 0; from < m; ++from) {
      for (int32_t to = 0; to < m; ++to) {
        const double count = matrix.at(from, to);
        if (!(count > 0.0) || !Finite(count)) continue;
        const auto f = static_cast<size_t>(from);
        const auto t = static_cast<size_t>(to);
        const QRect rect = Between(plot.MapX(matrix.edges[t]), plot.MapX(matrix.edges[t + 1]),
                                   plot.MapY(matrix.edges[f + 1]), plot.MapY(matrix.edges[f]));
        const QColor colour = MatrixCellColour(colour_scale.Share(count));
        painter.fillRect(rect, colour);
        report.cells.push_back({from, to, count, rect.intersected(wave), colour});
      }
    }
    painter.restore();
    CloseHeatMap(painter, geometry, wave, colours, font, scale, colour_scale, scale_title, drawn,
                 report);
  }
  report.plots.push_back(std::move(drawn));
  layout::DrawInformation(painter, geometry, state, font, column, report);
  painter.restore();
  return report;
}

PictureReport DrawDamageHistoryPicture(QPainter& painter, const TargetGeometry& geometry,
                                       std::span<const core::DamageStep> steps,
                                       const ViewState& state) {
  const QRect area = geometry.area;
  if (area.width() < 2 || area.height() < 2) return EmptyFrame(painter, geometry);
  PictureReport report;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  const QFont font = OpenPicture(painter, geometry, state, table, report);

  // The axes: seconds from 0 to the last step, damage from 0 to a fifth above the total.
  double seconds = 0.0;
  double total = 0.0;
  for (const core::DamageStep& step : steps) {
    if (Finite(step.seconds)) seconds = std::max(seconds, step.seconds);
    if (Finite(step.cumulative)) total = std::max(total, step.cumulative);
  }
  const double x_high = seconds > 0.0 ? seconds : 1.0;
  const double y_high = total > 0.0 && Finite(1.2 * total) ? 1.2 * total : 1.0;

  CDrawWave plot;
  layout::PreparePlot(plot, geometry, state, font, true);  // thinned labels at every size
  const double zero = 0.0;
  plot.SetData(&zero, 1);  // the steps are drawn over the plot: its one bar has no height
  plot.SetWaveType(CDrawWave::kHollowBar);
  plot.EnableCursor(false);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, 0.0, x_high);
  plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, y_high);
  const QString title = Q(Tr(language, TextKey::kPictureDamageTitle));
  plot.SetTitle(title, Q(table[core::kMsgInsetXTitle]),
                Q(Tr(language, TextKey::kPictureDamageAxis)));
  plot.SetEU(QStringLiteral("s"), QString());
  const QString missing = steps.empty() ? Q(Tr(language, TextKey::kPictureNoCycles)) : QString();
  plot.SetMissingText(missing);
  plot.Draw(painter, area);
  report.texts.push_back({title, area});
  DrawnPlot drawn = layout::Describe(plot, area, title, static_cast<int>(steps.size()));
  drawn.missing = missing;

  if (!steps.empty()) {
    // A step curve: flat at the damage so far, rising at each step's time.
    //
    //   D |          +----
    //     |     +----+
    //     +-----+
    //     0    t1    t2
    QPolygonF curve;
    double so_far = 0.0;
    curve << QPointF(plot.MapX(0.0), plot.MapY(0.0));
    for (const core::DamageStep& step : steps) {
      if (!Finite(step.seconds) || !Finite(step.cumulative)) continue;
      const double x = plot.MapX(std::clamp(step.seconds, 0.0, x_high));
      curve << QPointF(x, plot.MapY(so_far));
      so_far = std::max(so_far, step.cumulative);
      curve << QPointF(x, plot.MapY(so_far));
    }
    curve << QPointF(plot.MapX(x_high), plot.MapY(so_far));
    const QRect wave = plot.GetWaveRect();
    painter.save();
    painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
    const std::array<ColourRef, CDrawWave::kColourCount> colours =
        layout::PlotColours(geometry, state.colours);
    painter.setPen(QPen(ToQColor(colours[CDrawWave::kWaveLine]), geometry.LineWidth()));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(curve);
    painter.restore();
  }
  report.plots.push_back(std::move(drawn));
  painter.restore();
  return report;
}

core::Status WriteMatrixReportBitmap(const std::filesystem::path& bitmap_path,
                                     const core::RainflowResultFile& file,
                                     const core::RangeMeanMatrix& matrix, const ViewState& state,
                                     double aspect) {
  const QImage image = RenderReportImage(
      [&](QPainter& painter, const TargetGeometry& geometry) {
        return DrawRangeMeanMatrixPicture(painter, geometry, file, matrix, state);
      },
      aspect);
  return WriteBitmapFile(bitmap_path, image);
}

}  // namespace torvwy::render
