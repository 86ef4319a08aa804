// FatigueResult: the cumulative damage of one rainflow histogram by Miner's rule.
#pragma once

#include <cstdint>
#include <vector>

#include "core/fatigue/mean_correction.h"
#include "core/fatigue/sn_curve.h"

namespace torvwy::core {

/// Which cycles are divided by the lives: the fitted distribution or the counted cycles.
enum class FatigueMethod : int32_t { kFitting = 0, kActual = 1 };

/// One life estimate. The per-partition vectors hold N values, partition j standing for the
/// stress range S_j = (j + 0.5) x w (EU, taken as N/mm^2). A plain record for views and reports.
struct FatigueResult {
  FatigueMethod method = FatigueMethod::kActual;
  int32_t class_index = 0;        ///< index into kSnClassTable
  int32_t reliability_index = 3;  ///< index into kReliabilityFactors
  double reliability = 2.0;       ///< d

  int32_t partitions = 0;        ///< N
  double partition_width = 0.0;  ///< w
  std::vector<double> counts;    ///< the histogram the estimate used

  double total_cycles = 0.0;        ///< F: sum of the counts (half cycles count 0.5)
  std::vector<double> probability;  ///< P[j]: fitted, or counts[j] / F
  std::vector<double> life;         ///< L[j]: cycles to failure at S_j
  std::vector<double> damage;       ///< D[j]: damage degree of the partition
  double total_damage = 0.0;        ///< sum of D[j]

  // The fitting estimate only.
  double location = 0.0;     ///< x0
  double scale = 0.0;        ///< lambda
  double shape = 0.0;        ///< b
  int64_t whole_cycles = 0;  ///< M: the counts rounded half up, summed

  /// The curve the lives come from. A weld class is the class and factor above (and all that
  /// the estimates of before held); a detail category or curve file gives L[j] from its pieces,
  /// +infinity where it does no damage (D[j] = 0 there).
  SnCurve curve;
  /// The mean-stress correction of the cycles, kind none unless one was asked for. With one,
  /// the partitions hold the cycles by their equivalent range: S_j = (j + 0.5) x w over
  /// [0, max(A, the largest equivalent range)], and D[j] sums n_i / N(equivalent range) of the
  /// cycles in partition j exactly; L[j] is N at the centre, for the table.
  MeanCorrection correction;
};

}  // namespace torvwy::core
