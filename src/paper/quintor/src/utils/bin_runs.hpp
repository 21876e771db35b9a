// The projection histogram without its counters: each element's covered bin
// interval, and the empty runs found by sorting and sweeping those intervals.
// Memory grows with the number of elements, never with the bin count, so a
// region millions of units wide or a scale of 1e9 costs no more than a page.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "paper/quintor/src/utils/scratch_arena.hpp"

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

// Inline: it runs once per element and region. The float rules (floor raised
// to 0 with a NaN giving 0, ceil lowered to float(bins) with a NaN giving it,
// saturating truncation, then at most bins) are done in integers where that
// is exact: bins is a whole number, so ceil(q) > float(bins) exactly when
// q > float(bins), and a float of 2^23 or more has no fraction.
//
// `first` and `last` are the projection's ends in bins, (lo - min) / bin_size
// and (hi - min) / bin_size.
inline BinSpan covered_bins_of_quotients(const AxisGrid& grid, float first, float last) {
    constexpr float kTwo64 = 18446744073709551616.0f;
    constexpr float kTwo23 = 8388608.0f;
    const auto saturate = [](float positive) {
        return positive >= kTwo64 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(positive);
    };
    const float bins_as_float = static_cast<float>(grid.bins);
    // The common case, both ends in [0, 2^23) and the last within the bins:
    // whole truncations, and the ceiling one more when there is a fraction.
    if (first >= 0.0f && first < kTwo23 && last >= 0.0f && last < kTwo23 && last <= bins_as_float) {
        const auto whole_first = static_cast<std::int32_t>(first);
        const auto whole_last = static_cast<std::int32_t>(last);
        const auto ceiling = static_cast<std::uint64_t>(whole_last) +
                             static_cast<std::uint64_t>(static_cast<float>(whole_last) < last);
        return {static_cast<std::uint64_t>(whole_first), std::min(ceiling, grid.bins)};
    }
    const std::uint64_t start = first > 0.0f ? saturate(first) : 0;
    std::uint64_t end = 0;
    if (!(last <= bins_as_float)) {
        end = saturate(bins_as_float);
    } else if (last > 0.0f) {
        end = saturate(last);
        if (last < kTwo23 && static_cast<float>(end) < last) ++end;
    }
    return {start, std::min(end, grid.bins)};
}

inline BinSpan covered_bins(const AxisGrid& grid, float lo, float hi) {
    return covered_bins_of_quotients(grid, (lo - grid.min) / grid.bin_size, (hi - grid.min) / grid.bin_size);
}

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

    // The length a run must reach to be chosen over the best one so far.
    std::uint64_t length_to_beat() const { return std::max(min_gap_, best_length_ + 1); }

    std::optional<std::uint64_t> best() const {
        if (best_length_ == 0) return std::nullopt;
        return best_position_;
    }

private:
    std::uint64_t min_gap_;
    std::uint64_t best_length_ = 0;
    std::uint64_t best_position_ = 0;
};

// How the empty runs are found: counters per bin (only while there are few
// bins for the number of spans), or sorting and sweeping the spans.
enum class RunScan { Auto, Counters, Sweep };

// The gap the dense histogram over `bins` would give, from the spans (those
// with end <= start mark nothing). May reorder `spans`; `counters` is scratch.
std::optional<std::uint64_t> best_gap_of_spans(std::span<BinSpan> spans, std::uint64_t bins, std::uint64_t min_gap,
                                               ScratchVector<std::int64_t>& counters, RunScan scan = RunScan::Auto);

}  // namespace tarvello::paper
