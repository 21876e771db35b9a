#include "paper/quintor/src/core/projection_histogram.hpp"

#include "paper/quintor/src/core/paper_channel.hpp"

namespace tarvello::paper {
namespace {

// Above this many elements the vertical search tells what it does.
constexpr std::size_t kHistogramReportThreshold = 15;

template <bool OnX>
void collect_spans(std::span<const Element> elements, const AxisGrid& grid, std::vector<BinSpan>& spans) {
    spans.clear();
    spans.reserve(elements.size());
    for (const Element& e : elements) {
        const BinSpan s = OnX ? covered_bins(grid, e.x1, e.x2) : covered_bins(grid, e.y1, e.y2);
        if (s.end > s.start) spans.push_back(s);
    }
}

}  // namespace

std::optional<std::uint64_t> find_best_gap(std::span<const std::uint64_t> histogram, std::uint64_t min_gap) {
    GapChooser chooser(min_gap);
    std::uint64_t run_start = 0;
    bool open = false;
    for (std::uint64_t bin = 0; bin < histogram.size(); ++bin) {
        if (histogram[bin] == 0) {
            if (!open) run_start = bin;
            open = true;
        } else if (open) {
            chooser.offer(run_start, bin - run_start);
            open = false;
        }
    }
    if (open) chooser.offer(run_start, histogram.size() - run_start);
    return chooser.best();
}

std::optional<float> CutSearch::vertical(std::span<const Element> elements, float x_min, float x_max) {
    const bool report = elements.size() > kHistogramReportThreshold;
    const AxisGrid grid = make_axis_grid(x_min, x_max, scale_);
    if (grid.bins != 0) collect_spans<true>(elements, grid, spans_);
    if (report) {
        diagnostics::debug(kPaperChannel, "[Histogram] Vertical: {} bins, min_gap={}, x_range={:.0}-{:.0}",
                           grid.bins, min_gap_, x_min, x_max);
    }
    if (grid.bins == 0) return std::nullopt;
    const std::optional<std::uint64_t> position = best_gap_of_spans(spans_, grid.bins, min_gap_, counters_);
    if (!position) return std::nullopt;
    const float cut = cut_at(grid, *position);
    if (report) diagnostics::debug(kPaperChannel, "[Histogram] Found gap at bin {}, x={:.0}", *position, cut);
    return cut;
}

std::optional<float> CutSearch::horizontal(std::span<const Element> elements, float y_min, float y_max) {
    const AxisGrid grid = make_axis_grid(y_min, y_max, scale_);
    if (grid.bins == 0) return std::nullopt;
    collect_spans<false>(elements, grid, spans_);
    const std::optional<std::uint64_t> position = best_gap_of_spans(spans_, grid.bins, min_gap_, counters_);
    if (!position) return std::nullopt;
    return cut_at(grid, *position);
}

std::optional<float> find_vertical_cut(std::span<const Element> elements, float min_cut_threshold,
                                       float histogram_resolution_scale, float x_min, float x_max) {
    return CutSearch(min_cut_threshold, histogram_resolution_scale).vertical(elements, x_min, x_max);
}

std::optional<float> find_horizontal_cut(std::span<const Element> elements, float min_cut_threshold,
                                         float histogram_resolution_scale, float y_min, float y_max) {
    return CutSearch(min_cut_threshold, histogram_resolution_scale).horizontal(elements, y_min, y_max);
}

}  // namespace tarvello::paper
