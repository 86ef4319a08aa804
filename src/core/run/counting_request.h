// CountingRequest: what a face asks a counting for, settled against the node into its parameters.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/counting/counting_parameters.h"
#include "core/data/envelope.h"
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
/// of the node (the larger, (FS + FS) / c2 / c1, when the format is known), that the request's
/// N partitions can't be made of.
Result<CountingParameters> SettleCountingRequest(const CountingRequest& request,
                                                 const SamplingInfo& info);

/// Accepts an amplitude range A (EU) that N partitions can be made of (N below 1 taken as 1,
/// 2000 or more as 2000): A finite and above 0, the two-way width 2A / N finite and the one-way
/// width A / N a normal number, so that no width is infinite, 0 or too small to divide by.
/// Fails (bad value) "<name> = A is not a finite number above 0", "... makes the partition width
/// infinite" or "... makes the partition width too small: A / N is below 2.2250738585072014e-308",
/// `name` being what the face calls A.
Status CheckAmplitudeRange(double amplitude_range, int64_t partitions, std::string_view name);

/// The amplitude range A (EU) a counting of `kind` takes under the amplitude mode of
/// `parameters`, checked before anything is counted:
///
///   full scale   AdRangeValue of the format's full scale: |FS / c2 / c1| for peak counting,
///                |(FS + FS) / c2 / c1| for range and rainflow counting
///   automatic    from the extremes of the record's envelope: the largest peak for peak
///                counting, (maximum - minimum) x 1.1 for range and rainflow counting
///   set value    the set value
///
/// Fails (bad value) for an unknown mode or format, by CheckAutomaticAmplitude for an automatic
/// range not above 0 (`record` names the waveform), and by CheckAmplitudeRange for a range the
/// parameters' N partitions can't be made of: every counting of every face meets this one rule.
Result<double> CountingAmplitudeRange(CountingKind kind, const CountingParameters& parameters,
                                      const SamplingInfo& info, const EnvelopeExtremes& extremes,
                                      const std::filesystem::path& record);

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

/// What a face tells the user of a partition count above 2000, which is counted with 2000 (as
/// the files record it): "<name> 2500 is above 2000; counted with 2000 partitions". Empty for
/// 2000 or fewer.
std::string PartitionCountNote(int64_t partitions, std::string_view name);

}  // namespace torvwy::core
