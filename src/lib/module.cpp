// The module tarvello._tarvello_core: its definition and the execution step
// that installs the logging bridge and publishes the functions and classes.
#include <Python.h>

#include "argument_binding.hpp"
#include "classes.hpp"
#include "logging_bridge.hpp"
#include "internal_fault.hpp"
#include "ordering_functions.hpp"
#include "py_ref.hpp"

namespace tarvello::py {
namespace {

// The module's __all__, created empty when the module has none yet.
PyRef module_all(PyObject* module) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return PyRef();
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return PyRef();
        return all;
    }
    if (!PyList_Check(all.get())) {
        set_type_mismatch(all.get(), "list");
        return PyRef();
    }
    return all;
}

// Publishes one name: appends it to __all__, then sets the attribute.
int add(PyObject* module, PyObject* name, PyObject* value) {
    PyRef all = module_all(module);
    if (!all) return -1;
    if (PyList_Append(all.get(), name) < 0) {
        PyErr_Clear();
        throw InternalFault("could not append __name__ to __all__");
    }
    return PyObject_SetAttr(module, name, value);
}

int add_function(PyObject* module, PyMethodDef* definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef function = PyRef::steal(PyCMethod_New(definition, module, module_name.get(), nullptr));
    if (!function) return -1;
    PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name) return -1;
    return add(module, name.get(), function.get());
}

int add_class(PyObject* module, PyTypeObject* type) {
    if (type == nullptr) return -1;
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!name) return -1;
    return add(module, name.get(), reinterpret_cast<PyObject*>(type));
}

int module_exec(PyObject* module) {
    return guarded(-1, [module] {
        if (!PyModule_Check(module)) {
            set_type_mismatch(module, "module");
            return -1;
        }
        // A second execution in the process finds the bridge installed and
        // fails here, before anything is published.
        diagnostics::keep_cache_reset_handle(diagnostics::install_logging_bridge());
        for (PyMethodDef* definition :
             {reset_log_cache_def(), compute_order_ostrel_def(), compute_order_def(), compute_order_paper_def()}) {
            if (add_function(module, definition) < 0) return -1;
        }
        if (add_class(module, xy_cut_config_type()) < 0) return -1;
        if (add_class(module, semantic_label_type()) < 0) return -1;
        if (add_class(module, element_type()) < 0) return -1;
        return 0;
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_tarvello_core",  // m_name
    "",                // m_doc
    0,                 // m_size
    nullptr,           // m_methods
    module_slots,      // m_slots
    nullptr,           // m_traverse
    nullptr,           // m_clear
    nullptr,           // m_free
};

}  // namespace
}  // namespace tarvello::py

// The module's entry, called by PyInit__tarvello_core in its stub (init/).
extern "C" TARVELLO_INIT_EXPORT PyObject* tarvello_init__tarvello_core() {
    return PyModuleDef_Init(&tarvello::py::module_definition);
}
