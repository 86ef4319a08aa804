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
