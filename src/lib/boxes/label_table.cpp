#include "boxes/label_table.hpp"

#include <array>
#include <cstring>
#include <string>

#include "boxes/label_names.hpp"
#include "boxes/package_modules.hpp"
#include "classes.hpp"
#include "internal_fault.hpp"
#include "once_cell.hpp"
#include "py_ref.hpp"

namespace tarvello::py::boxes {
namespace {

struct LabelTable {
    std::array<PyObject*, kSemanticLabelCount> members{};  // borrowed: members live forever
    tarvello::boxes::LabelNames names;
};

// Longer ASCII names are looked up through the table's own normalisation.
constexpr std::size_t kShortName = 48;

OnceCell<LabelTable*> table_cell;

std::optional<SemanticLabel> member_label(const LabelTable& table, PyObject* member) {
    for (std::size_t code = 0; code < table.members.size(); ++code) {
        if (table.members[code] == member) return static_cast<SemanticLabel>(code);
    }
    return std::nullopt;
}

std::optional<LabelTable*> build_table() {
    auto table = std::make_unique<LabelTable>();
    for (std::size_t code = 0; code < kSemanticLabelCount; ++code) {
        table->members[code] = semantic_label_member(static_cast<SemanticLabel>(code));
        if (table->members[code] == nullptr) return std::nullopt;
    }
    PyRef labels = PyRef::steal(PyObject_GetAttrString(labels_module(), "LABELS"));
    PyRef entries = labels ? PyRef::steal(PyMapping_Items(labels.get())) : PyRef();
    if (!entries) return std::nullopt;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(entries.get()); ++i) {
        PyObject* entry = PyList_GET_ITEM(entries.get(), i);
        const char* name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(entry, 0));
        if (name == nullptr) return std::nullopt;
        const std::optional<SemanticLabel> label = member_label(*table, PyTuple_GET_ITEM(entry, 1));
        if (!label) throw InternalFault("tarvello.labels.LABELS maps a name to something other than a label");
        table->names.emplace(name, *label);
    }
    return table.release();  // kept for the life of the process
}

const LabelTable& label_table() {
    const auto* table = table_cell.get_or_init(build_table);
    if (table == nullptr) {
        PyErr_Clear();
        throw InternalFault("failed to read the label table tarvello.labels.LABELS");
    }
    return **table;
}

// The name's text when it is a compact ASCII string (its bytes are its text).
std::optional<std::string_view> ascii_text(PyObject* name) {
    if (!PyUnicode_IS_ASCII(name)) return std::nullopt;
    return std::string_view(static_cast<const char*>(PyUnicode_DATA(name)),
                            static_cast<std::size_t>(PyUnicode_GET_LENGTH(name)));
}

// The table's own verdict on a name it does not hold, as a fault.
Fault unknown_name(PyObject* name) {
    PyRef found = PyRef::steal(PyObject_CallMethod(labels_module(), "label_from_name", "O", name));
    if (found) throw InternalFault("tarvello.labels.label_from_name knows a name that LABELS lacks");
    if (!PyErr_ExceptionMatches(PyExc_ValueError)) return python_fault();
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyRef text = PyRef::steal(PyObject_Str(error.get()));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (utf8 == nullptr) return python_fault();
    return value_fault("", utf8);
}

}  // namespace

const tarvello::boxes::LabelNames& label_names() { return label_table().names; }

bool is_label_member(PyObject* value) { return member_label(label_table(), value).has_value(); }

Outcome read_label(PyObject* value, SemanticLabel& out) {
    const LabelTable& table = label_table();
    if (const auto member = member_label(table, value)) {
        out = *member;
        return std::nullopt;
    }
    if (!PyUnicode_Check(value)) {
        return type_fault("", "expected a label name or a SemanticLabel member, got " + kind_of(value));
    }
    std::array<char, kShortName> buffer;
    const std::optional<std::string_view> text = ascii_text(value);
    std::optional<std::string_view> key = text ? tarvello::boxes::normalise_ascii(*text, buffer) : std::nullopt;
    std::string long_key;
    if (!key) {
        PyRef normalised = PyRef::steal(PyObject_CallMethod(labels_module(), "normalise_label_name", "O", value));
        if (!normalised) return python_fault();
        const char* utf8 = PyUnicode_AsUTF8(normalised.get());
        // A lone surrogate is no name in the table.
        if (utf8 == nullptr) {
            PyErr_Clear();
            return unknown_name(value);
        }
        long_key = utf8;
        key = long_key;
    }
    const auto found = table.names.find(*key);
    if (found == table.names.end()) return unknown_name(value);
    out = found->second;
    return std::nullopt;
}

namespace {

// The same exact str: equal length, kind and code points.
bool same_text(PyObject* a, PyObject* b) {
    if (a == b) return true;
    if (!PyUnicode_CheckExact(a) || !PyUnicode_CheckExact(b)) return false;
    const Py_ssize_t length = PyUnicode_GET_LENGTH(a);
    if (length != PyUnicode_GET_LENGTH(b) || PyUnicode_KIND(a) != PyUnicode_KIND(b)) return false;
    return std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b),
                       static_cast<std::size_t>(length) * PyUnicode_KIND(a)) == 0;
}

}  // namespace

Outcome LabelReader::read(PyObject* value, SemanticLabel& out) {
    if (last_name_ && same_text(last_name_.get(), value)) {
        out = last_label_;
        return std::nullopt;
    }
    if (auto fault = read_label(value, out)) return fault;
    last_name_ = PyRef::borrow(value);
    last_label_ = out;
    return std::nullopt;
}

}  // namespace tarvello::py::boxes
