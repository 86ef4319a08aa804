// The damage-equivalent load of a rainflow cycle list.
#pragma once

#include <span>
#include <vector>

#include "core/rainflow/rainflow_cycles.h"
#include "core/services/result.h"

namespace torvwy::core {

/// One damage-equivalent load: the range that, repeated `cycles` times, does the damage of the
/// whole cycle list on a one-slope S-N curve of inverse slope m.
struct EquivalentLoad {
  double m = 0.0;       ///< the Woehler exponent
  double cycles = 0.0;  ///< N_eq
  double load = 0.0;    ///< DEL = (sum of n_i S_i^m / N_eq)^(1/m), EU
};

/// Accepts a Woehler exponent m of a DEL: a finite number above 0 and a normal one (at least
/// 2.2250738585072014e-308), so that the power 1 / m is finite. Fails (bad value) "the Woehler
/// exponent m = X must be above 0" or "... is too small: below 2.2250738585072014e-308".
Status CheckWoehlerExponent(double m);

/// Accepts an equivalent cycle count N_eq: a finite, normal number above 0. Fails (bad value)
/// "the equivalent cycle count X must be above 0" or "... is too small: below ...".
Status CheckEquivalentCycles(double n_eq);

/// Accepts the frequency (Hz) that makes N_eq of a duration: a finite, normal number above 0.
/// Fails (bad value) "the equivalent-load frequency X Hz must be above 0" or "... is too small".
Status CheckEquivalentLoadFrequency(double frequency_hz);

/// DEL = (sum n_i S_i^m / N_eq)^(1/m) over every cycle of the list (its exact range S_i and
/// count n_i, 0.5 for a residue half), summed without overflow for any m. No cycle gives 0.
/// Fails (bad-value message) for m or N_eq that the checks above refuse, and for a load that
/// comes out infinite (m or N_eq too small for these cycles), which no face may show as a number.
Result<double> DamageEquivalentLoad(std::span<const RainflowCycle> cycles, double m, double n_eq);

/// The DEL of each exponent in `exponents`, in their order.
Result<std::vector<EquivalentLoad>> DamageEquivalentLoads(std::span<const RainflowCycle> cycles,
                                                          std::span<const double> exponents,
                                                          double n_eq);

/// N_eq of a record by default: its duration (seconds) times `frequency_hz`, 1 Hz unless the
/// user gives another. Fails for a duration that is not a positive finite number, a frequency
/// CheckEquivalentLoadFrequency refuses, and a product CheckEquivalentCycles refuses.
Result<double> DefaultEquivalentCycles(double duration_s, double frequency_hz = 1.0);

}  // namespace torvwy::core
