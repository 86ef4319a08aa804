// CountingRequest: what a face asks a counting for, settled against the node into its parameters.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Blocks of 1024 samples, from 1, as asked: possibly reversed or beyond the record.
struct BlockRange {
  int32_t first = 1;
  int32_t last = 1;
};

/// Seconds from the start of the record, as asked: possibly reversed or negative.
struct TimeRange {
  double from_s = 0.0;
  double to_s = 0.0;
};

/// What the command line, the setup dialog and the Python package ask a counting for, before it
/// meets the node it counts.
struct CountingRequest {
  int32_t range_mode = kRangeFull;               ///< full, by time or by block
  std::optional<BlockRange> blocks;              ///< the block fields; empty: the whole record
  std::optional<TimeRange> times;                ///< the time fields; empty: the whole record
  int32_t amplitude_mode = kAmplitudeAutomatic;  ///< full scale, automatic or set value
  double set_value = 0.0;                        ///< EU, for kAmplitudeSetValue (0 is 0)
  int32_t partitions = 25;  ///< N as asked: 2000 or more count as 2000, the counters refuse < 1
};

/// The request of --blocks FIRST-LAST (or none): By Block when blocks are given, else Full.
CountingRequest BlockRequest(std::optional<BlockRange> blocks, int32_t amplitude_mode,
                             double set_value, int32_t partitions);

/// Settles a request against the node's sampling record into the parameters of a run: the range
/// starts as the whole node, the fields asked for replace its block and time fields, then the
/// range mode settles it (SettleRange: By Block clamps both blocks to 1..total blocks and swaps
/// them when reversed; Full takes the whole node). Fails (bad value) for a range or amplitude
/// mode outside its three values, and by CheckAmplitudeRange for a set value, or a full scale
/// of the node (the larger, (FS + FS) / c2 / c1, when the format is known), that no partition
/// can be made of.
Result<CountingParameters> SettleCountingRequest(const CountingRequest& request,
                                                 const SamplingInfo& info);

/// Accepts an amplitude range A (EU) that is finite and above 0 and whose widest partition,
/// 2A / N with N >= 1, is finite too; fails (bad value) "<name> is not a finite number above 0"
/// or "... makes the partition width infinite", `name` being what the face calls it.
Status CheckAmplitudeRange(double amplitude_range, std::string_view name);

/// Refuses the amplitude range A (EU) a counting found under the automatic mode when it is not
/// above 0, so that no count is listed in partitions of no width: for a constant record
/// (envelope maximum = minimum) "<record>: the record is constant at X EU: the automatic
/// amplitude range is 0; give the full scale or a value", else (a peak counting of a record
/// below 0) that the largest peak is not above 0. Bad-value message.
Status CheckAutomaticAmplitude(double amplitude_range, double envelope_maximum,
                               double envelope_minimum, const std::filesystem::path& record);

/// Accepts a partition count N of 1 or more; fails (bad value) "<name> must be 1 or more",
/// `name` being what the face calls it ("--partitions", "partitions").
Status CheckPartitionCount(int64_t partitions, std::string_view name);

}  // namespace torvwy::core
