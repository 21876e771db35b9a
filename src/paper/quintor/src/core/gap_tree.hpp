// The widest gap between merged intervals without sweeping them all: a max
// tree over the widths of the gaps between consecutive intervals of a list.
// A search over a range of the list walks the tree left to right and skips
// every subtree whose widest gap, rounding allowed for, cannot make a run that
// would be chosen over the best one so far. A column peeled band by band
// then costs a few paths down the tree per band, not a sweep of what is left.
#pragma once

#include <cstddef>
#include <span>

#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper/quintor/src/utils/bin_runs.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

// Appends the tree over `list` to `tree`. A gap next to an interval that is
// not solid has infinite width: only a sweep can say where its run begins.
void build_gap_tree(std::span<const CutSearch::Interval> list, ScratchVector<float>& tree);

// Offers `chooser` the runs a sweep of intervals [first, last) of `list`
// would, at least two of them (`list` may stop at `last`; `tree` is the one
// built over all of it), except those that cannot change its choice, on
// an exact grid (finite origin, normal bin size, at most 2^24 bins); false
// when an interval of the range is not solid or the first or last one marks
// no bin, and the sweep must decide.
bool choose_run_by_gap_tree(const AxisGrid& grid, std::span<const CutSearch::Interval> list, std::size_t first,
                            std::size_t last, std::span<const float> tree, GapChooser& chooser);

}  // namespace tarvello::paper
