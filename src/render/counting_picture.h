// The pictures of the counting analyses: count plots, waveform inset, information column.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/data/labels.h"
#include "core/files/result_file.h"
#include "core/services/message_table.h"
#include "render/colours.h"
#include "render/draw_target.h"
#include "render/view_choices.h"

namespace torvwy::render {

/// What the user chose to see, with the language, colours and clock the picture is drawn in.
struct ViewState : ViewChoices {
  core::Language language = core::Language::kEnglish;
  PictureColours colours;        ///< screen and image colours; printing uses a fixed set
  std::optional<std::tm> clock;  ///< date and time shown; the current ones when empty
};

/// One text line as drawn, with its box.
struct DrawnText {
  QString text;
  QRect rect;
};

/// A bookmark flag as drawn: the curve point it stands on and its pole's column.
struct DrawnFlag {
  int curve_index = 0;
  int x = 0;
  QRect box;  ///< the flag's text box
};

/// One plot as drawn.
struct DrawnPlot {
  QString title;
  QRect area;       ///< the whole plot, titles and labels included
  QRect wave_rect;  ///< the curve area
  double x_low = 0.0, x_high = 0.0, y_low = 0.0, y_high = 0.0;
  int points = 0;
  std::optional<int> cursor_x;  ///< column of the cursor line
  bool inset = false;
  QString missing;  ///< what the plot says is missing ("no counts"), empty when nothing is
  std::vector<DrawnFlag> flags;
  std::vector<DrawnText> texts;  ///< title, axis titles and tick labels, each with its own box
};

/// A cell of a heat map as drawn: the range-mean matrix's row (range bin) and column (mean bin).
struct DrawnCell {
  int row = 0;
  int column = 0;
  double count = 0.0;
  QRect rect;
  QColor colour;
};

/// What a drawing pass drew, for the mouse handling of a view and for tests.
struct PictureReport {
  bool empty = true;     ///< nothing to draw: only the empty frame
  bool compact = false;  ///< drawn smaller than the full layout holds: smaller type, fewer texts
  int font_pixels = 0;   ///< size of the picture font used
  QRect column;          ///< the information column
  QRect title_box;
  std::vector<DrawnPlot> plots;  ///< the inset first when shown, then the count plots
  std::vector<DrawnText> texts;  ///< plot titles and information lines, in drawing order
  QRect readout_box;             ///< where the readout list box was drawn; empty when not
  int close_box_size = 0;        ///< side of its close square (window only; 0 otherwise)
  std::vector<DrawnCell> cells;  ///< a heat map's coloured (non-empty) cells
  QRect scale_bar;               ///< a heat map's colour scale; empty when not drawn
  double scale_high = 0.0;       ///< the count at the colour scale's top
};

/// Below this size (at 96 units per inch; scaled with the target's units) the full layout can't
/// hold its texts: the picture is drawn compact. Its font shrinks with the smaller side down to
/// kMinPictureFontPixels, tick labels are thinned so that they never overlap, titles end in an
/// ellipsis, and the information column keeps the title, test, code, node and cursor reading
/// before its other lines, which are left out from the bottom up as room runs short.
inline constexpr int kCompactBelowWidth = 640;
inline constexpr int kCompactBelowHeight = 480;
inline constexpr int kMinPictureFontPixels = 9;

/// Draws the picture of a peak counting result into geometry.area.
PictureReport DrawPeakPicture(QPainter& painter, const TargetGeometry& geometry,
                              const core::PeakResultFile& file,
                              const std::vector<core::Label>& bookmarks, const ViewState& state);

/// Draws the picture of a range counting result into geometry.area.
PictureReport DrawRangePicture(QPainter& painter, const TargetGeometry& geometry,
                               const core::RangeResultFile& file,
                               const std::vector<core::Label>& bookmarks, const ViewState& state);

/// Draws the picture of a range-pair counting result: the range picture, titled as range pairs.
PictureReport DrawRangePairPicture(QPainter& painter, const TargetGeometry& geometry,
                                   const core::RangePairResultFile& file,
                                   const std::vector<core::Label>& bookmarks,
                                   const ViewState& state);

/// Draws the picture of a level crossing count: the counts of the levels by the result's
/// direction, the cursor on a level.
PictureReport DrawCrossingPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::CrossingResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state);

/// Draws the picture of a time-at-level count: the seconds in each partition, the cursor's share
/// and exceedance in the information column.
PictureReport DrawTimeAtLevelPicture(QPainter& painter, const TargetGeometry& geometry,
                                     const core::TimeAtLevelResultFile& file,
                                     const std::vector<core::Label>& bookmarks,
                                     const ViewState& state);

/// Draws the picture of a rainflow counting result into geometry.area.
PictureReport DrawRainflowPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::RainflowResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state);

/// Draws the picture of any counting result.
PictureReport DrawCountingPicture(QPainter& painter, const TargetGeometry& geometry,
                                  const core::AnyResultFile& file,
                                  const std::vector<core::Label>& bookmarks,
                                  const ViewState& state);

/// The Y range of a count plot on a logarithmic axis, in counts.
struct LogCountRange {
  double low = 1.0;
  double high = 10.0;
};

/// The decades a logarithmic count axis spans:
///
///   high  10^(k+1)  the decade above the largest count shown (largest / zoom = a x 10^k)
///         ...
///   low   1         or the decade of the smallest positive count when it is below 1 (a half
///                   cycle: 0.1); counts of 0 have no place on the axis and are not drawn
///
/// at least one decade high.
LogCountRange LogCountAxis(std::span<const double> counts, double largest, double zoom);

/// The mark type the plot gets for a mark style 0..4 (1, 12, 20, 28, 36), 0 for others.
int MarkTypeOfStyle(int mark_style);

}  // namespace torvwy::render
