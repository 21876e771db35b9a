// The Python classes SemanticLabel, Element and XYCutConfig: heap types made
// once per process, instances guarded by an access counter.
#pragma once

#include <Python.h>

#include "layout/records.hpp"

namespace tarvello::py {

// The type objects, created on first need; NULL with an exception set when
// creation fails.
PyTypeObject* semantic_label_type();
PyTypeObject* element_type();
PyTypeObject* xy_cut_config_type();

// The single member object of a label (borrowed); NULL with an exception set
// when it cannot be made.
PyObject* semantic_label_member(SemanticLabel label);

// Copies the fields of an Element (or subclass) instance under a shared
// access of its counter. False with RuntimeError "Already mutably borrowed"
// set while a writer holds it. `object` must be an Element instance.
bool read_element(PyObject* object, Element& out);

// The same for an XYCutConfig instance.
bool read_config(PyObject* object, XYCutConfig& out);

}  // namespace tarvello::py
