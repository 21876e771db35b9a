#include "argument_binding.hpp"

#include <string>
#include <vector>

#include "internal_fault.hpp"
#include "layout/float_conventions.hpp"
#include "py_ref.hpp"

namespace tarvello::py {
namespace {

// Fills the parameter slots of one call and reports the first binding error
// in the same words for the vectorcall and the tuple/dict forms.
class Binder {
public:
    Binder(const FunctionDescription& description, std::span<PyObject*> bound)
        : description_(description), bound_(bound) {
        if (bound_.size() != description_.parameters.size()) {
            throw InternalFault("argument slots do not match the parameter list");
        }
        for (PyObject*& slot : bound_) slot = nullptr;
    }

    // Checked before any slot is filled, so the count is reported whole.
    bool accepts_positional(Py_ssize_t given) const {
        const auto count = static_cast<Py_ssize_t>(description_.parameters.size());
        if (given <= count) return true;
        const char* verb = given == 1 ? "was" : "were";
        if (description_.required == description_.parameters.size()) {
            PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given",
                         description_.display_name, count, given, verb);
        } else {
            PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zd positional arguments but %zd %s given",
                         description_.display_name, description_.required, count, given, verb);
        }
        return false;
    }

    void positional(std::size_t index, PyObject* value) { bound_[index] = value; }

    bool keyword(PyObject* name, PyObject* value) {
        for (std::size_t index = 0; index < description_.parameters.size(); ++index) {
            const char* parameter = description_.parameters[index];
            if (!PyUnicode_Check(name) || PyUnicode_EqualToUTF8(name, parameter) != 1) continue;
            if (bound_[index] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                             description_.display_name, parameter);
                return false;
            }
            bound_[index] = value;
            return true;
        }
        // %S: a key that is not a str (only reachable through a hand-built
        // dict) is shown by its str() like any other.
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", description_.display_name,
                     name);
        return false;
    }

    bool all_required_given() const {
        std::vector<const char*> missing;
        for (std::size_t index = 0; index < description_.required; ++index) {
            if (bound_[index] == nullptr) missing.push_back(description_.parameters[index]);
        }
        if (missing.empty()) return true;
        // 'a' / 'a' and 'b' / 'a', 'b', and 'c': the comma only with three or more.
        std::string names;
        for (std::size_t position = 0; position < missing.size(); ++position) {
            if (position > 0) {
                if (missing.size() > 2) names += ',';
                names += position + 1 == missing.size() ? " and " : " ";
            }
            names += '\'';
            names += missing[position];
            names += '\'';
        }
        PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", description_.display_name,
                     missing.size(), missing.size() == 1 ? "argument" : "arguments", names.c_str());
        return false;
    }

private:
    const FunctionDescription& description_;
    std::span<PyObject*> bound_;
};

}  // namespace

bool bind_fastcall(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, std::span<PyObject*> bound) {
    Binder binder(description, bound);
    nargs = PyVectorcall_NARGS(static_cast<std::size_t>(nargs));
    if (!binder.accepts_positional(nargs)) return false;
    for (Py_ssize_t index = 0; index < nargs; ++index) {
        binder.positional(static_cast<std::size_t>(index), args[index]);
    }
    if (kwnames != nullptr) {
        // Keyword values follow the positional ones, in the caller's order.
        const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t index = 0; index < count; ++index) {
            if (!binder.keyword(PyTuple_GET_ITEM(kwnames, index), args[nargs + index])) return false;
        }
    }
    return binder.all_required_given();
}

bool bind_tuple_dict(const FunctionDescription& description, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> bound) {
    Binder binder(description, bound);
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (!binder.accepts_positional(nargs)) return false;
    for (Py_ssize_t index = 0; index < nargs; ++index) {
        binder.positional(static_cast<std::size_t>(index), PyTuple_GET_ITEM(args, index));
    }
    if (kwargs != nullptr) {
        // A dict iterates in insertion order, which is the caller's order.
        Py_ssize_t position = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            if (!binder.keyword(name, value)) return false;
        }
    }
    return binder.all_required_given();
}

void wrap_argument_error(const char* name) {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr) return;
    PyRef original = PyRef::steal(raised);
    // Exactly TypeError: subclasses carry meaning of their own and pass as they are.
    if (Py_TYPE(original.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(original.release());
        return;
    }
    PyRef text = PyRef::steal(PyObject_Str(original.get()));
    if (!text) {
        PyErr_Clear();
        text = PyRef::steal(PyUnicode_FromString("<exception str() failed>"));
        if (!text) return;  // MemoryError is the exception now
    }
    PyRef wrapped = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!wrapped) return;
    PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, wrapped.get()));
    if (!replacement) return;
    // The original's own cause, not the original itself, as in `raise ... from cause`.
    PyException_SetCause(replacement.get(), PyException_GetCause(original.get()));
    PyErr_SetRaisedException(replacement.release());
}

void set_type_mismatch(PyObject* object, const char* expected) {
    if (object == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    PyRef type_name = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
    if (!type_name) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'",
                     expected);
        return;
    }
    PyErr_Format(PyExc_TypeError, "'%S' object is not an instance of '%s'", type_name.get(), expected);
}

std::optional<float> to_float32(PyObject* object) {
    double value = 0.0;
    if (PyFloat_CheckExact(object)) {
        value = PyFloat_AS_DOUBLE(object);
    } else {
        value = PyFloat_AsDouble(object);
        if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
    }
    return round_to_single(value);
}

}  // namespace tarvello::py
