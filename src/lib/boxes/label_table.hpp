// The package's one table of label names (tarvello.labels.LABELS), compiled
// once into a native map, and the SemanticLabel members.
#pragma once

#include <Python.h>

#include "boxes/input_fault.hpp"
#include "boxes/label_names.hpp"
#include "py_ref.hpp"
#include "layout/records.hpp"

namespace tarvello::py::boxes {

// A SemanticLabel member or a name from the table. Unknown names get the
// table's own message (tarvello.labels.label_from_name phrases it).
Outcome read_label(PyObject* value, SemanticLabel& out);

// Reads the labels of one page in turn, remembering the last name: runs of
// one label ("text", "text", ...) cost a comparison each.
class LabelReader {
public:
    Outcome read(PyObject* value, SemanticLabel& out);

private:
    PyRef last_name_;
    SemanticLabel last_label_ = SemanticLabel::Regular;
};

// The table's names by their normalised form.
const tarvello::boxes::LabelNames& label_names();

// Whether the value is one of the five SemanticLabel members.
bool is_label_member(PyObject* value);

}  // namespace tarvello::py::boxes
