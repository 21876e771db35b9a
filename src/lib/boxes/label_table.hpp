// The package's one table of label names (tarvello.labels.LABELS), compiled
// once into a native map, and the SemanticLabel members.
#pragma once

#include <Python.h>

#include "boxes/input_fault.hpp"
#include "layout/records.hpp"

namespace tarvello::py::boxes {

// A SemanticLabel member or a name from the table. Unknown names get the
// table's own message (tarvello.labels.label_from_name phrases it).
Outcome read_label(PyObject* value, SemanticLabel& out);

// Whether the value is one of the five SemanticLabel members.
bool is_label_member(PyObject* value);

}  // namespace tarvello::py::boxes
