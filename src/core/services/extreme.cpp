// FindExtremeValue.
#include "core/services/extreme.h"

namespace torvwy::core {

Extreme FindExtremeValue(std::span<const double> values, int mode) {
  Extreme best;
  for (size_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    if (best.index < 0 || (mode == 0 ? v > best.value : v < best.value)) {
      best.value = v;
      best.index = static_cast<int64_t>(i);
    }
  }
  return best;
}

}  // namespace torvwy::core
