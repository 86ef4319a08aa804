// A counted result file as the Python package holds it: its fields, its JSON, its life estimate
// and its save.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "core/fatigue/fatigue_result.h"
#include "core/files/result_file.h"

namespace torvwy::python {

/// A counted result file, as the command line shows and saves it.
class ResultFile {
 public:
  explicit ResultFile(core::AnyResultFile file) : file_(std::move(file)) {}

  int kind() const { return static_cast<int>(core::KindOf(file_)); }

  /// The JSON object of `torvwy peak|range|rainflow --json` as text.
  std::string Json() const;

  /// The fields of the result as a dict, straight from the record: the keys and order of
  /// Json(), lists of numbers as numpy arrays.
  pybind11::dict Fields() const;

  /// The "fatigue" object of the life estimate, by the index of the S-N class and of the
  /// reliability factor.
  std::string FatigueJson(const std::string& method, int32_t class_index,
                          int32_t reliability_index) const;

  /// The fields of FatigueJson as a dict, P, L and D as numpy arrays.
  pybind11::dict Fatigue(const std::string& method, int32_t class_index,
                         int32_t reliability_index) const;

  /// Test, code and node names, unit and the record's whole blocks.
  pybind11::dict Node() const;

  /// Saves the result file atomically, the GIL released; CoreError on failure.
  void Save(const std::string& path) const;

  static std::string Dump(const nlohmann::ordered_json& json);

 private:
  core::FatigueResult Estimate(const std::string& method, int32_t class_index,
                               int32_t reliability_index) const;

  core::AnyResultFile file_;
};

/// Adds the ResultFile class to the module.
void BindResultFile(pybind11::module_& m);

}  // namespace torvwy::python
