// RainflowResult: the histogram of closed load cycles of one node and how it was counted.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/rainflow/residue_method.h"

namespace torvwy::core {

/// What a rainflow run produced, with the counting parameters a result file stores beside it.
/// Values are in engineering units (EU) unless said otherwise. A plain record: the result file,
/// the pictures and the command line all read and fill it.
struct RainflowResult {
  // The counting parameters of the run.
  int32_t range_mode = kRangeFull;
  int32_t first_block = 1;  ///< 1-based, inclusive
  int32_t last_block = 1;   ///< 1-based, inclusive
  int32_t amplitude_mode = kAmplitudeAutomatic;
  double set_value = 0.0;  ///< EU, amplitude mode 2

  int32_t partitions = 0;  ///< N, 1..2000
  /// Cycles per partition (j w, (j + 1) w]: a full cycle adds 1.0, a half cycle 0.5. Only the
  /// first N entries are used; the others stay 0.
  std::array<double, kMaxPartitions> counts{};
  double amplitude_range = 0.0;  ///< A: the partitions cover [0, A]
  double partition_width = 0.0;  ///< w = A / N
  double smallest_range = 0.0;   ///< t: ranges below it are not counted (1/1000 of full scale)
  int32_t largest_count = 1;     ///< largest trunc(counts[j]), at least 1 (scales the Y axis)
  int32_t cursor_partition = 0;  ///< N / 2
  int64_t turning_points = 0;    ///< T: first sample, alternating extremes, last sample

  std::vector<double> envelope;   ///< the waveform envelope, M values
  double envelope_maximum = 0.0;  ///< largest envelope value
  double envelope_minimum = 0.0;  ///< smallest envelope value

  /// The user cancelled the turning-point pass: nothing was counted (all counts are 0).
  bool cancelled = false;

  /// The conventions the count was made with (not kept by the result file): the residue method
  /// and the gate (EU; reversals smaller than it were removed first, 0: none).
  ResidueMethod residue = ResidueMethod::kHalf;
  double gate = 0.0;
};

/// Whether `result` counts a cycle of `range`: t <= range <= A and range > 0 (a NaN range is
/// none), the rainflow counter's own test, for what lists the cycles beside the histogram.
inline bool RainflowCountsRange(const RainflowResult& result, double range) {
  const double from = std::max(result.smallest_range, std::numeric_limits<double>::denorm_min());
  return range <= result.amplitude_range && range >= from;
}

}  // namespace torvwy::core
