// The bindings of recordings: reading the channels of a file and importing them as nodes.
#pragma once

#include <pybind11/pybind11.h>

namespace torvwy::python {

/// Adds read_channels and import_file to the module.
void BindRecording(pybind11::module_& m);

}  // namespace torvwy::python
