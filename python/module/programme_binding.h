// Test programmes for Python: a programme's text checked, saved and counted.
#pragma once

#include <pybind11/pybind11.h>

namespace torvwy::python {

/// Adds programme_check, programme_save and programme_run to the module.
void BindProgrammes(pybind11::module_& m);

}  // namespace torvwy::python
