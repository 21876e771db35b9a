// A bad value met while reading plain boxes and pages, carried up to the
// caller that knows the field's full name, and raised there as the package's
// InputError or InputTypeError.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvello::py::boxes {

struct Fault {
    enum class Kind : std::uint8_t {
        value,   // InputError (a ValueError)
        type,    // InputTypeError (also a TypeError)
        python,  // an exception from the caller's own objects, already set
    };
    Kind kind = Kind::python;
    std::string field;  // the part of the field's name known so far
    std::string problem;

    // The same fault as seen from one level up: "[2]" becomes "bbox[2]".
    Fault within(std::string_view outer) && {
        field.insert(0, outer);
        return std::move(*this);
    }
};

// Nothing when the read went well.
using Outcome = std::optional<Fault>;

inline Fault value_fault(std::string field, std::string problem) {
    return {Fault::Kind::value, std::move(field), std::move(problem)};
}
inline Fault type_fault(std::string field, std::string problem) {
    return {Fault::Kind::type, std::move(field), std::move(problem)};
}
inline Fault python_fault() { return {}; }

// "[3]"
std::string index_suffix(std::size_t index);

// How a value is named in messages ("the string '1'", "a list of 3", "null"):
// the package's own wording, asked of Python since only error paths need it.
// Throws InternalFault when it cannot be had.
std::string kind_of(PyObject* value);

// Sets the fault's exception (unless it is already set): InputError(field,
// problem), with `page` naming the page of a many-page call.
void raise_fault(const Fault& fault, std::optional<std::size_t> page = std::nullopt);

}  // namespace tarvello::py::boxes
