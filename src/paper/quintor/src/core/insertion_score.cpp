#include "paper/quintor/src/core/insertion_score.hpp"

#include <cmath>

#include "layout/float_conventions.hpp"

namespace tarvello::paper {
namespace {

bool is_title(SemanticLabel label) {
    return label == SemanticLabel::HorizontalTitle || label == SemanticLabel::VerticalTitle;
}

// The larger side of the masked element (NaN yields the other side).
float major_side(const Element& c) { return max_num(c.x2 - c.x1, c.y2 - c.y1); }

}  // namespace

ScoreWeights score_weights(const Element& masked) {
    if (is_title(masked.label)) {
        if (masked.x2 - masked.x1 > masked.y2 - masked.y1) return {1.0f, 0.1f, 0.1f, 1.0f};
        return {0.2f, 0.1f, 1.0f, 1.0f};
    }
    if (masked.label == SemanticLabel::CrossLayout) return {1.0f, 1.0f, 0.1f, 1.0f};
    return {1.0f, 1.0f, 1.0f, 0.1f};
}

InsertionScorer::InsertionScorer(const Element& masked) : c_(masked) {
    const ScoreWeights w = score_weights(masked);
    const float m = major_side(masked);
    cross_layout_ = masked.label == SemanticLabel::CrossLayout;
    a3_ = w.a3;
    squared_side_a1_ = (m * m) * w.a1;
    side_a2_ = m * w.a2;
    inverse_side_a4_ = (1.0f / m) * w.a4;
}

std::optional<float> insertion_score(const Element& c, const Element& t, float best_so_far) {
    return InsertionScorer(c).score(t, best_so_far);
}

bool has_monotone_score(const Element& c) {
    if (!std::isfinite(c.x1) || !std::isfinite(c.y1) || !std::isfinite(c.x2) || !std::isfinite(c.y2)) return false;
    const float m = major_side(c);
    // d2 and d4 keep the sign of m; d3 is never negative below a box that is
    // not upside down, except for a cross-layout element below y = 0.
    if (!(m > 0.0f) || !std::isfinite(1.0f / m)) return false;
    if (c.label == SemanticLabel::CrossLayout) return c.y2 <= 0.0f;
    return c.y2 >= c.y1;
}

float InsertionScorer::lower_bound(const TargetBounds& b) const {
    const Element& c = c_;
    // Every step below is a monotone float operation applied to a bound of
    // its operand, so the result never exceeds the score it bounds.
    const bool may_overlap = c.x2 > b.min_x1 && c.y2 > b.min_y1 && b.max_x2 > c.x1 && b.max_y2 > c.y1;
    const float d1 = may_overlap ? 0.0f : squared_side_a1_ * score_terms::kSeparation;
    const auto gap_bound = [](float c_lo, float c_hi, float min_lo, float max_lo, float max_hi) {
        if (c_hi < min_lo) return min_lo - c_hi;
        if (!(c_hi < max_lo) && c_lo > max_hi) return c_lo - max_hi;
        return 0.0f;
    };
    const float dx = gap_bound(c.x1, c.x2, b.min_x1, b.max_x1, b.max_x2);
    const float dy = gap_bound(c.y1, c.y2, b.min_y1, b.max_y1, b.max_y2);
    const float d2 = side_a2_ * score_terms::gap_measure(cross_layout_, dx, dy);
    float d3 = 0.0f;
    if (cross_layout_) {
        if (c.y1 > b.max_y2) {
            d3 = score_terms::d3(true, c, a3_, 0.0f, b.max_y2);
        } else if (!(c.y1 > b.min_y2)) {
            d3 = a3_ * -c.y2;
        } else {
            d3 = std::min(0.0f, a3_ * -c.y2);
        }
    } else if (b.max_y1 < c.y2) {
        d3 = score_terms::d3(false, c, a3_, b.max_y1, 0.0f);
    } else if (!(b.min_y1 < c.y2)) {
        d3 = score_terms::d3(false, c, a3_, b.min_y1, 0.0f);
    } else {
        d3 = std::min(0.0f, a3_ * (c.y2 - c.y1));
    }
    const float d4 = b.min_x1 * inverse_side_a4_;
    const float bound = ((d1 + d2) + d3) + d4;
    return std::isnan(bound) ? -std::numeric_limits<float>::infinity() : bound;
}

}  // namespace tarvello::paper
