// The projection histogram without its counters: each element's covered bin
// interval, and the empty runs found by sorting and sweeping those intervals.
// Memory grows with the number of elements, never with the bin count, so a
// region millions of units wide or a scale of 1e9 costs no more than a page.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tarvello::paper {

// The bins of one axis interval of a region.
struct AxisGrid {
    float min = 0.0f;
    float range = 0.0f;
    std::uint64_t bins = 0;
    float bin_size = 0.0f;
};

AxisGrid make_axis_grid(float min, float max, float histogram_resolution_scale);

// Shortest empty run, in bins, that counts as a gap.
std::uint64_t min_gap_bins(float min_cut_threshold, float histogram_resolution_scale);

// Bins [start, end) that a projection [lo, hi] marks; end <= start marks nothing.
struct BinSpan {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

BinSpan covered_bins(const AxisGrid& grid, float lo, float hi);

// The cut coordinate of a run position.
float cut_at(const AxisGrid& grid, std::uint64_t position);

// Keeps the first strictly longest run that is long enough, and its middle.
class GapChooser {
public:
    explicit GapChooser(std::uint64_t min_gap) : min_gap_(min_gap) {}

    void offer(std::uint64_t start, std::uint64_t length) {
        if (length >= min_gap_ && length > best_length_) {
            best_length_ = length;
            best_position_ = start + length / 2;
        }
    }

    std::optional<std::uint64_t> best() const {
        if (best_length_ == 0) return std::nullopt;
        return best_position_;
    }

private:
    std::uint64_t min_gap_;
    std::uint64_t best_length_ = 0;
    std::uint64_t best_position_ = 0;
};

// The gap the dense histogram over `bins` would give, from the marking spans
// (those with end > start). Sorts `spans` by start.
std::optional<std::uint64_t> best_gap_of_spans(std::span<BinSpan> spans, std::uint64_t bins,
                                               std::uint64_t min_gap);

}  // namespace tarvello::paper
