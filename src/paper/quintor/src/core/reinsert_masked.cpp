#include "paper/quintor/src/core/reinsert_masked.hpp"

#include <array>
#include <limits>
#include <vector>

#include "paper/quintor/src/core/insertion_score.hpp"
#include "paper/quintor/src/core/label_class.hpp"
#include "paper/quintor/src/core/paper_channel.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper/quintor/src/core/xy_cut.hpp"
#include "paper/quintor/src/utils/first_by_id.hpp"
#include "paper/quintor/src/utils/order_index.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Best {
    float score = kInf;
    std::size_t position = 0;
    bool found = false;
};

struct Visit {
    std::size_t node;
    std::size_t first;  // order position of the node's first slot
    float bound;
};

// Depth first through the index's tree: each visit of an inner node pushes
// its two children, so at most one waiting sibling per level and the pair
// just pushed are ever waiting.
class VisitStack {
public:
    explicit VisitStack(const Visit& root) { push(root); }
    bool empty() const { return size_ == 0; }
    void push(const Visit& v) { items_[size_++] = v; }
    Visit pop() { return items_[--size_]; }

private:
    std::array<Visit, std::numeric_limits<std::size_t>::digits + 2> items_;
    std::size_t size_ = 0;
};

// Classes start at 0: an empty group, or a slot whose id matches no element,
// has class -1 and is admissible for none.
bool admissible_in(const TargetBounds& bounds, std::int8_t masked_class) { return bounds.max_class >= masked_class; }

// Position by position, exactly as the scores and their early abandoning
// decide; only groups without an admissible position are skipped.
Best scan_in_order(const OrderIndex& index, const InsertionScorer& scorer, std::int8_t masked_class) {
    Best best;
    VisitStack stack({OrderIndex::kRoot, 0, 0.0f});
    while (!stack.empty()) {
        const Visit v = stack.pop();
        const TargetBounds& bounds = index.bounds(v.node);
        if (!admissible_in(bounds, masked_class)) continue;
        if (!index.is_leaf(v.node)) {
            const std::size_t left = OrderIndex::left(v.node);
            stack.push({OrderIndex::right(v.node), v.first + index.bounds(left).count, 0.0f});
            stack.push({left, v.first, 0.0f});
            continue;
        }
        const auto slots = index.block(v.node);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].target_class < masked_class) continue;
            const std::optional<float> score = scorer.score(slots[i], best.score);
            if (score && *score < best.score) best = {*score, v.first + i, true};
        }
    }
    return best;
}

// With a monotone score the winner is the first position of least score, so
// groups can be visited cheapest bound first and skipped once their bound
// cannot beat (or, earlier in the order, tie) the best found.
Best branch_and_bound(const OrderIndex& index, const InsertionScorer& scorer, std::int8_t masked_class) {
    Best best;
    const auto cannot_win = [&](const Visit& v) {
        return v.bound > best.score || (v.bound == best.score && (!best.found || v.first > best.position));
    };
    VisitStack stack({OrderIndex::kRoot, 0, scorer.lower_bound(index.bounds(OrderIndex::kRoot))});
    while (!stack.empty()) {
        const Visit v = stack.pop();
        if (!admissible_in(index.bounds(v.node), masked_class) || cannot_win(v)) continue;
        if (!index.is_leaf(v.node)) {
            const std::size_t l = OrderIndex::left(v.node);
            const std::size_t r = OrderIndex::right(v.node);
            const Visit lv{l, v.first, scorer.lower_bound(index.bounds(l))};
            const Visit rv{r, v.first + index.bounds(l).count, scorer.lower_bound(index.bounds(r))};
            // The cheaper bound is popped first; on a tie the earlier positions.
            if (rv.bound < lv.bound) {
                stack.push(lv);
                stack.push(rv);
            } else {
                stack.push(rv);
                stack.push(lv);
            }
            continue;
        }
        const auto slots = index.block(v.node);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].target_class < masked_class) continue;
            const float score = *scorer.score(slots[i]);
            const std::size_t position = v.first + i;
            if (score < best.score || (best.found && score == best.score && position < best.position)) {
                best = {score, position, true};
            }
        }
    }
    return best;
}

// The slot of an element that is the first with its id.
OrderSlot slot_for(const Element& e) {
    return {e.id, e.x1, e.y1, e.x2, e.y2, static_cast<std::int8_t>(label_class(e.label))};
}

// The slot of the first element with the id, if any.
OrderSlot slot_of_id(const FirstById& by_id, std::uint64_t id) {
    const Element* found = by_id.find(id);
    return found == nullptr ? OrderSlot{.id = id} : slot_for(*found);
}

// Inserts the masked elements into the order `index` holds. Their slots come
// from `by_id` when given, else each element is the first with its id.
ReadingOrder insert_masked(OrderIndex& index, std::span<const Element> masked, float same_row_tolerance,
                           const FirstById* by_id) {
    const auto slot_of = [&](const Element& c) { return by_id != nullptr ? slot_of_id(*by_id, c.id) : slot_for(c); };
    std::array<ScratchVector<Element>, kLabelClassCount> buckets;
    std::array<std::size_t, kLabelClassCount> bucket_sizes{};
    for (const Element& e : masked) ++bucket_sizes[label_class(e.label)];
    for (std::size_t k = 0; k < kLabelClassCount; ++k) buckets[k].reserve(bucket_sizes[k]);
    for (const Element& e : masked) buckets[label_class(e.label)].push_back(e);
    for (auto& bucket : buckets) {
        sort_by_position(bucket, same_row_tolerance);
        for (const Element& c : bucket) {
            const auto masked_class = static_cast<std::int8_t>(label_class(c.label));
            const TargetBounds& all = index.bounds(OrderIndex::kRoot);
            const bool prunable = has_monotone_score(c) && !all.irregular && all.min_x1 >= 0.0f;
            const InsertionScorer scorer(c);
            const Best best = prunable ? branch_and_bound(index, scorer, masked_class)
                                       : scan_in_order(index, scorer, masked_class);
            if (best.found) {
                diagnostics::debug(kPaperChannel, "[INSERT] Masked element {} ({}) -> position {} (before element {})",
                                   c.id, c.label, best.position, index.at(best.position).id);
                index.insert(best.position, slot_of(c));
            } else {
                diagnostics::warn(kPaperChannel, "No valid insertion for element {} ({}), appending", c.id, c.label);
                index.insert(index.size(), slot_of(c));
            }
        }
    }
    return index.ids();
}

}  // namespace

ReadingOrder reinsert_masked(ReadingOrder order, std::span<const Element> regular, std::span<const Element> masked,
                             float same_row_tolerance) {
    if (masked.empty()) return order;
    const ScratchScope scope;
    const FirstById by_id(regular, masked);
    OrderIndex index(order.size(), [&](std::size_t i) { return slot_of_id(by_id, order[i]); });
    order = ReadingOrder();  // frees it: the slots hold the order now
    return insert_masked(index, masked, same_row_tolerance, &by_id);
}

ReadingOrder reinsert_masked_by_position(std::vector<std::size_t> positions, std::vector<Element> regular,
                                         std::span<const Element> masked, float same_row_tolerance) {
    const ScratchScope scope;
    if (masked.empty() || !ids_known_distinct(regular, masked)) {
        return reinsert_masked(ids_at(positions, regular), regular, masked, same_row_tolerance);
    }
    // Every element is the first with its id: no lookup by id is needed.
    OrderIndex index(positions.size(), [&](std::size_t i) { return slot_for(regular[positions[i]]); });
    // The slots hold all that is read from here on; on large pages the
    // insertions and the result then reuse this memory.
    positions = std::vector<std::size_t>();
    regular = std::vector<Element>();
    return insert_masked(index, masked, same_row_tolerance, nullptr);
}

}  // namespace tarvello::paper
