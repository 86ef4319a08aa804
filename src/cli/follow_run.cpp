// The follow of a counting command: looks at the node every interval, updates on the console.
#include "cli/follow_run.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <thread>

#include "cli/command_language.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "core/services/text.h"
#include "output/console_output.h"

namespace torvwy::cli {
namespace {

using Clock = std::chrono::steady_clock;

core::Error Bad(const std::string& text) { return core::Fail(core::kMsgBadValue, text); }

/// The progress of one look: shows nothing (the updates do), stops the look at Ctrl-C.
class FollowProgress : public core::Progress {
 protected:
  void OnPoll() override {
    if (InterruptRequested()) RequestCancel();
  }
};

/// Waits until `until` or a Ctrl-C, whichever comes first.
void WaitUntil(Clock::time_point until) {
  while (!InterruptRequested()) {
    const auto now = Clock::now();
    if (now >= until) return;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(until - now, std::chrono::milliseconds(20)));
  }
}

/// Seconds as an interval of the options; fails on a value that is not a number >= `least`.
core::Result<std::chrono::milliseconds> Seconds(double value, double least, const char* name) {
  if (!std::isfinite(value) || value < least || value > 1e9) {
    return Bad(std::string(name) + " must be a number of seconds" +
               (least > 0.0 ? " > 0" : " >= 0"));
  }
  return std::chrono::milliseconds(static_cast<int64_t>(std::llround(value * 1000.0)));
}

}  // namespace

bool FollowedRun::ended_well() const {
  return interrupted || end == core::FollowEnd::kComplete || end == core::FollowEnd::kIdle;
}

std::string FollowedRun::ended() const {
  if (interrupted) return "interrupted";
  // A follow that stopped without an end of its own failed.
  return end == core::FollowEnd::kNone ? "failed" : core::FollowEndName(end);
}

core::Status CheckFollowOptions(const AnalysisOptions& options) {
  if (options.amplitude == "auto") {
    return Bad(
        "--follow needs --amplitude full or a value: with auto the partitions would move as "
        "the record grows");
  }
  if (!options.blocks.empty()) {
    return Bad("--follow counts the record from its first block; leave out --blocks");
  }
  if (auto ok = Seconds(options.interval_s, 1e-3, "--interval"); !ok) return ok.error();
  if (auto ok = Seconds(options.idle_s, 0.0, "--idle"); !ok) return ok.error();
  return core::Ok();
}

void AppendFollowKeys(nlohmann::ordered_json& object, bool live, int64_t blocks_counted,
                      int64_t samples_behind, const std::string& ended) {
  object["live"] = live;
  object["blocks_counted"] = blocks_counted;
  object["samples_behind"] = samples_behind;
  if (!ended.empty()) object["ended"] = ended;
}

core::Result<FollowedRun> FollowForCommand(const AnalysisOptions& options, core::CountingKind kind,
                                           const FollowFaces& faces) {
  if (auto ok = CheckFollowOptions(options); !ok) return ok.error();
  std::filesystem::path save_path;
  if (options.save) {
    auto path = SavePath(options, kind);
    if (!path) return path.error();
    save_path = *path;
  }
  auto plan = PlanOfOptions(options, kind);
  if (!plan) return plan.error();
  auto node = OpenNode(options.node);
  if (!node) return node.error();

  core::FollowSetup setup;
  setup.plan = std::move(*plan);
  setup.idle = *Seconds(options.idle_s, 0.0, "--idle");
  const auto interval = *Seconds(options.interval_s, 1e-3, "--interval");
  InterruptWatch interrupt;
  auto follower = core::RecordFollower::Start(*node, setup);
  if (!follower) return follower.error();

  const bool terminal = !options.json && ::isatty(STDOUT_FILENO) == 1;
  const std::string title = NodeTitle(options.node);
  bool status_shown = false;
  FollowedRun followed;
  for (auto look_at = Clock::now();; look_at += interval) {
    FollowProgress progress;
    const core::FollowLook look = follower->Poll(progress);
    if (look.end != core::FollowEnd::kNone) {
      followed.reason = look.reason;
      break;
    }
    if (InterruptRequested()) {
      followed.interrupted = true;
      break;
    }
    if (look.new_blocks > 0) {
      auto snapshot = follower->Snapshot();
      if (snapshot) {
        const int64_t blocks = follower->blocks_counted();
        const int64_t behind = follower->samples_behind();
        if (options.json) {
          nlohmann::ordered_json object = faces.json(*snapshot);
          AppendFollowKeys(object, true, blocks, behind);
          output::PrintJson(object);
        } else {
          const double seconds = static_cast<double>(blocks) * core::kBlockSamples /
                                 follower->node().info.frequency_hz();
          const std::string line = title + " live: " + std::to_string(blocks) + " blocks (" +
                                   core::FormatNumber(seconds, 6) + " s), " +
                                   std::to_string(behind) + " samples behind; " +
                                   faces.status(*snapshot);
          if (terminal) {
            std::cout << "\r\033[K" << core::EscapeControlCharacters(line);
            status_shown = true;
          } else {
            std::cout << core::EscapeControlCharacters(line) << "\n";
          }
        }
        std::cout << std::flush;
      }
    }
    WaitUntil(look_at + interval);
    if (InterruptRequested()) {
      followed.interrupted = true;
      break;
    }
  }
  if (status_shown) std::cout << "\r\033[K" << std::flush;

  followed.end = follower->end();
  followed.blocks_counted = follower->blocks_counted();
  followed.samples_behind = follower->samples_behind();
  auto final_result = follower->Snapshot();
  if (!final_result) {
    // Nothing to show: fewer than two samples counted, or the record went before its envelope
    // could be read. The reason of the end says more than the snapshot's failure.
    if (followed.reason) return *followed.reason;
    core::Error error = final_result.error();
    error.detail += " (the follow ended " + followed.ended() + " after " +
                    std::to_string(followed.blocks_counted) + " whole blocks)";
    return error;
  }
  followed.run.file = std::move(*final_result);
  followed.run.node = follower->node();
  if (!save_path.empty() && followed.ended_well()) {
    if (auto ok = core::SaveResultFile(save_path, followed.run.file); !ok) return ok.error();
    followed.run.saved = std::move(save_path);
  }
  return followed;
}

std::optional<nlohmann::ordered_json> FollowKeysOf(const std::optional<FollowedRun>& followed) {
  if (!followed) return std::nullopt;
  nlohmann::ordered_json keys = nlohmann::ordered_json::object();
  AppendFollowKeys(keys, false, followed->blocks_counted, followed->samples_behind,
                   followed->ended());
  return keys;
}

int FollowExitCode(const FollowedRun& followed) {
  if (followed.interrupted) {
    std::cerr << "torvwy: the follow was interrupted after " << followed.blocks_counted
              << " whole blocks\n";
    return kExitCancelled;
  }
  if (followed.end == core::FollowEnd::kComplete) return kExitOk;
  if (followed.end == core::FollowEnd::kIdle) {
    std::cerr << "torvwy: the record stopped growing; the follow ended idle after "
              << followed.blocks_counted << " whole blocks\n";
    return kExitOk;
  }
  if (followed.reason) return ReportError(*followed.reason);
  return ReportError("the follow ended (" + followed.ended() + ") after " +
                     std::to_string(followed.blocks_counted) + " whole blocks");
}

core::Result<CountedRun> CountOrFollow(const AnalysisOptions& options, core::CountingKind kind,
                                       const FollowFaces& faces,
                                       std::optional<FollowedRun>& followed) {
  if (!options.follow) return CountForCommand(options, kind);
  auto run = FollowForCommand(options, kind, faces);
  if (!run) return run.error();
  followed = std::move(*run);
  return followed->run;
}

}  // namespace torvwy::cli
