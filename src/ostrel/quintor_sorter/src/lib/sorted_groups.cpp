#include "sorted_groups.hpp"

#include <cmath>
#include <cstddef>

namespace tarvello::ostrel::detail {
namespace {

// Box indices in ascending key order; the index breaks ties, which is what a
// stable sort of the input would do.
template <class Index, class KeyOf>
std::vector<Index> sorted_indices(std::span<const LayoutBox> boxes, KeyOf key_of) {
    std::vector<std::pair<std::uint64_t, Index>> keyed(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) keyed[i] = {key_of(boxes[i]), static_cast<Index>(i)};
    std::sort(keyed.begin(), keyed.end());
    std::vector<Index> order(boxes.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
    return order;
}

// Stable partition of [begin, end) of `from` into `to`: matching entries to the
// front, the rest behind them, both in their old order. Returns the first
// group's size. The rest is written from the back and turned round, so one
// pass finds the boundary.
template <class Entry, class Index, class First>
Index partition_counting(const std::vector<Entry>& from, std::vector<Entry>& to, Index begin, Index end,
                         First first) {
    Index front = begin;
    Index back = end;
    for (Index i = begin; i < end; ++i) {
        const Entry& entry = from[i];
        if (first(entry)) {
            to[front++] = entry;
        } else {
            to[--back] = entry;
        }
    }
    std::reverse(to.begin() + static_cast<std::ptrdiff_t>(back), to.begin() + static_cast<std::ptrdiff_t>(end));
    return front - begin;
}

// The same partition when the boundary is already known.
template <class Entry, class Index, class First>
void partition_known(const std::vector<Entry>& from, std::vector<Entry>& to, Index begin, Index end, Index middle,
                     First first) {
    Index front = begin;
    Index back = middle;
    for (Index i = begin; i < end; ++i) {
        const Entry& entry = from[i];
        if (first(entry)) {
            to[front++] = entry;
        } else {
            to[back++] = entry;
        }
    }
}

}  // namespace

template <class Index>
SortedGroups<Index>::SortedGroups(std::span<const LayoutBox> boxes) : boxes_(boxes) {
    const std::size_t n = boxes.size();
    center_x_.resize(n);
    center_y_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        center_x_[i] = boxes[i].center_x();
        center_y_[i] = boxes[i].center_y();
    }

    by_rank_ = sorted_indices<Index>(boxes, [](const LayoutBox& b) { return pair_key(b.top(), b.left()); });
    rank_.resize(n);
    for (std::size_t r = 0; r < n; ++r) rank_[by_rank_[r]] = static_cast<Index>(r);

    const auto fill = [&](std::vector<Entry>& list, auto key_of, auto entry_of) {
        const std::vector<Index> order = sorted_indices<Index>(boxes, key_of);
        list.reserve(n);
        for (const Index i : order) list.push_back(entry_of(boxes[i], i));
    };
    fill(by_y_[0], [](const LayoutBox& b) { return pair_key(b.top(), b.bottom()); },
         [](const LayoutBox& b, Index i) { return Entry{b.top(), b.bottom(), b.center_y(), i}; });
    fill(by_x_[0], [](const LayoutBox& b) { return pair_key(b.left(), b.right()); },
         [](const LayoutBox& b, Index i) { return Entry{b.left(), b.right(), b.center_x(), i}; });
    by_y_[1].resize(n);
    by_x_[1].resize(n);
}

template <class Index>
Gap SortedGroups<Index>::horizontal_gap(Group<Index> group) const {
    const std::vector<Entry>& list = by_y_[group.buffer];
    GapScan scan;
    for (Index i = group.begin; i < group.end; ++i) scan.feed(list[i].low, list[i].high);
    return scan.result();
}

template <class Index>
VerticalSearch SortedGroups<Index>::vertical_gap(Group<Index> group) const {
    const std::vector<Entry>& list = by_x_[group.buffer];
    GapScan scan;
    for (Index i = group.begin; i < group.end; ++i) scan.feed(list[i].low, list[i].high);
    // The smallest left is the first one that is not NaN (-NaN sorts first,
    // +NaN last); the largest right is where the scan's reach ended up. Which
    // of two equal zeros either fold keeps cannot change the span's use.
    float smallest_left = list[group.begin].low;
    for (Index i = group.begin; i < group.end; ++i) {
        if (!std::isnan(list[i].low)) {
            smallest_left = list[i].low;
            break;
        }
    }
    return {scan.result(), max_num(scan.reach() - smallest_left, 0.0f)};
}

template <class Index>
std::pair<Gap, Index> SortedGroups<Index>::wide_vertical_gap(Group<Index> group, float threshold) const {
    const std::vector<Entry>& list = by_x_[group.buffer];
    GapScan scan;
    Index count = 0;
    for (Index i = group.begin; i < group.end; ++i) {
        const Entry& entry = list[i];
        // The width exactly as LayoutBox::width computes it from left and right.
        if (max_num(entry.high - entry.low, 0.0f) >= threshold) {
            scan.feed(entry.low, entry.high);
            ++count;
        }
    }
    return {scan.result(), count};
}

template <class Index>
Index SortedGroups<Index>::split(Group<Index> group, Axis axis, float position) {
    const std::uint8_t from = group.buffer;
    const auto to = static_cast<std::uint8_t>(1 - from);
    // The list of the cut's own axis carries the center; the other looks it up.
    const auto own = [position](const Entry& e) { return e.center < position; };
    const auto other = [position](const std::vector<float>& centers) {
        return [position, &centers](const Entry& e) { return centers[e.box] < position; };
    };
    const bool horizontal = axis == Axis::Horizontal;
    const Index first = horizontal ? partition_counting(by_y_[from], by_y_[to], group.begin, group.end, own)
                                   : partition_counting(by_x_[from], by_x_[to], group.begin, group.end, own);
    if (first == 0 || first == group.size()) return first;
    const Index middle = group.begin + first;
    if (horizontal) {
        partition_known(by_x_[from], by_x_[to], group.begin, group.end, middle, other(center_y_));
    } else {
        partition_known(by_y_[from], by_y_[to], group.begin, group.end, middle, other(center_x_));
    }
    return first;
}

template <class Index>
void SortedGroups<Index>::append_y_then_x(Group<Index> group, std::vector<LayoutBox>& out) {
    const std::vector<Entry>& list = by_y_[group.buffer];
    scratch_.clear();
    for (Index i = group.begin; i < group.end; ++i) scratch_.push_back(rank_[list[i].box]);
    std::sort(scratch_.begin(), scratch_.end());
    for (const Index r : scratch_) out.push_back(boxes_[by_rank_[r]]);
}

template class SortedGroups<std::uint32_t>;
template class SortedGroups<std::size_t>;

}  // namespace tarvello::ostrel::detail
