#include "boxes/value_readers.hpp"

#include <cmath>

#include "internal_fault.hpp"
#include "once_cell.hpp"

namespace tarvello::py::boxes {
namespace {

using tarvello::boxes::count_problem;
using tarvello::boxes::kPageNumberNames;
using tarvello::boxes::number_names;
using tarvello::boxes::number_problem;

OnceCell<PyObject*> mapping_abc_cell;
OnceCell<PyObject*> real_abc_cell;

// isinstance(value, cls); -1 with the exception set.
int is_instance(PyObject* value, PyObject* cls) { return PyObject_IsInstance(value, cls); }

Fault expected_fault(PyObject* value, std::string_view expected) {
    return type_fault("", "expected " + std::string(expected) + ", got " + kind_of(value));
}

}  // namespace

int is_mapping(PyObject* value) {
    if (PyDict_Check(value)) return 1;
    return is_instance(value, imported(mapping_abc_cell, "collections.abc", "Mapping"));
}

Outcome Items::read(PyObject* value, std::string_view expected) {
    if (PyTuple_CheckExact(value) || PyList_CheckExact(value)) {
        sequence_ = PyRef::borrow(value);
    } else {
        if (PyUnicode_Check(value) || PyBytes_Check(value)) return expected_fault(value, expected);
        const int mapping = is_mapping(value);
        if (mapping < 0) return python_fault();
        if (mapping) return expected_fault(value, expected);
        const int sized = PyObject_HasAttrStringWithError(value, "__len__");
        if (sized < 0) return python_fault();
        if (!sized) return expected_fault(value, expected);
        sequence_ = PyRef::steal(PySequence_List(value));
        if (!sequence_) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) return python_fault();
            PyErr_Clear();
            return expected_fault(value, expected);
        }
    }
    tuple_ = PyTuple_CheckExact(sequence_.get());
    size_ = tuple_ ? PyTuple_GET_SIZE(sequence_.get()) : PyList_GET_SIZE(sequence_.get());
    return std::nullopt;
}

PyRef Items::at(Py_ssize_t i) const {
    if (tuple_) return PyRef::borrow(PyTuple_GET_ITEM(sequence_.get(), i));
    // A caller's list may be changed by the number protocol of its own items.
    return PyRef::steal(PyList_GetItemRef(sequence_.get(), i));
}

Outcome read_number(PyObject* value, double& out) {
    if (PyFloat_CheckExact(value)) {
        out = PyFloat_AS_DOUBLE(value);
    } else if (PyLong_CheckExact(value)) {
        out = PyLong_AsDouble(value);
        // An int beyond the doubles is bad input like inf, not a crash.
        if (out == -1.0 && PyErr_Occurred()) {
            if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return python_fault();
            PyErr_Clear();
            return value_fault("", "expected a finite number, got an integer too large for a float");
        }
    } else {
        // bool is an int to Python, but true/false in a box is always a mistake.
        int real = 0;
        if (!PyBool_Check(value)) {
            real = is_instance(value, imported(real_abc_cell, "numbers", "Real"));
            if (real < 0) return python_fault();
        }
        if (!real) return type_fault("", "expected a number, got " + kind_of(value));
        PyRef converted = PyRef::steal(PyNumber_Float(value));
        if (!converted) return python_fault();
        out = PyFloat_AS_DOUBLE(converted.get());
    }
    if (auto problem = number_problem(out)) return value_fault("", std::move(*problem));
    return std::nullopt;
}

namespace {

// What a box or page rectangle is expected to be, per set of names: made
// once, since every box is checked against it.
std::string_view expected_four(std::string_view names) {
    static const std::string corners = "a list of 4 numbers (" + std::string(number_names(BoxFormat::xyxy)) + ")";
    static const std::string sized = "a list of 4 numbers (" + std::string(number_names(BoxFormat::xywh)) + ")";
    static const std::string page = "a list of 4 numbers (" + std::string(kPageNumberNames) + ")";
    if (names == kPageNumberNames) return page;
    return names == number_names(BoxFormat::xywh) ? sized : corners;
}

}  // namespace

// The four numbers of an exact list or tuple of exact floats and ints, read
// without a reference taken: no Python code runs on the way, so nothing can
// change the list meanwhile. False for anything else, which the general path
// reads (and words the faults of).
bool read_plain_four(PyObject* value, Quad& out) {
    if (!(PyList_CheckExact(value) || PyTuple_CheckExact(value)) || PySequence_Fast_GET_SIZE(value) != 4) return false;
    PyObject* const* items = PySequence_Fast_ITEMS(value);
    for (std::size_t k = 0; k < 4; ++k) {
        PyObject* item = items[k];
        if (PyFloat_CheckExact(item)) {
            out[k] = PyFloat_AS_DOUBLE(item);
        } else if (PyLong_CheckExact(item)) {
            out[k] = PyLong_AsDouble(item);
            if (out[k] == -1.0 && PyErr_Occurred()) {
                PyErr_Clear();  // the general path raises it again, in order
                return false;
            }
        } else {
            return false;
        }
        if (!std::isfinite(out[k])) return false;
    }
    return true;
}

Outcome read_four_numbers(PyObject* value, std::string_view names, Quad& out) {
    if (read_plain_four(value, out)) return std::nullopt;
    Items items;
    if (auto fault = items.read(value, expected_four(names))) return fault;
    if (items.size() != 4) return value_fault("", count_problem(static_cast<std::size_t>(items.size()), names));
    for (Py_ssize_t k = 0; k < 4; ++k) {
        PyRef item = items.at(k);
        if (!item) return python_fault();
        if (auto fault = read_number(item.get(), out[static_cast<std::size_t>(k)])) {
            return std::move(*fault).within(index_suffix(static_cast<std::size_t>(k)));
        }
    }
    return std::nullopt;
}

Outcome read_box(PyObject* value, BoxFormat format, Quad& out) {
    if (auto fault = read_four_numbers(value, number_names(format), out)) return fault;
    if (auto problem = tarvello::boxes::to_corners(out, format)) return value_fault("", std::move(*problem));
    return std::nullopt;
}

Outcome read_page_bounds(PyObject* value, Quad& out) {
    if (auto fault = read_four_numbers(value, kPageNumberNames, out)) return fault;
    if (auto problem = tarvello::boxes::page_bounds_problem(out)) return value_fault("", std::move(*problem));
    return std::nullopt;
}

}  // namespace tarvello::py::boxes
