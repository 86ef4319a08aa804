// The core's errors as Python exceptions, and Ctrl-C as a cancel.
#include "binding_support.h"

#include "core/services/language.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::python {

namespace {

/// The language of the package's error texts: read once, when the first error is raised.
core::Language ErrorLanguage() {
  static const core::Language language = core::GetUILanguage();
  return language;
}

}  // namespace

std::string ErrorMessage(const core::Error& error) {
  return std::string(core::ErrorText(error, ErrorLanguage()));
}

core::CountingPlan PlanOf(const std::string& method, int64_t partitions,
                          const pybind11::object& amplitude,
                          std::optional<std::pair<int32_t, int32_t>> blocks, int threads) {
  // A number goes in as the shortest text that reads back as the same double.
  const std::string amplitude_text = pybind11::isinstance<pybind11::str>(amplitude)
                                         ? amplitude.cast<std::string>()
                                         : core::ShortestText(amplitude.cast<double>());
  const std::string partitions_text = std::to_string(partitions);
  core::CountingPlan base;
  base.threads = threads;
  auto plan = core::PlanCounting(
      {.method = method, .partitions = partitions_text, .amplitude = amplitude_text, .blocks = {}},
      base);
  if (!plan) throw pybind11::value_error(ErrorMessage(plan.error()));
  if (blocks) {
    plan->blocks = core::BlockRange{blocks->first, blocks->second};
    plan->parameters.range_mode = core::kRangeByBlock;
  }
  return *plan;
}

void Raise(const core::Error& error) { throw CoreError(ErrorMessage(error)); }

void InterruptibleProgress::OnPoll() {
  // A poll comes after every block; taking the GIL every 16th keeps the cost out of the pass.
  if (interrupted_ || ++polls_ % 16 != 0) return;
  pybind11::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) {
    PyErr_Clear();
    interrupted_ = true;
    RequestCancel();
  }
}

void InterruptibleProgress::RaiseIfInterrupted() const {
  if (!interrupted_) return;
  PyErr_SetNone(PyExc_KeyboardInterrupt);
  throw pybind11::error_already_set();
}

}  // namespace torvwy::python
