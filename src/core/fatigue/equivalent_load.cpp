// The damage-equivalent load: one range that does the damage of a whole cycle list.
#include "core/fatigue/equivalent_load.h"

#include <algorithm>
#include <cmath>

#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

bool Positive(double value) { return std::isfinite(value) && value > 0.0; }

}  // namespace

Result<double> DamageEquivalentLoad(std::span<const RainflowCycle> cycles, double m, double n_eq) {
  if (!Positive(m)) {
    return Fail(kMsgBadValue, "the Woehler exponent m = " + ShortestText(m) + " must be above 0");
  }
  if (!Positive(n_eq)) {
    return Fail(kMsgBadValue,
                "the equivalent cycle count " + ShortestText(n_eq) + " must be above 0");
  }
  // (sum n S^m / N)^(1/m) = Smax (sum n (S / Smax)^m / N)^(1/m): every term is at most n, so
  // no power overflows whatever m is.
  double largest = 0.0;
  for (const RainflowCycle& cycle : cycles) {
    if (!(std::isfinite(cycle.range) && cycle.range >= 0.0 && std::isfinite(cycle.count) &&
          cycle.count >= 0.0)) {
      return Fail(kMsgBadValue, "a cycle's range or count is not a finite number at or above 0");
    }
    largest = std::max(largest, cycle.range);
  }
  if (largest == 0.0) return 0.0;
  double sum = 0.0;
  for (const RainflowCycle& cycle : cycles) {
    sum += cycle.count * std::pow(cycle.range / largest, m);
  }
  return largest * std::pow(sum / n_eq, 1.0 / m);
}

Result<std::vector<EquivalentLoad>> DamageEquivalentLoads(std::span<const RainflowCycle> cycles,
                                                          std::span<const double> exponents,
                                                          double n_eq) {
  std::vector<EquivalentLoad> loads;
  for (const double m : exponents) {
    auto load = DamageEquivalentLoad(cycles, m, n_eq);
    if (!load) return load.error();
    loads.push_back({m, n_eq, *load});
  }
  return loads;
}

Result<double> DefaultEquivalentCycles(double duration_s, double frequency_hz) {
  if (!Positive(duration_s)) {
    return Fail(kMsgBadValue, "the record's duration is unknown: give the equivalent cycles");
  }
  if (!Positive(frequency_hz)) {
    return Fail(kMsgBadValue, "the equivalent-load frequency " + ShortestText(frequency_hz) +
                                  " Hz must be above 0");
  }
  const double cycles = duration_s * frequency_hz;
  if (!Positive(cycles)) return Fail(kMsgBadValue, "the equivalent cycle count is no number");
  return cycles;
}

}  // namespace torvwy::core
