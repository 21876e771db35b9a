// The geometric cost of placing a masked element before a target element, and
// a lower bound of that cost over a box of targets for pruning the search.
#pragma once

#include <limits>
#include <optional>

#include "layout/float_conventions.hpp"
#include "layout/records.hpp"
#include "paper/quintor/src/utils/target_bounds.hpp"

namespace tarvello::paper {

struct ScoreWeights {
    float a1;
    float a2;
    float a3;
    float a4;
};

ScoreWeights score_weights(const Element& masked);

// Terms of the score shared by the score and its lower bound.
namespace score_terms {

constexpr float kSeparation = 100.0f;
constexpr float kOverlap = 10.0f;

inline float gap(float c_lo, float c_hi, float t_lo, float t_hi) {
    if (c_hi < t_lo) return t_lo - c_hi;
    if (c_lo > t_hi) return c_lo - t_hi;
    return 0.0f;
}

// What d2 multiplies: both gaps for a cross-layout element, else the smaller.
inline float gap_measure(bool cross_layout, float dx, float dy) { return cross_layout ? dx + dy : min_num(dx, dy); }

inline float d3(bool cross_layout, const Element& c, float a3, float t_y1, float t_y2) {
    if (cross_layout) return c.y1 > t_y2 ? a3 * (c.y1 - t_y2) : a3 * -c.y2;
    return t_y1 < c.y2 ? a3 * (kOverlap * (c.y2 - t_y1)) : a3 * (t_y1 - c.y1);
}

}  // namespace score_terms

// The score of one masked element against target after target: what depends
// on the masked element alone is worked out once, in the same operations.
class InsertionScorer {
public:
    explicit InsertionScorer(const Element& masked);

    // The score, or nothing when the running sum rises strictly above
    // `best_so_far` after d1, d1 + d2 or d1 + d2 + d3. The target is anything
    // with a box: an element or an order slot.
    template <class Target>
    std::optional<float> score(const Target& t, float best_so_far = std::numeric_limits<float>::infinity()) const {
        using namespace score_terms;
        const bool overlap = c_.x2 > t.x1 && c_.y2 > t.y1 && t.x2 > c_.x1 && t.y2 > c_.y1;
        const float d1 = squared_side_a1_ * (overlap ? 0.0f : kSeparation);
        if (d1 > best_so_far) return std::nullopt;
        const float dx = gap(c_.x1, c_.x2, t.x1, t.x2);
        const float dy = gap(c_.y1, c_.y2, t.y1, t.y2);
        const float s2 = d1 + side_a2_ * gap_measure(cross_layout_, dx, dy);
        if (s2 > best_so_far) return std::nullopt;
        const float s3 = s2 + d3(cross_layout_, c_, a3_, t.y1, t.y2);
        if (s3 > best_so_far) return std::nullopt;
        return s3 + t.x1 * inverse_side_a4_;
    }

    // A value no score against a target inside `bounds` goes below; only
    // meaningful for a masked element with a monotone score and regular
    // bounds.
    float lower_bound(const TargetBounds& bounds) const;

private:
    Element c_;
    bool cross_layout_;
    float a3_;
    float squared_side_a1_;  // (m * m) * a1
    float side_a2_;          // m * a2
    float inverse_side_a4_;  // (1 / m) * a4
};

// The score, or nothing when the running sum rises strictly above
// `best_so_far` after d1, d1 + d2 or d1 + d2 + d3.
std::optional<float> insertion_score(const Element& masked, const Element& target,
                                     float best_so_far = std::numeric_limits<float>::infinity());

// True when every partial sum of the score is at most the score for any
// target that is finite with x1 >= 0: then abandoning never changes which
// position wins, and the winner is simply the first minimum.
bool has_monotone_score(const Element& masked);

}  // namespace tarvello::paper
