// The two life estimates of a rainflow histogram: from the counted cycles and from a fit.
#pragma once

#include <cstdint>
#include <vector>

#include "core/fatigue/fatigue_result.h"
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

}  // namespace torvwy::core
