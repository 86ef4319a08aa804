// The time-history picture: a stretch of a node's waveform as group extremes, with bookmark
// flags and the analysis range picked on it.
#pragma once

#include <QPainter>
#include <QRect>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "core/services/language.h"
#include "render/colours.h"
#include "render/counting_picture.h"

namespace torvwy::render {

/// What the time-history picture shows.
struct WaveformPicture {
  std::vector<double> values;  ///< EU, spread evenly over t_low_s .. t_high_s
  double t_low_s = 0.0, t_high_s = 1.0;
  double y_low = -1.0, y_high = 1.0;  ///< EU
  QString eu;
  struct Flag {
    double time_s = 0.0;
    QString text;
  };
  std::vector<Flag> flags;                          ///< bookmarks
  std::optional<std::pair<double, double>> pick_s;  ///< the analysis range picked, seconds
  QString missing;                                  ///< drawn instead of the curve when set
  QStringList footer;                               ///< status lines under the plot
  core::Language language = core::Language::kEnglish;
  PictureColours colours;
  bool grid_shown = true;
};

/// What the time-history picture drew.
struct WaveformReport {
  QRect wave_rect;  ///< the curve area
  double t_low_s = 0.0, t_high_s = 1.0;
  std::vector<DrawnFlag> flags;  ///< curve_index is the flag's number in the input
  QRect pick_rect;               ///< the picked range's band; empty when none shows
  std::vector<DrawnText> texts;  ///< the plot's texts, then the footer lines
};

/// Draws the picture into `area` (window units).
WaveformReport DrawWaveformPicture(QPainter& painter, const QRect& area,
                                   const WaveformPicture& picture);

/// The counts of several nodes over the same partitions, one curve each.
struct OverlayCurve {
  QString name;  ///< the legend's text: the node
  std::vector<double> counts;
};

/// What the overlay picture shows: the curves over x_low .. x_high (EU).
struct OverlayPicture {
  QString title;
  QString x_title;
  QString eu;
  double x_low = 0.0, x_high = 1.0;
  std::vector<OverlayCurve> curves;
  ViewChoices choices;  ///< grid, log axis and zoom are taken
  core::Language language = core::Language::kEnglish;
  PictureColours colours;
};

/// One legend entry as drawn.
struct DrawnLegend {
  QString text;
  QColor colour;
  QRect swatch;
  QRect box;
};

/// What the overlay picture drew.
struct OverlayReport {
  DrawnPlot plot;
  std::vector<QColor> colours;  ///< the colour of each curve, in input order
  std::vector<DrawnLegend> legend;
};

/// The colour of curve i of an overlay: eight distinct hues, repeated.
QColor OverlayColour(int i);
/// The colour of curve i of an overlay on paper: eight distinct dark hues, repeated.
QColor OverlayPaperColour(int i);

/// Draws the overlay into geometry.area: the curves as lines in their colours, the legend in
/// the top-right corner of the curve area.
OverlayReport DrawOverlayPicture(QPainter& painter, const TargetGeometry& geometry,
                                 const OverlayPicture& picture);

}  // namespace torvwy::render
