// RangePairResult: the range histograms of a range-pair count, and what was left unpaired.
#pragma once

#include <cstdint>

#include "core/range/range_count_result.h"

namespace torvwy::core {

/// One range-pair result: the two histograms and fields of range counting (a counted pair's
/// range in the two-way partition of its signed size and the one-way partition of its size), and
/// the ranges left unpaired at the end, none of them counted.
struct RangePairResult : RangeCountResult {
  int64_t left_over_ranges = 0;
};

}  // namespace torvwy::core
