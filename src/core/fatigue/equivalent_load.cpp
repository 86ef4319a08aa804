// The damage-equivalent load: one range that does the damage of a whole cycle list.
#include "core/fatigue/equivalent_load.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

bool Positive(double value) { return std::isfinite(value) && value > 0.0; }

/// "<what> must be above 0" for a value that is not a finite number above 0, "<what> is too
/// small: below 2.2250738585072014e-308" for one that is not a normal number.
Status CheckNormalPositive(double value, const std::string& what) {
  if (!Positive(value)) return Fail(kMsgBadValue, what + " must be above 0");
  if (!std::isnormal(value)) {
    return Fail(kMsgBadValue,
                what + " is too small: below " + ShortestText(std::numeric_limits<double>::min()));
  }
  return Ok();
}

}  // namespace

Status CheckWoehlerExponent(double m) {
  return CheckNormalPositive(m, "the Woehler exponent m = " + ShortestText(m));
}

Status CheckEquivalentCycles(double n_eq) {
  return CheckNormalPositive(n_eq, "the equivalent cycle count " + ShortestText(n_eq));
}

Status CheckEquivalentLoadFrequency(double frequency_hz) {
  return CheckNormalPositive(frequency_hz,
                             "the equivalent-load frequency " + ShortestText(frequency_hz) + " Hz");
}

Result<double> DamageEquivalentLoad(std::span<const RainflowCycle> cycles, double m, double n_eq) {
  if (auto ok = CheckWoehlerExponent(m); !ok) return ok.error();
  if (auto ok = CheckEquivalentCycles(n_eq); !ok) return ok.error();
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
  // A quotient beyond the doubles (many cycles over a tiny N_eq) may still have a root within
  // them: taken by logarithms then.
  const double quotient = sum / n_eq;
  const double load = std::isfinite(quotient)
                          ? largest * std::pow(quotient, 1.0 / m)
                          : largest * std::exp((std::log(sum) - std::log(n_eq)) / m);
  if (!std::isfinite(load)) {
    return Fail(kMsgBadValue, "the damage-equivalent load of m = " + ShortestText(m) +
                                  " and N_eq = " + ShortestText(n_eq) +
                                  " is not a finite number: m or N_eq is too small for these "
                                  "cycles");
  }
  return load;
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
  if (auto ok = CheckEquivalentLoadFrequency(frequency_hz); !ok) return ok.error();
  const double cycles = duration_s * frequency_hz;
  if (auto ok = CheckEquivalentCycles(cycles); !ok) return ok.error();
  return cycles;
}

}  // namespace torvwy::core
