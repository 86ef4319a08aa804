// CountingParameters: analysis range, amplitude mode and partition count of a counting run.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/data/sampling_info.h"

namespace torvwy::core {

/// The counting methods, in the order of their table and of AnyResultFile's alternatives.
enum class CountingKind { kPeak, kRange, kRainflow, kCrossings, kRangePairs, kTimeAtLevel };

/// The name of each method, in CountingKind order: the subcommand, the Python kind and the
/// JSON's "analysis".
inline constexpr std::array<std::string_view, 6> kCountingKindNames = {
    "peak", "range", "rainflow", "crossings", "range-pairs", "time-at-level"};

/// "peak", "range", ...
constexpr std::string_view CountingKindName(CountingKind kind) {
  return kCountingKindNames[static_cast<size_t>(kind)];
}

/// The kind of a name; none for another text.
inline std::optional<CountingKind> CountingKindNamed(std::string_view name) {
  for (size_t k = 0; k < kCountingKindNames.size(); ++k) {
    if (kCountingKindNames[k] == name) return static_cast<CountingKind>(k);
  }
  return std::nullopt;
}

constexpr int32_t kRangeFull = 0;
constexpr int32_t kRangeByTime = 1;
constexpr int32_t kRangeByBlock = 2;

constexpr int32_t kAmplitudeFullScale = 0;
constexpr int32_t kAmplitudeAutomatic = 1;
constexpr int32_t kAmplitudeSetValue = 2;

/// The partition counts a counting takes: 1..2000 (more are counted as 2000).
constexpr int32_t kMinPartitions = 1;
constexpr int32_t kMaxPartitions = 2000;

struct CountingParameters {
  int32_t range_mode = kRangeFull;
  double time_from = 0.0;
  double time_to = 0.0;
  int32_t block_from = 1;
  int32_t block_to = 1;
  int32_t total_blocks = 0;
  int32_t first_block = 1;
  int32_t last_block = 1;
  int32_t amplitude_mode = kAmplitudeAutomatic;
  double set_value = 0.0;  ///< EU, amplitude mode 2
  int32_t partitions = 25;
};

/// Resets the range to the whole node when a node is loaded; range mode, amplitude mode, set
/// value and N are kept.
void ResetRangeOnNodeLoad(CountingParameters& parameters, const SamplingInfo& info);

/// Before the setup is shown: a set value of exactly 0.0 takes the AD range value.
void TakeAdRangeAsDefault(CountingParameters& parameters, double ad_range_value);

/// Settles the effective range after the setup: Full takes the whole node; By Block clamps both
/// fields to 1..total blocks and swaps them when reversed; By Time makes negative times 0 and
/// swaps reversed times, leaving the first and last block as they were.
void SettleRange(CountingParameters& parameters);

/// The partition count a run uses: N, at most 2000 (below 1 is left for the counters to refuse).
inline int32_t EffectivePartitions(int64_t n) {
  return n >= kMaxPartitions ? kMaxPartitions : static_cast<int32_t>(n);
}

/// A count as a result's int32 arrays hold it: at most INT32_MAX.
inline int32_t SaturatedCount(int64_t count) {
  return count < int64_t{0x7fffffff} ? static_cast<int32_t>(count) : int32_t{0x7fffffff};
}

/// How many entries of a result's arrays carry counts: N clamped to 0..2000, for those who read
/// or draw a record that may be damaged.
inline int32_t PartitionsHeld(int64_t n) { return n < 0 ? 0 : EffectivePartitions(n); }

/// Whether a counter, a file or an estimate takes N: 1..2000.
inline bool PartitionCountValid(int64_t n) { return n >= kMinPartitions && n <= kMaxPartitions; }

}  // namespace torvwy::core
