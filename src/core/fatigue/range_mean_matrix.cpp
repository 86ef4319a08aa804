// The range-mean matrix of the rainflow cycles.
#include "core/fatigue/range_mean_matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/counting/partition_index.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

/// The mean bin of v: the smallest k with v <= lo + (k + 1) wm, the last for anything above.
int32_t MeanBin(const RangeMeanMatrix& matrix, double v) {
  if (!(matrix.mean_width > 0.0)) return 0;
  const int32_t last = matrix.mean_bins - 1;
  const double guess = std::ceil((v - matrix.mean_low) / matrix.mean_width) - 1.0;
  auto k = static_cast<int32_t>(std::clamp(guess, 0.0, static_cast<double>(last)));
  while (k > 0 && v <= matrix.mean_from(k)) --k;
  while (k < last && v > matrix.mean_to(k)) ++k;
  return k;
}

}  // namespace

Status CheckMatrixBins(int64_t range_bins, int64_t mean_bins) {
  const auto valid = [](int64_t bins) { return bins >= 1 && bins <= kMaxPartitions; };
  if (valid(range_bins) && valid(mean_bins)) return Ok();
  return Fail(kMsgBadValue, "the matrix needs 1..2000 range bins and 1..2000 mean bins, not " +
                                std::to_string(range_bins) + "," + std::to_string(mean_bins));
}

std::vector<double> RangeMeanMatrix::RangeCounts() const {
  std::vector<double> rows(static_cast<size_t>(range_bins), 0.0);
  for (int32_t i = 0; i < range_bins; ++i) {
    for (int32_t k = 0; k < mean_bins; ++k) rows[static_cast<size_t>(i)] += at(i, k);
  }
  return rows;
}

double RangeMeanMatrix::LargestCount() const {
  return counts.empty() ? 0.0 : *std::max_element(counts.begin(), counts.end());
}

Result<RangeMeanMatrix> MakeRangeMeanMatrix(std::span<const RainflowCycle> cycles,
                                            const RainflowResult& histogram, int32_t range_bins,
                                            int32_t mean_bins, std::span<const double> weights) {
  if (!weights.empty() && weights.size() != cycles.size()) {
    return Fail(kMsgBadValue, "the matrix needs one weight per cycle");
  }
  if (range_bins == 0) range_bins = histogram.partitions;
  if (auto ok = CheckMatrixBins(range_bins, mean_bins); !ok) return ok.error();
  if (!(std::isfinite(histogram.amplitude_range) && histogram.amplitude_range > 0.0) ||
      std::isnan(histogram.smallest_range)) {
    return Fail(kMsgBadValue, "the rainflow count has no amplitude range A above 0");
  }
  RangeMeanMatrix matrix;
  matrix.range_bins = range_bins;
  matrix.mean_bins = mean_bins;
  // The histogram's own width and edges when the bins are its partitions, so that each range
  // falls where the counter put it.
  matrix.range_width = histogram.amplitude_range / range_bins;
  const PartitionIndex ranges = PartitionIndex::Rainflow(range_bins, matrix.range_width);
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const RainflowCycle& cycle : cycles) {
    if (!RainflowCountsRange(histogram, cycle.range)) continue;
    if (!std::isfinite(cycle.mean)) return Fail(kMsgBadValue, "a cycle's mean is not a number");
    low = std::min(low, cycle.mean);
    high = std::max(high, cycle.mean);
  }
  matrix.counts.assign(static_cast<size_t>(range_bins) * static_cast<size_t>(mean_bins), 0.0);
  if (low > high) return matrix;  // no cycle counted
  matrix.mean_low = low;
  matrix.mean_width = (high - low) / mean_bins;
  if (!std::isfinite(matrix.mean_width)) {
    return Fail(kMsgBadValue, "the cycles' means span more than numbers hold");
  }
  for (size_t i = 0; i < cycles.size(); ++i) {
    const RainflowCycle& cycle = cycles[i];
    if (!RainflowCountsRange(histogram, cycle.range)) continue;
    const size_t cell = static_cast<size_t>(ranges.Find(cycle.range)) * mean_bins +
                        static_cast<size_t>(MeanBin(matrix, cycle.mean));
    const double weight = weights.empty() ? cycle.count : weights[i];
    matrix.counts[cell] += weight;
    matrix.total_cycles += weight;
  }
  return matrix;
}

}  // namespace torvwy::core
