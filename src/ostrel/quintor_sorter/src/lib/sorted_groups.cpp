#include "sorted_groups.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

namespace tarvello::ostrel::detail {
namespace {

// Orders of box indices by (major, minor) key, both by totalOrder, with the
// index breaking ties, which is what a stable sort of the input would do.
//
// With 32-bit indices, index and major key pack into one word: one plain
// integer sort, then the (short) runs of equal major keys sorted again by the
// minor key. Orders that share their major key share the first sort.
std::vector<std::uint64_t> packed_by(const std::vector<float>& major) {
    std::vector<std::uint64_t> packed(major.size());
    for (std::size_t i = 0; i < major.size(); ++i) packed[i] = (std::uint64_t{ordered_bits(major[i])} << 32) | i;
    std::sort(packed.begin(), packed.end());
    return packed;
}

template <class Index>
std::vector<Index> refined(std::vector<std::uint64_t> packed, const std::vector<float>& minor) {
    const std::size_t n = packed.size();
    constexpr std::uint64_t low_word = 0xffffffffu;
    for (std::size_t run = 0; run < n;) {
        std::size_t next = run + 1;
        while (next < n && (packed[next] >> 32) == (packed[run] >> 32)) ++next;
        if (next - run > 1) {
            for (std::size_t k = run; k < next; ++k) {
                const std::uint64_t i = packed[k] & low_word;
                packed[k] = (std::uint64_t{ordered_bits(minor[i])} << 32) | i;
            }
            std::sort(packed.begin() + static_cast<std::ptrdiff_t>(run),
                      packed.begin() + static_cast<std::ptrdiff_t>(next));
        }
        run = next;
    }
    std::vector<Index> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<Index>(packed[k] & low_word);
    return order;
}

// The same for indices too wide to pack.
template <class Index>
std::vector<Index> sorted_pairs(const std::vector<float>& major, const std::vector<float>& minor) {
    std::vector<std::pair<std::uint64_t, Index>> keyed(major.size());
    for (std::size_t i = 0; i < major.size(); ++i) {
        keyed[i] = {(std::uint64_t{ordered_bits(major[i])} << 32) | ordered_bits(minor[i]), static_cast<Index>(i)};
    }
    std::sort(keyed.begin(), keyed.end());
    std::vector<Index> order(keyed.size());
    for (std::size_t k = 0; k < keyed.size(); ++k) order[k] = keyed[k].second;
    return order;
}

// How many entries of [begin, end) go first, and whether they already stand
// in front of all the others (then the list needs no stable partition at all:
// a cut along the list's own axis usually leaves it that way).
template <class Entry, class Index, class First>
std::pair<Index, bool> count_first(const std::vector<Entry>& list, Index begin, Index end, First first) {
    Index i = begin;
    while (i < end && first(list[i])) ++i;
    const Index prefix = i - begin;
    Index later = 0;
    for (; i < end; ++i) {
        if (first(list[i])) ++later;
    }
    return {prefix + later, later == 0};
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

template <class Entry>
struct SortedScan {
    Gap gap;
    float reach;         // the largest high edge, NaN when there is none
    const Entry* first;  // the first entry whose edges are not NaN
};

// The gap search over entries sorted by (low, high), the same result as
// feeding them to GapScan one by one, at a fraction of the latency.
template <class Entry>
SortedScan<Entry> scan_sorted(const Entry* first, const Entry* last) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    // A NaN low edge comes with a NaN high edge (both corners are NaN), and
    // totalOrder puts those entries at both ends. They never open a gap nor
    // move the reach, so the scan skips them and keeps to plain comparisons.
    while (first != last && std::isnan(first->high)) ++first;
    while (last != first && std::isnan(last[-1].high)) --last;
    if (first == last) return {{}, nan, first};

    Gap best{};
    const auto check = [&best](float low, float reach) {
        if (low > reach && low - reach > best.gap) {
            best.gap = low - reach;
            best.position = (reach + low) * 0.5f;
        }
    };
    const auto larger = [](float a, float b) { return b > a ? b : a; };
    // The running maximum is one long chain of dependent operations; four
    // entries at a time it advances once per four, and the maxima inside the
    // block are taken beside it. A maximum of numbers has no rounding, so
    // grouping them differently changes nothing.
    float reach = first->high;
    const Entry* e = first + 1;
    for (; last - e >= 4; e += 4) {
        const float h01 = larger(e[0].high, e[1].high);
        const float h012 = larger(h01, e[2].high);
        check(e[0].low, reach);
        check(e[1].low, larger(reach, e[0].high));
        check(e[2].low, larger(reach, h01));
        check(e[3].low, larger(reach, h012));
        reach = larger(reach, larger(h012, e[3].high));
    }
    for (; e != last; ++e) {
        check(e->low, reach);
        reach = larger(reach, e->high);
    }
    return {best, reach, first};
}

}  // namespace

template <class Index>
SortedGroups<Index>::SortedGroups(std::span<const LayoutBox> boxes) : boxes_(boxes) {
    const std::size_t n = boxes.size();
    std::vector<float> left(n);
    std::vector<float> right(n);
    std::vector<float> top(n);
    std::vector<float> bottom(n);
    center_x_.resize(n);
    center_y_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        left[i] = boxes[i].left();
        right[i] = boxes[i].right();
        top[i] = boxes[i].top();
        bottom[i] = boxes[i].bottom();
        center_x_[i] = boxes[i].center_x();
        center_y_[i] = boxes[i].center_y();
    }

    std::vector<Index> y_order;
    std::vector<Index> x_order;
    if constexpr (sizeof(Index) == sizeof(std::uint32_t)) {
        std::vector<std::uint64_t> by_top = packed_by(top);
        by_rank_ = refined<Index>(by_top, left);
        y_order = refined<Index>(std::move(by_top), bottom);
        x_order = refined<Index>(packed_by(left), right);
    } else {
        by_rank_ = sorted_pairs<Index>(top, left);
        y_order = sorted_pairs<Index>(top, bottom);
        x_order = sorted_pairs<Index>(left, right);
    }
    rank_.resize(n);
    for (std::size_t r = 0; r < n; ++r) rank_[by_rank_[r]] = static_cast<Index>(r);
    for (const Index i : y_order) by_y_[0].push_back({top[i], bottom[i], center_y_[i], i});
    for (const Index i : x_order) by_x_[0].push_back({left[i], right[i], center_x_[i], i});
    by_y_[1].resize(n);
    by_x_[1].resize(n);
}

template <class Index>
Gap SortedGroups<Index>::horizontal_gap(Group<Index> group) const {
    const std::vector<Entry>& list = by_y_[group.y_buffer];
    return scan_sorted(list.data() + group.begin, list.data() + group.end).gap;
}

template <class Index>
VerticalSearch SortedGroups<Index>::vertical_gap(Group<Index> group) const {
    const Entry* first = by_x_[group.x_buffer].data() + group.begin;
    const Entry* last = by_x_[group.x_buffer].data() + group.end;
    const SortedScan scan = scan_sorted(first, last);
    // The largest right is the scan's final reach and the smallest left the
    // first one that is not NaN; which of two equal zeros either fold keeps
    // cannot change how the span is used.
    const float smallest_left = scan.first != last ? scan.first->low : first->low;
    return {scan.gap, max_num(scan.reach - smallest_left, 0.0f)};
}

template <class Index>
bool SortedGroups<Index>::has_narrow(Group<Index> group, float threshold) const {
    const std::vector<Entry>& list = by_x_[group.x_buffer];
    for (Index i = group.begin; i < group.end; ++i) {
        if (!(width_of(list[i]) >= threshold)) return true;
    }
    return false;
}

template <class Index>
std::pair<Gap, Index> SortedGroups<Index>::wide_vertical_gap(Group<Index> group, float threshold) const {
    const std::vector<Entry>& list = by_x_[group.x_buffer];
    GapScan scan;
    Index count = 0;
    for (Index i = group.begin; i < group.end; ++i) {
        const Entry& entry = list[i];
        if (width_of(entry) >= threshold) {
            scan.feed(entry.low, entry.high);
            ++count;
        }
    }
    return {scan.result(), count};
}

template <class Index>
std::pair<Group<Index>, Group<Index>> SortedGroups<Index>::split(Group<Index> group, Axis axis, float position) {
    const bool horizontal = axis == Axis::Horizontal;
    // The list of the cut's own axis carries the center; the other looks it up.
    const auto own = [position](const Entry& e) { return e.center < position; };
    const std::vector<float>& centers = horizontal ? center_y_ : center_x_;
    const auto other = [position, &centers](const Entry& e) { return centers[e.box] < position; };

    std::vector<Entry>* own_lists = horizontal ? by_y_ : by_x_;
    std::vector<Entry>* other_lists = horizontal ? by_x_ : by_y_;
    std::uint8_t own_buffer = horizontal ? group.y_buffer : group.x_buffer;
    std::uint8_t other_buffer = horizontal ? group.x_buffer : group.y_buffer;

    const auto [first, in_place] = count_first(own_lists[own_buffer], group.begin, group.end, own);
    if (first == 0 || first == group.size()) return {{group.begin, group.begin, 0, 0}, group};
    const Index middle = group.begin + first;
    if (!in_place) {
        partition_known(own_lists[own_buffer], own_lists[1 - own_buffer], group.begin, group.end, middle, own);
        own_buffer = static_cast<std::uint8_t>(1 - own_buffer);
    }
    partition_known(other_lists[other_buffer], other_lists[1 - other_buffer], group.begin, group.end, middle, other);
    other_buffer = static_cast<std::uint8_t>(1 - other_buffer);

    const std::uint8_t y_buffer = horizontal ? own_buffer : other_buffer;
    const std::uint8_t x_buffer = horizontal ? other_buffer : own_buffer;
    return {{group.begin, middle, y_buffer, x_buffer}, {middle, group.end, y_buffer, x_buffer}};
}

template <class Index>
void SortedGroups<Index>::append_y_then_x(Group<Index> group, std::vector<LayoutBox>& out) {
    const std::vector<Entry>& list = by_y_[group.y_buffer];
    scratch_.clear();
    for (Index i = group.begin; i < group.end; ++i) scratch_.push_back(rank_[list[i].box]);
    std::sort(scratch_.begin(), scratch_.end());
    for (const Index r : scratch_) out.push_back(boxes_[by_rank_[r]]);
}

template class SortedGroups<std::uint32_t>;
template class SortedGroups<std::size_t>;

}  // namespace tarvello::ostrel::detail
