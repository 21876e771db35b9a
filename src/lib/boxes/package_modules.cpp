#include "boxes/package_modules.hpp"

#include "once_cell.hpp"

namespace tarvello::py::boxes {
namespace {

OnceCell<PyObject*> core_cell;
OnceCell<PyObject*> checks_cell;
OnceCell<PyObject*> labels_cell;

}  // namespace

PyObject* core_module() { return imported(core_cell, "tarvello._tarvello_core"); }
PyObject* checks_module() { return imported(checks_cell, "tarvello._checks"); }
PyObject* labels_module() { return imported(labels_cell, "tarvello.labels"); }

}  // namespace tarvello::py::boxes
