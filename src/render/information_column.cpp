// The information column of the pictures, their size rules and their plot colours.
#include "render/information_column.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"
#include "render/text_drawing.h"

namespace torvwy::render::layout {

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

namespace {

/// A message-table format with its single "%s" replaced by a text from a file.
QString WithName(std::string_view pattern, const std::string& value) {
  QString text = Q(pattern);
  const qsizetype at = text.indexOf(QStringLiteral("%s"));
  const QString safe = SanitizeText(value);
  return at < 0 ? text + safe : text.left(at) + safe + text.mid(at + 2);
}

}  // namespace

/// The line height of the information column: the height of HeightSample() plus 5.
int LineHeight(const QFontMetrics& metrics) {
  return std::max(metrics.height(), metrics.boundingRect(HeightSample()).height()) + 5;
}

namespace {

/// Left margin of the title inside its box.
int TitleIndent(const QFontMetrics& metrics) { return std::max(2, LineHeight(metrics) / 4); }

QString TimeText(double blocks, double frequency_hz) {
  if (!(frequency_hz > 0.0) || !std::isfinite(frequency_hz)) return QStringLiteral("-");
  return QString::fromStdString(core::FormatTime(blocks * 1024.0 / frequency_hz));
}

}  // namespace

/// Lines 2 to 5 of every column: test, code, node, the descriptive texts, sampling header,
/// sampling frequency, partitions and the analysis range heading.
void AddCommonLines(InfoColumn& content, int partitions, const core::ResultFileNode& node,
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
  content.lines.push_back(
      {InfoLine::kFixed, Fmt(Tr(language, TextKey::kPicturePartitions).data(), partitions)});
  content.lines.push_back({InfoLine::kFixed, Q(Tr(language, TextKey::kPictureAnalysisRange))});
}

/// The From, To and Total lines of an analysis range.
void AddRangeLines(InfoColumn& content, int32_t first_block, int32_t last_block, double frequency,
                   const char* from, const char* to, const char* total) {
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

void AddConventionLines(InfoColumn& column, const core::ResidueMethod* residue, double gate,
                        const std::string& eu, core::Language language) {
  if (residue != nullptr && *residue != core::ResidueMethod::kHalf) {
    TextKey key = TextKey::kPictureResidueFull;
    if (*residue == core::ResidueMethod::kDiscard) key = TextKey::kPictureResidueDiscard;
    if (*residue == core::ResidueMethod::kRepeated) key = TextKey::kPictureResidueRepeated;
    column.lines.push_back({InfoLine::kFixed, Q(Tr(language, key))});
  }
  if (gate > 0.0) {
    // The unit comes from the node's file: sanitized as every text of a file is.
    const QString value = QString::fromStdString(core::FormatNumber(gate, 0)) +
                          QStringLiteral(" ") + SanitizeText(eu);
    const QString pattern = Q(Tr(language, TextKey::kPictureGate));
    column.lines.push_back(
        {InfoLine::kFromFile, QString(pattern).replace(QStringLiteral("%s"), value)});
  }
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

namespace {

double PointSize(const core::MessageTable& table) {
  const std::string_view text = table[core::kMsgFontPointSize];
  const double points = core::ParseDouble(text).value_or(9.0);
  return points > 0.0 && points < 100.0 ? points : 9.0;
}

}  // namespace

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

void DrawInformation(QPainter& painter, const TargetGeometry& geometry, const ViewState& state,
                     const QFont& font, const InfoColumn& content, PictureReport& report) {
  const QRect column = report.column;
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
  // The box and its shade stay inside the column.
  const int shade = geometry.printing() ? 0 : 3 * geometry.LineWidth();
  const QRect box(left, column.top() + 10, std::max(1, std::min(box_width, width - shade)),
                  box_height);
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
        // A title wider than a narrow column ends in an ellipsis rather than at the box's edge.
        const QRect title_rect = box.adjusted(indent, 0, -indent, 0);
        const QString title =
            metrics.horizontalAdvance(line.text) <= title_rect.width()
                ? line.text
                : metrics.elidedText(line.text, Qt::ElideRight, std::max(1, title_rect.width()));
        DrawClippedText(painter, title, title_rect);
        report.texts.push_back({title, title_rect});
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

namespace {

/// The width the information column needs for its fixed texts: at least the given width
/// (110 pixels on screen, 180 units on paper) and never more than half the picture.
int ColumnWidth(const QFontMetrics& metrics, const InfoColumn& content, int given, int title_box,
                int title_shade, int area_width) {
  int widest = title_box + title_shade;
  for (const InfoLine& line : content.lines) {
    if (line.kind == InfoLine::kFixed || line.kind == InfoLine::kTitle) {
      const int padding = line.kind == InfoLine::kTitle ? 2 * TitleIndent(metrics) + title_shade
                                                        : metrics.averageCharWidth();
      widest = std::max(widest, metrics.horizontalAdvance(line.text) + padding);
    }
  }
  return std::min(std::max(given, widest), std::max(1, area_width / 2));
}

}  // namespace

void SizePicture(const TargetGeometry& geometry, const core::MessageTable& table,
                 PictureReport& report) {
  const QRect area = geometry.area;
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
}

QRect PlaceColumn(QPainter& painter, const TargetGeometry& geometry, const QFont& font,
                  const InfoColumn& column, PictureReport& report) {
  const QRect area = geometry.area;
  const QFontMetrics metrics(font, painter.device());
  const int text_height = metrics.boundingRect(HeightSample()).height();
  const int title_box = static_cast<int>(static_cast<int>(text_height * 2.3) * 3.7272727272727275);
  const int given = geometry.printing() ? 180 : 110;
  const int shade = geometry.printing() ? 0 : 3 * geometry.LineWidth();
  const int column_width = ColumnWidth(metrics, column, given, title_box, shade, area.width());
  report.column = QRect(area.right() + 1 - column_width, area.top(), column_width, area.height());
  return QRect(area.left(), area.top(), area.width() - column_width, area.height());
}
}  // namespace torvwy::render::layout
