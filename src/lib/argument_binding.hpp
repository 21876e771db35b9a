// Binding and converting arguments of every callable of the module, with the
// same rules and the same error texts everywhere.
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <span>

namespace tarvello::py {

// A callable's parameters, all positional-or-keyword; the first `required`
// have no default. `display_name` is "compute_order()" or "Element.__new__()".
struct FunctionDescription {
    const char* display_name;
    std::span<const char* const> parameters;
    std::size_t required;
};

// Binds vectorcall arguments into `bound` (one borrowed slot per parameter,
// nullptr when an optional one is not given). False with TypeError set on failure.
bool bind_fastcall(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, std::span<PyObject*> bound);

// The same for a constructor's tuple and dict (kwargs may be NULL).
bool bind_tuple_dict(const FunctionDescription& description, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> bound);

// Called with the conversion's exception set: if its type is exactly
// TypeError, replaces it by TypeError("argument '<name>': <message>") carrying
// the original's cause; any other exception stays as it is.
void wrap_argument_error(const char* name);

// Sets TypeError "'<type>' object is not an instance of '<expected>'" (or the
// None form).
void set_type_mismatch(PyObject* object, const char* expected);

// The number conversion: an exact float is read directly, anything else goes
// through PyFloat_AsDouble; the double is rounded to single precision.
// nullopt with the host's error set on failure.
std::optional<float> to_float32(PyObject* object);

}  // namespace tarvello::py
