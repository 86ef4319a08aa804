// The largest or smallest of a series of values.
#pragma once

#include <cstdint>
#include <span>

namespace torvwy::core {

struct Extreme {
  double value = 0.0;
  int64_t index = -1;  ///< first position of the extreme; -1 for an empty series
};

/// Mode 0: the largest value, mode 1: the smallest; the first of equal extremes wins.
Extreme FindExtremeValue(std::span<const double> values, int mode);

}  // namespace torvwy::core
