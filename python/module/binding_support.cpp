// The core's errors as Python exceptions, and Ctrl-C as a cancel.
#include "binding_support.h"

#include "core/services/language.h"
#include "core/services/message_table.h"

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
                          std::optional<std::pair<int32_t, int32_t>> blocks, int threads,
                          const core::CrossingOptions& crossings, const std::string& residue,
                          double gate) {
  // A number is taken exactly; a NaN or an infinity is refused by the plan's value check, in the
  // wording the command line gives a value it can't use.
  const bool is_text = pybind11::isinstance<pybind11::str>(amplitude);
  const std::string partitions_text = std::to_string(partitions);
  core::CountingPlan base;
  base.threads = threads;
  base.crossings = crossings;
  if (method != "crossings") base.gate = gate;
  if (!residue.empty()) {
    const auto named = core::ResidueMethodNamed(residue);
    if (!named) {
      throw RequestError("Invalid value! residue=\"" + residue +
                         "\" is not one of half, full, discard, repeated");
    }
    // Half cycles, the system's own, is no request, so that a result keeps its fields.
    if (*named != core::ResidueMethod::kHalf) base.residue = *named;
  }
  const std::string amplitude_text = is_text ? amplitude.cast<std::string>() : "full";
  core::CountingTexts texts;
  texts.method = method;
  texts.partitions = partitions_text;
  texts.amplitude = amplitude_text;
  auto plan = core::PlanCounting(texts, base);
  if (plan && !is_text) {
    plan->parameters.amplitude_mode = core::kAmplitudeSetValue;
    plan->parameters.set_value = amplitude.cast<double>();
    plan = core::PlanCounting(*plan);
  }
  if (!plan) throw RequestError(ErrorMessage(plan.error()));
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
