// The damage of a life estimate as it grew through the record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/fatigue/fatigue_estimate.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/services/result.h"

namespace torvwy::core {

/// One step of the cumulative damage: a closed cycle at its end sample, or the residue.
struct DamageStep {
  int64_t sample = 0;       ///< the record's sample index (0-based) where the cycle ends
  double seconds = 0.0;     ///< sample / sampling frequency
  double range = 0.0;       ///< the cycle's range (EU); the residue's row: 0
  double mean = 0.0;        ///< the cycle's mean (EU); the residue's row: 0
  double count = 0.0;       ///< 1 for a cycle; the residue's row: its half cycles x 0.5
  double damage = 0.0;      ///< the damage the step adds
  double cumulative = 0.0;  ///< the damage up to and with this step
  bool residue = false;     ///< the last row: every half cycle of the residue, at the last sample
};

/// Where the counted samples sit in the record, to give the steps their times.
struct CycleTiming {
  /// Added to a cycle's end to give the record's sample index: 0 when the cycles hold the
  /// record's indices already, as ExtractNodeCycles gives them.
  int64_t first_sample = 0;
  int64_t last_sample = 0;    ///< the record's index of the last counted sample
  double frequency_hz = 0.0;  ///< the sampling frequency
};

/// The damage each cycle of `cycles` does in `estimate`, the actual estimate that `choice` made
/// of `histogram` (EstimateDamage): a cycle the histogram counts does 1 / L[j] per cycle of
/// its partition j (n_i / L[j]); with a mean correction, n_i / N(its equivalent range). A
/// cycle the histogram leaves out does none. The damages sum to the estimate's total damage
/// (but for rounding). Fails for a fitting estimate (its damage is not of the counted cycles).
Result<std::vector<double>> CycleDamages(const FatigueChoice& choice,
                                         const RainflowResult& histogram,
                                         const FatigueResult& estimate,
                                         std::span<const RainflowCycle> cycles);

/// The cumulative damage against time: one row per closed cycle in the order of its end sample
/// (the order of closing for equal ends), then one row for the residue at the last sample.
/// Fails as CycleDamages and for a frequency that is not a positive finite number.
Result<std::vector<DamageStep>> DamageHistory(const FatigueChoice& choice,
                                              const RainflowResult& histogram,
                                              const FatigueResult& estimate,
                                              std::span<const RainflowCycle> cycles,
                                              const CycleTiming& timing);

}  // namespace torvwy::core
