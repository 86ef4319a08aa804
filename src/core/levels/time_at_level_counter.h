// Time at level: how long the load stays in each partition of [-A, A].
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/count_state.h"
#include "core/counting/partition_counter.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The fixed inputs of one time-at-level count: the partitions (N, A, c1, c2) and whether the
/// counter opens the range; false for a later stretch of a chunked count, fed from the sample
/// before the stretch (counted by the stretch before) to the sample after it (counted by the
/// stretch after).
struct LevelTimeSetup : PartitionSetup {
  bool opens_range = true;
};

/// Counts every sample into the partition of its value among the N partitions of [-A, A]
/// (width W2 = (A + A) / N), as peak counting's two-way partitions take a value: open below,
/// closed above, the lowest one also closed below; a sample outside [-A, A] is counted apart.
/// A sample stands for one sampling interval, so a partition's time is its count / frequency.
///
/// The last sample fed is held until the next arrives, so that a stretch of a chunked count can
/// leave the sample after it to the stretch that owns it; Counts() takes the held one in.
class TimeAtLevelCounter {
 public:
  /// Refuses (bad-value message) what PartitionCounter refuses.
  static Result<TimeAtLevelCounter> Create(const LevelTimeSetup& setup);

  /// From now on counts the raw values of the 16-bit `format` by a table (a long record).
  void UseSampleTable(int32_t format) { partitions_.UseSampleTable(format); }
  /// Counts by `other`'s table, if it has one.
  void ShareSampleTable(const TimeAtLevelCounter& other);

  /// Feeds the next raw samples, in time order.
  void Feed(std::span<const double> raw_samples);

  /// Takes in `later` (opens_range false, fed from this one's last sample but one), as if this
  /// counter had been fed its samples too.
  void Join(const TimeAtLevelCounter& later);

  int32_t partitions() const { return partitions_.partitions(); }
  double amplitude_range() const { return partitions_.amplitude_range(); }
  double two_way_width() const { return partitions_.two_way_width(); }

  /// Samples in each of the N partitions, the held sample included.
  std::vector<int64_t> Counts() const;
  /// Samples counted, in a partition or outside [-A, A], the held sample included.
  int64_t samples() const { return samples_ + (held_ ? 1 : 0); }

  /// The counts and the held sample, for a count carried between processes.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  TimeAtLevelCounter(PartitionCounter partitions, LevelTimeSetup setup);
  void CountValues(std::span<const double> raw_values);

  PartitionCounter partitions_;
  LevelTimeSetup setup_;
  PartitionCounts counts_;
  std::vector<double> batch_;
  int64_t samples_ = 0;
  bool skip_first_ = false;
  bool held_ = false;
  double held_value_ = 0.0;  // raw
};

}  // namespace torvwy::core
