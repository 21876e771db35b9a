#include "paper/quintor/src/core/xy_cut.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/core/paper_channel.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"

namespace tarvello::paper {
namespace {

constexpr float kDensityThreshold = 0.9f;

using Projection = CutSearch::Projection;

float centre(float lo, float hi) { return (lo + hi) * 0.5f; }

// An element's aspect ratio and the sum it goes to, worked out once: the sums
// themselves are redone per region, in input order.
struct DensityTerm {
    enum Kind : std::uint8_t { None, Cross, Other };
    float ratio = 0.0f;
    Kind kind = None;
};

DensityTerm density_term(const Element& e) {
    const float height = e.y2 - e.y1;
    if (height == 0.0f) return {};
    return {(e.x2 - e.x1) / height, e.label == SemanticLabel::CrossLayout ? DensityTerm::Cross : DensityTerm::Other};
}

// One element as the input-order list holds it: what the density test and
// the splits read, next to each other, and where the element itself is.
struct WorkItem {
    std::size_t index;
    float centre_x;
    float centre_y;
    DensityTerm term;
};

enum class Step { DensityVertical, Horizontal, Vertical };

// A task's elements are a range of work items in input order (which the
// halves and the fallback keep). The same range of each axis's list holds
// their projections sorted by leading edge (so the covered bin spans come out
// sorted) once a search on that axis needed them. A split keeps the list of
// its own axis, whose halves mostly lie at either end already, and drops the
// other's, which only some of its descendants will search again.
class XYCut {
public:
    XYCut(std::span<const Element> elements, const XYCutConfig& config)
        : elements_(elements),
          config_(config),
          search_(config.min_cut_threshold, config.histogram_resolution_scale) {
        const std::size_t n = elements_.size();
        // Filled field by field: a whole item built on the stack and copied
        // in stalls on the partial writes.
        work_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const Element& e = elements_[i];
            WorkItem& item = work_[i];
            item.index = i;
            item.centre_x = centre(e.x1, e.x2);
            item.centre_y = centre(e.y1, e.y2);
            item.term = density_term(e);
        }
        by_x_.resize(n);
        by_y_.resize(n);
    }

    ReadingOrder run(const Region& region) {
        order_.reserve(elements_.size());
        Survey survey;
        for (const WorkItem& item : work_) survey.add(item);
        stack_.push_back({0, elements_.size(), region, survey, {}, {}, 0, 0});
        while (!stack_.empty()) {
            const Task task = stack_.back();
            stack_.pop_back();
            // What lies above belonged to tasks already done.
            merged_.resize(task.merged_end);
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

    // What a task knows of its elements before any search: the sums of the
    // density test, added in input order, and the centres' bounds. The split
    // that makes a task works them out as it moves the elements.
    struct Survey {
        float cross_sum = 0.0f;
        float other_sum = 0.0f;
        CentreBounds x;
        CentreBounds y;

        void add(const WorkItem& item) {
            if (item.term.kind == DensityTerm::Cross) cross_sum += item.term.ratio;
            if (item.term.kind == DensityTerm::Other) other_sum += item.term.ratio;
            x.add(item.centre_x);
            y.add(item.centre_y);
        }
        // True when the summed aspect ratios make the region look
        // multi-column, so the vertical search goes first.
        bool vertical_first() const { return other_sum == 0.0f || cross_sum / other_sum > kDensityThreshold; }
    };

    // What a task has of its own on one axis: whether the range of the
    // axis's list holds its projections sorted, and where its merged
    // intervals lie in merged_.
    struct AxisLists {
        bool sorted = false;
        enum Merged : std::uint8_t { NotBuilt, Built, Unusable } merged = NotBuilt;
        std::size_t merged_begin = 0;
        std::size_t merged_end = 0;
    };

    // merged_ is a stack: a task's intervals sit above those of every task
    // still waiting below it on the work stack, from merged_begin to
    // merged_end, and what it builds itself goes above that.
    struct Task {
        std::size_t begin;
        std::size_t end;
        Region region;
        Survey survey;
        AxisLists x;
        AxisLists y;
        std::size_t merged_begin;
        std::size_t merged_end;
    };

    // One axis of the task being processed: its lists, its centres, and the
    // outcome of a search on the current interval, kept until a margin cut
    // narrows that interval.
    struct Axis {
        AxisLists lists;
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
    static std::span<T> range_of(std::vector<T>& list, const Task& task) {
        return {list.data() + task.begin, task.end - task.begin};
    }

    // By leading edge, NaN as -infinity (it marks from bin 0): each edge
    // becomes an integer key with the position packed under it, and a plain
    // sort of the keys orders the projections.
    void sort_by_leading_edge(std::span<Projection> projections) {
        const std::size_t n = projections.size();
        if (n > std::numeric_limits<std::uint32_t>::max()) {
            std::sort(projections.begin(), projections.end(), [](const Projection& a, const Projection& b) {
                return edge_key(a.lo) < edge_key(b.lo);
            });
            return;
        }
        sort_keys_.clear();
        for (std::size_t i = 0; i < n; ++i) {
            sort_keys_.push_back(std::uint64_t{edge_key(projections[i].lo)} << 32 | i);
        }
        std::sort(sort_keys_.begin(), sort_keys_.end());
        projection_scratch_.assign(projections.begin(), projections.end());
        for (std::size_t i = 0; i < n; ++i) projections[i] = projection_scratch_[sort_keys_[i] & 0xFFFF'FFFFu];
    }

    // Ascending with the edge's float order; NaN ties with -infinity.
    static std::uint32_t edge_key(float lo) {
        if (std::isnan(lo)) lo = -std::numeric_limits<float>::infinity();
        if (lo == 0.0f) lo = 0.0f;
        return static_cast<std::uint32_t>(total_order_key(lo)) ^ 0x8000'0000u;
    }

    void process(const Task& task) {
        const std::span<WorkItem> items = range_of(work_, task);
        if (items.empty()) return;
        if (items.size() == 1) {
            order_.push_back(elements_[items.front().index].id);
            return;
        }
        Current current;
        current.region = task.region;
        current.vertical_first = task.survey.vertical_first();
        current.x.centres = task.survey.x;
        current.y.centres = task.survey.y;
        current.x.lists = task.x;
        current.y.lists = task.y;
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
        diagnostics::debug(kPaperChannel, "[XYCut] No cuts found, sorting {} elements by position", items.size());
        // sort_by_position's order, from the centres the items hold.
        fallback_.clear();
        for (const WorkItem& item : items) {
            fallback_.push_back({position_key(item.centre_x, item.centre_y, config_.same_row_tolerance), item.index});
        }
        std::sort(fallback_.begin(), fallback_.end(), [](const PositionKey& a, const PositionKey& b) {
            return a.key != b.key ? a.key < b.key : a.index < b.index;
        });
        for (const PositionKey& k : fallback_) order_.push_back(elements_[k.index].id);
    }

    // The search outcome on the current interval of one axis, over the
    // merged projections where they stand for the elements.
    const CutSearch::Outcome& search(const Task& task, Axis& axis, bool on_x, float min, float max) {
        if (axis.searched) return axis.outcome;
        axis.searched = true;
        AxisLists& lists = axis.lists;
        std::vector<Projection>& sorted = on_x ? by_x_ : by_y_;
        if (!lists.sorted) {
            const std::span<Projection> projections = range_of(sorted, task);
            const std::span<const WorkItem> items = range_of(work_, task);
            for (std::size_t i = 0; i < items.size(); ++i) {
                const Element& e = elements_[items[i].index];
                projections[i] = on_x ? Projection{e.x1, e.x2} : Projection{e.y1, e.y2};
            }
            sort_by_leading_edge(projections);
            lists.sorted = true;
        }
        if (lists.merged == AxisLists::NotBuilt) {
            lists.merged_begin = merged_.size();
            const bool merged = search_.merge_projections(range_of(sorted, task), min, max, merged_);
            if (!merged) merged_.resize(lists.merged_begin);
            lists.merged = merged ? AxisLists::Built : AxisLists::Unusable;
            lists.merged_end = merged_.size();
        }
        if (lists.merged == AxisLists::Built && search_.outcome_of_merged(merged_of(lists), min, max, axis.outcome)) {
            return axis.outcome;
        }
        axis.outcome = search_.outcome(range_of(sorted, task), min, max);
        return axis.outcome;
    }

    std::span<const CutSearch::Interval> merged_of(const AxisLists& lists) const {
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

    // Splits the elements of `task`, as `current` has narrowed its region, at
    // the cut. The halves keep the cut axis's merged intervals when every
    // interval's members go to one side, first-side intervals first; the
    // other axis's lists are left to be made again.
    //
    // Then the first half is a prefix of the axis's sorted list (intervals
    // are disjoint and the list is sorted by leading edge), which tells how
    // many elements it has. The input-order list moves its first-half items
    // to the front, surveying both halves as it goes; second-half items after
    // the last first-half one stay where they are (a peeled band leaves the
    // rest of a long column untouched).
    void split(const Task& task, const Current& current, bool on_x, float cut) {
        const AxisLists& along = on_x ? current.x.lists : current.y.lists;
        bool whole = along.merged == AxisLists::Built;
        const std::span<const CutSearch::Interval> intervals = merged_of(along);
        std::size_t first_intervals = 0;  // first-side intervals, all leading
        for (std::size_t i = 0; whole && i < intervals.size(); ++i) {
            if (intervals[i].max_centre < cut) {
                whole = i == first_intervals++;
            } else {
                whole = !(intervals[i].min_centre < cut);
            }
        }
        const std::span<WorkItem> items = range_of(work_, task);
        const std::span<Projection> sorted = range_of(on_x ? by_x_ : by_y_, task);
        const auto item_first = [&](const WorkItem& item) { return (on_x ? item.centre_x : item.centre_y) < cut; };
        const auto along_first = [&](const Projection& p) { return centre(p.lo, p.hi) < cut; };
        std::size_t first_count = 0;
        if (whole) {
            while (first_count < sorted.size() && along_first(sorted[first_count])) ++first_count;
        } else {
            first_count = static_cast<std::size_t>(std::count_if(items.begin(), items.end(), item_first));
            stable_split(sorted, along_first, first_count, projection_scratch_);
        }
        Survey first_survey;
        Survey second_survey;
        std::size_t placed = 0;
        std::size_t next = 0;
        work_scratch_.clear();
        for (; placed < first_count && next < items.size(); ++next) {
            const WorkItem item = items[next];
            if (item_first(item)) {
                first_survey.add(item);
                items[placed++] = item;
            } else {
                second_survey.add(item);
                work_scratch_.push_back(item);
            }
        }
        if (placed != first_count) throw std::logic_error("XY-cut: merged intervals disagree with their elements");
        std::copy(work_scratch_.begin(), work_scratch_.end(), items.begin() + static_cast<std::ptrdiff_t>(placed));
        for (; next < items.size(); ++next) second_survey.add(items[next]);
        const std::size_t count = task.end - task.begin;
        log_halves(on_x, first_count, count - first_count);

        // This task's own intervals are done with. The second half, which
        // waits longer, keeps its intervals where they are when they start
        // this task's own (the first half's few below them then wait as
        // garbage until the second half is done), or has them moved down to
        // that start; the first half's go above.
        const Region& r = current.region;
        const std::size_t middle = task.begin + first_count;
        Task second{middle, task.end, r, second_survey, {}, {}, task.merged_begin, task.merged_begin};
        Task first{task.begin, middle, r, first_survey, {}, {}, task.merged_begin, task.merged_begin};
        (on_x ? second.region.x_min : second.region.y_min) = cut;
        (on_x ? first.region.x_max : first.region.y_max) = cut;
        AxisLists& second_lists = on_x ? second.x : second.y;
        AxisLists& first_lists = on_x ? first.x : first.y;
        second_lists.sorted = true;
        first_lists.sorted = true;
        if (whole) {
            const auto at = [&](std::size_t i) { return merged_.begin() + static_cast<std::ptrdiff_t>(i); };
            const std::size_t split_at = along.merged_begin + first_intervals;
            first_merged_.assign(at(along.merged_begin), at(split_at));
            const std::size_t second_begin = along.merged_begin == task.merged_begin ? split_at : task.merged_begin;
            std::copy(at(split_at), at(along.merged_end), at(second_begin));
            const std::size_t second_end = second_begin + (along.merged_end - split_at);
            merged_.resize(second_end);
            merged_.insert(merged_.end(), first_merged_.begin(), first_merged_.end());
            second_lists = {true, AxisLists::Built, second_begin, second_end};
            first_lists = {true, AxisLists::Built, second_end, merged_.size()};
            second.merged_begin = second_begin;
            second.merged_end = first.merged_begin = second_end;
            first.merged_end = merged_.size();
        } else {
            merged_.resize(task.merged_begin);
        }
        stack_.push_back(second);
        stack_.push_back(first);
    }

    // Moves the first half to the front, both halves keeping their order.
    // Items already on their side at either end stay (in a top-down column
    // the peeled line is the first one and the rest follow). `first_count`
    // is how many items belong to the first half: once that many lead, the
    // rest are all of the second half and nothing moves.
    template <class T, class FirstHalf>
    static void stable_split(std::span<T> items, const FirstHalf& first_half, std::size_t first_count,
                             std::vector<T>& scratch) {
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
    std::vector<WorkItem> work_;
    std::vector<Projection> by_x_;
    std::vector<Projection> by_y_;
    std::vector<Task> stack_;
    std::vector<WorkItem> work_scratch_;
    std::vector<Projection> projection_scratch_;
    std::vector<std::uint64_t> sort_keys_;
    std::vector<CutSearch::Interval> merged_;
    std::vector<CutSearch::Interval> first_merged_;
    // Items within a task are in input order, so their element indices
    // order equal keys as a stable sort would.
    struct PositionKey {
        std::int64_t key;
        std::size_t index;
    };
    std::vector<PositionKey> fallback_;
    ReadingOrder order_;
};

}  // namespace

ReadingOrder recursive_xy_cut(std::span<const Element> elements, const XYCutConfig& config, const Region& region) {
    return XYCut(elements, config).run(region);
}

}  // namespace tarvello::paper
