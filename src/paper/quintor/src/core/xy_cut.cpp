#include "paper/quintor/src/core/xy_cut.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>

#include "paper/quintor/src/core/gap_tree.hpp"
#include "paper/quintor/src/core/paper_channel.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"
#include "paper/quintor/src/utils/word_sort.hpp"

namespace tarvello::paper {
namespace {

constexpr float kDensityThreshold = 0.9f;
// Merged lists this long get a gap tree: shorter ones sweep as fast.
constexpr std::size_t kGapTreeFrom = 256;
// Waiting tasks rarely outnumber this (a split waits with one half).
constexpr std::size_t kStackReserve = 64;
// Working lists start with room for this many items, or the page's count.
constexpr std::size_t kListReserve = 1024;
// Sort buffers up to this size are kept for the next fill. The larger fills
// come near the root, a few per page; their buffers are let go at once rather
// than held at full size for the whole cut.
constexpr std::size_t kKeptSortBuffers = 4096;

using Projection = CutSearch::Projection;
using Interval = CutSearch::Interval;

float centre(float lo, float hi) { return (lo + hi) * 0.5f; }

float aspect_ratio(const Element& e) { return (e.x2 - e.x1) / (e.y2 - e.y1); }

// How an element's aspect ratio enters the density test's sums.
enum class DensityTerm : std::uint8_t { None, CrossPositive, OtherPositive, Zero, Irregular };

DensityTerm density_term(const Element& e) {
    if (e.y2 - e.y1 == 0.0f) return DensityTerm::None;
    const float ratio = aspect_ratio(e);
    if (!(std::isfinite(ratio) && ratio >= 0.0f)) return DensityTerm::Irregular;
    if (ratio == 0.0f) return DensityTerm::Zero;
    return e.label == SemanticLabel::CrossLayout ? DensityTerm::CrossPositive : DensityTerm::OtherPositive;
}

// How many of a region's terms are of each kind. Counts, unlike the float
// sums, can be taken apart: a half has what the other half leaves. Where
// there are no cross-layout or irregular terms, only whether any other term
// is positive matters, which the first such term tells: such a region's
// halves are left uncounted.
struct DensityCounts {
    bool counted = true;
    std::size_t cross = 0;      // positive cross-layout terms
    std::size_t other = 0;      // positive terms of the other sum
    std::size_t irregular = 0;  // negative, infinite or NaN terms

    bool only_other() const { return cross == 0 && irregular == 0; }

    void add(DensityTerm term) {
        cross += term == DensityTerm::CrossPositive;
        other += term == DensityTerm::OtherPositive;
        irregular += term == DensityTerm::Irregular;
    }
    DensityCounts operator-(const DensityCounts& part) const {
        return {true, cross - part.cross, other - part.other, irregular - part.irregular};
    }
};

enum class Step { DensityVertical, Horizontal, Vertical };

// A task's elements are a range of positions, the same in the list of each
// axis. A list holds there the task's projections on its axis, sorted by
// leading edge once a search on that axis needed them; at least one of the two
// lists holds them. A split keeps the list of its own axis, where the halves
// mostly lie at either end already. It splits the other's too when that one
// is sorted, and drops it otherwise: only some descendants will search it.
class XYCut {
public:
    XYCut(std::span<const Element> elements, const XYCutConfig& config)
        : elements_(elements),
          config_(config),
          search_(config.min_cut_threshold, config.histogram_resolution_scale) {
        const std::size_t n = elements_.size();
        terms_.resize(n);
        by_x_.resize(n);
        by_y_.resize(n);
        // Room that small pages would otherwise grow into step by step, one
        // allocation each. Large pages grow: reserving all they might need
        // costs more in fresh memory than the steps do.
        stack_.reserve(kStackReserve);
        merged_.reserve(std::min(n, kListReserve));
        projection_scratch_.reserve(std::min(n, kListReserve));
        fallback_.reserve(std::min(n, kListReserve));
        for (std::size_t i = 0; i < n; ++i) {
            const Element& e = elements_[i];
            terms_[i] = density_term(e);
            by_x_[i] = {e.x1, e.x2, i};
        }
    }

    std::vector<std::size_t> run(const Region& region) {
        order_.reserve(elements_.size());
        Task root{0, elements_.size(), region, {}, {}, {}, 0, 0};
        for (const DensityTerm term : terms_) root.density.add(term);
        root.x.content = AxisLists::Unsorted;
        stack_.push_back(root);
        while (!stack_.empty()) {
            const Task task = stack_.back();
            stack_.pop_back();
            // What lies above belonged to tasks already done.
            merged_.resize(task.merged_top);
            gap_trees_.resize(task.trees_top);
            process(task);
        }
        return std::move(order_);
    }

private:
    // Where the centres of a task's elements lie on one axis, so that a cut
    // leaving them all on one side is known without counting.
    struct CentreBounds {
        float min = std::numeric_limits<float>::infinity();  // of those that are not NaN
        float max = -std::numeric_limits<float>::infinity();
        bool any_nan = false;

        void add(float c) {
            if (std::isnan(c)) any_nan = true;
            if (c < min) min = c;
            if (c > max) max = c;
        }
        // NaN centres go to the second half.
        bool all_second(float cut) const { return !(min < cut); }
        bool all_first(float cut) const { return !any_nan && max < cut; }
    };

    // What a task has of its own on one axis: what the range of the axis's
    // list holds, where its merged intervals lie in merged_, and the merged
    // list they are part of, with its gap tree in gap_trees_ (if any).
    struct AxisLists {
        // Unsorted: the elements in input order, begin + i at position i.
        enum Content : std::uint8_t { Stale, Unsorted, Sorted } content = Stale;
        enum Merged : std::uint8_t { NotBuilt, Built, Unusable } merged = NotBuilt;
        std::size_t merged_begin = 0;
        std::size_t merged_end = 0;
        std::size_t list_begin = 0;
        std::size_t tree_begin = 0;
        std::size_t tree_end = 0;
    };

    // merged_ and gap_trees_ are stacks: below merged_top and trees_top lie
    // the intervals and trees of this task and of every task waiting below it
    // on the work stack; what it builds itself goes above.
    struct Task {
        std::size_t begin;
        std::size_t end;
        Region region;
        DensityCounts density;
        AxisLists x;
        AxisLists y;
        std::size_t merged_top;
        std::size_t trees_top;
    };

    // One axis of the task being processed: its lists, its centres once
    // known, and the outcome of a search on the current interval, kept until
    // a margin cut narrows that interval.
    struct Axis {
        AxisLists lists;
        bool centres_known = false;
        CentreBounds centres;
        bool searched = false;
        CutSearch::Outcome outcome;
    };

    // A task's elements stay the same through any number of margin cuts:
    // those narrow `region` and are searched again in place.
    struct Current {
        Region region;
        bool vertical_first = false;
        Axis x;
        Axis y;
    };

    enum class Cut { None, Margin, Split };

    template <class T>
    static std::span<T> range_of(ScratchVector<T>& list, const Task& task) {
        return {list.data() + task.begin, task.end - task.begin};
    }

    // The task's elements, from whichever list holds them (searches only
    // ever add a list, so the task's own say which).
    std::span<Projection> members(const Task& task) {
        return range_of(task.x.content != AxisLists::Stale ? by_x_ : by_y_, task);
    }

    // Fills a task's list on one axis with the projections of its elements,
    // sorted by leading edge (NaN as -infinity: it marks from bin 0), equal
    // edges in the order of `held` (the other axis's list), or in input order
    // when it is empty. Read from the elements, so the list needs no copy of
    // itself to sort.
    void fill_sorted(const Task& task, std::span<Projection> list, bool on_x, std::span<const Projection> held) {
        const auto member_at = [&](std::size_t i) { return held.empty() ? task.begin + i : held[i].member; };
        const auto projection = [&](std::size_t member) {
            const Element& e = elements_[member];
            return on_x ? Projection{e.x1, e.x2, member} : Projection{e.y1, e.y2, member};
        };
        const auto leading_edge = [](const Projection& p) {
            return std::isnan(p.lo) ? -std::numeric_limits<float>::infinity() : p.lo;
        };
        std::size_t filled = 0;
        for_each_by_edge(
            list.size(), [&](std::size_t i) { return leading_edge(projection(member_at(i))); },
            [&](std::size_t i) { list[filled++] = projection(member_at(i)); }, sorting_);
        if (list.size() > kKeptSortBuffers) sorting_ = SortBuffers{};
    }

    void process(const Task& task) {
        if (task.end == task.begin) return;
        const std::span<Projection> elements = members(task);
        if (elements.size() == 1) {
            order_.push_back(elements.front().member);
            return;
        }
        Current current;
        current.region = task.region;
        current.x.lists = task.x;
        current.y.lists = task.y;
        current.vertical_first = vertical_first(task, elements);
        // Without debug records, the margin cuts of a task that cannot be
        // split only narrow a region nothing else reads.
        const bool records = diagnostics::passes(diagnostics::LogLevel::Debug, diagnostics::log_facade().max_level());
        if (records || !cannot_split(task, current)) {
            for (;;) {
                Cut cut = Cut::None;
                if (current.vertical_first) cut = try_cut(task, current, Step::DensityVertical);
                if (cut == Cut::None) cut = try_cut(task, current, Step::Horizontal);
                // On the density path this repeats the first search on unchanged
                // input: the same outcome, and its records once more.
                if (cut == Cut::None) cut = try_cut(task, current, Step::Vertical);
                if (cut == Cut::Split) return;
                if (cut == Cut::None) break;
            }
        }
        diagnostics::debug(kPaperChannel, "[XYCut] No cuts found, sorting {} elements by position", elements.size());
        // sort_by_position's order: equal keys in input order.
        fallback_.clear();
        for (const Projection& p : elements) {
            const Element& e = elements_[p.member];
            fallback_.push_back(
                {position_key(centre(e.x1, e.x2), centre(e.y1, e.y2), config_.same_row_tolerance), p.member});
        }
        sort_position_keys(fallback_);
        for (const PositionKey& k : fallback_) order_.push_back(k.index);
    }

    // True when the summed aspect ratios make the region look multi-column,
    // so the vertical search goes first.
    bool vertical_first(const Task& task, std::span<const Projection> elements) {
        const DensityCounts& counts = task.density;
        // With only positive finite terms in the other sum, the cross-layout
        // sum is zero, and the other one is zero exactly when it has none.
        if (!counts.counted) {
            return std::none_of(elements.begin(), elements.end(), [&](const Projection& p) {
                return terms_[p.member] == DensityTerm::OtherPositive;
            });
        }
        if (counts.only_other()) return counts.other == 0;
        // Otherwise the sums themselves, added in input order.
        members_in_order_.clear();
        for (const Projection& p : elements) members_in_order_.push_back(p.member);
        std::sort(members_in_order_.begin(), members_in_order_.end());
        float cross_sum = 0.0f;
        float other_sum = 0.0f;
        for (const std::size_t i : members_in_order_) {
            if (terms_[i] == DensityTerm::None) continue;
            const Element& e = elements_[i];
            (e.label == SemanticLabel::CrossLayout ? cross_sum : other_sum) += aspect_ratio(e);
        }
        return other_sum == 0.0f || cross_sum / other_sum > kDensityThreshold;
    }

    // True when the projections make one hull on each axis that every cut
    // found in the task's region must lie beside. The axis searched first is
    // checked first: the other one is searched anyway once that one is known
    // never to split.
    bool cannot_split(const Task& task, Current& current) {
        const Region& r = current.region;
        const auto beside = [&](Axis& axis, bool on_x) {
            const float min = on_x ? r.x_min : r.y_min;
            const float max = on_x ? r.x_max : r.y_max;
            if (axis.lists.merged == AxisLists::NotBuilt) {
                if (const std::optional<Interval> hull = common_hull(members(task), on_x)) {
                    return search_.cuts_only_beside(*hull, min, max);
                }
            }
            prepare(task, axis, on_x, min, max);
            const std::span<const Interval> merged = merged_of(axis.lists);
            return axis.lists.merged == AxisLists::Built && merged.size() == 1 &&
                   search_.cuts_only_beside(merged.front(), min, max);
        };
        if (current.vertical_first) return beside(current.x, true) && beside(current.y, false);
        return beside(current.y, false) && beside(current.x, true);
    }

    // The hull of the elements' projections on one axis when some point lies
    // in all of them (as in the lines of a paragraph), found without sorting:
    // their covered bins then all reach that point's bin, and their union is
    // the hull's. Its centres are left out.
    std::optional<Interval> common_hull(std::span<const Projection> elements, bool on_x) const {
        const float inf = std::numeric_limits<float>::infinity();
        float min_lo = inf;
        float max_lo = -inf;
        float min_hi = inf;
        float max_hi = -inf;
        for (const Projection& p : elements) {
            const Element& e = elements_[p.member];
            const float lo = on_x ? e.x1 : e.y1;
            const float hi = on_x ? e.x2 : e.y2;
            if (!(std::isfinite(lo) && std::isfinite(hi) && lo <= hi)) return std::nullopt;
            min_lo = std::min(min_lo, lo);
            max_lo = std::max(max_lo, lo);
            min_hi = std::min(min_hi, hi);
            max_hi = std::max(max_hi, hi);
            // Most regions that are not one paragraph show it at once.
            if (max_lo > min_hi) return std::nullopt;
        }
        return Interval{min_lo, max_hi, 0.0f, 0.0f, 0, true};
    }

    // The search outcome on the current interval of one axis, over the
    // merged projections where they stand for the elements.
    const CutSearch::Outcome& search(const Task& task, Axis& axis, bool on_x, float min, float max) {
        if (axis.searched) return axis.outcome;
        axis.searched = true;
        prepare(task, axis, on_x, min, max);
        const AxisLists& lists = axis.lists;
        if (lists.merged == AxisLists::Built) {
            const CutSearch::MergedRange range{
                {merged_.data() + lists.list_begin, lists.merged_end - lists.list_begin},
                lists.merged_begin - lists.list_begin,
                lists.merged_end - lists.list_begin,
                {gap_trees_.data() + lists.tree_begin, lists.tree_end - lists.tree_begin}};
            if (search_.outcome_of_merged(range, min, max, axis.outcome)) return axis.outcome;
        }
        axis.outcome = search_.outcome(range_of(on_x ? by_x_ : by_y_, task), min, max);
        return axis.outcome;
    }

    // Sorts the task's projections on one axis, merges them and bounds their
    // centres, unless done.
    void prepare(const Task& task, Axis& axis, bool on_x, float min, float max) {
        AxisLists& lists = axis.lists;
        ScratchVector<Projection>& list = on_x ? by_x_ : by_y_;
        const std::span<Projection> own = range_of(list, task);
        if (lists.content != AxisLists::Sorted) {
            const bool stale = lists.content == AxisLists::Stale;
            fill_sorted(task, own, on_x, stale ? range_of(on_x ? by_y_ : by_x_, task) : std::span<const Projection>{});
            lists.content = AxisLists::Sorted;
        }
        if (lists.merged == AxisLists::NotBuilt) {
            lists.merged_begin = merged_.size();
            const bool merged = elements_.size() <= CutSearch::kMaxMergedProjections &&
                                search_.merge_projections(own, min, max, merged_);
            if (!merged) merged_.resize(lists.merged_begin);
            lists.merged = merged ? AxisLists::Built : AxisLists::Unusable;
            lists.merged_end = merged_.size();
            lists.list_begin = lists.merged_begin;
            // Member positions count from the list's start.
            for (std::size_t i = lists.merged_begin; i < lists.merged_end; ++i) {
                merged_[i].end += static_cast<std::uint32_t>(task.begin);
            }
            lists.tree_begin = lists.tree_end = gap_trees_.size();
            if (lists.merged_end - lists.merged_begin >= kGapTreeFrom) {
                build_gap_tree(merged_of(lists), gap_trees_);
                lists.tree_end = gap_trees_.size();
            }
        }
        if (!axis.centres_known) {
            axis.centres_known = true;
            axis.centres = {};
            const std::span<const Interval> merged = merged_of(lists);
            if (lists.merged == AxisLists::Built && !merged.empty()) {
                // Disjoint intervals in ascending order: so are their centres.
                axis.centres.min = merged.front().min_centre;
                axis.centres.max = merged.back().max_centre;
            } else {
                for (const Projection& p : own) axis.centres.add(centre(p.lo, p.hi));
            }
        }
    }

    std::span<const Interval> merged_of(const AxisLists& lists) const {
        return {merged_.data() + lists.merged_begin, lists.merged_end - lists.merged_begin};
    }

    // Searches one axis. A usable cut that leaves every element on one side
    // narrows the current region; any other splits the task into two pushed
    // in reverse, so that the first half is ordered (and logs) first.
    Cut try_cut(const Task& task, Current& current, Step step) {
        Region& r = current.region;
        const std::size_t count = task.end - task.begin;
        const bool on_x = step != Step::Horizontal;
        Axis& axis = on_x ? current.x : current.y;
        const float min = on_x ? r.x_min : r.y_min;
        const float max = on_x ? r.x_max : r.y_max;
        const CutSearch::Outcome& outcome = search(task, axis, on_x, min, max);
        std::optional<float> found;
        if (on_x) {
            found = search_.report_vertical(outcome, count, min, max);
        } else if (outcome.found) {
            found = outcome.cut;
        }
        if (!found) return Cut::None;
        const float cut = *found;
        const bool none_first = axis.centres.all_second(cut);
        const bool all_first = axis.centres.all_first(cut);
        // A cut that leaves every element on one side must still narrow the
        // region, or the same cut would be found again forever.
        if ((none_first || all_first) && !(min < cut && cut < max)) return Cut::None;
        switch (step) {
            case Step::DensityVertical:
                diagnostics::debug(kPaperChannel, "[XYCut] Vertical cut at x={:.0}, splitting {} elements (multi-column)",
                                   cut, count);
                break;
            case Step::Horizontal:
                diagnostics::debug(kPaperChannel, "[XYCut] Horizontal cut at y={:.0}, splitting {} elements", cut, count);
                break;
            case Step::Vertical:
                diagnostics::debug(kPaperChannel, "[XYCut] Vertical cut at x={:.0}, splitting {} elements", cut, count);
                break;
        }
        if (none_first || all_first) {
            const std::size_t first_count = all_first ? count : 0;
            log_halves(on_x, first_count, count - first_count);
            (all_first ? (on_x ? r.x_max : r.y_max) : (on_x ? r.x_min : r.y_min)) = cut;
            axis.searched = false;
            return Cut::Margin;
        }
        split(task, current, on_x, cut);
        return Cut::Split;
    }

    static void log_halves(bool on_x, std::size_t first_count, std::size_t second_count) {
        if (on_x) {
            diagnostics::debug(kPaperChannel, "  Left: {} elements, Right: {} elements", first_count, second_count);
        } else {
            diagnostics::debug(kPaperChannel, "  Top: {} elements, Bottom: {} elements", first_count, second_count);
        }
    }

    DensityCounts count_density(std::span<const Projection> elements) const {
        DensityCounts counts;
        for (const Projection& p : elements) counts.add(terms_[p.member]);
        return counts;
    }

    // Splits the elements of `task`, as `current` has narrowed its region, at
    // the cut, which needs the axis's list sorted.
    //
    // Merged intervals are disjoint and ascend, and so do their centres: the
    // intervals wholly on the first side lead, and the rest lie wholly on the
    // second side unless the first of them straddles the cut. When none does,
    // nothing moves: the first half is the list's prefix up to the last
    // first-side member, and each half keeps its part of the intervals.
    void split(const Task& task, const Current& current, bool on_x, float cut) {
        const AxisLists& along = on_x ? current.x.lists : current.y.lists;
        const std::span<Projection> sorted = range_of(on_x ? by_x_ : by_y_, task);
        const std::size_t count = sorted.size();
        bool whole = false;
        std::size_t split_at = 0;  // in merged_
        std::size_t first_count = 0;
        if (along.merged == AxisLists::Built) {
            const std::span<const Interval> intervals = merged_of(along);
            const auto second = std::partition_point(intervals.begin(), intervals.end(),
                                                     [&](const Interval& i) { return i.max_centre < cut; });
            whole = second == intervals.end() || !(second->min_centre < cut);
            split_at = along.merged_begin + static_cast<std::size_t>(second - intervals.begin());
            if (second != intervals.begin()) first_count = std::prev(second)->end - task.begin;
            // The centre bounds came from the same intervals: they put elements on both sides.
            if (whole && (first_count == 0 || first_count >= count)) {
                throw std::logic_error("XY-cut: merged intervals disagree with their centres");
            }
        }
        if (!whole) {
            const auto first_half = [&](const Projection& p) { return centre(p.lo, p.hi) < cut; };
            first_count = static_cast<std::size_t>(std::count_if(sorted.begin(), sorted.end(), first_half));
            stable_split(sorted, first_half, first_count, projection_scratch_);
        }
        log_halves(on_x, first_count, count - first_count);
        // A sorted list of the other axis stays sorted in each half: cheaper
        // to split than to sort again.
        const bool across_sorted = (on_x ? current.y.lists : current.x.lists).content == AxisLists::Sorted;
        if (across_sorted) {
            const auto first_half = [&](const Projection& p) {
                const Element& e = elements_[p.member];
                return (on_x ? centre(e.x1, e.x2) : centre(e.y1, e.y2)) < cut;
            };
            stable_split(range_of(on_x ? by_y_ : by_x_, task), first_half, first_count, projection_scratch_);
        }
        DensityCounts first_density{false};
        DensityCounts second_density{false};
        if (task.density.counted && !task.density.only_other()) {
            // Counted over the smaller half.
            if (first_count <= count - first_count) {
                first_density = count_density(sorted.first(first_count));
                second_density = task.density - first_density;
            } else {
                second_density = count_density(sorted.subspan(first_count));
                first_density = task.density - second_density;
            }
        }

        const Region& r = current.region;
        const std::size_t middle = task.begin + first_count;
        Task first{task.begin, middle, r, first_density, {}, {}, task.merged_top, task.trees_top};
        Task second{middle, task.end, r, second_density, {}, {}, task.merged_top, task.trees_top};
        (on_x ? first.region.x_max : first.region.y_max) = cut;
        (on_x ? second.region.x_min : second.region.y_min) = cut;
        AxisLists& first_lists = on_x ? first.x : first.y;
        AxisLists& second_lists = on_x ? second.x : second.y;
        first_lists.content = AxisLists::Sorted;
        second_lists.content = AxisLists::Sorted;
        if (across_sorted) {
            (on_x ? first.y : first.x).content = AxisLists::Sorted;
            (on_x ? second.y : second.x).content = AxisLists::Sorted;
        }
        if (whole) {
            // A list this task built itself (all of which is its own range)
            // moves down to the start of its own part of merged_, over any it
            // built for the other axis; so does its tree in gap_trees_.
            AxisLists kept = along;
            if (kept.list_begin > task.merged_top) {
                const std::size_t shift = kept.list_begin - task.merged_top;
                move_down(merged_, kept.list_begin, kept.merged_end, shift);
                kept.list_begin -= shift;
                kept.merged_begin -= shift;
                kept.merged_end -= shift;
                split_at -= shift;
            }
            if (kept.tree_begin > task.trees_top) {
                const std::size_t shift = kept.tree_begin - task.trees_top;
                move_down(gap_trees_, kept.tree_begin, kept.tree_end, shift);
                kept.tree_begin -= shift;
                kept.tree_end -= shift;
            }
            first_lists = kept;
            first_lists.merged_end = split_at;
            second_lists = kept;
            second_lists.merged_begin = split_at;
            first.merged_top = second.merged_top = std::max(kept.merged_end, task.merged_top);
            first.trees_top = second.trees_top = std::max(kept.tree_end, task.trees_top);
        }
        stack_.push_back(second);
        stack_.push_back(first);
    }

    template <class T>
    static void move_down(ScratchVector<T>& stack, std::size_t begin, std::size_t end, std::size_t shift) {
        const auto at = [&](std::size_t i) { return stack.begin() + static_cast<std::ptrdiff_t>(i); };
        std::copy(at(begin), at(end), at(begin - shift));
    }

    // Moves the first half to the front, both halves keeping their order.
    // Items already on their side at either end stay (in a top-down column
    // the peeled line is the first one and the rest follow). `first_count`
    // is how many items belong to the first half: once that many lead, the
    // rest are all of the second half and nothing moves.
    template <class T, class FirstHalf>
    static void stable_split(std::span<T> items, const FirstHalf& first_half, std::size_t first_count,
                             ScratchVector<T>& scratch) {
        std::size_t kept = 0;
        while (kept < items.size() && first_half(items[kept])) ++kept;
        if (kept == first_count) return;
        std::size_t tail = items.size();
        while (tail > kept && !first_half(items[tail - 1])) --tail;
        scratch.clear();
        for (std::size_t i = kept; i < tail; ++i) {
            const T item = items[i];
            if (first_half(item)) {
                items[kept++] = item;
            } else {
                scratch.push_back(item);
            }
        }
        std::copy(scratch.begin(), scratch.end(), items.begin() + static_cast<std::ptrdiff_t>(kept));
    }

    std::span<const Element> elements_;
    XYCutConfig config_;
    CutSearch search_;
    ScratchVector<DensityTerm> terms_;
    ScratchVector<Projection> by_x_;
    ScratchVector<Projection> by_y_;
    ScratchVector<Task> stack_;
    ScratchVector<Projection> projection_scratch_;
    SortBuffers sorting_;
    ScratchVector<Interval> merged_;
    ScratchVector<float> gap_trees_;
    ScratchVector<std::size_t> members_in_order_;
    ScratchVector<PositionKey> fallback_;
    std::vector<std::size_t> order_;  // positions in elements_, handed to the caller
};

}  // namespace

std::vector<std::size_t> xy_cut_positions(std::span<const Element> elements, const XYCutConfig& config,
                                          const Region& region) {
    const ScratchScope scope;
    return XYCut(elements, config).run(region);
}

ReadingOrder ids_at(std::span<const std::size_t> positions, std::span<const Element> elements) {
    ReadingOrder ids;
    ids.reserve(positions.size());
    for (const std::size_t p : positions) ids.push_back(elements[p].id);
    return ids;
}

ReadingOrder recursive_xy_cut(std::span<const Element> elements, const XYCutConfig& config, const Region& region) {
    return ids_at(xy_cut_positions(elements, config, region), elements);
}

}  // namespace tarvello::paper
