// The label table's names by their normalised form, looked up without a copy.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "layout/records.hpp"

namespace tarvello::boxes {

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

using LabelNames = std::unordered_map<std::string, SemanticLabel, NameHash, std::equal_to<>>;

// An ASCII name in lower case without spaces, hyphens and underscores,
// written into `buffer`; nothing for a name with other bytes or too long for
// the buffer, which the table's own (Unicode) normalisation must handle.
inline std::optional<std::string_view> normalise_ascii(std::string_view name, std::span<char> buffer) {
    if (name.size() > buffer.size()) return std::nullopt;
    std::size_t length = 0;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        if (c == ' ' || c == '-' || c == '_') continue;
        buffer[length++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return std::string_view(buffer.data(), length);
}

}  // namespace tarvello::boxes
