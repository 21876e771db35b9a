#include "boxes/input_fault.hpp"

#include "boxes/package_modules.hpp"
#include "internal_fault.hpp"
#include "py_ref.hpp"

namespace tarvello::py::boxes {
namespace {

PyObject* new_text(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

}  // namespace

std::string index_suffix(std::size_t index) { return "[" + std::to_string(index) + "]"; }

std::string kind_of(PyObject* value) {
    PyRef text = PyRef::steal(PyObject_CallMethod(checks_module(), "kind", "O", value));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
        throw InternalFault("tarvello._checks.kind gave no text");
    }
    return utf8;
}

void raise_fault(const Fault& fault, std::optional<std::size_t> page) {
    if (fault.kind == Fault::Kind::python) return;
    const char* class_name = fault.kind == Fault::Kind::type ? "InputTypeError" : "InputError";
    PyRef type = PyRef::steal(PyObject_GetAttrString(checks_module(), class_name));
    PyRef field = PyRef::steal(new_text(fault.field));
    PyRef problem = PyRef::steal(new_text(fault.problem));
    PyRef page_number = page ? PyRef::steal(PyLong_FromSize_t(*page)) : PyRef::borrow(Py_None);
    if (!type || !field || !problem || !page_number) return;
    PyRef error = PyRef::steal(
        PyObject_CallFunctionObjArgs(type.get(), field.get(), problem.get(), page_number.get(), nullptr));
    if (!error) return;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.get())), error.get());
}

}  // namespace tarvello::py::boxes
