// What the pictures with an information column share: the column's lines, its width and its
// drawing, the picture's size rules (compact layout, font) and the plot colours of a target.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/result_file.h"
#include "core/rainflow/residue_method.h"
#include "core/services/language.h"
#include "core/services/message_table.h"
#include "render/colours.h"
#include "render/counting_picture.h"
#include "render/draw_target.h"
#include "render/draw_wave.h"

namespace torvwy::render::layout {

/// printf into a QString (UTF-8 patterns and arguments).
QString Fmt(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

/// A UTF-8 text as a QString.
QString Q(std::string_view text);

/// The text whose height sets the line height: three pairs of CJK characters, whatever the
/// language of the lines.
QString HeightSample();

/// The line height of the information column: the height of HeightSample() plus 5.
int LineHeight(const QFontMetrics& metrics);

/// One line of the information column.
struct InfoLine {
  enum Kind { kTitle, kFixed, kFromFile, kWrapped };
  Kind kind;
  QString text;
  bool essential = false;  ///< kept first when the column is short of room
};

/// The lines of an information column, without the date and time that close it.
struct InfoColumn {
  std::vector<InfoLine> lines;
  /// Lines from this one on are the cursor reading (essential); the count lines follow it.
  size_t cursor_lines = static_cast<size_t>(-1);
};

/// Lines 2 to 5 of every column: test, code, node, the descriptive texts, sampling header,
/// sampling frequency, `partitions` and the analysis range heading.
void AddCommonLines(InfoColumn& column, int partitions, const core::ResultFileNode& node,
                    const core::MessageTable& table, core::Language language);

/// The From, To and Total lines of an analysis range of blocks first..last.
void AddRangeLines(InfoColumn& column, int32_t first_block, int32_t last_block, double frequency,
                   const char* from, const char* to, const char* total);

/// The lines that name the counting conventions when they are not the system's own: the residue
/// method (a rainflow count; null for the others) unless half, and the gate above 0 in `eu`.
/// A count made the usual way adds nothing, so that its column stays as it always was.
void AddConventionLines(InfoColumn& column, const core::ResidueMethod* residue, double gate,
                        const std::string& eu, core::Language language);

/// The size a picture is drawn at in geometry.area: compact below kCompactBelowWidth x
/// kCompactBelowHeight (scaled with the target's units), its font shrinking with the smaller
/// side down to kMinPictureFontPixels. Sets report.compact and report.font_pixels.
void SizePicture(const TargetGeometry& geometry, const core::MessageTable& table,
                 PictureReport& report);

/// Places the information column at the right of geometry.area (report.column) and returns
/// the room left of it for the plots.
QRect PlaceColumn(QPainter& painter, const TargetGeometry& geometry, const QFont& font,
                  const InfoColumn& column, PictureReport& report);

/// Draws the column's lines into report.column, then the date and time.
void DrawInformation(QPainter& painter, const TargetGeometry& geometry, const ViewState& state,
                     const QFont& font, const InfoColumn& column, PictureReport& report);

/// The nine plot colours of a target: the view's colours, or the fixed print set.
std::array<ColourRef, CDrawWave::kColourCount> PlotColours(const TargetGeometry& geometry,
                                                           const PictureColours& colours);

/// Sets up the plot parts every plot shares: fonts, colours, grid.
void PreparePlot(CDrawWave& plot, const TargetGeometry& geometry, const ViewState& state,
                 const QFont& font, bool compact);

/// The record of a plot after its Draw.
DrawnPlot Describe(const CDrawWave& plot, const QRect& area, const QString& title, int points);

}  // namespace torvwy::render::layout
