#include "paper/quintor/src/core/xy_cut.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>

#include "paper/quintor/src/core/paper_channel.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"

namespace tarvello::paper {
namespace {

constexpr float kDensityThreshold = 0.9f;

float centre_x(const Element& e) { return (e.x1 + e.x2) * 0.5f; }
float centre_y(const Element& e) { return (e.y1 + e.y2) * 0.5f; }

// True when the summed aspect ratios make the region look multi-column, so
// the vertical search goes first.
bool prefers_vertical(std::span<const Element> elements) {
    float cross_sum = 0.0f;
    float other_sum = 0.0f;
    for (const Element& e : elements) {
        const float height = e.y2 - e.y1;
        if (height == 0.0f) continue;
        const float ratio = (e.x2 - e.x1) / height;
        if (e.label == SemanticLabel::CrossLayout) {
            cross_sum += ratio;
        } else {
            other_sum += ratio;
        }
    }
    return other_sum == 0.0f || cross_sum / other_sum > kDensityThreshold;
}

enum class Step { DensityVertical, Horizontal, Vertical };

class XYCut {
public:
    XYCut(std::vector<Element> elements, const XYCutConfig& config)
        : work_(std::move(elements)),
          by_x_(sorted_by_edge(work_, &Element::x1)),
          by_y_(sorted_by_edge(work_, &Element::y1)),
          config_(config),
          search_(config.min_cut_threshold, config.histogram_resolution_scale) {}

    ReadingOrder run(const Region& region) {
        order_.reserve(work_.size());
        stack_.push_back({0, work_.size(), region});
        while (!stack_.empty()) {
            const Task task = stack_.back();
            stack_.pop_back();
            process(task);
        }
        return std::move(order_);
    }

private:
    struct Task {
        std::size_t begin;
        std::size_t end;
        Region region;
    };

    void process(const Task& task) {
        const std::span<Element> elements(work_.data() + task.begin, task.end - task.begin);
        if (elements.empty()) return;
        if (elements.size() == 1) {
            order_.push_back(elements.front().id);
            return;
        }
        if (prefers_vertical(elements) && try_cut(task, Step::DensityVertical)) return;
        if (try_cut(task, Step::Horizontal)) return;
        if (try_cut(task, Step::Vertical)) return;
        diagnostics::debug(kPaperChannel, "[XYCut] No cuts found, sorting {} elements by position", elements.size());
        sort_by_position(elements, config_.same_row_tolerance);
        for (const Element& e : elements) order_.push_back(e.id);
    }

    // Searches one axis and, when the cut is usable, splits the task into two
    // pushed in reverse so the first half is ordered (and logs) first.
    bool try_cut(const Task& task, Step step) {
        const std::span<Element> elements(work_.data() + task.begin, task.end - task.begin);
        const Region& r = task.region;
        const bool on_x = step != Step::Horizontal;
        // The searches get the region's elements sorted by their leading edge,
        // so the covered spans come out sorted and need no sort per region.
        const std::optional<float> found = on_x ? search_.vertical(range_of(by_x_, task), r.x_min, r.x_max)
                                                : search_.horizontal(range_of(by_y_, task), r.y_min, r.y_max);
        if (!found) return false;
        const float cut = *found;
        const auto first_half = [&](const Element& e) { return (on_x ? centre_x(e) : centre_y(e)) < cut; };
        std::size_t first_count = 0;
        for (const Element& e : elements) {
            if (first_half(e)) ++first_count;
        }
        // A cut that leaves every element on one side must still narrow the
        // region, or the same cut would be found again forever.
        if (first_count == 0 || first_count == elements.size()) {
            const bool inside = on_x ? (r.x_min < cut && cut < r.x_max) : (r.y_min < cut && cut < r.y_max);
            if (!inside) return false;
        }
        const std::size_t count = elements.size();
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
        for (std::vector<Element>* list : {&work_, &by_x_, &by_y_}) stable_split(range_of(*list, task), first_count, first_half);
        const std::size_t second_count = count - first_count;
        if (on_x) {
            diagnostics::debug(kPaperChannel, "  Left: {} elements, Right: {} elements", first_count, second_count);
        } else {
            diagnostics::debug(kPaperChannel, "  Top: {} elements, Bottom: {} elements", first_count, second_count);
        }
        const std::size_t middle = task.begin + first_count;
        if (on_x) {
            stack_.push_back({middle, task.end, {cut, r.y_min, r.x_max, r.y_max}});
            stack_.push_back({task.begin, middle, {r.x_min, r.y_min, cut, r.y_max}});
        } else {
            stack_.push_back({middle, task.end, {r.x_min, cut, r.x_max, r.y_max}});
            stack_.push_back({task.begin, middle, {r.x_min, r.y_min, r.x_max, cut}});
        }
        return true;
    }

    static std::span<Element> range_of(std::vector<Element>& list, const Task& task) {
        return {list.data() + task.begin, task.end - task.begin};
    }

    // A copy ordered by one edge, NaN first (it marks from bin 0).
    static std::vector<Element> sorted_by_edge(const std::vector<Element>& elements, float Element::*edge) {
        std::vector<Element> sorted = elements;
        const auto key = [edge](const Element& e) {
            return std::isnan(e.*edge) ? -std::numeric_limits<float>::infinity() : e.*edge;
        };
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const Element& a, const Element& b) { return key(a) < key(b); });
        return sorted;
    }

    // Moves the elements of the first half to the front, both halves keeping
    // their input order.
    template <class FirstHalf>
    void stable_split(std::span<Element> elements, std::size_t first_count, const FirstHalf& first_half) {
        if (first_count == 0 || first_count == elements.size()) return;
        // Elements already on their side at either end need not move (in a
        // top-down column the peeled line is the first one, the rest follow).
        std::size_t kept = 0;
        while (first_half(elements[kept])) ++kept;
        std::size_t tail = elements.size();
        while (!first_half(elements[tail - 1])) --tail;
        scratch_.clear();
        for (std::size_t i = kept; i < tail; ++i) {
            const Element e = elements[i];
            if (first_half(e)) {
                elements[kept++] = e;
            } else {
                scratch_.push_back(e);
            }
        }
        std::copy(scratch_.begin(), scratch_.end(), elements.begin() + static_cast<std::ptrdiff_t>(kept));
    }

    std::vector<Element> work_;  // input order, which the halves and the fallback keep
    std::vector<Element> by_x_;  // the same ranges, each sorted by x1
    std::vector<Element> by_y_;  // and by y1
    XYCutConfig config_;
    CutSearch search_;
    std::vector<Task> stack_;
    std::vector<Element> scratch_;
    ReadingOrder order_;
};

}  // namespace

ReadingOrder recursive_xy_cut(std::vector<Element> elements, const XYCutConfig& config, const Region& region) {
    return XYCut(std::move(elements), config).run(region);
}

}  // namespace tarvello::paper
