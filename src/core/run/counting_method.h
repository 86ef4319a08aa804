// The table of counting methods: everything the run, the live counter and the faces need to know
// about one method, so that a new method is an engine and one entry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "core/counting/count_state.h"
#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/files/result_file.h"
#include "core/levels/level_crossing_result.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/services/result.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {

/// How a method's amplitude range A follows from the amplitude mode.
struct AmplitudeRule {
  /// Full scale: |FS / c2 / c1| when false (a value reaches from 0 to FS), |(FS + FS) / c2 / c1|
  /// when true (a range can reach from -FS to +FS).
  bool full_scale_two_way = true;
  /// Automatic: the envelope's largest value when true, else (maximum - minimum) x 1.1, so that
  /// no range is dropped.
  bool automatic_largest_peak = false;
  /// Automatic: the envelope's largest magnitude, max(|maximum|, |minimum|), so that every value
  /// lies in [-A, A] (before automatic_largest_peak).
  bool automatic_largest_magnitude = false;
};

/// What a method's counter is made with; the run fills it once A is known.
struct CounterSetup {
  int32_t partitions = 25;       ///< N as asked: 2000 or more count as 2000
  double amplitude_range = 0.0;  ///< A (EU), checked (AmplitudeRangeOf)
  bool automatic = false;        ///< A came from the envelope
  SamplingInfo info;             ///< calibration and format of the record
  RainflowStorage rainflow;      ///< where a large rainflow residue spills
  /// A counter fed from the first sample of the range; false for a later stretch of a chunked
  /// run, which keeps what its join needs.
  bool opens_range = true;
  /// Count the raw values of this 16-bit format by a table of partitions (a long range); -1 not.
  int32_t sample_table_format = -1;
  CrossingOptions crossings;  ///< the levels, reference, direction and gate of level crossings
  ResidueMethod residue = ResidueMethod::kHalf;  ///< rainflow: how the residue is counted
  /// Reversals smaller than this (EU) are removed before the count (methods that take a gate);
  /// 0: none.
  double gate = 0.0;
};

/// One method's counter as the run, the chunked join and the live counter drive it. Samples are
/// the raw ones (converted, not yet calibrated), in time order, in pieces of any size.
class MethodCounter {
 public:
  virtual ~MethodCounter() = default;

  /// A counter of the same setup for the next stretch of a chunked run (opens_range false),
  /// sharing what can be shared (the table of partitions).
  virtual std::unique_ptr<MethodCounter> MakeLater() const = 0;

  /// Fails when the counter's storage fails; the count is then lost.
  virtual Status Feed(std::span<const double> raw_samples) = 0;

  /// Joins `later` (MakeLater(), fed the next stretch with one sample of overlap on each side,
  /// see ChunkWindow) so that the counts are those of one counter fed everything. With
  /// `adjacent` false (a cancelled pass, whose stretches need not meet) nothing is counted across
  /// the gap.
  virtual Status Join(MethodCounter& later, bool adjacent) = 0;

  /// The method's result record of the samples fed (the engine's fields; the run fills those of
  /// the run). A `cancelled` count keeps what its method shows of a partial pass.
  virtual Result<AnyResultFile> Finish(bool cancelled) = 0;

  /// What Finish(false) would give now, leaving the counter to be fed on.
  virtual Result<AnyResultFile> Snapshot() = 0;

  /// The counts and what is held between feeds, for a count carried between processes.
  virtual Status SaveState(CountStateWriter& out) = 0;
  virtual bool LoadState(CountStateReader& in) = 0;

  /// The smallest and largest point the count holds (EU), for a method that keeps the record's
  /// extremes (rainflow's residue); empty for one that keeps no trace of them.
  virtual Result<std::optional<std::pair<double, double>>> HeldExtremes() {
    return std::optional<std::pair<double, double>>{};
  }
};

/// Everything the run, the live counter and the faces need to know about one counting method.
struct CountingMethod {
  CountingKind kind;
  /// "peak", "range", "rainflow", "crossings", "range-pairs", "time-at-level": subcommand, Python
  /// kind, the JSON's "analysis"
  std::string_view name;
  TextKey title;  ///< "Peak Counting", ... in both languages
  AmplitudeRule amplitude;
  /// The progress bar runs to trunc(blocks x share), filled at the end; 1: to the block count.
  double progress_share = 1.0;
  /// After a cancel on one thread the last sample of the last block is tested against the next
  /// sample (peak counting tests every sample against both neighbours).
  bool tests_next_sample_after_cancel = false;
  /// The counter needs the format's full scale whatever the amplitude mode (rainflow's smallest
  /// counted range is a thousandth of it).
  bool needs_full_scale = false;
  /// The record can be cut into chunks counted on several threads and joined exactly; false for
  /// a method whose every count depends on the whole history before it (one thread counts).
  bool counts_in_chunks = true;
  /// A gate removes the reversals smaller than it before the count (MakeCounter); a gated count
  /// runs in one stretch.
  bool takes_gate = false;
  /// Makes the counter; fails as the engine refuses its setup.
  Result<std::unique_ptr<MethodCounter>> (*make)(const CounterSetup& setup);
};

/// The counter of `method` for `setup`: the method's own, behind a HysteresisGate when the
/// method takes a gate and the setup sets one. Fails as the engine refuses its setup.
Result<std::unique_ptr<MethodCounter>> MakeCounter(const CountingMethod& method,
                                                   const CounterSetup& setup);

/// Whether a count of `method` with `setup` runs in chunks on several threads.
bool CountsInChunks(const CountingMethod& method, const CounterSetup& setup);

/// Every counting method, in CountingKind order.
std::span<const CountingMethod> CountingMethods();

/// The entry of `kind`.
const CountingMethod& MethodOf(CountingKind kind);

/// The entry named `name`; empty for an unknown name.
const CountingMethod* MethodNamed(std::string_view name);

}  // namespace torvwy::core
