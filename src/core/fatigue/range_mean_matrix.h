// RangeMeanMatrix: the rainflow cycles counted by range and by mean.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Rows by range, columns by mean; each cell holds cycles (a residue half counts 0.5).
///
/// The range bins are the histogram's partitions when their number is the histogram's, and in
/// any case (i w, (i + 1) w] over [0, A] with w = A / R, by the histogram's own rule: a range
/// below the smallest counted range t or above A is not counted. So the matrix holds the cycles
/// the histogram holds, and with R = N its sum over the means is the histogram.
///
/// The mean bins split [lowest mean, highest mean] of the counted cycles into M equal bins,
/// (lo + k wm, lo + (k + 1) wm], the first closed below; with one mean value all fall in the
/// first bin.
struct RangeMeanMatrix {
  int32_t range_bins = 0;      ///< R
  int32_t mean_bins = 0;       ///< M
  double range_width = 0.0;    ///< w
  double mean_low = 0.0;       ///< lo
  double mean_width = 0.0;     ///< wm (0 with one mean value)
  std::vector<double> counts;  ///< R x M, row-major: counts[i * M + k]
  double total_cycles = 0.0;   ///< the sum of the cells

  double at(int32_t range_bin, int32_t mean_bin) const {
    return counts[static_cast<size_t>(range_bin) * static_cast<size_t>(mean_bins) +
                  static_cast<size_t>(mean_bin)];
  }
  double range_from(int32_t i) const { return i * range_width; }
  double range_to(int32_t i) const { return (i + 1) * range_width; }
  double mean_from(int32_t k) const { return mean_low + k * mean_width; }
  double mean_to(int32_t k) const { return mean_low + (k + 1) * mean_width; }
  /// The sum of each row: the cycles of each range bin.
  std::vector<double> RangeCounts() const;
  /// The largest cell.
  double LargestCount() const;
};

/// The matrix of `cycles` on the range layout of `histogram` (its A and t) with R range bins
/// and M mean bins (R = 0: the histogram's N). Fails (bad-value message) for R or M outside
/// 1..2000, or a histogram whose A or t is not a finite number with A > 0. With `weights`
/// (one per cycle) the cells sum those instead of the cycles' counts, on the same bins: the
/// damage of each cycle gives the damage matrix.
Result<RangeMeanMatrix> MakeRangeMeanMatrix(std::span<const RainflowCycle> cycles,
                                            const RainflowResult& histogram, int32_t range_bins,
                                            int32_t mean_bins,
                                            std::span<const double> weights = {});

/// Refuses (bad-value message "the matrix needs 1..2000 range bins and 1..2000 mean bins, not
/// R,M") a matrix of more bins than a histogram has partitions, or of none, on either axis.
Status CheckMatrixBins(int64_t range_bins, int64_t mean_bins);

/// The default number of mean bins.
constexpr int32_t kDefaultMeanBins = 10;

}  // namespace torvwy::core
