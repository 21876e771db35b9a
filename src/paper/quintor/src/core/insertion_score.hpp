// The geometric cost of placing a masked element before a target element, and
// a lower bound of that cost over a box of targets for pruning the search.
#pragma once

#include <limits>
#include <optional>

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

// The score, or nothing when the running sum rises strictly above
// `best_so_far` after d1, d1 + d2 or d1 + d2 + d3.
std::optional<float> insertion_score(const Element& masked, const Element& target,
                                     float best_so_far = std::numeric_limits<float>::infinity());

// True when every partial sum of the score is at most the score for any
// target that is finite with x1 >= 0: then abandoning never changes which
// position wins, and the winner is simply the first minimum.
bool has_monotone_score(const Element& masked);

// A value no score against a target inside `bounds` goes below; only
// meaningful for a masked element with a monotone score and regular bounds.
float insertion_score_lower_bound(const Element& masked, const TargetBounds& bounds);

}  // namespace tarvello::paper
