// What the bindings share: the core's errors as Python exceptions, and a pass's progress that
// turns Ctrl-C in the interpreter into a cancel.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/run/counting_plan.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::python {

/// A core failure, raised in Python as torvwy.TorvwyError with the core's one-line message.
class CoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The text the command line would print for `error`, in the package's language.
std::string ErrorMessage(const core::Error& error);

/// A counting request the core refuses before reading anything. Python sees it as RequestError,
/// both a TorvwyError (as a count refused by the core always was) and a ValueError (as a bad
/// argument is), so a caller's existing `except` of either still holds.
class RequestError : public CoreError {
 public:
  using CoreError::CoreError;
};

/// Throws CoreError with the text the command line would print for `error`.
[[noreturn]] void Raise(const core::Error& error);

/// The value of `result`, or CoreError.
template <typename T>
T Take(core::Result<T> result) {
  if (!result) Raise(result.error());
  return std::move(*result);
}

/// The counting plan of a call: the method's name ("peak", "range", "rainflow"), N, the amplitude
/// ("full", "auto" or a number, taken exactly), the blocks (first, last) and the worker threads,
/// built and checked by the core's PlanCounting as the command line's are. ValueError with the
/// plan's line for a bad request (RequestError); `crossings` are the level crossing options; the
/// note of N above 2000 is left in the plan for the caller. `residue` (rainflow: "half", "full",
/// "discard" or "repeated"; empty: not asked) and `gate` (EU; for level crossings their own
/// gate, which `crossings` holds) are the counting conventions.
core::CountingPlan PlanOf(const std::string& method, int64_t partitions,
                          const pybind11::object& amplitude,
                          std::optional<std::pair<int32_t, int32_t>> blocks = std::nullopt,
                          int threads = 1, const core::CrossingOptions& crossings = {},
                          const std::string& residue = "", double gate = 0.0);

/// Progress of a pass run with the GIL released: every few polls it takes the GIL and lets
/// Python look at its signals; a pending Ctrl-C cancels the pass.
class InterruptibleProgress : public core::Progress {
 public:
  bool interrupted() const { return interrupted_; }
  /// Raises KeyboardInterrupt (with the GIL held) when the pass was interrupted.
  void RaiseIfInterrupted() const;

 protected:
  void OnPoll() override;

 private:
  int polls_ = 0;
  bool interrupted_ = false;
};

}  // namespace torvwy::python
