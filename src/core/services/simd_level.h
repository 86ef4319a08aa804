// Which vector instructions the counting kernels use: the best the processor has, found once at
// run time, or a lower level chosen by a test so that every path can be held to the others.
#pragma once

#include <string_view>

namespace torvwy::core {

/// The kernels' instruction sets, lowest first. Every kernel has a scalar path; kSse2 and kAvx2
/// exist on x86-64 only.
enum class SimdLevel { kScalar = 0, kSse2 = 1, kAvx2 = 2 };

/// The best level this processor runs (kScalar elsewhere than on x86-64).
SimdLevel BestSimdLevel();

/// The level the kernels use now: BestSimdLevel() unless UseSimdLevel() lowered it.
SimdLevel ActiveSimdLevel();

/// Makes the kernels use `level`, or the best level when it asks for more than the processor
/// has; returns the level now in use. For tests and benchmarks: every level counts the same.
SimdLevel UseSimdLevel(SimdLevel level);

std::string_view SimdLevelName(SimdLevel level);

}  // namespace torvwy::core
