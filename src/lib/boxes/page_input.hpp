// One page's input read from Python into the records the engines take: plain
// boxes with labels (order_boxes and tuple pages) or a page mapping in the
// command line's format. Faults name fields relative to the page.
#pragma once

#include <Python.h>

#include <vector>

#include "boxes/input_fault.hpp"
#include "boxes/value_readers.hpp"
#include "layout/records.hpp"

namespace tarvello::py::boxes {

struct PageJob {
    std::vector<Element> elements;  // ids are the caller's, or indices for plain boxes
    PageBounds bounds;
};

using tarvello::boxes::Direction;

// Boxes, labels (None: all Regular) and page bounds (None: from the origin
// to the furthest box), each element's id its index, as the engines see them
// read in `direction`; faults name "boxes[3]", "labels[1]", "page_bounds".
Outcome read_plain_page(PyObject* boxes, PyObject* labels, PyObject* page_bounds, BoxFormat format,
                        Direction direction, PageJob& out);

// A page mapping ({"page_bounds": ..., "elements": [{"id", "bbox", "label"}]})
// or a (boxes, labels, page_bounds) tuple, its boxes in `format`; faults name
// "page", "page_id", "elements[2].bbox", "boxes[3]".
Outcome read_page(PyObject* page, BoxFormat format, Direction direction, PageJob& out);

}  // namespace tarvello::py::boxes
