// The plain records every engine and the extension module share.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvello {

enum class SemanticLabel : std::uint8_t {
    CrossLayout = 0,
    HorizontalTitle = 1,
    VerticalTitle = 2,
    Vision = 3,
    Regular = 4,
};

inline constexpr std::size_t kSemanticLabelCount = 5;

inline constexpr std::array<std::string_view, kSemanticLabelCount> kBareLabelNames = {
    "CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular",
};

inline constexpr std::array<std::string_view, kSemanticLabelCount> kQualifiedLabelNames = {
    "SemanticLabel.CrossLayout", "SemanticLabel.HorizontalTitle", "SemanticLabel.VerticalTitle",
    "SemanticLabel.Vision",      "SemanticLabel.Regular",
};

constexpr std::uint8_t label_code(SemanticLabel label) { return static_cast<std::uint8_t>(label); }

constexpr std::optional<SemanticLabel> label_from_code(std::uint64_t code) {
    if (code >= kSemanticLabelCount) return std::nullopt;
    return static_cast<SemanticLabel>(code);
}

constexpr std::string_view bare_name(SemanticLabel label) { return kBareLabelNames[label_code(label)]; }

constexpr std::string_view qualified_name(SemanticLabel label) {
    return kQualifiedLabelNames[label_code(label)];
}

// One layout box. Nothing is enforced: corners may be inverted, NaN or infinite,
// and ids may repeat; each engine says how it reads them.
struct Element {
    std::uint64_t id = 0;
    float x1 = 0.0f;
    float y1 = 0.0f;
    float x2 = 0.0f;
    float y2 = 0.0f;
    SemanticLabel label = SemanticLabel::Regular;

    friend bool operator==(const Element&, const Element&) = default;
};

struct XYCutConfig {
    float min_cut_threshold = 15.0f;
    float histogram_resolution_scale = 0.5f;
    float same_row_tolerance = 10.0f;

    friend bool operator==(const XYCutConfig&, const XYCutConfig&) = default;
};

struct PageBounds {
    float x_min = 0.0f;
    float y_min = 0.0f;
    float x_max = 0.0f;
    float y_max = 0.0f;
};

// Element ids, the first one read first.
using ReadingOrder = std::vector<std::uint64_t>;

}  // namespace tarvello
