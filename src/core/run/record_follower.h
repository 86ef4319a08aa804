// RecordFollower: counting a node while it is being recorded, block by block as its waveform
// file grows, with the result of the blocks counted so far at every look.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/files/result_file.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"
#include "core/run/live_counter.h"
#include "core/services/result.h"

namespace torvwy::core {

class Progress;

/// The mark an acquisition leaves in a node's .tsp while it records, beside [Sampling]:
///
///   [Recording]
///   Running=1
///
/// A record whose .tsp carries it is still growing; one without it is complete once its .sts
/// holds the .tsp's Length.
inline constexpr char kRecordingSection[] = "Recording";
inline constexpr char kRecordingRunningKey[] = "Running";

/// Whether the .tsp at `tsp_path` carries the running mark (false when it can't be read).
bool RecordMarkedRunning(const std::filesystem::path& tsp_path);

/// What a follow counts and when it gives up waiting.
struct FollowSetup {
  /// The counting, checked by PlanCounting: its kind, N, amplitude mode (full scale or set
  /// value; automatic refused) and value, rainflow storage.
  CountingPlan plan;
  /// The follow ends after this long without a new whole block.
  std::chrono::milliseconds idle{30000};
};

/// Why a follow ended.
enum class FollowEnd {
  kNone,      ///< still following
  kComplete,  ///< the record is complete: not marked running, .sts as long as the .tsp says
  kIdle,      ///< no new whole block for the idle time
  kShrank,    ///< the .sts became shorter than it was, or the .tsp's Length than what was seen
  /// The .tsp's format, frequency or calibration changed mid-record, another file took the
  /// .sts's name, or samples counted were rewritten (their bytes read again at the end differ).
  kChanged,
  kDeleted,  ///< the node's .tsp or .sts is gone
  kFailed,   ///< a read failed, or the .sts's name leads to no regular file (a FIFO, a folder)
};

/// The end's name in messages and JSON: "none", "complete", "idle", "shrank", "changed",
/// "deleted" or "failed".
const char* FollowEndName(FollowEnd end);

/// What one look at the node found.
struct FollowLook {
  int64_t new_blocks = 0;  ///< whole blocks counted by this look
  FollowEnd end = FollowEnd::kNone;
  /// For an end other than complete and idle: the one-line reason, as an error of the system's
  /// messages (data-file, sampling-parameters), naming the file.
  std::optional<Error> reason;
};

/// Follows one node. Each Poll() counts the whole blocks that arrived since the last one and
/// never recounts a block; a partial last block waits for its end. The .sts is held open from the
/// first look that finds it, and every read goes to that file; each look checks that the .sts's
/// name still leads to it and that it never shrank, and a follow that ends complete or idle
/// first reads the bytes it counted again, comparing them with a hash kept while counting, so
/// that its counts are never those of another file. Snapshot() gives the result
/// of the blocks counted so far as a complete result file record, as RunCounting would give it
/// for a record of exactly those blocks; after a complete end, exactly what RunCounting gives for
/// the finished record.
class RecordFollower {
 public:
  /// Starts on `node` (OpenCountingNode; its .tsp may say Length=0). Fails as LiveCounter::Create
  /// does, and with the sampling-parameters message when the .tsp can't be read.
  static Result<RecordFollower> Start(const CountingNode& node, const FollowSetup& setup);

  RecordFollower(RecordFollower&&) noexcept;
  RecordFollower& operator=(RecordFollower&&) noexcept;
  ~RecordFollower();

  /// One look: re-reads the .tsp and the size of the .sts, counts the new whole blocks (in
  /// fixed buffers, with `progress` stepping per block and polled for Cancel, which stops after
  /// the current block and leaves the rest for the next look), and tells whether the follow has
  /// ended. A look that would end complete or idle first reads the bytes counted again (in
  /// buffers of 1 MiB, `progress` stepping per buffer; a Cancel there ends nothing and counts
  /// nothing). After an end, further looks count nothing and return the same end.
  FollowLook Poll(Progress& progress);

  /// The result of the blocks counted so far (the envelope too, grown with the record), with the
  /// node's names, its sampling record with the length counted and its total blocks. After a
  /// complete end, the finished record's own length (its envelope also shows a last half block
  /// no block holds). Costs the new partitions and about a thousand short reads at the segment
  /// borders, never the record. Fails (bad-value message) before two samples are counted, and
  /// when the envelope's reads fail, unless an earlier snapshot of the same blocks holds it (a
  /// record that shrank or was deleted after its last look still shows its blocks counted). The
  /// envelope is read from the file counted, even after another took its name; after the
  /// counted samples were found rewritten, only an earlier snapshot's envelope is given.
  Result<AnyResultFile> Snapshot();

  int64_t blocks_counted() const;
  /// Samples in the .sts at the last look that are not counted yet (a partial block, and blocks
  /// left by a cancelled look).
  int64_t samples_behind() const;
  FollowEnd end() const;
  const CountingNode& node() const;

 private:
  struct State;
  explicit RecordFollower(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace torvwy::core
