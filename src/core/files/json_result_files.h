// The result files of the counting methods that are saved as JSON: level crossings, range pairs
// and time at level.
#pragma once

#include "core/files/result_file_node.h"
#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"
#include "core/range_pairs/range_pair_result.h"

namespace torvwy::core {

/// A saved level crossing result and its node.
struct CrossingResultFile : ResultFileNode {
  LevelCrossingResult result;
};

/// A saved range-pair result and its node.
struct RangePairResultFile : ResultFileNode {
  RangePairResult result;
};

/// A saved time-at-level result and its node.
struct TimeAtLevelResultFile : ResultFileNode {
  TimeAtLevelResult result;
};

}  // namespace torvwy::core
