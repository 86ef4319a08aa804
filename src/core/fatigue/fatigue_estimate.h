// The two life estimates of a rainflow histogram: from the counted cycles and from a fit.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/mean_correction.h"
#include "core/fatigue/sn_curve.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Cycles to failure L[j] at every partition centre S_j = (j + 0.5) x w of an S-N class and a
/// reliability factor (indices into kSnClassTable and kReliabilityFactors). Fails (bad-value
/// message) for an unknown index, N outside 1..2000, a width that is not a positive finite
/// number, or a life that is not a positive finite number.
Result<std::vector<double>> PartitionLives(int32_t partitions, double partition_width,
                                           int32_t class_index, int32_t reliability_index);

/// Miner's rule on the counted cycles: F = sum of the counts, P[j] = counts[j] / F,
/// D[j] = counts[j] / L[j]. Fails with the no-cycles message when F = 0, and as PartitionLives.
Result<FatigueResult> EstimateActualDamage(const RainflowResult& rainflow, int32_t class_index,
                                           int32_t reliability_index);

/// Miner's rule on the fitted distribution (FitWeibull): P[j] = the fitted probability at S_j
/// (0 below the location x0), M = sum of the counts rounded half up, D[j] = M x P[j] / L[j].
/// Fails with the no-cycles message when F = 0, the fit-refused message when the fit is
/// impossible, and as PartitionLives.
Result<FatigueResult> EstimateFittedDamage(const RainflowResult& rainflow, int32_t class_index,
                                           int32_t reliability_index);

/// The estimate of `method`.
Result<FatigueResult> EstimateDamage(FatigueMethod method, const RainflowResult& rainflow,
                                     int32_t class_index, int32_t reliability_index);

/// What an estimate is asked for: the method, the curve and the mean-stress correction.
struct FatigueChoice {
  FatigueMethod method = FatigueMethod::kActual;
  SnCurve curve;              ///< weld class B at d = 2.0 unless chosen
  MeanCorrection correction;  ///< none unless chosen
  /// A choice that the estimates of before made (a weld class, no correction): its result is
  /// theirs byte for byte.
  bool is_weld_class_only() const {
    return curve.is_weld_class() && correction.kind == MeanCorrectionKind::kNone;
  }
};

/// The estimate of `choice`. A weld class without a correction is EstimateDamage(method,
/// rainflow, class, factor) exactly. Another curve gives the lives of its pieces at the
/// partition centres. A mean correction needs the cycles of the histogram (`cycles`, the list
/// the histogram was counted from) and the actual method: the cycles the histogram counts (its
/// t <= range <= A) are taken at their equivalent ranges (see FatigueResult::correction).
/// Fails as the estimates above, for a correction without cycles or with the fitting method
/// (bad-value message), and as EquivalentRange.
Result<FatigueResult> EstimateDamage(const FatigueChoice& choice, const RainflowResult& rainflow,
                                     std::span<const RainflowCycle> cycles = {});

/// The lives at the partition centres of any curve (PartitionLives for a weld class), +infinity
/// where the curve does no damage.
Result<std::vector<double>> PartitionLives(int32_t partitions, double partition_width,
                                           const SnCurve& curve);

}  // namespace torvwy::core
