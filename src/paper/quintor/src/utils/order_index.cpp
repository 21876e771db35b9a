#include "paper/quintor/src/utils/order_index.hpp"

#include <algorithm>
#include <bit>
#include <tuple>

namespace tarvello::paper {
namespace {

TargetBounds bounds_of(std::span<const OrderSlot> slots) {
    TargetBounds bounds;
    for (const OrderSlot& s : slots) bounds.add(s);
    return bounds;
}

}  // namespace

void OrderIndex::bound_from_children(std::size_t node) {
    nodes_[node] = nodes_[left(node)];
    nodes_[node].merge(nodes_[right(node)]);
}

void OrderIndex::rebuild_tree() {
    leaf_base_ = std::bit_ceil(blocks_.size());
    nodes_.assign(2 * leaf_base_, TargetBounds{});
    for (std::size_t b = 0; b < blocks_.size(); ++b) nodes_[leaf_base_ + b] = bounds_of(blocks_[b]);
    for (std::size_t node = leaf_base_ - 1; node >= kRoot; --node) bound_from_children(node);
}

void OrderIndex::split_block(std::size_t block) {
    auto& slots = blocks_[block];
    ScratchVector<OrderSlot> tail(slots.begin() + static_cast<std::ptrdiff_t>(kBlockSize), slots.end());
    slots.resize(kBlockSize);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(tail));
    if (blocks_.size() > leaf_base_) {
        rebuild_tree();
        return;
    }
    // The leaves after the split move one place on with their bounds; only
    // the two halves are bounded afresh, and only the moved leaves' ancestors.
    TargetBounds* const leaves = nodes_.data() + leaf_base_;
    std::copy_backward(leaves + block + 1, leaves + blocks_.size() - 1, leaves + blocks_.size());
    leaves[block] = bounds_of(blocks_[block]);
    leaves[block + 1] = bounds_of(blocks_[block + 1]);
    for (std::size_t first = (leaf_base_ + block) / 2, last = (leaf_base_ + blocks_.size() - 1) / 2; first >= kRoot;
         first /= 2, last /= 2) {
        for (std::size_t node = first; node <= last; ++node) bound_from_children(node);
    }
}

std::pair<std::size_t, std::size_t> OrderIndex::locate(std::size_t position) const {
    std::size_t node = kRoot;
    while (!is_leaf(node)) {
        const std::size_t left_count = nodes_[left(node)].count;
        if (position < left_count) {
            node = left(node);
        } else {
            position -= left_count;
            node = right(node);
        }
    }
    return {node - leaf_base_, position};
}

const OrderSlot& OrderIndex::at(std::size_t position) const {
    const auto [block, offset] = locate(position);
    return blocks_[block][offset];
}

void OrderIndex::insert(std::size_t position, const OrderSlot& slot) {
    std::size_t block = 0;
    std::size_t offset = 0;
    if (position >= size()) {
        // Appending: after the last slot, which sits in the last non-empty block.
        block = blocks_.size() - 1;
        while (block > 0 && blocks_[block].empty()) --block;
        offset = blocks_[block].size();
    } else {
        std::tie(block, offset) = locate(position);
    }
    auto& slots = blocks_[block];
    slots.insert(slots.begin() + static_cast<std::ptrdiff_t>(offset), slot);
    if (slots.size() >= 2 * kBlockSize) {
        split_block(block);
        return;
    }
    // Bounds only widen on insertion: add the slot along the path to the root.
    for (std::size_t node = leaf_base_ + block; node >= kRoot; node /= 2) {
        nodes_[node].add(slot);
    }
}

ReadingOrder OrderIndex::ids() const {
    ReadingOrder order;
    order.reserve(size());
    for (const auto& slots : blocks_) {
        for (const OrderSlot& s : slots) order.push_back(s.id);
    }
    return order;
}

}  // namespace tarvello::paper
