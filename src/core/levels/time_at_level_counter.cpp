// Time at level: how long the load stays in each partition of [-A, A].
#include "core/levels/time_at_level_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace torvwy::core {

Result<TimeAtLevelCounter> TimeAtLevelCounter::Create(const LevelTimeSetup& setup) {
  auto partitions = PartitionCounter::Create(setup);
  if (!partitions) return partitions.error();
  return TimeAtLevelCounter(std::move(*partitions), setup);
}

TimeAtLevelCounter::TimeAtLevelCounter(PartitionCounter partitions, LevelTimeSetup setup)
    : partitions_(std::move(partitions)),
      setup_(setup),
      counts_(partitions_.MakeCounts()),
      skip_first_(!setup.opens_range) {}

void TimeAtLevelCounter::ShareSampleTable(const TimeAtLevelCounter& other) {
  partitions_.ShareSampleTable(other.partitions_);
}

void TimeAtLevelCounter::CountValues(std::span<const double> raw_values) {
  // The partition counter works on a copy: it leaves the values changed.
  constexpr size_t kBatch = 4096;
  for (size_t first = 0; first < raw_values.size(); first += kBatch) {
    const size_t n = std::min(kBatch, raw_values.size() - first);
    batch_.assign(raw_values.begin() + static_cast<std::ptrdiff_t>(first),
                  raw_values.begin() + static_cast<std::ptrdiff_t>(first + n));
    partitions_.Tally(batch_, counts_);
    samples_ += static_cast<int64_t>(n);
  }
}

void TimeAtLevelCounter::Feed(std::span<const double> raw_samples) {
  if (skip_first_ && !raw_samples.empty()) {
    // The sample before the stretch belongs to the stretch before it.
    skip_first_ = false;
    raw_samples = raw_samples.subspan(1);
  }
  if (raw_samples.empty()) return;
  if (held_) CountValues(std::span(&held_value_, 1));
  CountValues(raw_samples.first(raw_samples.size() - 1));
  held_ = true;
  held_value_ = raw_samples.back();
}

void TimeAtLevelCounter::Join(const TimeAtLevelCounter& later) {
  // This stretch's held sample is the later one's first: it counts there.
  counts_.Add(later.counts_);
  samples_ += later.samples_;
  held_ = later.held_;
  held_value_ = later.held_value_;
}

std::vector<int64_t> TimeAtLevelCounter::Counts() const {
  PartitionCounts counts = counts_.Settled();
  if (held_) {
    PartitionCounter counter = partitions_;
    double value = held_value_;
    counter.CountRaw(std::span(&value, 1), counts);
  }
  return counts.TwoWay();
}

void TimeAtLevelCounter::SaveState(CountStateWriter& out) const {
  out.Int(samples_);
  out.Int(held_ ? 1 : 0);
  out.Double(held_value_);
  out.Ints(counts_.Settled().TwoWay());
}

bool TimeAtLevelCounter::LoadState(CountStateReader& in) {
  const int64_t samples = in.Int(0, std::numeric_limits<int64_t>::max());
  const bool held = in.Int(0, 1) == 1;
  const double held_value = in.Double();
  const auto counts = in.Ints<int64_t>(partitions());
  int64_t in_partitions = 0;
  for (const int64_t c : counts) {
    if (c < 0 || c > samples - in_partitions) return in.Fail();
    in_partitions += c;
  }
  PartitionCounts loaded = partitions_.MakeCounts();
  if (!in.ok() || !std::isfinite(held_value) ||
      !loaded.Assign(counts, std::vector<int64_t>(counts.size(), 0))) {
    return in.Fail();
  }
  counts_ = std::move(loaded);
  samples_ = samples;
  held_ = held;
  held_value_ = held_value;
  skip_first_ = skip_first_ && samples == 0 && !held;
  return true;
}

}  // namespace torvwy::core
