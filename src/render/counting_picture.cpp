// Drawing the counting pictures: one routine for window, printer and image.
#include "render/counting_picture.h"

#include <QFontMetrics>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"
#include "render/draw_wave.h"
#include "render/text_drawing.h"

namespace torvwy::render {
namespace {

using core::TextKey;
using core::Tr;

/// printf into a QString (UTF-8 patterns and arguments).
QString Fmt(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
QString Fmt(const char* pattern, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buffer, sizeof(buffer), pattern, args);
  va_end(args);
  return QString::fromUtf8(buffer);
}

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The text whose height sets the line height: three pairs of CJK characters, whatever the
/// language of the lines.
QString HeightSample() {
  return Q(Tr(core::Language::kChinese, TextKey::kPictureLineHeightSample));
}

/// A message-table format with its single "%s" replaced by a text from a file.
QString WithName(std::string_view pattern, const std::string& value) {
  QString text = Q(pattern);
  const qsizetype at = text.indexOf(QStringLiteral("%s"));
  const QString safe = SanitizeText(value);
  return at < 0 ? text + safe : text.left(at) + safe + text.mid(at + 2);
}

/// One line of the information column.
struct InfoLine {
  enum Kind { kTitle, kFixed, kFromFile, kWrapped };
  Kind kind;
  QString text;
  bool essential = false;  ///< kept first when the column is short of room
};

/// One count plot: its title, its N values and the largest count that scales its Y axis.
struct CountPlot {
  QString title;
  std::vector<double> values;
  double largest = 1.0;
};

/// What differs between the three pictures: the count plots, their X range, the cursor and the
/// lines of the information column.
struct PictureContent {
  std::vector<CountPlot> plots;  ///< one, or two stacked (peaks over valleys)
  double x_low = 0.0, x_high = 0.0;
  int partitions = 0;
  int cursor = 0;
  std::vector<InfoLine> lines;  ///< without the date and time
  /// Lines from this one on are the cursor reading (essential); the count lines follow it.
  size_t cursor_lines = static_cast<size_t>(-1);
};

/// The shared inputs of a picture.
struct PictureInputs {
  const core::ResultFileNode* node;
  const std::vector<double>* envelope;
  double envelope_maximum;
  double envelope_minimum;
};

/// The line height of the information column: the height of HeightSample() plus 5.
int LineHeight(const QFontMetrics& metrics) {
  return std::max(metrics.height(), metrics.boundingRect(HeightSample()).height()) + 5;
}

/// Left margin of the title inside its box.
int TitleIndent(const QFontMetrics& metrics) { return std::max(2, LineHeight(metrics) / 4); }

int Clamp(int value, int low, int high) { return std::max(low, std::min(value, high)); }

double SafeZoom(double zoom) {
  if (!std::isfinite(zoom)) return 1.0;
  return std::clamp(zoom, 0.001, 1000.0);
}

QString TimeText(double blocks, double frequency_hz) {
  if (!(frequency_hz > 0.0) || !std::isfinite(frequency_hz)) return QStringLiteral("-");
  return QString::fromStdString(core::FormatTime(blocks * 1024.0 / frequency_hz));
}

QString NumberAndUnit(double value, const std::string& eu) {
  return QString::fromStdString(core::FormatNumber(value, 0)) + " " + SanitizeText(eu);
}

/// Lines 2 to 5 of every column: test, code, node, the descriptive texts, sampling header,
/// sampling frequency, partitions and the analysis range heading.
void AddCommonLines(PictureContent& content, const core::ResultFileNode& node,
                    const core::MessageTable& table, core::Language language) {
  content.lines.push_back({InfoLine::kFixed, Q(table[core::kMsgTestInfoHeader])});
  content.lines.push_back(
      {InfoLine::kFromFile, WithName(table[core::kMsgTestNameFormat], node.test_name), true});
  content.lines.push_back(
      {InfoLine::kFromFile, WithName(table[core::kMsgTestCodeFormat], node.test_code), true});
  content.lines.push_back(
      {InfoLine::kFromFile, WithName(table[core::kMsgNodeFormat], node.node_name), true});
  for (const std::string& text : {node.sampling.text3(), node.sampling.text2()}) {
    if (!text.empty())
      content.lines.push_back({InfoLine::kWrapped, "[" + SanitizeText(text) + "]"});
  }
  content.lines.push_back({InfoLine::kFixed, Q(table[core::kMsgSamplingHeader])});
  content.lines.push_back(
      {InfoLine::kFixed,
       Fmt("SF: %sHz", core::FormatFrequency(node.sampling.frequency_hz()).c_str())});
  content.lines.push_back({InfoLine::kFixed, Fmt(Tr(language, TextKey::kPicturePartitions).data(),
                                                 content.partitions)});
  content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureAnalysisRange))});
}

/// The From, To and Total lines of an analysis range.
void AddRangeLines(PictureContent& content, int32_t first_block, int32_t last_block,
                   double frequency, const char* from, const char* to, const char* total) {
  content.lines.push_back(
      {InfoLine::kFixed, Fmt(from, TimeText(first_block - 1.0, frequency).toUtf8().constData())});
  content.lines.push_back(
      {InfoLine::kFixed, Fmt(to, TimeText(last_block, frequency).toUtf8().constData())});
  content.lines.push_back(
      {InfoLine::kFixed,
       Fmt(total, TimeText(static_cast<double>(last_block) - first_block + 1.0, frequency)
                      .toUtf8()
                      .constData())});
}

/// The cursor header, "Ni" and the centre and edges of partition i.
void AddCursorLines(PictureContent& content, const core::MessageTable& table, int cursor,
                    double centre, double lower, double upper, const std::string& eu) {
  content.cursor_lines = content.lines.size();
  content.lines.push_back({InfoLine::kFixed, Q(table[core::kMsgCursorHeader])});
  content.lines.push_back({InfoLine::kFixed, Fmt("Ni: %d", cursor + 1)});
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

std::array<ColourRef, CDrawWave::kColourCount> PlotColours(const TargetGeometry& geometry,
                                                           const PictureColours& c) {
  if (geometry.printing()) {
    return {0xFFFFFF, 0xFFFFFF, 0x808080, 0xC0C0C0, 0x400000,
            0xD7D7D7, 0x0000FF, 0x000000, 0xFFFFFF};
  }
  return {c.background, c.wave_background, c.axis, c.grid,      c.wave_line,
          c.wave_fill,  c.cursor,          c.text, c.background};
}

double PointSize(const core::MessageTable& table) {
  const std::string_view text = table[core::kMsgFontPointSize];
  const double points = core::ParseDouble(text).value_or(9.0);
  return points > 0.0 && points < 100.0 ? points : 9.0;
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

/// Sets up the plot parts every plot shares: fonts, colours, grid.
void PreparePlot(CDrawWave& plot, const TargetGeometry& geometry, const ViewState& state,
                 const QFont& font, bool compact) {
  plot.SetFont(font);
  plot.SetCompact(compact);
  plot.SetLineWidth(geometry.LineWidth());
  plot.SetColors(PlotColours(geometry, state.colours));
  plot.ShowWhich({true, true, true, true, true, true, true, true});
  const int grid = state.grid_shown ? 1 : 0;
  plot.SetTickTypeOfX(grid, 0, 0, 0, 0);
  plot.SetTickTypeOfY(grid, 0, 0, 0, 0);
}

DrawnPlot Describe(const CDrawWave& plot, const QRect& area, const QString& title, int points) {
  DrawnPlot drawn;
  drawn.title = title;
  drawn.area = area;
  drawn.wave_rect = plot.GetWaveRect();
  drawn.x_low = plot.x_low();
  drawn.x_high = plot.x_high();
  drawn.y_low = plot.y_low();
  drawn.y_high = plot.y_high();
  drawn.points = points;
  for (const auto& [text, box] : plot.drawn_texts()) drawn.texts.push_back({text, box});
  return drawn;
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
  plot.SetRangeOfY(CDrawWave::kRangeFixed, 0.0, 1.2 * largest / SafeZoom(state.zoom));
  plot.SetTitle(count_plot.title, Q(table[core::kMsgCountXTitle]), QStringLiteral("Number"));
  plot.SetEU(SanitizeText(eu), QString());
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

void DrawInformation(QPainter& painter, const QRect& column, const TargetGeometry& geometry,
                     const ViewState& state, const QFont& font, const PictureContent& content,
                     PictureReport& report) {
  painter.save();
  painter.setClipRect(column, Qt::IntersectClip);
  painter.setFont(font);
  painter.setBackgroundMode(Qt::TransparentMode);
  const QColor text_colour = geometry.printing() ? QColor(Qt::black) : ToQColor(state.colours.text);
  const QFontMetrics metrics(font, painter.device());
  const int text_height = metrics.boundingRect(HeightSample()).height();
  const int h = LineHeight(metrics);
  const int box_height = static_cast<int>(text_height * 2.3);
  int box_width = static_cast<int>(box_height * 3.7272727272727275);
  const int indent = TitleIndent(metrics);
  for (const InfoLine& line : content.lines) {
    // A title longer than the box ("Varied-Distance Counting") widens it rather than being cut.
    if (line.kind == InfoLine::kTitle) {
      box_width = std::max(box_width, metrics.horizontalAdvance(line.text) + 2 * indent);
    }
  }
  const int left = column.left();
  const int width = column.width();
  const QRect box(left, column.top() + 10, std::min(box_width, width), box_height);
  report.title_box = box;
  int y = box.bottom() + 1 + h / 2;
  // The date and time close the column, no higher than three lines above its bottom.
  const int date_floor = column.bottom() + 1 - 3 * h;
  // A compact column keeps what fits: the essential lines first, then the others in their
  // order, then the date and time; the wrapped descriptive texts are left out.
  std::vector<bool> kept(content.lines.size(), true);
  bool date_kept = true;
  if (report.compact) {
    const int room = std::max(0, (column.bottom() + 1 - y) / std::max(1, h));
    std::vector<size_t> order;
    for (int pass = 0; pass < 2; ++pass) {
      for (size_t i = 0; i < content.lines.size(); ++i) {
        const InfoLine& line = content.lines[i];
        if (line.kind == InfoLine::kTitle || line.kind == InfoLine::kWrapped) continue;
        const bool essential = line.essential || i >= content.cursor_lines;
        if (essential == (pass == 0)) order.push_back(i);
      }
    }
    std::fill(kept.begin(), kept.end(), false);
    int used = 0;
    for (size_t i : order) {
      if (used >= room) break;
      kept[i] = true;
      ++used;
    }
    for (size_t i = 0; i < content.lines.size(); ++i) {
      if (content.lines[i].kind == InfoLine::kTitle) kept[i] = true;
    }
    date_kept = used == static_cast<int>(order.size()) && used + 2 <= room;
  }
  for (size_t index = 0; index < content.lines.size(); ++index) {
    const InfoLine& line = content.lines[index];
    if (!kept[index]) continue;
    painter.setPen(text_colour);
    switch (line.kind) {
      case InfoLine::kTitle: {
        DrawTitleBox(painter, box, ToQColor(0x400000), !geometry.printing(), ToQColor(0xE1FFE1),
                     geometry.LineWidth());
        // The box is light whatever the background: its text is dark.
        painter.setPen(geometry.printing() ? QColor(Qt::black) : ToQColor(0x400000));
        const QRect title_rect = box.adjusted(indent, 0, 0, 0);
        DrawClippedText(painter, line.text, title_rect);
        report.texts.push_back({line.text, title_rect});
        break;
      }
      case InfoLine::kWrapped: {
        const QRect rect(left, y, width, std::max(h, date_floor - y));
        const int used =
            DrawWrappedText(painter, line.text, QRect(left, y, width, std::max(0, date_floor - y)));
        report.texts.push_back({line.text, rect});
        y += std::max(1, used) * metrics.height() + (h - metrics.height());
        break;
      }
      default: {
        const QRect rect(left, y, width, h);
        DrawClippedText(painter, line.text, rect);
        report.texts.push_back({line.text, rect});
        y += h;
        break;
      }
    }
  }
  std::tm now{};
  if (state.clock) {
    now = *state.clock;
  } else {
    const std::time_t t = std::time(nullptr);
    localtime_r(&t, &now);
  }
  char date[64];
  char time[64];
  std::strftime(date, sizeof(date), "   %Y-%m-%d", &now);
  std::strftime(time, sizeof(time), "    %H:%M:%S", &now);
  y = report.compact ? std::min(std::max(y, date_floor), column.bottom() + 1 - 2 * h)
                     : std::max(y, date_floor);
  painter.setPen(text_colour);
  for (const char* text : {date, time}) {
    if (!date_kept) break;
    const QRect rect(left, y, width, h);
    DrawClippedText(painter, QString::fromUtf8(text), rect);
    report.texts.push_back({QString::fromUtf8(text), rect});
    y += h;
  }
  painter.restore();
}

/// The width the information column needs for its fixed texts: at least the given width
/// (110 pixels on screen, 180 units on paper) and never more than half the picture.
int ColumnWidth(const QFontMetrics& metrics, const PictureContent& content, int given,
                int title_box, int area_width) {
  int widest = title_box;
  for (const InfoLine& line : content.lines) {
    if (line.kind == InfoLine::kFixed || line.kind == InfoLine::kTitle) {
      const int padding =
          line.kind == InfoLine::kTitle ? 2 * TitleIndent(metrics) : metrics.averageCharWidth();
      widest = std::max(widest, metrics.horizontalAdvance(line.text) + padding);
    }
  }
  return std::min(std::max(given, widest), std::max(1, area_width / 2));
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
  // Five columns wide, narrower where the plots are narrower (the rows are cut at its edge).
  const int width = std::max(
      1, std::min(5 * metrics.horizontalAdvance(QString(11, QLatin1Char(' '))), plots.width() - 3));
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
    const QRect row(rect.left() + 4, rect.top() + 2 * h + i * h, width - 4, h);
    painter.drawText(row, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, rows[i]);
    report.texts.push_back({rows[i], row});
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
  int font_pixels = geometry.FontPixels(PointSize(table));
  const double unit = geometry.units_per_inch / kScreenUnitsPerInch;
  const double reference_width = kCompactBelowWidth * unit;
  const double reference_height = kCompactBelowHeight * unit;
  report.compact = area.width() < reference_width || area.height() < reference_height;
  if (report.compact) {
    const double scale = std::min(area.width() / reference_width, area.height() / reference_height);
    const int floor =
        std::min(font_pixels, static_cast<int>(std::lround(kMinPictureFontPixels * unit)));
    font_pixels = std::max(floor, static_cast<int>(std::lround(font_pixels * scale)));
  }
  report.font_pixels = font_pixels;
  const QFont font = PictureFont(font_pixels);
  const QFontMetrics metrics(font, painter.device());
  const int text_height = metrics.boundingRect(HeightSample()).height();
  const int title_box = static_cast<int>(static_cast<int>(text_height * 2.3) * 3.7272727272727275);
  const int given = geometry.printing() ? 180 : 110;
  const int column_width = ColumnWidth(metrics, content, given, title_box, area.width());
  report.column = QRect(area.right() + 1 - column_width, area.top(), column_width, area.height());
  const QRect plots(area.left(), area.top(), area.width() - column_width, area.height());

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
  DrawInformation(painter, report.column, geometry, state, font, content, report);
  DrawReadoutBox(painter, geometry, state, report);
  painter.restore();
  return report;
}

}  // namespace

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
  AddCommonLines(content, file, table, language);
  const double frequency = file.sampling.frequency_hz();
  AddRangeLines(content, r.first_block, r.last_block, frequency, " From:%ss", "  To :%ss",
                Tr(language, TextKey::kPicturePeakTotal).data());
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

PictureReport DrawRangePicture(QPainter& painter, const TargetGeometry& geometry,
                               const core::RangeResultFile& file,
                               const std::vector<core::Label>& bookmarks, const ViewState& state) {
  const core::RangeCountResult& r = file.result;
  const core::Language language = state.language;
  const core::MessageTable table = core::LoadMessageTable(language);
  PictureContent content;
  content.partitions = Partitions(r.partitions);
  content.cursor = CursorOf(state, r.cursor_partition, content.partitions);
  const bool one_way = state.one_way;
  content.x_low = one_way ? 0.0 : -r.amplitude_range;
  content.x_high = r.amplitude_range;
  const auto& counts = one_way ? r.one_way_counts : r.two_way_counts;
  content.plots.push_back({Q(Tr(language, TextKey::kPictureRangeCount)),
                           FirstCounts(counts, content.partitions),
                           static_cast<double>(r.largest_count)});
  content.lines.push_back({InfoLine::kTitle, Q(Tr(language, TextKey::kPictureRangeTitle))});
  AddCommonLines(content, file, table, language);
  AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(), "  From:%ss",
                "   To :%ss", Tr(language, TextKey::kPictureRangeTotal).data());
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
  AddCommonLines(content, file, table, language);
  AddRangeLines(content, r.first_block, r.last_block, file.sampling.frequency_hz(), "  From:%ss",
                "   To :%ss", " Total:%ss");
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
  return DrawRainflowPicture(painter, geometry, std::get<core::RainflowResultFile>(file), bookmarks,
                             state);
}

}  // namespace torvwy::render
