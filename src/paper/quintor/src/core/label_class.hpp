// Priority class of a label in the re-insertion: a lower class goes first, and
// an element is only ever placed before one of equal or higher class.
#pragma once

#include <cstdint>

#include "layout/records.hpp"

namespace tarvello::paper {

inline constexpr std::uint8_t kLabelClassCount = 4;

constexpr std::uint8_t label_class(SemanticLabel label) {
    switch (label) {
        case SemanticLabel::CrossLayout: return 0;
        case SemanticLabel::HorizontalTitle:
        case SemanticLabel::VerticalTitle: return 1;
        case SemanticLabel::Vision: return 2;
        case SemanticLabel::Regular: return 3;
    }
    return 3;
}

}  // namespace tarvello::paper
