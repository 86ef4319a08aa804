// Drawing the counting pictures: one routine for window, printer and image.
#include "render/counting_picture.h"

#include <QFontMetrics>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <string>

#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"
#include "render/draw_wave.h"
#include "render/information_column.h"
#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

using core::TextKey;
using core::Tr;
using layout::Describe;
using layout::Fmt;
using layout::InfoLine;
using layout::PreparePlot;
using layout::Q;

/// One count plot: its title, its N values and the largest count that scales its Y axis.
struct CountPlot {
  QString title;
  std::vector<double> values;
  double largest = 1.0;
  QString y_title = QStringLiteral("Number");
};

/// What differs between the three pictures: the count plots, their X range, the cursor and the
/// lines of the information column.
struct PictureContent : layout::InfoColumn {
  std::vector<CountPlot> plots;  ///< one, or two stacked (peaks over valleys)
  double x_low = 0.0, x_high = 0.0;
  int partitions = 0;  ///< the points of a plot: partitions, or the levels of level crossings
  int cursor = 0;
  QString x_title;  ///< empty: the amplitude title of the message table
  bool x_in_eu = true;
};

/// The shared inputs of a picture.
struct PictureInputs {
  const core::ResultFileNode* node;
  const std::vector<double>* envelope;
  double envelope_maximum;
  double envelope_minimum;
};

int Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

double SafeZoom(double zoom) {
  if (!std::isfinite(zoom)) return 1.0;
  return std::clamp(zoom, 0.001, 1000.0);
}

QString NumberAndUnit(double value, const std::string& eu) {
  return QString::fromStdString(core::FormatNumber(value, 0)) + " " + SanitizeText(eu);
}

/// The cursor header and "Ni", where the cursor reading starts.
void AddCursorHeader(PictureContent& content, const core::MessageTable& table, int cursor) {
  content.cursor_lines = content.lines.size();
  content.lines.push_back({InfoLine::kFixed, Q(table[core::kMsgCursorHeader])});
  content.lines.push_back({InfoLine::kFixed, Fmt("Ni: %d", cursor + 1)});
}

/// The cursor header, "Ni" and the centre and edges of partition i.
void AddCursorLines(PictureContent& content, const core::MessageTable& table, int cursor,
                    double centre, double lower, double upper, const std::string& eu) {
  AddCursorHeader(content, table, cursor);
  content.lines.push_back({InfoLine::kFromFile, "X : " + NumberAndUnit(centre, eu)});
  content.lines.push_back({InfoLine::kFromFile, "XL: " + NumberAndUnit(lower, eu)});
  content.lines.push_back({InfoLine::kFromFile, "XR: " + NumberAndUnit(upper, eu)});
}

std::vector<double> FirstCounts(const std::vector<int32_t>& counts, int n) {
  std::vector<double> values(static_cast<size_t>(n), 0.0);
  for (int i = 0; i < n && static_cast<size_t>(i) < counts.size(); ++i) {
    values[static_cast<size_t>(i)] = counts[static_cast<size_t>(i)];
  }
  return values;
}

int CountAt(const std::vector<int32_t>& counts, int i) {
  return i >= 0 && static_cast<size_t>(i) < counts.size() ? counts[static_cast<size_t>(i)] : 0;
}

int Partitions(int32_t n) { return core::PartitionsHeld(n); }

int CursorOf(const ViewState& state, int32_t stored, int n) {
  return Clamp(state.cursor_partition.value_or(stored), 0, std::max(0, n - 1));
}

/// X edges of partition i: two-way over [-A, A] with width W2, one-way over [0, A] with W1.
struct Edges {
  double lower, centre, upper;
};
/// An edge that lands on 0 up to rounding (i W2 - A for i = N / 2) reads 0, not 9.1e-13.
double SnapToZero(double value, double scale) {
  return std::fabs(value) <= std::fabs(scale) * 1e-12 ? 0.0 : value;
}
Edges PartitionEdges(int i, bool one_way, double a, double w2, double w1) {
  if (one_way) return {i * w1, (i + 0.5) * w1, (i + 1) * w1};
  return {SnapToZero(i * w2 - a, a), SnapToZero((i + 0.5) * w2 - a, a),
          SnapToZero((i + 1) * w2 - a, a)};
}

/// Draws the bookmark flags over the inset:
///
///   T  +--------------+     the text box sits at the top of the curve area,
///      | bookmark text|     the pole runs down from its left edge to
///      +---+----------+     T + h + 12, at the column of curve point
///      |                    trunc(p / L x M)
///      |
void DrawFlags(QPainter& painter, CDrawWave& plot, DrawnPlot& drawn,
               const std::vector<core::Label>& bookmarks, int64_t record_samples,
               const TargetGeometry& geometry) {
  if (bookmarks.empty() || record_samples <= 0 || drawn.points <= 0) return;
  const QRect wave = plot.GetWaveRect();
  painter.save();
  painter.setClipRect(wave.adjusted(0, 0, 1, 1), Qt::IntersectClip);
  painter.setBrush(ToQColor(0xC4FFFF));
  painter.setPen(QPen(ToQColor(0x000040), geometry.LineWidth()));
  const QFontMetrics metrics(painter.font(), painter.device());
  const int max_text_width = std::max(8, wave.width() / 3);
  for (const core::Label& bookmark : bookmarks) {
    const auto p = core::ParseFiniteDouble(bookmark.position);  // a sample index
    if (!p || *p < 0.0 || *p >= static_cast<double>(record_samples)) continue;
    const int index = static_cast<int>(*p / static_cast<double>(record_samples) * drawn.points);
    int x = 0;
    int y = 0;
    if (!plot.GetCurveDrawPos(std::min(index, drawn.points - 1), x, y)) continue;
    const QString text =
        metrics.elidedText(SanitizeText(bookmark.text), Qt::ElideRight, max_text_width);
    const int w = metrics.horizontalAdvance(text);
    const int h = metrics.height();
    const int t = wave.top();
    QPolygon flag;
    flag << QPoint(x, t + h + 12) << QPoint(x, t) << QPoint(x + w + 4, t)
         << QPoint(x + w + 4, t + h + 3) << QPoint(x + 4, t + h + 3);
    painter.setPen(QPen(ToQColor(0x000040), geometry.LineWidth()));
    painter.drawPolygon(flag);
    const QRect box(x + 2, t + 2, w + 2, h);
    painter.setPen(ToQColor(0xFF0000));
    DrawClippedText(painter, text, box, Qt::AlignLeft | Qt::AlignTop);
    drawn.flags.push_back({index, x, box});
  }
  painter.restore();
}

void DrawInset(QPainter& painter, const QRect& rect, const TargetGeometry& geometry,
               const ViewState& state, const QFont& font, const PictureInputs& in,
               const std::vector<core::Label>& bookmarks, const core::MessageTable& table,
               PictureReport& report) {
  const core::SamplingInfo& info = in.node->sampling;
  const std::vector<double>& envelope = *in.envelope;
  CDrawWave plot;
  PreparePlot(plot, geometry, state, font, report.compact);
  plot.SetData(envelope);
  plot.SetWaveType(CDrawWave::kLine);
  plot.EnableCursor(false);
  // Seconds of the whole record; a record without a valid frequency is shown over its samples.
  const double frequency = info.frequency_hz();
  double seconds = static_cast<double>(info.record_samples()) / frequency;
  if (!std::isfinite(seconds) || seconds <= 0.0) seconds = static_cast<double>(envelope.size());
  plot.SetRangeOfX(CDrawWave::kRangeFixed, 0.0, seconds);
  // Symmetric about 0 and wide enough for the larger excursion, so that a record that is mostly
  // negative stays inside the inset too.
  double extent = std::max(std::fabs(in.envelope_maximum), std::fabs(in.envelope_minimum));
  if (!std::isfinite(extent) || extent <= 0.0) {
    extent = 0.0;
    for (double v : envelope) {
      if (std::isfinite(v)) extent = std::max(extent, std::fabs(v));
    }
  }
  if (!(extent > 0.0)) extent = 1.0 / 1.2;  // all zero: a flat line through the middle
  plot.SetRangeOfY(CDrawWave::kRangeFixed, -1.2 * extent, 1.2 * extent);
  const QString title = "  " + Q(table[core::kMsgInsetTitle]);
  plot.SetTitle(title, Q(table[core::kMsgInsetXTitle]), Q(table[core::kMsgInsetYTitle]));
  plot.SetEU(QStringLiteral("s"), SanitizeText(info.eu()));
  plot.Draw(painter, rect);
  report.texts.push_back({title, rect});
  DrawnPlot drawn = Describe(plot, rect, title, static_cast<int>(envelope.size()));
  drawn.inset = true;
  if (state.bookmarks_shown) {
    painter.setFont(font);
    DrawFlags(painter, plot, drawn, bookmarks, info.record_samples(), geometry);
  }
  report.plots.push_back(std::move(drawn));
}

void DrawCountPlot(QPainter& painter, const QRect& rect, const TargetGeometry& geometry,
                   const ViewState& state, const QFont& font, const PictureContent& content,
                   const CountPlot& count_plot, const std::string& eu,
                   const core::MessageTable& table, PictureReport& report) {
  CDrawWave plot;
  PreparePlot(plot, geometry, state, font, report.compact);
  plot.SetData(count_plot.values);
  plot.SetRangeOfX(CDrawWave::kRangeFixed, content.x_low, content.x_high);
  double largest = count_plot.largest;
  if (!(largest > 0.0) || !std::isfinite(largest)) {
    largest = 0.0;
    for (double v : count_plot.values) largest = std::max(largest, v);
    if (!(largest > 0.0)) largest = 1.0;
  }
  if (state.log_counts) {
    const LogCountRange range = LogCountAxis(count_plot.values, largest, SafeZoom(state.zoom));
    plot.SetLogY(true);
    plot.SetRangeOfY(CDrawWave::kRangeFixed, range.low, range.high);
  } else {
    plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, 1.2 * largest / SafeZoom(state.zoom));
  }
  plot.SetTitle(count_plot.title,
                content.x_title.isEmpty() ? Q(table[core::kMsgCountXTitle]) : content.x_title,
                count_plot.y_title);
  plot.SetEU(content.x_in_eu ? SanitizeText(eu) : QString(), QString());
  const bool points = state.curve_type == CDrawWave::kPoints;
  plot.SetWaveType(points ? CDrawWave::kScatter : state.curve_type);
  plot.SetWaveSymbolType(points ? 0 : state.symbol_type, 4, QStringLiteral("*"));
  plot.EnableCursor(state.cursor_shown);
  plot.SetCursorPosition(content.cursor);
  plot.SetMarkType(MarkTypeOfStyle(state.mark_style));
  for (int32_t index : state.readouts) {
    if (index >= 0 && index < content.partitions) plot.MarkPoint(index, -1);
  }
  QString missing;
  const bool any_count = std::any_of(count_plot.values.begin(), count_plot.values.end(),
                                     [](double v) { return v != 0.0; });
  if (!(content.x_high > content.x_low) || !std::isfinite(content.x_high - content.x_low)) {
    missing = Q(Tr(state.language, TextKey::kPictureNoAmplitudeRange));
  } else if (!any_count) {
    missing = Q(Tr(state.language, TextKey::kPictureNoCounts));
  }
  plot.SetMissingText(missing);
  plot.Draw(painter, rect);
  report.texts.push_back({count_plot.title, rect});
  DrawnPlot drawn = Describe(plot, rect, count_plot.title, content.partitions);
  drawn.missing = missing;
  int x = 0;
  int y = 0;
  if (state.cursor_shown && plot.Drawable() && plot.GetCurveDrawPos(content.cursor, x, y)) {
    drawn.cursor_x = x;
  }
  report.plots.push_back(std::move(drawn));
}

/// The readout list box over the picture:
///
///   +------------------------------+-+    title at a quarter line from the top; a line
///   | Readout List                 |X|    3h/2 below the top; the close square (window
///   +------------------------------+-+    only) in the top-right corner, 3h/2 on a side
///   |No.  XL(Left)    X(Center) ...  |    the list text 4 pixels from the left edge
///   |1    -10         -7.5      ...  |    height (n + 3) h + 6 for n entries
///   +--------------------------------+
void DrawReadoutBox(QPainter& painter, const TargetGeometry& geometry, const ViewState& state,
                    PictureReport& report) {
  const ReadoutBox& box = state.readout_box;
  if (!box.shown || box.text.empty()) return;
  const QRect area = geometry.area;
  // Rows end in "\r\n"; other control characters of the texts draw as blanks.
  QString text = QString::fromUtf8(box.text.data(), static_cast<qsizetype>(box.text.size()));
  text.remove(QLatin1Char('\r'));
  QStringList rows = text.split(QLatin1Char('\n'));
  for (QString& row : rows) row = SanitizeText(row.toStdString());
  while (!rows.isEmpty() && rows.back().isEmpty()) rows.removeLast();
  if (rows.isEmpty()) return;
  QFont font(QStringLiteral("WenQuanYi Micro Hei Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(geometry.FontPixels(9.0));
  const QFontMetrics metrics(font, painter.device());
  const int h = std::max(1, metrics.height());
  // The box stays over the plots, left of the information column; a list taller than them
  // shows the entries that fit and "…" in the last line.
  const QRect plots(
      geometry.area.left(), geometry.area.top(),
      report.column.isValid() ? report.column.left() - geometry.area.left() : geometry.area.width(),
      geometry.area.height());
  const int fitting_rows = std::max(2, (plots.height() - 6) / h - 2);
  if (rows.size() > fitting_rows) {
    rows.resize(fitting_rows);
    rows.back() = QString(QChar(0x2026));
  }
  const int n = static_cast<int>(rows.size()) - 1;  // entries below the heading
  // As wide as its widest row (at least five columns and the title with the close square),
  // never wider than the plots: there the rows end in an ellipsis instead of being cut.
  int widest = std::max(
      5 * metrics.horizontalAdvance(QString(11, QLatin1Char(' '))),
      metrics.horizontalAdvance(Q(core::LoadMessageTable(state.language)[core::kMsgListBoxTitle])) +
          2 * h);
  for (const QString& row : rows) widest = std::max(widest, metrics.horizontalAdvance(row));
  const int width = std::max(1, std::min(widest + 8, plots.width() - 3));
  const int height = (n + 3) * h + 6;
  const int64_t area_width = std::max(1, area.width());
  const int64_t area_height = std::max(1, area.height());
  int64_t x_per_mille = box.x_per_mille;
  int64_t y_per_mille = box.y_per_mille;
  if (x_per_mille == ReadoutBox::kNotPlaced) {
    x_per_mille = (area_width / 2 - 10) * 1000 / area_width;
    y_per_mille = (area.top() + 6 * h) * 1000 / area_height;
  }
  // Inside the drawing area where it fits; a list taller than the area starts at its top.
  int64_t left = area.left() + area_width * x_per_mille / 1000;
  left = std::max<int64_t>(area.left(), std::min<int64_t>(left, plots.right() + 1 - width - 3));
  int64_t top = area.top() + area_height * y_per_mille / 1000;
  top = std::max<int64_t>(area.top(), std::min<int64_t>(top, area.bottom() + 1 - height));
  const QRect rect(static_cast<int>(left), static_cast<int>(top), width, height);
  report.readout_box = rect;
  const bool window = geometry.target == DrawTarget::kWindow;
  painter.save();
  painter.setClipRect(plots, Qt::IntersectClip);
  painter.fillRect(rect, window ? ToQColor(state.colours.background) : QColor(Qt::white));
  const QColor text_colour = window ? ToQColor(state.colours.text) : QColor(Qt::black);
  const core::MessageTable table = core::LoadMessageTable(state.language);
  painter.setFont(font);
  painter.setPen(text_colour);
  const QString title = Q(table[core::kMsgListBoxTitle]);
  painter.drawText(QRect(rect.left() + 2, rect.top() + h / 4, width - 4, h),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title);
  report.texts.push_back({title, rect});
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const QRect row(rect.left() + 4, rect.top() + 2 * h + i * h, std::max(1, width - 8), h);
    const QString shown = metrics.horizontalAdvance(rows[i]) <= row.width()
                              ? rows[i]
                              : metrics.elidedText(rows[i], Qt::ElideRight, row.width());
    painter.drawText(row, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    report.texts.push_back({shown, row});
  }
  const QPen red(ToQColor(0x0000FF), geometry.LineWidth());
  painter.setPen(red);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  const int rule = rect.top() + 3 * h / 2;
  painter.drawLine(rect.left(), rule, rect.right(), rule);
  if (window) {
    const int side = 3 * h / 2;
    const QRect close(rect.right() + 1 - side, rect.top(), side, side);
    painter.drawRect(close.adjusted(0, 0, -1, -1));
    painter.drawLine(close.topLeft(), close.bottomRight());
    painter.drawLine(close.topRight(), close.bottomLeft());
    report.close_box_size = side;
  }
  painter.restore();
}

PictureReport DrawPicture(QPainter& painter, const TargetGeometry& geometry,
                          const PictureInputs& in, const PictureContent& content,
                          const std::vector<core::Label>& bookmarks, const ViewState& state) {
  PictureReport report;
  const QRect area = geometry.area;
  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  if (content.partitions <= 0 || area.width() < 2 || area.height() < 2) {
    painter.setPen(QPen(Qt::black, geometry.LineWidth()));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
    return report;
  }
  report.empty = false;
  painter.fillRect(area,
                   geometry.printing() ? QColor(Qt::white) : ToQColor(state.colours.background));
  const core::MessageTable table = core::LoadMessageTable(state.language);
  layout::SizePicture(geometry, table, report);
  const QFont font = PictureFont(report.font_pixels);
  const QRect plots = layout::PlaceColumn(painter, geometry, font, content, report);

  // Plot areas from the top: the inset takes the top third when shown; the count plots share
  // the rest (two plots: a third each, or a half each without the inset).
  const bool inset = state.inset_shown && !in.node->old_format && !in.envelope->empty();
  const int height = plots.height();
  std::vector<QRect> rects;
  auto band = [&](int from, int to) {
    return QRect(plots.left(), plots.top() + from, plots.width(), to - from);
  };
  if (inset) {
    rects.push_back(band(0, height / 3));
    if (content.plots.size() == 2) {
      rects.push_back(band(height / 3, 2 * height / 3));
      rects.push_back(band(2 * height / 3, height));
    } else {
      rects.push_back(band(height / 3, height));
    }
  } else if (content.plots.size() == 2) {
    rects.push_back(band(0, height / 2));
    rects.push_back(band(height / 2, height));
  } else {
    rects.push_back(band(0, height));
  }
  size_t next = 0;
  if (inset) DrawInset(painter, rects[next++], geometry, state, font, in, bookmarks, table, report);
  for (const CountPlot& count_plot : content.plots) {
    DrawCountPlot(painter, rects[next++], geometry, state, font, content, count_plot,
                  in.node->sampling.eu(), table, report);
  }
  layout::DrawInformation(painter, geometry, state, font, content, report);
  DrawReadoutBox(painter, geometry, state, report);
  painter.restore();
  return report;
}

}  // namespace

LogCountRange LogCountAxis(std::span<const double> counts, double largest, double zoom) {
  double smallest = 0.0;
  for (double v : counts) {
    if (std::isfinite(v) && v > 0.0 && (smallest == 0.0 || v < smallest)) smallest = v;
  }
  LogCountRange range;
  if (smallest > 0.0) range.low = std::min(1.0, std::pow(10.0, std::floor(std::log10(smallest))));
  const double top = std::isfinite(zoom) && zoom > 0.0 ? largest / zoom : largest;
  if (std::isfinite(top) && top > 0.0) {
    range.high = std::pow(10.0, std::floor(std::log10(top)) + 1.0);
  }
  range.high = std::max(range.high, 10.0 * range.low);
  return range;
}

int MarkTypeOfStyle(int mark_style) {
  switch (mark_style) {
    case 0:
      return 1;
    case 1:
      return 12;
    case 2:
      return 20;
    case 3:
      return 28;
    case 4:
      return 36;
    default:
      return 0;
  }
}

PictureReport DrawPeakPicture(QPainter& painter, const TargetGeometry& geometry,
                              const core::PeakResultFile& file,
                              const std::vector<core::Label>& bookmarks, const ViewState& state) {
  const core::PeakCountResult& r = file.result;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  content.partitions = Partitions(r.partitions);
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  const bool one_way = state.one_way;
  content.x_low = one_way ? 0.0 : -r.amplitude_range;
  content.x_high = r.amplitude_range;
  const auto& peaks = one_way ? r.one_way_peak_counts : r.two_way_peak_counts;
  const auto& valleys = one_way ? r.one_way_valley_counts : r.two_way_valley_counts;
  const auto& totals = one_way ? r.one_way_total_counts : r.two_way_total_counts;
  if (state.separately) {
    content.plots.push_back({Q(Tr(language, TextKey::kPicturePeakCount)),
                             FirstCounts(peaks, content.partitions),
                             static_cast<double>(r.largest_separate_count)});
    content.plots.push_back({Q(Tr(language, TextKey::kPictureValleyCount)),
                             FirstCounts(valleys, content.partitions),
                             static_cast<double>(r.largest_separate_count)});
  } else {
    content.plots.push_back({Q(Tr(language, TextKey::kPicturePeakValleyCount)),
                             FirstCounts(totals, content.partitions),
                             static_cast<double>(r.largest_total_count)});
  }
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPicturePeakTitle))});
  layout::AddCommonLines(content, content.partitions, file, table, language);
  const double frequency = file.sampling.frequency_hz();
  layout::AddRangeLines(content, r.first_block, r.last_block, frequency, " From:%ss", "  To :%ss",
                        Tr(language, TextKey::kPicturePeakTotal).data());
  layout::AddConventionLines(content, nullptr, r.gate, file.sampling.eu(), language);
  content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureCountingMethod))});
  if (state.separately) {
    content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPicturePartPeaks))});
    content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureSeparately))});
  } else {
    content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureAllPeaks))});
    content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureTogether))});
  }
  if (state.cursor_shown) {
    const int i = content.cursor;
    const Edges e = PartitionEdges(i, one_way, r.amplitude_range, r.two_way_width, r.one_way_width);
    AddCursorLines(content, table, i, e.centre, e.lower, e.upper, file.sampling.eu());
    if (state.separately) {
      content.lines.push_back({InfoLine::kFixed, Fmt("A1: %d", CountAt(peaks, i))});
      content.lines.push_back({InfoLine::kFixed, Fmt("A2: %d", CountAt(valleys, i))});
    } else {
      content.lines.push_back({InfoLine::kFixed, Fmt("A : %d", CountAt(totals, i))});
    }
  }
  const PictureInputs in{&file, &r.envelope, r.envelope_maximum, r.envelope_minimum};
  return DrawPicture(painter, geometry, in, content, bookmarks, state);
}

namespace {

/// The titles a range histogram is drawn with: range counting's or range-pair counting's.
struct RangeTitles {
  TextKey plot, title;
};

PictureReport DrawRangeHistogram(QPainter& painter, const TargetGeometry& geometry,
                                 const core::ResultFileNode& file, const core::RangeCountResult& r,
                                 RangeTitles titles, const std::vector<core::Label>& bookmarks,
                                 const ViewState& state) {
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  content.partitions = Partitions(r.partitions);
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  const bool one_way = state.one_way;
  content.x_low = one_way ? 0.0 : -r.amplitude_range;
  content.x_high = r.amplitude_range;
  const auto& counts = one_way ? r.one_way_counts : r.two_way_counts;
  content.plots.push_back({Q(Tr(language, titles.plot)), FirstCounts(counts, content.partitions),
                           static_cast<double>(r.largest_count)});
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, titles.title))});
  layout::AddCommonLines(content, content.partitions, file, table, language);
  layout::AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(),
                        "  From:%ss", "   To :%ss",
                        Tr(language, TextKey::kPictureRangeTotal).data());
  layout::AddConventionLines(content, nullptr, r.gate, file.sampling.eu(), language);
  // The English method takes two lines, the Chinese one.
  if (language != core::Language::kChinese) {
    content.lines.push_back({InfoLine::kFixed, QStringLiteral("  Positive & Negative")});
  }
  content.lines.push_back(
      {InfoLine::kFixed,
       Q(Tr(language, one_way ? TextKey::kPictureRangeOneWay : TextKey::kPictureRangeTwoWay))});
  if (state.cursor_shown) {
    const int i = content.cursor;
    const Edges e = PartitionEdges(i, one_way, r.amplitude_range, r.two_way_width, r.one_way_width);
    AddCursorLines(content, table, i, e.centre, e.lower, e.upper, file.sampling.eu());
    content.lines.push_back({InfoLine::kFixed, Fmt("A : %d", CountAt(counts, i))});
  }
  const PictureInputs in{&file, &r.envelope, r.envelope_maximum, r.envelope_minimum};
  return DrawPicture(painter, geometry, in, content, bookmarks, state);
}

/// Whether levels are evenly spaced (up to rounding), so that points drawn at equal steps sit
/// at their levels on an axis in EU.
bool EvenlySpaced(const std::vector<double>& levels) {
  if (levels.size() < 3) return true;
  const double span = levels.back() - levels.front();
  const double step = span / static_cast<double>(levels.size() - 1);
  for (size_t i = 1; i + 1 < levels.size(); ++i) {
    const double expected = levels.front() + static_cast<double>(i) * step;
    if (std::fabs(levels[i] - expected) > 1e-9 * std::fabs(span)) return false;
  }
  return true;
}

}  // namespace

PictureReport DrawRangePicture(QPainter& painter, const TargetGeometry& geometry,
                               const core::RangeResultFile& file,
                               const std::vector<core::Label>& bookmarks, const ViewState& state) {
  return DrawRangeHistogram(painter, geometry, file, file.result,
                            {TextKey::kPictureRangeCount, TextKey::kPictureRangeTitle}, bookmarks,
                            state);
}

PictureReport DrawRangePairPicture(QPainter& painter, const TargetGeometry& geometry,
                                   const core::RangePairResultFile& file,
                                   const std::vector<core::Label>& bookmarks,
                                   const ViewState& state) {
  return DrawRangeHistogram(painter, geometry, file, file.result,
                            {TextKey::kPictureRangePairCount, TextKey::kPictureRangePairTitle},
                            bookmarks, state);
}

PictureReport DrawCrossingPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::CrossingResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state) {
  const core::LevelCrossingResult& r = file.result;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  const std::vector<int64_t> counts = r.Counts();
  content.partitions = static_cast<int>(std::min<size_t>(r.levels.size(), counts.size()));
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  // Level i is the centre of the i-th of equal steps: on an axis in EU when the levels are evenly
  // spaced, else over the levels' numbers 1..k.
  const int n = content.partitions;
  if (n > 0 && EvenlySpaced(r.levels)) {
    const double step = n > 1 ? (r.levels.back() - r.levels.front()) / (n - 1) : 1.0;
    content.x_low = r.levels.front() - step / 2;
    content.x_high = r.levels.back() + step / 2;
  } else {
    content.x_low = 0.5;
    content.x_high = n + 0.5;
    content.x_title = Q(Tr(language, TextKey::kPictureLevelNumber));
    content.x_in_eu = false;
  }
  std::vector<double> values(counts.begin(), counts.begin() + n);
  const double largest = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
  content.plots.push_back(
      {Q(Tr(language, TextKey::kPictureCrossingCount)), std::move(values), largest});
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPictureCrossingTitle))});
  layout::AddCommonLines(content, r.partitions, file, table, language);
  if (r.partitions <= 0) {
    // Listed levels have no partitions: the line gives the number of levels instead.
    const QString partitions = Fmt(Tr(language, TextKey::kPicturePartitions).data(), 0);
    for (InfoLine& line : content.lines) {
      if (line.text == partitions)
        line.text = Fmt(Tr(language, TextKey::kPictureLevelCount).data(), n);
    }
  }
  layout::AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(),
                        "  From:%ss", "   To :%ss", " Total:%ss");
  const std::string eu = file.sampling.eu();
  content.lines.push_back({InfoLine::kFromFile, "Ref: " + NumberAndUnit(r.reference, eu)});
  content.lines.push_back(
      {InfoLine::kFixed,
       "Dir: " + QString::fromLatin1(core::CrossingDirectionName(r.direction).data())});
  content.lines.push_back({InfoLine::kFromFile, "G  : " + NumberAndUnit(r.gate, eu)});
  if (state.cursor_shown && n > 0) {
    const int i = content.cursor;
    const auto k = static_cast<size_t>(i);
    AddCursorHeader(content, table, i);
    content.lines.push_back({InfoLine::kFromFile, "L : " + NumberAndUnit(r.levels[k], eu)});
    const auto at = [k](const std::vector<int64_t>& v) {
      return static_cast<long long>(k < v.size() ? v[k] : 0);
    };
    content.lines.push_back({InfoLine::kFixed, Fmt("Up: %lld", at(r.up))});
    content.lines.push_back({InfoLine::kFixed, Fmt("Dn: %lld", at(r.down))});
    content.lines.push_back({InfoLine::kFixed, Fmt("A : %lld", at(counts))});
  }
  const PictureInputs in{&file, &r.envelope, r.envelope_maximum, r.envelope_minimum};
  return DrawPicture(painter, geometry, in, content, bookmarks, state);
}

PictureReport DrawTimeAtLevelPicture(QPainter& painter, const TargetGeometry& geometry,
                                     const core::TimeAtLevelResultFile& file,
                                     const std::vector<core::Label>& bookmarks,
                                     const ViewState& state) {
  const core::TimeAtLevelResult& r = file.result;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  std::vector<double> seconds = r.Seconds();
  content.partitions = static_cast<int>(std::min<size_t>(Partitions(r.partitions), seconds.size()));
  seconds.resize(static_cast<size_t>(content.partitions));
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  content.x_low = -r.amplitude_range;
  content.x_high = r.amplitude_range;
  const double largest = seconds.empty() ? 0.0 : *std::max_element(seconds.begin(), seconds.end());
  content.plots.push_back({Q(Tr(language, TextKey::kPictureTimeAtLevelCount)), seconds, largest,
                           Q(Tr(language, TextKey::kPictureSeconds))});
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPictureTimeAtLevelTitle))});
  layout::AddCommonLines(content, content.partitions, file, table, language);
  layout::AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(),
                        "  From:%ss", "   To :%ss", " Total:%ss");
  if (state.cursor_shown && content.partitions > 0) {
    const int i = content.cursor;
    const auto k = static_cast<size_t>(i);
    const Edges e = PartitionEdges(i, false, r.amplitude_range, r.width, r.width);
    AddCursorLines(content, table, i, e.centre, e.lower, e.upper, file.sampling.eu());
    const std::vector<double> fractions = r.Fractions();
    const std::vector<double> exceedance = r.Exceedance();
    content.lines.push_back({InfoLine::kFixed, Fmt("T : %g s", seconds[k])});
    content.lines.push_back(
        {InfoLine::kFixed, Fmt("P : %.4g%%", k < fractions.size() ? 100.0 * fractions[k] : 0.0)});
    content.lines.push_back(
        {InfoLine::kFixed, Fmt("E : %.4g%%", k < exceedance.size() ? 100.0 * exceedance[k] : 0.0)});
  }
  const PictureInputs in{&file, &r.envelope, r.envelope_maximum, r.envelope_minimum};
  return DrawPicture(painter, geometry, in, content, bookmarks, state);
}

PictureReport DrawRainflowPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::RainflowResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state) {
  const core::RainflowResult& r = file.result;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  content.partitions = Partitions(r.partitions);
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  content.x_low = 0.0;
  content.x_high = r.amplitude_range;
  std::vector<double> counts(r.counts.begin(), r.counts.begin() + content.partitions);
  content.plots.push_back({Q(Tr(language, TextKey::kPictureRainflowCount)), std::move(counts),
                           static_cast<double>(r.largest_count)});
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPictureRainflowTitle))});
  layout::AddCommonLines(content, content.partitions, file, table, language);
  layout::AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(),
                        "  From:%ss", "   To :%ss", " Total:%ss");
  layout::AddConventionLines(content, &r.residue, r.gate, file.sampling.eu(), language);
  if (state.cursor_shown) {
    const int i = content.cursor;
    const double w = r.partition_width;
    AddCursorLines(content, table, i, (i + 0.5) * w, i * w, (i + 1) * w, file.sampling.eu());
    content.lines.push_back(
        {InfoLine::kFixed,
         Fmt("A : %g", content.partitions > 0 ? r.counts[static_cast<size_t>(i)] : 0.0)});
  }
  const PictureInputs in{&file, &r.envelope, r.envelope_maximum, r.envelope_minimum};
  return DrawPicture(painter, geometry, in, content, bookmarks, state);
}

PictureReport DrawCountingPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::AnyResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state) {
  if (const auto* peak = std::get_if<core::PeakResultFile>(&file)) {
    return DrawPeakPicture(painter, geometry, *peak, bookmarks, state);
  }
  if (const auto* range = std::get_if<core::RangeResultFile>(&file)) {
    return DrawRangePicture(painter, geometry, *range, bookmarks, state);
  }
  if (const auto* pairs = std::get_if<core::RangePairResultFile>(&file)) {
    return DrawRangePairPicture(painter, geometry, *pairs, bookmarks, state);
  }
  if (const auto* crossings = std::get_if<core::CrossingResultFile>(&file)) {
    return DrawCrossingPicture(painter, geometry, *crossings, bookmarks, state);
  }
  if (const auto* time = std::get_if<core::TimeAtLevelResultFile>(&file)) {
    return DrawTimeAtLevelPicture(painter, geometry, *time, bookmarks, state);
  }
  return DrawRainflowPicture(painter, geometry, std::get<core::RainflowResultFile>(file), bookmarks,
                             state);
}

}  // namespace torvwy::render
