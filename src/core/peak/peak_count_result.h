// PeakCountResult: the six histograms of a peak counting run and what they were counted with.
#pragma once

#include <cstdint>
#include <vector>

#include "core/counting/counting_parameters.h"

namespace torvwy::core {

/// One peak counting result, as counted, saved, reopened and drawn. Values are in EU. All six
/// arrays hold 2000 entries; only the first `partitions` carry counts, the rest stay zero.
///
///   two-way:  N partitions of [-A, A], width W2     one-way:  N partitions of [0, A], width W1
///   -A      -A+W2            A                      0     W1                A
///    |--0--|--1--| ... |-N-1-|                       |--0--|--1--| ... |-N-1-|
///
/// A partition holds the values above its lower edge up to and including its upper edge; the
/// lowest one also holds its lower edge.
struct PeakCountResult {
  int32_t partitions = 0;  ///< N, 1..2000
  std::vector<int32_t> two_way_peak_counts = std::vector<int32_t>(kMaxPartitions);
  std::vector<int32_t> two_way_valley_counts = std::vector<int32_t>(kMaxPartitions);
  std::vector<int32_t> two_way_total_counts = std::vector<int32_t>(kMaxPartitions);
  std::vector<int32_t> one_way_peak_counts = std::vector<int32_t>(kMaxPartitions);
  std::vector<int32_t> one_way_valley_counts = std::vector<int32_t>(kMaxPartitions);
  std::vector<int32_t> one_way_total_counts = std::vector<int32_t>(kMaxPartitions);
  double amplitude_range = 0.0;        ///< A
  double two_way_width = 0.0;          ///< W2 = (A + A) / N
  double one_way_width = 0.0;          ///< W1 = A / N
  int32_t largest_separate_count = 1;  ///< largest peak or valley count; 1 when all are 0
  int32_t largest_total_count = 1;     ///< largest total count; 1 when all are 0
  int32_t cursor_partition = 0;        ///< N / 2 after a run
  double envelope_maximum = 0.0;
  double envelope_minimum = 0.0;
  int32_t amplitude_mode = kAmplitudeAutomatic;  ///< 0 full scale, 1 automatic, 2 set value
  double set_value = 0.0;                        ///< A of amplitude mode 2
  int32_t range_mode = kRangeFull;               ///< 0 full, 1 by time, 2 by block
  int32_t first_block = 1;                       ///< 1-based, inclusive
  int32_t last_block = 1;                        ///< inclusive; 0 for a record under one block
  std::vector<double> envelope;                  ///< the record's overview, M values
  bool cancelled = false;                        ///< the pass stopped early: the counts are partial
  double gate = 0.0;  ///< reversals smaller than it (EU) were removed first; 0: none
};

}  // namespace torvwy::core
