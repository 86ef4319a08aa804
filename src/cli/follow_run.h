// Following a node being recorded from a counting command: the updates while it grows, and the
// final result that the command then shows as it shows an offline count.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/analysis_options.h"
#include "core/files/result_file.h"
#include "core/run/record_follower.h"
#include "core/services/result.h"

namespace torvwy::cli {

/// How one analysis shows an update: the contract keys of its JSON object, and a few words
/// for the status line (the counts so far).
struct FollowFaces {
  std::function<nlohmann::ordered_json(const core::AnyResultFile&)> json;
  std::function<std::string(const core::AnyResultFile&)> status;
};

/// A follow that ended, with the result of the blocks it counted.
struct FollowedRun {
  CountedRun run;  ///< the final result; saved when the follow ended well and --save asked
  core::FollowEnd end = core::FollowEnd::kNone;
  bool interrupted = false;           ///< Ctrl-C ended it
  std::optional<core::Error> reason;  ///< of an error end
  int64_t blocks_counted = 0;
  int64_t samples_behind = 0;

  /// Complete, idle or interrupted: the result is that of whole blocks of a sound record, so
  /// saving, pictures and hand-over act on it. An error end only shows it.
  bool ended_well() const;
  /// "complete", "idle", "interrupted", "shrank", "changed", "deleted" or "failed".
  std::string ended() const;
};

/// Refuses the options a follow can't take, in one line each: the automatic amplitude (the
/// partitions would move as the record grows) and --blocks (a follow counts from block 1).
core::Status CheckFollowOptions(const AnalysisOptions& options);

/// Follows the node of `options`: counts the whole blocks present, then every --interval
/// seconds the new ones, and prints an update after each look that counted some (a status
/// line rewritten in place on a terminal, one JSON object per line with --json, one short
/// line otherwise), until the record is complete, --idle seconds pass without a new block, the
/// record turns bad, or Ctrl-C. Fails before the first look as the count would (bad options,
/// a node that can't be opened), and when the follow ends without two samples counted.
core::Result<FollowedRun> FollowForCommand(const AnalysisOptions& options, core::CountingKind kind,
                                           const FollowFaces& faces);

/// Appends "live", "blocks_counted", "samples_behind" and, for the final object, "ended".
void AppendFollowKeys(nlohmann::ordered_json& object, bool live, int64_t blocks_counted,
                      int64_t samples_behind, const std::string& ended = {});

/// The keys a follow's final object ends with (AppendFollowKeys, not live, with "ended"); none
/// for an offline count.
std::optional<nlohmann::ordered_json> FollowKeysOf(const std::optional<FollowedRun>& followed);

/// After the final result is shown: the note of an idle end, the reason of an error end on
/// stderr; returns 0 (complete, idle), kExitCancelled (Ctrl-C) or kExitFailure (error end).
int FollowExitCode(const FollowedRun& followed);

/// The count of a counting command: offline, or with --follow the follow's final result (then
/// `followed` is set). The updates use `faces`.
core::Result<CountedRun> CountOrFollow(const AnalysisOptions& options, core::CountingKind kind,
                                       const FollowFaces& faces,
                                       std::optional<FollowedRun>& followed);

}  // namespace torvwy::cli
