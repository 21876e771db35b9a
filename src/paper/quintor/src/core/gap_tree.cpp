#include "paper/quintor/src/core/gap_tree.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace tarvello::paper {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
// Subtrees of this many gaps or fewer are read along their row of leaves
// rather than descended: runs of equal widths, which the rounding bound
// cannot set apart, then cost one step each.
constexpr std::size_t kScanGaps = 16;

std::size_t leaves_for(std::size_t intervals) { return std::bit_ceil(std::max<std::size_t>(intervals, 2) - 1); }

// b - a, rounded up to a float.
float width_above(float a, float b) {
    const double exact = static_cast<double>(b) - static_cast<double>(a);
    const auto rounded = static_cast<float>(exact);
    return static_cast<double>(rounded) < exact ? std::nextafter(rounded, kInfinity) : rounded;
}

}  // namespace

void build_gap_tree(std::span<const CutSearch::Interval> list, ScratchVector<float>& tree) {
    const std::size_t leaves = leaves_for(list.size());
    const std::size_t base = tree.size();
    tree.resize(base + 2 * leaves, -kInfinity);
    float* const node = tree.data() + base;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        const bool solid = list[i].solid && list[i + 1].solid;
        node[leaves + i] = solid ? width_above(list[i].hi, list[i + 1].lo) : kInfinity;
    }
    for (std::size_t i = leaves - 1; i >= 1; --i) node[i] = std::max(node[2 * i], node[2 * i + 1]);
}

// Gap i lies between intervals i and i + 1; its run is [end of i, start of
// i + 1) when every interval marks a bin, as solid ones do. A bin position
// q(x) = fl(fl(x - origin) / bin_size) is within 4.0001u * |x - origin| *
// bins / range of exact (u = 2^-24; one rounding each for x - origin, the
// range, the bin size and the quotient), so a gap of width w holds at most
// w * bins / range + 2 * slack bins, slack bounding that error for every end
// in the range.
bool choose_run_by_gap_tree(const AxisGrid& grid, std::span<const CutSearch::Interval> list, std::size_t first,
                            std::size_t last, std::span<const float> tree, GapChooser& chooser) {
    const std::size_t leaves = tree.size() / 2;
    const double origin = grid.min;
    // The range is fl(max - min), so the exact one is at least range / (1 + u).
    const double bins_per_unit = static_cast<double>(grid.bins) / grid.range * (1.0 + 0x1p-23);
    const double farthest = std::max(std::fabs(list[first].lo - origin), std::fabs(list[last - 1].hi - origin));
    // The last term covers x - origin or a quotient in the subnormal range.
    const double slack = 4.0001 * 0x1p-24 * farthest * bins_per_unit + 1e-6;
    const auto may_beat = [&](float width) {
        return static_cast<double>(width) * bins_per_unit + 2.0 * slack >= static_cast<double>(chooser.length_to_beat());
    };

    // With the first and the last interval marking bins, every solid one in
    // between does too, and the sweep's runs are the head, the gaps and the
    // tail.
    const BinSpan head = covered_bins(grid, list[first].lo, list[first].hi);
    const BinSpan tail = covered_bins(grid, list[last - 1].lo, list[last - 1].hi);
    if (head.end <= head.start || tail.end <= tail.start) return false;
    if (head.start > 0) chooser.offer(0, head.start);
    struct Visit {
        std::size_t node;
        std::size_t begin;  // first gap under the node
        std::size_t size;
    };
    // Depth first, left child on top: at most one waiting sibling per level.
    std::array<Visit, std::numeric_limits<std::size_t>::digits + 1> stack;
    std::size_t waiting = 0;
    stack[waiting++] = {1, 0, leaves};
    const std::size_t gaps_end = last - 1;
    while (waiting != 0) {
        const Visit v = stack[--waiting];
        if (v.begin >= gaps_end || v.begin + v.size <= first || !may_beat(tree[v.node])) continue;
        if (v.size > kScanGaps) {
            const std::size_t half = v.size / 2;
            stack[waiting++] = {2 * v.node + 1, v.begin + half, half};
            stack[waiting++] = {2 * v.node, v.begin, half};
            continue;
        }
        for (std::size_t gap = std::max(v.begin, first), end = std::min(v.begin + v.size, gaps_end); gap < end; ++gap) {
            const float width = tree[leaves + gap];
            if (!may_beat(width)) continue;
            if (width == kInfinity) return false;
            const std::uint64_t run_start = covered_bins(grid, list[gap].lo, list[gap].hi).end;
            const std::uint64_t run_end = covered_bins(grid, list[gap + 1].lo, list[gap + 1].hi).start;
            if (run_end > run_start) chooser.offer(run_start, run_end - run_start);
        }
    }
    if (tail.end < grid.bins) chooser.offer(tail.end, grid.bins - tail.end);
    return true;
}

}  // namespace tarvello::paper
