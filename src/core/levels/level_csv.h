// The CSV tables of level crossings and time at level.
#pragma once

#include <string>

#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"

namespace torvwy::core {

/// "level,up,down,counted" and a row per level: ',' separators, '.' decimals, LF line ends,
/// every number the shortest text that reads back as itself.
std::string CrossingCsv(const LevelCrossingResult& result);

/// "lower,upper,samples,seconds,fraction,exceedance" and a row per partition (its edges
/// k x W2 - A and (k + 1) x W2 - A), numbers and line ends as above.
std::string TimeAtLevelCsv(const TimeAtLevelResult& result);

}  // namespace torvwy::core
