#include "boxes/page_input.hpp"

#include <algorithm>
#include <utility>

#include "boxes/label_table.hpp"
#include "boxes/strided_boxes.hpp"
#include "internal_fault.hpp"
#include "once_cell.hpp"

namespace tarvello::py::boxes {
namespace {

using tarvello::boxes::make_element;
using tarvello::boxes::make_page_bounds;
using tarvello::boxes::number_names;
using tarvello::boxes::to_reading_frame;

// A buffer's view, released with it.
class BufferView {
public:
    // False (and no exception) when the object offers no strided buffer.
    bool get(PyObject* object) {
        if (!PyObject_CheckBuffer(object)) return false;
        if (PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) < 0) {
            PyErr_Clear();
            return false;
        }
        held_ = true;
        return true;
    }
    BufferView() = default;
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() {
        if (held_) PyBuffer_Release(&view_);
    }
    const Py_buffer& view() const { return view_; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

// An (n, 4) block of float32, float64, int32 or int64, read in place;
// nothing when the object is no such block.
std::optional<Outcome> read_block(PyObject* boxes, BoxFormat format, std::vector<Quad>& out) {
    BufferView buffer;
    if (!buffer.get(boxes)) return std::nullopt;
    const Py_buffer& view = buffer.view();
    if (view.ndim != 2 || view.shape[1] != 4 || view.format == nullptr) return std::nullopt;
    const auto type = tarvello::boxes::item_type(view.format, static_cast<std::size_t>(view.itemsize));
    if (!type) return std::nullopt;
    const tarvello::boxes::StridedRows rows{static_cast<const unsigned char*>(view.buf),
                                            static_cast<std::size_t>(view.shape[0]), view.strides[0],
                                            view.strides[1], *type};
    const auto problem = tarvello::boxes::read_rows(rows, format, out);
    if (!problem) return std::optional<Outcome>(std::in_place);
    std::string field = index_suffix(problem->row);
    if (problem->problem.number) field += index_suffix(*problem->problem.number);
    return std::optional<Outcome>(value_fault(std::move(field), std::move(problem->problem.text)));
}

// Anything else with a shape is an array of another kind (or type): it must
// be (n, 4) or empty, and is read through tolist().
Outcome array_as_list(PyObject* boxes, PyRef& list) {
    PyRef shape_attribute;
    if (PyObject_GetOptionalAttrString(boxes, "shape", reinterpret_cast<PyObject**>(&shape_attribute)) < 0) {
        return python_fault();
    }
    if (!shape_attribute || shape_attribute.get() == Py_None) return std::nullopt;
    PyRef shape = PyRef::steal(PySequence_Tuple(shape_attribute.get()));
    if (!shape) return python_fault();
    PyRef four = PyRef::steal(PyLong_FromLong(4));
    PyRef empty = PyRef::steal(Py_BuildValue("(i)", 0));
    if (!four || !empty) return python_fault();
    int fits = 0;
    if (PyTuple_GET_SIZE(shape.get()) == 2) {
        fits = PyObject_RichCompareBool(PyTuple_GET_ITEM(shape.get(), 1), four.get(), Py_EQ);
        if (fits < 0) return python_fault();
    }
    if (!fits) {
        const int is_empty = PyObject_RichCompareBool(shape.get(), empty.get(), Py_EQ);
        if (is_empty < 0) return python_fault();
        if (!is_empty) {
            PyRef text = PyRef::steal(PyObject_Repr(shape.get()));
            const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
            if (utf8 == nullptr) return python_fault();
            return value_fault("", std::string("expected an array of shape (n, 4), got shape ") + utf8);
        }
    }
    list = PyRef::steal(PyObject_CallMethod(boxes, "tolist", nullptr));
    if (!list) return python_fault();
    return std::nullopt;
}

Outcome read_boxes(PyObject* boxes, BoxFormat format, std::vector<Quad>& out) {
    if (auto block = read_block(boxes, format, out)) return std::move(*block);
    PyRef list;
    if (auto fault = array_as_list(boxes, list)) return fault;
    Items rows;
    const std::string expected = "a sequence of (" + std::string(number_names(format)) + ") boxes";
    if (auto fault = rows.read(list ? list.get() : boxes, expected)) return fault;
    out.resize(static_cast<std::size_t>(rows.size()));
    for (Py_ssize_t i = 0; i < rows.size(); ++i) {
        PyRef row = rows.at(i);
        if (!row) return python_fault();
        if (auto fault = read_box(row.get(), format, out[static_cast<std::size_t>(i)])) {
            return std::move(*fault).within(index_suffix(static_cast<std::size_t>(i)));
        }
    }
    return std::nullopt;
}

Outcome read_labels(PyObject* labels, std::size_t count, std::vector<SemanticLabel>& out) {
    out.assign(count, SemanticLabel::Regular);
    if (labels == Py_None) return std::nullopt;
    static constexpr std::string_view expected = "a sequence of label names or SemanticLabel members, one per box";
    // A lone member is an easy slip for a list of them; it has no length anyway.
    if (is_label_member(labels)) return type_fault("", "expected " + std::string(expected) + ", got a SemanticLabel");
    Items names;
    if (auto fault = names.read(labels, expected)) return fault;
    if (static_cast<std::size_t>(names.size()) != count) {
        return value_fault("", "expected one label per box (" + std::to_string(count) + "), got " +
                                   std::to_string(names.size()));
    }
    LabelReader reader;
    for (Py_ssize_t i = 0; i < names.size(); ++i) {
        PyRef name = names.at(i);
        if (!name) return python_fault();
        if (auto fault = reader.read(name.get(), out[static_cast<std::size_t>(i)])) {
            return std::move(*fault).within(index_suffix(static_cast<std::size_t>(i)));
        }
    }
    return std::nullopt;
}

}  // namespace

Outcome read_plain_page(PyObject* boxes, PyObject* labels, PyObject* page_bounds, BoxFormat format,
                        Direction direction, PageJob& out) {
    std::vector<Quad> corners;
    if (auto fault = read_boxes(boxes, format, corners)) return std::move(*fault).within("boxes");
    std::vector<SemanticLabel> semantic;
    if (auto fault = read_labels(labels, corners.size(), semantic)) return std::move(*fault).within("labels");
    Quad bounds{};
    if (page_bounds != Py_None) {
        if (auto fault = read_page_bounds(page_bounds, bounds)) return std::move(*fault).within("page_bounds");
        bounds = to_reading_frame(bounds, direction);
    }
    // The default page is the one around the boxes as the engines see them.
    for (Quad& box : corners) box = to_reading_frame(box, direction);
    if (page_bounds == Py_None) bounds = tarvello::boxes::default_page_bounds(corners);
    out.bounds = make_page_bounds(bounds);
    out.elements.clear();
    out.elements.reserve(corners.size());
    for (std::size_t i = 0; i < corners.size(); ++i) {
        out.elements.push_back(make_element(i, corners[i], to_reading_frame(semantic[i], direction)));
    }
    return std::nullopt;
}

}  // namespace tarvello::py::boxes

namespace tarvello::py::boxes {
namespace {

// The keys of a page, as interned strings made once: a dict finds them by
// identity, with no string made or hashed per element.
struct Keys {
    PyObject* page_id;
    PyObject* page_bounds;
    PyObject* elements;
    PyObject* id;
    PyObject* bbox;
    PyObject* label;
    PyObject* regular;  // the label of an element that gives none
};
OnceCell<Keys> keys_cell;

const Keys& keys() {
    const auto* found = keys_cell.get_or_init([]() -> std::optional<Keys> {
        Keys made{};
        for (auto [field, text] : {std::pair{&Keys::page_id, "page_id"}, std::pair{&Keys::page_bounds, "page_bounds"},
                                   std::pair{&Keys::elements, "elements"}, std::pair{&Keys::id, "id"},
                                   std::pair{&Keys::bbox, "bbox"}, std::pair{&Keys::label, "label"},
                                   std::pair{&Keys::regular, "Regular"}}) {
            made.*field = PyUnicode_InternFromString(text);  // kept for the life of the process
            if (made.*field == nullptr) return std::nullopt;
        }
        return made;
    });
    if (found == nullptr) {
        PyErr_Clear();
        throw InternalFault("failed to make the page keys");
    }
    return *found;
}

// A page or element object: an exact dict, or any Mapping (read through the
// mapping protocol and its get()).
class Fields {
public:
    explicit Fields(PyObject* mapping) : mapping_(mapping), dict_(PyDict_CheckExact(mapping)) {}

    // value[key] when present; `found` false when absent.
    Outcome get(PyObject* key, PyRef& value, bool& found) const {
        if (dict_) {
            PyObject* item = nullptr;
            const int status = PyDict_GetItemRef(mapping_, key, &item);
            if (status < 0) return python_fault();
            value = PyRef::steal(item);
            found = status == 1;
            return std::nullopt;
        }
        const int present = PySequence_Contains(mapping_, key);
        if (present < 0) return python_fault();
        found = present == 1;
        if (!found) return std::nullopt;
        value = PyRef::steal(PyObject_GetItem(mapping_, key));
        if (!value) return python_fault();
        return std::nullopt;
    }

    // value.get(key, fallback)
    Outcome get_or(PyObject* key, PyObject* fallback, PyRef& value) const {
        if (!dict_) {
            value = PyRef::steal(PyObject_CallMethod(mapping_, "get", "OO", key, fallback));
            return value ? Outcome() : Outcome(python_fault());
        }
        bool found = false;
        if (auto fault = get(key, value, found)) return fault;
        if (!found) value = PyRef::borrow(fallback);
        return std::nullopt;
    }

    // A required field: 'missing field "name"' when absent.
    Outcome require(PyObject* key, PyRef& value) const {
        bool found = false;
        if (auto fault = get(key, value, found)) return fault;
        if (!found) return value_fault("", std::string("missing field \"") + PyUnicode_AsUTF8(key) + "\"");
        return std::nullopt;
    }

private:
    PyObject* mapping_;
    bool dict_;
};

Outcome read_page_id(const Fields& page) {
    PyRef page_id;
    if (auto fault = page.get_or(keys().page_id, Py_None, page_id)) return fault;
    if (page_id.get() == Py_None) return std::nullopt;
    if (PyBool_Check(page_id.get()) || !(PyUnicode_Check(page_id.get()) || PyLong_Check(page_id.get()))) {
        return type_fault("page_id", "expected a string or an integer, got " + kind_of(page_id.get()));
    }
    return std::nullopt;
}

Outcome read_element_id(PyObject* value, std::uint64_t& out) {
    if (PyBool_Check(value) || !PyLong_Check(value)) {
        return type_fault("", "expected an integer, got " + kind_of(value));
    }
    const unsigned long long id = PyLong_AsUnsignedLongLong(value);
    if (id == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return python_fault();
        PyErr_Clear();
        PyRef text = PyRef::steal(PyObject_Str(value));
        const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (utf8 == nullptr) return python_fault();
        return value_fault("", std::string("expected an integer from 0 to 2**64 - 1, got ") + utf8);
    }
    out = id;
    return std::nullopt;
}

// The fault of the first element, in input order, whose id an earlier
// element already has; only elements before `end` count.
Outcome repeated_id(const std::vector<Element>& elements, std::size_t end) {
    std::vector<std::pair<std::uint64_t, std::size_t>> ids;
    ids.reserve(end);
    for (std::size_t i = 0; i < end; ++i) ids.emplace_back(elements[i].id, i);
    std::sort(ids.begin(), ids.end());
    std::optional<std::pair<std::size_t, std::size_t>> first;  // (repeat, original)
    for (std::size_t k = 1; k < ids.size(); ++k) {
        // In a run of one id the smallest index comes first, the repeat next.
        if (ids[k].first != ids[k - 1].first || (k >= 2 && ids[k - 2].first == ids[k].first)) continue;
        if (!first || ids[k].second < first->first) first = std::pair(ids[k].second, ids[k - 1].second);
    }
    if (!first) return std::nullopt;
    return value_fault("elements" + index_suffix(first->first) + ".id",
                       std::to_string(elements[first->first].id) + " is also the id of elements" +
                           index_suffix(first->second));
}

Outcome read_element(PyObject* item, Element& out) {
    const int mapping = is_mapping(item);
    if (mapping < 0) return python_fault();
    if (!mapping) return type_fault("", "expected an object, got " + kind_of(item));
    const Fields fields(item);
    PyRef id;
    if (auto fault = fields.require(keys().id, id)) return fault;
    if (auto fault = read_element_id(id.get(), out.id)) return std::move(*fault).within(".id");
    return std::nullopt;
}

Outcome read_element_rest(PyObject* item, BoxFormat format, LabelReader& labels, Element& out) {
    const Fields fields(item);
    PyRef bbox;
    if (auto fault = fields.require(keys().bbox, bbox)) return fault;
    Quad corners{};
    if (auto fault = read_box(bbox.get(), format, corners)) return std::move(*fault).within(".bbox");
    PyRef label;
    if (auto fault = fields.get_or(keys().label, keys().regular, label)) return fault;
    SemanticLabel semantic{};
    if (auto fault = labels.read(label.get(), semantic)) return std::move(*fault).within(".label");
    out = tarvello::boxes::make_element(out.id, corners, semantic);
    return std::nullopt;
}

Outcome read_mapping_page(PyObject* page, BoxFormat format, PageJob& out) {
    const Fields fields(page);
    if (auto fault = read_page_id(fields)) return fault;
    PyRef bounds_value;
    if (auto fault = fields.require(keys().page_bounds, bounds_value)) return std::move(*fault).within("page");
    Quad bounds{};
    if (auto fault = read_page_bounds(bounds_value.get(), bounds)) return std::move(*fault).within("page_bounds");
    out.bounds = tarvello::boxes::make_page_bounds(bounds);
    PyRef elements_value;
    if (auto fault = fields.require(keys().elements, elements_value)) return std::move(*fault).within("page");
    Items items;
    if (auto fault = items.read(elements_value.get(), "a list of elements")) return std::move(*fault).within("elements");
    out.elements.assign(static_cast<std::size_t>(items.size()), Element{});
    LabelReader labels;
    for (Py_ssize_t i = 0; i < items.size(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        PyRef item = items.at(i);
        if (!item) return python_fault();
        Outcome fault = read_element(item.get(), out.elements[index]);
        // An id seen before is this element's first fault, ahead of its box and label.
        if (!fault) {
            fault = read_element_rest(item.get(), format, labels, out.elements[index]);
            if (fault) {
                if (auto repeated = repeated_id(out.elements, index + 1)) return repeated;
            }
        } else if (auto repeated = repeated_id(out.elements, index)) {
            return repeated;
        }
        if (fault) return std::move(*fault).within("elements" + index_suffix(index));
    }
    return repeated_id(out.elements, out.elements.size());
}

}  // namespace

Outcome read_page(PyObject* page, BoxFormat format, Direction direction, PageJob& out) {
    if (PyTuple_Check(page)) {
        if (PyTuple_GET_SIZE(page) != 3) {
            return value_fault("page", "expected 3 items (boxes, labels, page_bounds), got " +
                                           std::to_string(PyTuple_GET_SIZE(page)));
        }
        return read_plain_page(PyTuple_GET_ITEM(page, 0), PyTuple_GET_ITEM(page, 1), PyTuple_GET_ITEM(page, 2),
                               format, direction, out);
    }
    const int mapping = is_mapping(page);
    if (mapping < 0) return python_fault();
    if (!mapping) {
        return type_fault("page", "expected an object or a (boxes, labels, page_bounds) tuple, got " + kind_of(page));
    }
    if (auto fault = read_mapping_page(page, format, out)) return fault;
    to_reading_frame(out.elements, out.bounds, direction);
    return std::nullopt;
}

}  // namespace tarvello::py::boxes
