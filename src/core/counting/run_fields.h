// RunFields: what the run records of every counting besides its counts.
#pragma once

#include <cstdint>
#include <vector>

#include "core/counting/counting_parameters.h"

namespace torvwy::core {

/// The fields the counting run fills in every result: the envelope, the modes and range the
/// count was asked with, and whether the pass was cancelled.
struct RunFields {
  double envelope_maximum = 0.0;
  double envelope_minimum = 0.0;
  int32_t amplitude_mode = kAmplitudeAutomatic;  ///< 0 full scale, 1 automatic, 2 set value
  double set_value = 0.0;                        ///< A of amplitude mode 2
  int32_t range_mode = kRangeFull;               ///< 0 full, 1 by time, 2 by block
  int32_t first_block = 1;                       ///< 1-based, inclusive
  int32_t last_block = 1;                        ///< inclusive
  std::vector<double> envelope;                  ///< the record's overview, M values
  bool cancelled = false;                        ///< the pass stopped early: the counts are partial
};

}  // namespace torvwy::core
