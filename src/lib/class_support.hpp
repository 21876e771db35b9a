// What the three class files share: the instance layout, allocation through
// the type's own functions and shared reads of the fields.
#pragma once

#include <Python.h>

#include <new>
#include <optional>

#include "argument_binding.hpp"
#include "borrow_flag.hpp"
#include "internal_fault.hpp"
#include "layout/records.hpp"
#include "once_cell.hpp"

namespace tarvello::py {

// Every instance: the host's header, one record of fields, the access counter.
template <class Value>
struct Instance {
    PyObject ob_base;
    Value value;
    BorrowFlag borrow;
};

template <class Value>
Instance<Value>* as_instance(PyObject* object) {
    return reinterpret_cast<Instance<Value>*>(object);
}

// A class's type object, made from its spec once per process and kept for
// its life; NULL with the host's error set when creation fails.
inline PyTypeObject* type_once(OnceCell<PyTypeObject*>& cell, PyType_Spec& spec) {
    const auto* type = cell.get_or_init([&]() -> std::optional<PyTypeObject*> {
        PyObject* made = PyType_FromSpec(&spec);
        if (made == nullptr) return std::nullopt;
        return reinterpret_cast<PyTypeObject*>(made);
    });
    return type ? *type : nullptr;
}

// A new instance holding `value` with a free access counter; NULL with the
// allocation's error set.
template <class Value>
PyObject* new_instance(PyTypeObject* type, const Value& value) {
    PyObject* object = type->tp_alloc(type, 0);
    if (object == nullptr) return nullptr;
    // tp_alloc hands back zeroed bytes; placement new starts the C++ lifetimes.
    auto* instance = as_instance<Value>(object);
    ::new (static_cast<void*>(&instance->value)) Value(value);
    ::new (static_cast<void*>(&instance->borrow)) BorrowFlag();
    return object;
}

// The deallocation slot of every class: the payload is trivially destructible,
// and an instance of a heap type holds a reference to its type.
inline void free_instance(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    type->tp_free(object);
    Py_DECREF(type);
}

// Copies the fields under a shared access. False with RuntimeError
// "Already mutably borrowed" set while a writer holds the counter.
template <class Value>
bool read_fields(PyObject* object, Value& out) {
    auto* instance = as_instance<Value>(object);
    ReadAccess access(instance->borrow);
    if (!access) return false;
    out = instance->value;
    return true;
}

// A float field of a record under its Python name; the closure of the field's
// getter (and setter) and the name that wraps its conversion errors.
template <class Value>
struct FloatField {
    const char* name;
    float Value::* member;
};

template <class Value>
void* as_closure(const FloatField<Value>& field) {
    return const_cast<void*>(static_cast<const void*>(&field));
}

template <class Value>
const FloatField<Value>& field_of(void* closure) {
    return *static_cast<const FloatField<Value>*>(closure);
}

// The getter of a float field: the stored single-precision value widened
// exactly to a double.
template <class Value>
PyObject* get_float_field(PyObject* self, void* closure) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        Value fields{};
        if (!read_fields(self, fields)) return nullptr;
        return PyFloat_FromDouble(static_cast<double>(fields.*field_of<Value>(closure).member));
    });
}

// The number conversion of one float argument, its failure wrapped with the
// argument's name.
inline bool convert_float_argument(PyObject* object, const char* name, float& out) {
    const std::optional<float> value = to_float32(object);
    if (!value) {
        wrap_argument_error(name);
        return false;
    }
    out = *value;
    return true;
}

}  // namespace tarvello::py
