// The growing reading order of the re-insertion, kept in short blocks under a
// tree of their bounds, so that a search can skip whole runs of positions and
// an insertion costs a block, not the whole order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "layout/records.hpp"
#include "paper/quintor/src/utils/target_bounds.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

class OrderIndex {
public:
    // The order slot_at(0), ..., slot_at(count - 1).
    template <class SlotAt>
    OrderIndex(std::size_t count, const SlotAt& slot_at) {
        blocks_.reserve(count / kBlockSize + 1);
        for (std::size_t begin = 0; begin < count; begin += kBlockSize) {
            const std::size_t end = std::min(count, begin + kBlockSize);
            ScratchVector<OrderSlot>& block = blocks_.emplace_back();
            block.reserve(end - begin);
            for (std::size_t i = begin; i < end; ++i) block.push_back(slot_at(i));
        }
        if (blocks_.empty()) blocks_.emplace_back();
        rebuild_tree();
    }

    static constexpr std::size_t kRoot = 1;
    std::size_t size() const { return nodes_[kRoot].count; }
    const TargetBounds& bounds(std::size_t node) const { return nodes_[node]; }
    bool is_leaf(std::size_t node) const { return node >= leaf_base_; }
    static std::size_t left(std::size_t node) { return 2 * node; }
    static std::size_t right(std::size_t node) { return 2 * node + 1; }
    std::span<const OrderSlot> block(std::size_t leaf) const { return blocks_[leaf - leaf_base_]; }

    // Inserts before the slot at `position`; `position == size()` appends.
    void insert(std::size_t position, const OrderSlot& slot);
    const OrderSlot& at(std::size_t position) const;

    ReadingOrder ids() const;

private:
    // Blocks start this long and split when twice as long.
    static constexpr std::size_t kBlockSize = 32;

    void rebuild_tree();
    void bound_from_children(std::size_t node);
    // Splits a block grown to twice its size in two.
    void split_block(std::size_t block);
    // The block holding `position` and the offset inside it.
    std::pair<std::size_t, std::size_t> locate(std::size_t position) const;

    ScratchVector<ScratchVector<OrderSlot>> blocks_;
    ScratchVector<TargetBounds> nodes_;  // implicit binary tree, root at 1
    std::size_t leaf_base_ = 1;
};

}  // namespace tarvello::paper
