// The body of a counting command whose result is shown by its JSON object and tables alone.
#pragma once

#include <functional>
#include <vector>

#include "cli/analysis_options.h"
#include "cli/cli_support.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "core/counting/counting_parameters.h"

namespace torvwy::cli {

/// What a command writes besides its result: files the user names (checked, before anything is
/// counted, to be distinct from the others) and the writer of them, called after a count that
/// was not cancelled.
struct CountingExtras {
  std::vector<NamedFile> files;
  std::function<core::Status(const CountedRun&)> write;
};

/// Counts (or follows, with --follow) the node of `options` by `kind`, shows the result (its
/// JSON object with --json, else its tables), draws the picture and hands the result over as
/// asked. Refuses picture and hand-over options that can't go together before anything is read.
/// The command's exit code.
int RunCountingCommand(core::CountingKind kind, const AnalysisOptions& options,
                       const PictureOptions& picture, const HandOverOptions& hand_over,
                       const FollowFaces& faces, const CountingExtras& extras = {});

}  // namespace torvwy::cli
