// LiveCounter: a count that grows with its record. Samples are fed in pieces of any size, and at
// any moment it gives the result the record would give if it ended at the last sample fed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/files/result_file.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/run/counting_plan.h"
#include "core/services/result.h"

namespace torvwy::core {

/// What a live count was set up with (from its plan). Its partitions must not move while the
/// record grows, so the amplitude range is the full scale or a set value, never the automatic one.
struct LiveCountSetup {
  CountingKind kind = CountingKind::kRainflow;
  int32_t partitions = 25;  ///< N; 2000 or more counts as 2000, below 1 is refused
  int32_t amplitude_mode = kAmplitudeFullScale;  ///< kAmplitudeFullScale or kAmplitudeSetValue
  double set_value = 0.0;                        ///< EU, for kAmplitudeSetValue
  /// The record's sampling record: calibration, format (for the full scale) and frequency. Its
  /// length is not used.
  SamplingInfo info;
  RainflowStorage rainflow;  ///< where a large rainflow residue spills
  /// Rainflow only: also keep every cycle with its range, mean and turning samples (Cycles()).
  bool keep_cycles = false;
  ResidueMethod residue = ResidueMethod::kHalf;  ///< rainflow: how the residue is counted
  double gate = 0.0;  ///< reversals smaller than it (EU) are removed first; 0: none
};

/// Counts one record as it grows: the peak, range or rainflow counter of the offline run, fed
/// the raw samples (converted, not yet calibrated, as the waveform reader gives them) in time
/// order from the record's first sample. Nothing fed is ever counted twice: a Snapshot() costs
/// the partitions (and, for rainflow, the residue), not the record.
///
///   fed        |=============================|
///   Snapshot   counts of a record that ends at the last sample fed: its last sample untested
///              by peak and range, the last turning point and the residue as half cycles by
///              rainflow, exactly as the offline run of those samples counts them
///   Feed more  |=============================|=======|   the counts go on from where they were
///
/// So a snapshot after any split of a record into pieces equals the offline count of the samples
/// fed, bit for bit; the final snapshot equals the offline count of the finished record.
/// Whether `plan` can be counted as its record grows: the automatic amplitude can't (bad-value
/// message, "its partitions would move as the record grows"). A follow asks this before it opens
/// the record; Create asks it too.
Status CheckLiveAmplitude(const CountingPlan& plan);

class LiveCounter {
 public:
  /// Counts by the method of `plan` (checked by PlanCounting; its kind, N, amplitude mode and
  /// value, rainflow storage and keep_cycles) the record of sampling record `info` (calibration,
  /// format for the full scale, frequency; its length is not used), with the counter the run
  /// makes. Refuses (bad-value message) the automatic amplitude ("the partitions would move as
  /// the record grows"), an unknown format for the full scale, and an A that N partitions can't
  /// be made of (AmplitudeRangeOf).
  static Result<LiveCounter> Create(const CountingPlan& plan, const SamplingInfo& info);
  /// The same for the plan a setup describes (as a restored state or a pickled count holds it);
  /// the plan is checked by PlanCounting.
  static Result<LiveCounter> Create(const LiveCountSetup& setup);

  LiveCounter(LiveCounter&&) noexcept;
  LiveCounter& operator=(LiveCounter&&) noexcept;
  ~LiveCounter();

  const LiveCountSetup& setup() const;

  /// Feeds the next raw samples. Fails when a rainflow residue can't be spilled or read back;
  /// the count is then lost and every later call fails the same way.
  Status Feed(std::span<const double> raw_samples);

  /// Samples fed so far.
  int64_t samples_fed() const;

  /// The result of the samples fed so far, as the offline counting of exactly those samples
  /// gives it: counts, N, A, widths, largest counts, cursor partition (rainflow: the turning
  /// points, t and w). The fields of the run are set as a Full range over those samples: range
  /// mode Full, first block 1, last block ceil(samples / 1024), the amplitude mode and set
  /// value. The envelope and the record's names, sampling record and total blocks are left for
  /// the caller (LiveEnvelope, RecordFollower). Fails (bad-value message) with fewer than two
  /// samples fed, and as Feed() does. The counter is unchanged and may be fed on.
  Result<AnyResultFile> Snapshot() const;

  /// Rainflow with keep_cycles: every cycle so far, as RainflowCycleExtractor::Finish() gives
  /// them for the samples fed (closed cycles in the order they closed, then the residue's half
  /// cycles in time order), in EU (raw x 1 / (c2 x c1)). Empty otherwise. Unchanged counter.
  std::vector<RainflowCycle> Cycles() const;

  /// Whether `lowest` and `highest` (raw) can be the smallest and the largest sample fed, as a
  /// caller that keeps them beside a restored state carries them: finite, in order, finite in EU
  /// too, equal with one sample fed, and for rainflow exactly the extremes of the points the
  /// count holds (its residue keeps the record's extremes; peak and range keep no trace of
  /// theirs). Fails (bad-value message "the live count state is damaged: ...").
  Status CheckExtremes(double lowest, double highest) const;

  /// The whole state as bytes (setup, counts, held samples, residue, kept cycles), so that a
  /// count may be carried between processes; Restore() of them goes on exactly where it was.
  Result<std::string> SaveState() const;
  /// Fails (bad-value message "the live count state is damaged: ...") on bytes SaveState() did
  /// not write, cut short, or of another version.
  static Result<LiveCounter> Restore(std::string_view bytes);

 private:
  struct State;
  explicit LiveCounter(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace torvwy::core
