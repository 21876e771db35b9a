// The package's own modules this module reads, each imported once and kept
// for the life of the process: failing to import one is an internal fault.
#pragma once

#include <Python.h>

namespace tarvello::py::boxes {

// tarvello._tarvello_core: imported first, for the logging bridge and the
// classes it makes.
PyObject* core_module();
// tarvello._checks: the exception classes and the wording of values.
PyObject* checks_module();
// tarvello.labels: the table of label names and its normalisation.
PyObject* labels_module();

}  // namespace tarvello::py::boxes
