// A counted result file as the Python package holds it: its fields, its JSON, its life estimate
// and its save.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/fatigue_result.h"
#include "core/files/result_file.h"
#include "fatigue_binding.h"

namespace torvwy::python {

/// A counted result file, as the command line shows and saves it.
class ResultFile {
 public:
  /// `opened_from_file`: read by open_result, never saved again (an older layout saved in the
  /// current one would hold values that contradict each other).
  explicit ResultFile(core::AnyResultFile file, bool opened_from_file = false)
      : file_(std::move(file)), opened_from_file_(opened_from_file) {}

  int kind() const { return static_cast<int>(core::KindOf(file_)); }

  /// The JSON object of `torvwy peak|range|rainflow --json` as text.
  std::string Json() const;

  /// The fields of the result as a dict, straight from the record: the keys and order of
  /// Json(), lists of numbers as numpy arrays.
  pybind11::dict Fields() const;

  /// The "fatigue" object of the life estimate of `choice` as text; `cycles` (the list the
  /// histogram was counted from) is needed by a mean correction only.
  std::string FatigueJson(const core::FatigueChoice& choice, const CycleList* cycles) const;

  /// The fields of FatigueJson as a dict, P, L and D as numpy arrays.
  pybind11::dict Fatigue(const core::FatigueChoice& choice, const CycleList* cycles) const;

  /// The cumulative damage of the actual estimate of `choice` against time, one row per closed
  /// cycle of `cycles` and the residue at the end, as a dict of numpy columns: seconds, sample,
  /// range, mean, count, damage, cumulative and residue.
  pybind11::dict DamageHistory(const core::FatigueChoice& choice, const CycleList& cycles) const;

  /// The matrix `kind` of `cycles` (listed by this rainflow count's residue method and gate) on
  /// this count's layout, as (counts [rows x columns], row edges, column edges):
  ///   "range-mean"   `a` range bins over [0, A] by the histogram's rule, `b` mean bins over
  ///                  the counted cycles' means (MakeRangeMeanMatrix)
  ///   "from-to"      `a` classes of [-A, A] (MakeFromToMatrix)
  ///   "transitions"  the reversals the list counted (asked with its classes)
  /// Every matrix counts what the histogram counts. ValueError for bins out of range.
  pybind11::tuple Matrix(const std::string& kind, const CycleList& cycles, int32_t a,
                         int32_t b) const;

  /// Whether the histogram counts a cycle of each range: t <= range <= A.
  pybind11::array_t<bool> CountsRanges(
      const pybind11::array_t<double, pybind11::array::c_style | pybind11::array::forcecast>&
          ranges) const;

  /// The blocks the rainflow histogram counted, first and last (1-based, inclusive).
  std::pair<int32_t, int32_t> CountedBlocks() const;

  /// Test, code and node names, unit and the record's whole blocks.
  pybind11::dict Node() const;

  /// Saves the result file atomically, the GIL released; CoreError on failure, and for a result
  /// opened from its file, as the command line and the window refuse it.
  void Save(const std::string& path) const;

  static std::string Dump(const nlohmann::ordered_json& json);

 private:
  const core::RainflowResult& Rainflow() const;
  core::FatigueResult Estimate(const core::FatigueChoice& choice, const CycleList* cycles) const;

  core::AnyResultFile file_;
  bool opened_from_file_ = false;
};

/// Adds the ResultFile class to the module.
void BindResultFile(pybind11::module_& m);

}  // namespace torvwy::python
