// CountingPlan: the one request every face builds for a counting, and the one place it is checked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/counting/counting_parameters.h"
#include "core/data/envelope.h"
#include "core/data/sampling_info.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/rainflow/residue_method.h"
#include "core/run/counting_method.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Blocks of 1024 samples, from 1, as asked: possibly reversed or beyond the record.
struct BlockRange {
  int32_t first = 1;
  int32_t last = 1;
};

/// Seconds from the start of the record, as asked: possibly reversed or negative.
struct TimeRange {
  double from_s = 0.0;
  double to_s = 0.0;
};

/// The worker threads a plan may ask for; 0 is one per core.
constexpr int kMaxThreads = 256;

/// What the command line, the Python package, the setup dialog and the follow ask a counting
/// for. A face fills it (or its texts, CountingTexts) and hands it to PlanCounting, which checks
/// it; SettlePlan then settles its range against the node. Nothing downstream checks it again.
///
///   face texts/values -> PlanCounting -> SettlePlan(node) -> RunCounting / LiveCounter
struct CountingPlan {
  CountingKind kind = CountingKind::kRainflow;
  /// The system's record of the counting: range mode, amplitude mode, set value and N as asked;
  /// after SettlePlan also the settled range (first and last block).
  CountingParameters parameters;
  std::optional<BlockRange> blocks;  ///< the block fields asked; empty: as the parameters hold
  std::optional<TimeRange> times;    ///< the time fields asked; empty: as the parameters hold
  /// Worker threads of the counting pass: 1 counts on the calling thread, 0 one per core. The
  /// result is the same for every number.
  int threads = 1;
  RainflowStorage rainflow;   ///< where a large rainflow residue spills
  PassCaptions captions;      ///< status lines of the envelope and counting passes
  CrossingOptions crossings;  ///< level crossings: the level list, reference, direction, gate
  /// Rainflow: how the residue is counted; empty when not asked (half cycles).
  std::optional<ResidueMethod> residue;
  /// Peak, range, rainflow and range pairs: reversals smaller than this (EU) are removed before
  /// counting (HysteresisGate); 0: none. Level crossings keep theirs in `crossings`, where a
  /// level counts again once the load has come back the gate beyond it.
  double gate = 0.0;
  /// A live rainflow count also keeps every cycle with its range, mean and turning samples.
  bool keep_cycles = false;
  /// What the face tells the user of the request: N above 2000 is counted with 2000. Empty when
  /// there is nothing to tell.
  std::string note;

  const CountingMethod& method() const { return MethodOf(kind); }
};

/// A request as texts, as the command line and the Python package take it.
struct CountingTexts {
  std::string_view method = "rainflow";  ///< "peak", "range" or "rainflow"
  std::string_view partitions = "25";    ///< N, a whole number
  std::string_view amplitude = "auto";   ///< "full", "auto" or a value in EU
  std::string_view blocks;               ///< "FIRST-LAST"; empty: the whole record
};

/// The level crossing options as a face holds them in texts; empty: the default.
struct CrossingTexts {
  std::string_view level_list;  ///< "L1,L2,..." (EU)
  std::string_view reference;   ///< EU, default 0
  std::string_view direction;   ///< "up", "down", "both" or "astm" (default)
  std::string_view gate;        ///< EU, default 0
};

/// The counting conventions as a face holds them in texts; empty: the default.
struct ConventionTexts {
  std::string_view residue;  ///< "half", "full", "discard" or "repeated"
  std::string_view gate;     ///< EU
};

/// Sets the plan's residue method and gate from `texts` (checked as values by PlanCounting); a
/// gate for level crossings goes to their own gate:
///
///   --residue "x" is not one of half, full, discard, repeated
///   --gate "x" is not a number
Status ApplyConventionTexts(const ConventionTexts& texts, CountingPlan& plan);

/// The level crossing options of `texts`, for a plan's `crossings` (checked as values by
/// PlanCounting):
///
///   --level-list "x" is not a list of numbers       --reference "x" is not a number
///   --direction "x" is not one of up, down, both, astm
///   --gate "x" is not a number
Result<CrossingOptions> ParseCrossingTexts(const CrossingTexts& texts);

/// Checks a request before anything is read, with one wording per fault whatever the face; the
/// fields are named as the command line's options, which the guide and every face's help use:
///
///   --method "x" is not one of peak, range, rainflow
///   --partitions "x" is not a whole number          --partitions must be 1 or more
///   --level-list is not strictly increasing: ...    --gate = G is not a finite number of 0 or more
///   --amplitude "x" is neither full, auto nor a number
///   --amplitude = A is not a finite number above 0 (or makes the partition width infinite or
///                                                    too small: CheckAmplitudeRange)
///   --blocks "x" is not FIRST-LAST
///   analysis range mode 3 is not 0, 1 or 2          amplitude mode 3 is not 0, 1 or 2
///   --threads = 300 is not in 0..256
///   --residue applies to rainflow counting only (a peak count has no cycles)
///   --gate does not apply to time at level
///
/// all with the bad-value message. A good plan is returned with its note (N above 2000). Texts
/// set the kind, N, the amplitude mode and value, and By Block with the blocks (else Full) over
/// `base`, which holds the rest.
Result<CountingPlan> PlanCounting(const CountingPlan& asked);
Result<CountingPlan> PlanCounting(const CountingTexts& texts, CountingPlan base = {});

/// Settles a checked plan against the node's sampling record: the range starts as the whole
/// node, the fields asked replace its block and time fields, then the range mode settles it
/// (SettleRange). Fails (bad value) when the plan's full scale is asked and N partitions can't
/// be made of it (an unknown format is left for the run to refuse).
Status SettlePlan(CountingPlan& plan, const SamplingInfo& info);

/// The full scale in EU as `method` takes it (AmplitudeRule): |FS / c2 / c1| or
/// |(FS + FS) / c2 / c1|; a negative c1 or c2 turns the samples over, the range keeps its size.
/// Fails for a format without a full scale.
Result<double> FullScaleRange(const CountingMethod& method, const SamplingInfo& info);

/// The amplitude range A (EU) of the plan's counting, resolved and checked in this one place
/// once the sampling record (and, for the automatic mode, the record's envelope) is read:
///
///   full scale   FullScaleRange
///   automatic    from the extremes of the record's envelope (AmplitudeRule)
///   set value    the set value
///
/// Fails (bad value) for a format without a full scale, by CheckAutomaticAmplitude for an
/// automatic range not above 0 (`record` names the waveform), and by CheckAmplitudeRange for a
/// range the plan's N partitions can't be made of.
Result<double> AmplitudeRangeOf(const CountingPlan& plan, const SamplingInfo& info,
                                const EnvelopeExtremes& extremes,
                                const std::filesystem::path& record);

/// Accepts an amplitude range A (EU) that N partitions can be made of (N below 1 taken as 1,
/// 2000 or more as 2000): A finite and above 0, the two-way width 2A / N finite and the one-way
/// width A / N a normal number, so that no width is infinite, 0 or too small to divide by.
/// Fails (bad value) "<name> = A is not a finite number above 0", "... makes the partition width
/// infinite" or "... makes the partition width too small: A / N is below 2.2250738585072014e-308".
Status CheckAmplitudeRange(double amplitude_range, int64_t partitions, std::string_view name);

/// Refuses the amplitude range A (EU) a counting found under the automatic mode when it is not
/// above 0, so that no count is listed in partitions of no width: for a constant record
/// (envelope maximum = minimum) "<record>: the record is constant at X EU: the automatic
/// amplitude range is 0; give the full scale or a value", else (a peak counting of a record
/// below 0) that the largest peak is not above 0. Bad-value message.
Status CheckAutomaticAmplitude(double amplitude_range, double envelope_maximum,
                               double envelope_minimum, const std::filesystem::path& record);

/// What a face tells the user of a partition count above 2000, which is counted with 2000 (as
/// the files record it): "--partitions 2500 is above 2000; counted with 2000 partitions". Empty
/// for 2000 or fewer.
std::string PartitionCountNote(int64_t partitions);

}  // namespace torvwy::core
