// The fatigue of the Python package: S-N curves, the choice of an estimate, cycle lists and
// damage-equivalent loads, over the core.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/fatigue/class_matrix.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/services/result.h"

namespace torvwy::python {

/// A rainflow cycle list and where its samples sit in the record.
struct CycleList {
  std::vector<core::RainflowCycle> cycles;  ///< start and end: the record's sample indices
  int64_t first_sample = 0;                 ///< the record's index of the first listed sample
  int64_t samples = 0;                      ///< the samples the list was extracted from
  /// The reversals counted while the list was extracted, when a transition matrix was asked.
  std::optional<core::ClassMatrix> transitions;
};

/// ValueError for a bad value (the core's bad-value message), CoreError for any other failure,
/// with the text the command line would print.
[[noreturn]] void RaiseValue(const core::Error& error);

/// The value of `result`, or RaiseValue.
template <typename T>
T TakeValue(core::Result<T> result) {
  if (!result) RaiseValue(result.error());
  return std::move(*result);
}

/// Adds SnCurve, FatigueChoice, CycleList and the fatigue functions to the module.
void BindFatigue(pybind11::module_& m);

}  // namespace torvwy::python
