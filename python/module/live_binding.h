// The live counts of the Python package: a count fed numpy arrays piece by piece, and the follow
// of a node while it is being recorded.
#pragma once

#include <pybind11/pybind11.h>

namespace torvwy::python {

/// Adds LiveCount, Follow, follow_start and split_node_title to the module.
void BindLive(pybind11::module_& m);

}  // namespace torvwy::python
