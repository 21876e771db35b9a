#include "paper/quintor/src/core/insertion_score.hpp"

#include <cmath>

#include "layout/float_conventions.hpp"

namespace tarvello::paper {
namespace {

constexpr float kSeparation = 100.0f;
constexpr float kOverlap = 10.0f;

bool is_title(SemanticLabel label) {
    return label == SemanticLabel::HorizontalTitle || label == SemanticLabel::VerticalTitle;
}

// The larger side of the masked element (NaN yields the other side).
float major_side(const Element& c) { return max_num(c.x2 - c.x1, c.y2 - c.y1); }

float gap(float c_lo, float c_hi, float t_lo, float t_hi) {
    if (c_hi < t_lo) return t_lo - c_hi;
    if (c_lo > t_hi) return c_lo - t_hi;
    return 0.0f;
}

float d3_term(const Element& c, float a3, float t_y1, float t_y2) {
    if (c.label == SemanticLabel::CrossLayout) return c.y1 > t_y2 ? a3 * (c.y1 - t_y2) : a3 * -c.y2;
    return t_y1 < c.y2 ? a3 * (kOverlap * (c.y2 - t_y1)) : a3 * (t_y1 - c.y1);
}

float d2_term(const Element& c, float m, float a2, float dx, float dy) {
    const float g = c.label == SemanticLabel::CrossLayout ? dx + dy : min_num(dx, dy);
    return (m * a2) * g;
}

}  // namespace

ScoreWeights score_weights(const Element& masked) {
    if (is_title(masked.label)) {
        if (masked.x2 - masked.x1 > masked.y2 - masked.y1) return {1.0f, 0.1f, 0.1f, 1.0f};
        return {0.2f, 0.1f, 1.0f, 1.0f};
    }
    if (masked.label == SemanticLabel::CrossLayout) return {1.0f, 1.0f, 0.1f, 1.0f};
    return {1.0f, 1.0f, 1.0f, 0.1f};
}

std::optional<float> insertion_score(const Element& c, const Element& t, float best_so_far) {
    const ScoreWeights w = score_weights(c);
    const float m = major_side(c);
    const bool overlap = c.x2 > t.x1 && c.y2 > t.y1 && t.x2 > c.x1 && t.y2 > c.y1;
    const float d1 = ((m * m) * w.a1) * (overlap ? 0.0f : kSeparation);
    if (d1 > best_so_far) return std::nullopt;
    const float dx = gap(c.x1, c.x2, t.x1, t.x2);
    const float dy = gap(c.y1, c.y2, t.y1, t.y2);
    const float s2 = d1 + d2_term(c, m, w.a2, dx, dy);
    if (s2 > best_so_far) return std::nullopt;
    const float s3 = s2 + d3_term(c, w.a3, t.y1, t.y2);
    if (s3 > best_so_far) return std::nullopt;
    return s3 + t.x1 * ((1.0f / m) * w.a4);
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

float insertion_score_lower_bound(const Element& c, const TargetBounds& b) {
    const ScoreWeights w = score_weights(c);
    const float m = major_side(c);
    // Every step below is a monotone float operation applied to a bound of
    // its operand, so the result never exceeds the score it bounds.
    const bool may_overlap = c.x2 > b.min_x1 && c.y2 > b.min_y1 && b.max_x2 > c.x1 && b.max_y2 > c.y1;
    const float d1 = may_overlap ? 0.0f : ((m * m) * w.a1) * kSeparation;
    const auto gap_bound = [](float c_lo, float c_hi, float min_lo, float max_lo, float max_hi) {
        if (c_hi < min_lo) return min_lo - c_hi;
        if (!(c_hi < max_lo) && c_lo > max_hi) return c_lo - max_hi;
        return 0.0f;
    };
    const float dx = gap_bound(c.x1, c.x2, b.min_x1, b.max_x1, b.max_x2);
    const float dy = gap_bound(c.y1, c.y2, b.min_y1, b.max_y1, b.max_y2);
    const float d2 = d2_term(c, m, w.a2, dx, dy);
    float d3 = 0.0f;
    if (c.label == SemanticLabel::CrossLayout) {
        if (c.y1 > b.max_y2) {
            d3 = d3_term(c, w.a3, 0.0f, b.max_y2);
        } else if (!(c.y1 > b.min_y2)) {
            d3 = w.a3 * -c.y2;
        } else {
            d3 = std::min(0.0f, w.a3 * -c.y2);
        }
    } else if (b.max_y1 < c.y2) {
        d3 = d3_term(c, w.a3, b.max_y1, 0.0f);
    } else if (!(b.min_y1 < c.y2)) {
        d3 = d3_term(c, w.a3, b.min_y1, 0.0f);
    } else {
        d3 = std::min(0.0f, w.a3 * (c.y2 - c.y1));
    }
    const float d4 = b.min_x1 * ((1.0f / m) * w.a4);
    const float bound = ((d1 + d2) + d3) + d4;
    return std::isnan(bound) ? -std::numeric_limits<float>::infinity() : bound;
}

}  // namespace tarvello::paper
