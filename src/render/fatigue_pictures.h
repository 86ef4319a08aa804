// The pictures of a life estimate beside the counting picture: the range-mean and from-to
// matrices as heat maps and the damage as it grew through the record.
#pragma once

#include <QColor>
#include <QPainter>
#include <filesystem>
#include <span>
#include <string>

#include "core/fatigue/class_matrix.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/files/result_file.h"
#include "render/counting_picture.h"
#include "render/draw_target.h"
#include "render/picture_output.h"

namespace torvwy::render {

/// Draws the range-mean matrix of `file`'s rainflow count into geometry.area: cells coloured by
/// their cycles on a colour scale drawn beside them (on decades with `state.log_counts`, the
/// window's log count axis; empty cells left blank), range up, mean
/// across, axis titles and scale in `state.language`, and the information column of the
/// counting picture. Serves every target (window, image, printer, report), as the counting
/// picture does.
PictureReport DrawRangeMeanMatrixPicture(QPainter& painter, const TargetGeometry& geometry,
                                         const core::RainflowResultFile& file,
                                         const core::RangeMeanMatrix& matrix,
                                         const ViewState& state);

/// Draws the from-to matrix of `file`'s rainflow count into geometry.area as the range-mean one
/// is drawn: the class a cycle starts in up, the class it goes to across, both over [-A, A] and
/// read at the class edges, on square cells, the diagonal from = to dotted under the cells, and the
/// cycles that lie outside [-A, A] counted in the information column.
PictureReport DrawFromToMatrixPicture(QPainter& painter, const TargetGeometry& geometry,
                                      const core::RainflowResultFile& file,
                                      const core::ClassMatrix& matrix, const ViewState& state);

/// The colour of a heat-map cell holding `share` (0..1) of the largest cell's cycles: a
/// sequential ramp from light (few) to dark (the largest); shares outside 0..1 are clamped.
QColor MatrixCellColour(double share);

/// Draws the cumulative damage against time (seconds) as a step curve into geometry.area, with
/// its axes, in `state.language`; `steps` as DamageHistory gives them.
PictureReport DrawDamageHistoryPicture(QPainter& painter, const TargetGeometry& geometry,
                                       std::span<const core::DamageStep> steps,
                                       const ViewState& state);

/// Writes the matrix picture as a report's bitmap at `bitmap_path` (the report layout of
/// RenderReportImage, atomically): what FatigueReportPart::matrix_picture does for every face.
///
///   options.fatigue.matrix_picture = [&](const std::filesystem::path& bitmap) {
///     return WriteMatrixReportBitmap(bitmap, file, matrix, state);
///   };
core::Status WriteMatrixReportBitmap(const std::filesystem::path& bitmap_path,
                                     const core::RainflowResultFile& file,
                                     const core::RangeMeanMatrix& matrix, const ViewState& state,
                                     double aspect = kDefaultAspect);

}  // namespace torvwy::render
