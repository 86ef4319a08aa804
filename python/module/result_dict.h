// The fields of the counting results as Python dicts, straight from the result records: the
// keys and order of the JSON objects, lists of numbers as numpy arrays.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/fatigue/fatigue_result.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"

namespace torvwy::python {

/// The fields of `torvwy peak --json` as a dict: counts as int64 arrays of N values, the
/// envelope as a float64 array, nested objects as dicts. A non-finite number is None as a
/// scalar (the JSON's null) and NaN in an array.
pybind11::dict PeakDict(const core::PeakCountResult& result);
/// The fields of `torvwy range --json`, as PeakDict gives them.
pybind11::dict RangeDict(const core::RangeCountResult& result);
/// The fields of `torvwy rainflow --json`; the counts (half cycles 0.5) are a float64 array.
pybind11::dict RainflowDict(const core::RainflowResult& result);
/// The "fatigue" object of a life estimate; P, L and D are float64 arrays, an infinite life
/// (where the curve does no damage) inf. A weld class without a correction has the fields it
/// always had; another curve has "curve" and "curve_unit" instead of "class" and "d", and a
/// mean correction adds "curve", "curve_unit", "mean_correction", "ultimate" and
/// "walker_gamma" (None where the correction has none), the keys of the command line's JSON.
pybind11::dict FatigueDict(const core::FatigueResult& fatigue);
/// The JSON "fatigue" object of a life estimate, with the fields FatigueDict adds.
nlohmann::ordered_json FatigueObject(const core::FatigueResult& fatigue);
/// Rainflow cycles as five numpy arrays: range, mean, count, start, end; `offset` is added to
/// the sample indices of the turning points.
pybind11::tuple CyclesTuple(const std::vector<core::RainflowCycle>& cycles, int64_t offset);

}  // namespace torvwy::python
