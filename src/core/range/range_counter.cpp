// Finding turning points and counting the ranges between them.
#include "core/range/range_counter.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace torvwy::core {
Result<RangeCounter> RangeCounter::Create(const RangeCountSetup& setup) {
  auto partitions = PartitionCounter::Create({.partitions = setup.partitions,
                                              .amplitude_range = setup.amplitude_range,
                                              .c1 = setup.c1,
                                              .c2 = setup.c2,
                                              .top_takes_above = false});
  if (!partitions) return partitions.error();
  return RangeCounter(std::move(*partitions), setup.opens_range);
}

RangeCounter::RangeCounter(PartitionCounter partitions, bool opens_range)
    : partitions_(std::move(partitions)),
      counts_(partitions_.MakeCounts()),
      opens_range_(opens_range) {}

void RangeCounter::Feed(std::span<const double> raw_samples) {
  if (opens_range_ && !started_ && !raw_samples.empty()) {
    last_extreme_ = raw_samples[0];  // the first range starts at the first sample
    started_ = true;
  }
  finder_.Feed(raw_samples, [this](std::span<double> turning_points, std::span<double>) {
    if (!started_) {
      // A later stretch: its first turning point waits for the join.
      first_turning_point_ = last_extreme_ = turning_points[0];
      started_ = has_turning_point_ = true;
      turning_points = turning_points.subspan(1);
      if (turning_points.empty()) return;
    }
    has_turning_point_ = true;
    // Each range is the raw difference from the previous turning point (into a list of its
    // own, so that the loop vectorises); the partition counter then divides it by c2 and by c1.
    const size_t n = turning_points.size();
    if (ranges_.size() < n) ranges_.resize(n);
    const double* from = turning_points.data();
    double* ranges = ranges_.data();
    ranges[0] = from[0] - last_extreme_;
    for (size_t j = 1; j < n; ++j) ranges[j] = from[j] - from[j - 1];
    last_extreme_ = from[n - 1];
    partitions_.Tally({ranges, n}, counts_);
  });
}

void RangeCounter::Join(const RangeCounter& later, bool adjacent) {
  counts_.Add(later.counts_);
  if (!later.has_turning_point_) return;
  if (!adjacent) return;
  if (started_) {
    double range = later.first_turning_point_ - last_extreme_;
    partitions_.CountRaw({&range, 1}, counts_);
  } else {
    first_turning_point_ = later.first_turning_point_;
    started_ = true;
  }
  has_turning_point_ = true;
  last_extreme_ = later.last_extreme_;
}

RangeCountResult RangeHistograms(const PartitionCounter& partitions,
                                 const PartitionCounts& counts) {
  RangeCountResult result;
  result.partitions = partitions.partitions();
  result.amplitude_range = partitions.amplitude_range();
  result.two_way_width = partitions.two_way_width();
  result.one_way_width = partitions.one_way_width();
  const PartitionCounts settled = counts.Settled();
  int64_t largest = 0;
  for (size_t k = 0; k < static_cast<size_t>(result.partitions); ++k) {
    const int64_t two_way = settled.two_way(k);
    const int64_t one_way = settled.one_way(k);
    result.two_way_counts[k] = SaturatedCount(two_way);
    result.one_way_counts[k] = SaturatedCount(one_way);
    largest = std::max({largest, two_way, one_way});
  }
  // The largest count scales the picture's count axis, which must not be empty.
  result.largest_count = largest > 0 ? SaturatedCount(largest) : 1;
  result.cursor_partition = result.partitions / 2;
  return result;
}

RangeCountResult RangeCounter::Finish() const { return RangeHistograms(partitions_, counts_); }

void RangeCounter::SaveState(CountStateWriter& out) const {
  finder_.SaveState(out);
  const PartitionCounts counts = counts_.Settled();
  out.Ints(counts.TwoWay());
  out.Ints(counts.OneWay());
  out.Int(opens_range_);
  out.Int(started_);
  out.Double(last_extreme_);
  out.Int(has_turning_point_);
  out.Double(first_turning_point_);
}

bool RangeCounter::LoadState(CountStateReader& in) {
  const auto n = static_cast<int64_t>(counts_.size());
  if (!finder_.LoadState(in)) return false;
  const std::vector<int64_t> two_way = in.Ints<int64_t>(n);
  const std::vector<int64_t> one_way = in.Ints<int64_t>(n);
  if (!in.ok() || !counts_.Assign(two_way, one_way)) return false;
  opens_range_ = in.Int(0, 1) != 0;
  started_ = in.Int(0, 1) != 0;
  last_extreme_ = in.Double();
  has_turning_point_ = in.Int(0, 1) != 0;
  first_turning_point_ = in.Double();
  return in.ok();
}

}  // namespace torvwy::core
