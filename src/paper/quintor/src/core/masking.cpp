#include "paper/quintor/src/core/masking.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/utils/overlap_index.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {
namespace {

constexpr float kWidthFactor = 1.3f;
// A wide element is cross-layout from its second overlap on; counting stops there.
constexpr std::size_t kCrossLayoutOverlaps = 2;
// Up to this many wide elements are counted against the whole page directly.
constexpr std::size_t kDirectCounts = 16;

bool masked_by_label(SemanticLabel label) {
    return label == SemanticLabel::HorizontalTitle || label == SemanticLabel::VerticalTitle ||
           label == SemanticLabel::Vision;
}

}  // namespace

float cross_layout_width_threshold(std::span<const Element> elements) {
    // The widths as their totalOrder keys: plain integers to select among.
    ScratchVector<std::int32_t> keys;
    keys.reserve(elements.size());
    for (const Element& e : elements) keys.push_back(total_order_key(e.x2 - e.x1));
    const std::size_t n = keys.size();
    if (n == 0) return 0.0f;
    const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(keys.begin(), middle, keys.end());
    float median = from_total_order_key(*middle);
    if (n % 2 == 0) {
        const float lower = from_total_order_key(*std::max_element(keys.begin(), middle));
        median = (lower + median) * 0.5f;
    }
    return median * kWidthFactor;
}

MaskedSplit split_masked(std::vector<Element> elements) {
    const ScratchScope scope;
    const float threshold = cross_layout_width_threshold(elements);
    // Only wide elements with a label that could stay regular need their
    // overlaps counted. A few are cheaper to count against every element
    // than to index the page for.
    const auto needs_count = [&](const Element& e) { return !masked_by_label(e.label) && e.x2 - e.x1 > threshold; };
    const auto wide = static_cast<std::size_t>(std::count_if(elements.begin(), elements.end(), needs_count));
    std::optional<OverlapIndex> index;
    if (wide > kDirectCounts) index.emplace(elements);
    const auto cross_layout = [&](const Element& e) {
        if (index) return index->count_overlaps(e, kCrossLayoutOverlaps) >= kCrossLayoutOverlaps;
        std::size_t count = 0;
        for (const Element& f : elements) {
            if (overlaps(e, f) && ++count == kCrossLayoutOverlaps) {
                return true;
            }
        }
        return false;
    };
    // Decided for all before any moves: the counts read the whole page.
    ScratchVector<std::uint8_t> masked(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        masked[i] = masked_by_label(e.label) || (needs_count(e) && cross_layout(e));
    }
    MaskedSplit split;
    split.masked.reserve(static_cast<std::size_t>(std::count(masked.begin(), masked.end(), std::uint8_t{1})));
    std::size_t kept = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (masked[i]) {
            split.masked.push_back(elements[i]);
        } else {
            elements[kept++] = elements[i];
        }
    }
    elements.resize(kept);
    split.regular = std::move(elements);
    return split;
}

}  // namespace tarvello::paper
