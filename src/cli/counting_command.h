// The body of a counting command whose result is shown by its JSON object and tables alone.
#pragma once

#include "cli/analysis_options.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "core/counting/counting_parameters.h"

namespace torvwy::cli {

/// Counts (or follows, with --follow) the node of `options` by `kind`, shows the result (its
/// JSON object with --json, else its tables), draws the picture and hands the result over as
/// asked. Refuses picture and hand-over options that can't go together before anything is read.
/// The command's exit code.
int RunCountingCommand(core::CountingKind kind, const AnalysisOptions& options,
                       const PictureOptions& picture, const HandOverOptions& hand_over,
                       const FollowFaces& faces);

}  // namespace torvwy::cli
