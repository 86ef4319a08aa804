// A counted result file as the Python package holds it: its fields, its JSON, its life estimate
// and its save.
#pragma once

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
