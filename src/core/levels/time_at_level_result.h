// TimeAtLevelResult: the time the load spent in each partition, and what it was counted with.
#pragma once

#include <cstdint>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/counting/run_fields.h"

namespace torvwy::core {

/// One time-at-level result, as counted, saved and reopened. Values are in EU, times in seconds.
/// The partitions are those of two-way counting: N of [-A, A], width W2, open below and closed
/// above, the lowest also closed below.
struct TimeAtLevelResult : RunFields {
  int32_t partitions = 0;        ///< N
  double amplitude_range = 0.0;  ///< A
  double width = 0.0;            ///< W2 = (A + A) / N
  double frequency_hz = 0.0;     ///< the record's sampling frequency: a sample is 1 / f seconds
  std::vector<int64_t> samples;  ///< samples in each partition
  int64_t samples_outside = 0;   ///< samples below -A or above A
  int32_t cursor_partition = 0;  ///< N / 2 after a run

  /// Samples counted, in the partitions and outside them.
  int64_t TotalSamples() const;
  /// Seconds in each partition: samples / f.
  std::vector<double> Seconds() const;
  /// Seconds outside [-A, A].
  double SecondsOutside() const;
  /// Each partition's share of all the time counted (0 when nothing was counted).
  std::vector<double> Fractions() const;
  /// The share of all the time counted that the load spent in partition j or a higher one.
  std::vector<double> Exceedance() const;
};

}  // namespace torvwy::core
