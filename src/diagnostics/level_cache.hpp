// The bridge's cache of loggers and their thresholds: a tree keyed by the
// "::" segments of a target. Nodes never change once published; a store
// copies the path from the root to the target's node, shares every other
// subtree, and publishes the new root by compare-and-swap. A store that loses
// the race (to another store or a reset) is dropped.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/log_facade.hpp"
#include "diagnostics/snapshot_cell.hpp"

namespace tarvello::diagnostics {

// The segments of a target split at every "::", empty ones included.
inline std::vector<std::string_view> target_segments(std::string_view target) {
    std::vector<std::string_view> segments;
    for (;;) {
        const std::size_t separator = target.find("::");
        segments.push_back(target.substr(0, separator));
        if (separator == std::string_view::npos) return segments;
        target.remove_prefix(separator + 2);
    }
}

template <class LoggerHandle>
class LevelCache {
public:
    struct Entry {
        LevelThreshold threshold;
        LoggerHandle logger;
    };

    struct Node {
        std::optional<Entry> entry;
        std::map<std::string, std::shared_ptr<const Node>, std::less<>> children;
    };

    using NodeRef = std::shared_ptr<const Node>;

    LevelCache() : root_(std::make_shared<const Node>()) {}

    // The target's node, or null when the tree has none. The caller's
    // reference keeps the node alive across resets.
    NodeRef lookup(std::string_view target) const {
        const auto snapshot = root_.snapshot();
        const Node* node = find(*snapshot.value(), target);
        // Aliasing the snapshot's root: the whole tree lives while the node does.
        return node != nullptr ? NodeRef(snapshot.value(), node) : nullptr;
    }

    // Calls `visit` with the target's node (or null) while a snapshot holds the
    // tree: no reference counting and no allocation, for the hot path of
    // records that a cached threshold rejects.
    template <class Visit>
    auto visit(std::string_view target, Visit&& visit_node) const {
        const auto snapshot = root_.snapshot();
        return visit_node(find(*snapshot.value(), target));
    }

    void store(std::string_view target, Entry entry) {
        const auto start = root_.snapshot();
        const std::vector<std::string_view> segments = target_segments(target);
        // The old nodes along the path (null where the path leaves the tree).
        std::vector<const Node*> path{start.value().get()};
        for (std::string_view segment : segments) {
            const Node* parent = path.back();
            const Node* child = nullptr;
            if (parent != nullptr) {
                const auto found = parent->children.find(segment);
                if (found != parent->children.end()) child = found->second.get();
            }
            path.push_back(child);
        }
        // Rebuilt bottom-up: each copy shares its untouched children.
        auto rebuilt = copy_of(path.back());
        rebuilt->entry.emplace(std::move(entry));
        for (std::size_t depth = segments.size(); depth-- > 0;) {
            auto parent = copy_of(path[depth]);
            parent->children.insert_or_assign(std::string(segments[depth]), std::move(rebuilt));
            rebuilt = std::move(parent);
        }
        root_.compare_and_swap(start, std::move(rebuilt));
    }

    // Empties the cache, unconditionally.
    void reset() { root_.replace(std::make_shared<const Node>()); }

private:
    static const Node* find(const Node& root, std::string_view target) {
        const Node* node = &root;
        for (;;) {
            const std::size_t separator = target.find("::");
            const auto child = node->children.find(target.substr(0, separator));
            if (child == node->children.end()) return nullptr;
            node = child->second.get();
            if (separator == std::string_view::npos) return node;
            target.remove_prefix(separator + 2);
        }
    }

    static std::shared_ptr<Node> copy_of(const Node* node) {
        return node != nullptr ? std::make_shared<Node>(*node) : std::make_shared<Node>();
    }

    SnapshotCell<Node> root_;
};

}  // namespace tarvello::diagnostics
