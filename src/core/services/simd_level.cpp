// Finding the processor's vector instructions once, and the level in use.
#include "core/services/simd_level.h"

#include <atomic>

namespace torvwy::core {
namespace {

SimdLevel DetectSimdLevel() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
  return SimdLevel::kSse2;
#else
  return SimdLevel::kScalar;
#endif
}

std::atomic<SimdLevel>& ActiveLevel() {
  static std::atomic<SimdLevel> level{BestSimdLevel()};
  return level;
}

}  // namespace

SimdLevel BestSimdLevel() {
  static const SimdLevel best = DetectSimdLevel();
  return best;
}

SimdLevel ActiveSimdLevel() { return ActiveLevel().load(std::memory_order_relaxed); }

SimdLevel UseSimdLevel(SimdLevel level) {
  const SimdLevel used = level > BestSimdLevel() ? BestSimdLevel() : level;
  ActiveLevel().store(used, std::memory_order_relaxed);
  return used;
}

std::string_view SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::kScalar:
      return "scalar";
    case SimdLevel::kSse2:
      return "sse2";
    case SimdLevel::kAvx2:
      return "avx2";
  }
  return "scalar";
}

}  // namespace torvwy::core
