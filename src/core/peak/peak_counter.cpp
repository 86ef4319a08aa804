// Finding peaks and valleys and counting their values.
#include "core/peak/peak_counter.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace torvwy::core {
Result<PeakCounter> PeakCounter::Create(const PeakCountSetup& setup) {
  auto partitions = PartitionCounter::Create({.partitions = setup.partitions,
                                              .amplitude_range = setup.amplitude_range,
                                              .c1 = setup.c1,
                                              .c2 = setup.c2,
                                              .top_takes_above = setup.automatic});
  if (!partitions) return partitions.error();
  return PeakCounter(std::move(*partitions));
}

PeakCounter::PeakCounter(PartitionCounter partitions)
    : partitions_(std::move(partitions)),
      peaks_(partitions_.MakeCounts()),
      valleys_(partitions_.MakeCounts()) {}

void PeakCounter::Feed(std::span<const double> raw_samples) {
  finder_.Feed(raw_samples, [this](std::span<double> peaks, std::span<double> valleys) {
    partitions_.Tally(peaks, peaks_);
    partitions_.Tally(valleys, valleys_);
  });
}

void PeakCounter::Join(const PeakCounter& later) {
  peaks_.Add(later.peaks_);
  valleys_.Add(later.valleys_);
}

PeakCountResult PeakCounter::Finish() const {
  PeakCountResult result;
  result.partitions = partitions_.partitions();
  result.amplitude_range = partitions_.amplitude_range();
  result.two_way_width = partitions_.two_way_width();
  result.one_way_width = partitions_.one_way_width();
  const PartitionCounts peaks = peaks_.Settled();
  const PartitionCounts valleys = valleys_.Settled();
  int64_t largest_separate = 0;
  int64_t largest_total = 0;
  for (size_t k = 0; k < static_cast<size_t>(result.partitions); ++k) {
    const int64_t two_way_peaks = peaks.two_way(k);
    const int64_t two_way_valleys = valleys.two_way(k);
    const int64_t one_way_peaks = peaks.one_way(k);
    const int64_t one_way_valleys = valleys.one_way(k);
    const int64_t two_way_total = two_way_peaks + two_way_valleys;
    const int64_t one_way_total = one_way_peaks + one_way_valleys;
    result.two_way_peak_counts[k] = SaturatedCount(two_way_peaks);
    result.two_way_valley_counts[k] = SaturatedCount(two_way_valleys);
    result.two_way_total_counts[k] = SaturatedCount(two_way_total);
    result.one_way_peak_counts[k] = SaturatedCount(one_way_peaks);
    result.one_way_valley_counts[k] = SaturatedCount(one_way_valleys);
    result.one_way_total_counts[k] = SaturatedCount(one_way_total);
    largest_separate = std::max(
        {largest_separate, two_way_peaks, two_way_valleys, one_way_peaks, one_way_valleys});
    largest_total = std::max({largest_total, two_way_total, one_way_total});
  }
  // The largest counts scale the picture's count axis, which must not be empty.
  result.largest_separate_count = largest_separate > 0 ? SaturatedCount(largest_separate) : 1;
  result.largest_total_count = largest_total > 0 ? SaturatedCount(largest_total) : 1;
  result.cursor_partition = result.partitions / 2;
  return result;
}

void PeakCounter::SaveState(CountStateWriter& out) const {
  finder_.SaveState(out);
  const PartitionCounts peaks = peaks_.Settled();
  const PartitionCounts valleys = valleys_.Settled();
  out.Ints(peaks.TwoWay());
  out.Ints(peaks.OneWay());
  out.Ints(valleys.TwoWay());
  out.Ints(valleys.OneWay());
}

bool PeakCounter::LoadState(CountStateReader& in) {
  const auto n = static_cast<int64_t>(peaks_.size());
  if (!finder_.LoadState(in)) return false;
  const std::vector<int64_t> peaks_two_way = in.Ints<int64_t>(n);
  const std::vector<int64_t> peaks_one_way = in.Ints<int64_t>(n);
  const std::vector<int64_t> valleys_two_way = in.Ints<int64_t>(n);
  const std::vector<int64_t> valleys_one_way = in.Ints<int64_t>(n);
  if (!in.ok()) return false;
  return peaks_.Assign(peaks_two_way, peaks_one_way) &&
         valleys_.Assign(valleys_two_way, valleys_one_way);
}

}  // namespace torvwy::core
