// The picture of a test programme: each event's share of the programme's damage as a bar.
#pragma once

#include <QPainter>
#include <QString>
#include <vector>

#include "render/counting_picture.h"
#include "render/draw_target.h"

namespace torvwy::render {

/// One bar: the event's label and its share of the damage (0..1).
struct ShareBar {
  QString label;
  double share = 0.0;
};

/// What the share picture shows.
struct SharePicture {
  QString title;  ///< the programme's name and what the picture shows
  QString axis;   ///< the title of the share axis
  QString empty;  ///< said in the middle when there is no bar
  std::vector<ShareBar> bars;
};

/// Draws one horizontal bar per event into geometry.area, labels on the left, the share in
/// percent at the end of each bar, the axis from 0 to 100 % below them:
///
///   Damage Share of the Events - track A
///   ride course  |##########################  62.5 %
///   pothole      |#########                   21.0 %
///   braking      |#######                     16.5 %
///                +----+----+----+----+----+
///                0   20   40   60   80  100   Share of the damage (%)
///
/// In the colours of `state` on screen and in an image, black on white on paper; the font
/// follows the target's units, so every target (window, image, report, printer) draws alike.
PictureReport DrawSharePicture(QPainter& painter, const TargetGeometry& geometry,
                               const SharePicture& picture, const ViewState& state);

}  // namespace torvwy::render
