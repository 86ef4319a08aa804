// Running a test body on every vector level the processor has.
#pragma once

#include "core/services/simd_level.h"

namespace torvwy::core {

inline constexpr SimdLevel kLevels[] = {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2};

/// Uses `level` (or the best below it) for the life of the object, then the best level again.
class LevelInUse {
 public:
  explicit LevelInUse(SimdLevel level) : used_(UseSimdLevel(level)) {}
  ~LevelInUse() { UseSimdLevel(BestSimdLevel()); }
  LevelInUse(const LevelInUse&) = delete;
  LevelInUse& operator=(const LevelInUse&) = delete;
  SimdLevel used() const { return used_; }

 private:
  SimdLevel used_;
};

}  // namespace torvwy::core
