// Reading Python values as the package documents them: sized sequences,
// numbers (not bools), boxes and page rectangles, each checked with the
// package's wording. Exact lists, tuples, floats and ints take a fast path;
// anything else goes through the same protocols Python's own list() and
// float() use.
#pragma once

#include <Python.h>

#include <string_view>

#include "boxes/box_checks.hpp"
#include "boxes/input_fault.hpp"
#include "py_ref.hpp"

namespace tarvello::py::boxes {

using tarvello::boxes::BoxFormat;
using tarvello::boxes::Quad;

// 1 when the value is a mapping (a dict or a collections.abc.Mapping), 0 when
// not, -1 with the exception set.
int is_mapping(PyObject* value);

// The items of a list, tuple or other sized iterable, as list(value) sees them.
class Items {
public:
    // A type fault "expected <expected>, got <kind>" for a string, bytes, a
    // mapping or a value without a length; a Python fault when iterating fails
    // otherwise.
    Outcome read(PyObject* value, std::string_view expected);

    Py_ssize_t size() const { return size_; }
    // A new reference to item i; empty with the exception set if a list
    // shrank under us.
    PyRef at(Py_ssize_t i) const;

private:
    PyRef sequence_;  // an exact tuple, or a list
    bool tuple_ = false;
    Py_ssize_t size_ = 0;
};

// One number as a finite double; a bool is refused.
Outcome read_number(PyObject* value, double& out);

// Four numbers named `names` in messages.
Outcome read_four_numbers(PyObject* value, std::string_view names, Quad& out);

// A box in `format`, checked and turned into corners.
Outcome read_box(PyObject* value, BoxFormat format, Quad& out);

// A page rectangle with an area.
Outcome read_page_bounds(PyObject* value, Quad& out);

}  // namespace tarvello::py::boxes
