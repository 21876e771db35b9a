// The engine against the plain transcription in reference.hpp, on many random
// pages: the same order, box for box, and the same records, in the same order.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/merge_cross_layout.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sort_y_then_x.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "ostrel/ostrel_support.hpp"
#include "ostrel/random_pages.hpp"
#include "ostrel/reference.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::ostrel {
namespace {

using reference::Record;
using reference::Reference;
using testing::PageKind;
using testing::PageMaker;
using testing::ids;

// The engine's records, checked for their fixed fields and reduced to what
// the reference writes.
std::vector<Record> engine_records() {
    std::vector<Record> out;
    for (const auto& r : tarvello::testing::take_records()) {
        EXPECT_EQ(r.target, "tarvello::ostrel");
        EXPECT_EQ(r.module_path, "quintor_sorter");
        EXPECT_TRUE(r.source_path.starts_with("src/ostrel/quintor_sorter/src/lib/")) << r.source_path;
        out.push_back({r.level, r.message});
    }
    return out;
}

struct Sweep {
    PageKind kind;
    std::size_t max_size;
    int pages;
};

class Equivalence : public ::testing::TestWithParam<Sweep> {
protected:
    void SetUp() override {
        (void)tarvello::testing::take_records();
    }

    // Runs `check` on every page of the sweep, with a seed per page so a
    // failure names the page that broke.
    template <class Check>
    void for_each_page(Check check) {
        const Sweep sweep = GetParam();
        for (int p = 0; p < sweep.pages; ++p) {
            PageMaker maker(static_cast<std::uint64_t>(p) * 7919u + static_cast<std::uint64_t>(sweep.kind));
            const auto page = maker.make(sweep.kind, maker.pick(sweep.max_size + 1));
            SCOPED_TRACE("page " + std::to_string(p) + ", " + std::to_string(page.size()) + " boxes");
            check(page, maker);
            if (::testing::Test::HasFailure()) return;
        }
    }
};

// Runs the reference, then the engine on the same input: same boxes in the
// same order, same records.
template <class RunReference, class RunEngine>
void expect_same_run(RunReference run_reference, RunEngine run_engine) {
    Reference ref;
    const auto expected = run_reference(ref);
    (void)tarvello::testing::take_records();
    EXPECT_EQ(ids(run_engine()), ids(expected));
    EXPECT_EQ(engine_records(), ref.records);
}

TEST_P(Equivalence, SorterGivesTheSameOrderAndRecords) {
    for_each_page([](const std::vector<LayoutBox>& page, PageMaker&) {
        expect_same_run([&](Reference& ref) { return ref.sort(page); }, [&] { return OstrelSorter().sort(page); });
    });
}

TEST_P(Equivalence, SegmentGivesTheSameOrderAndRecordsForBothPreferences) {
    for_each_page([](const std::vector<LayoutBox>& page, PageMaker&) {
        for (const bool prefer : {false, true}) {
            expect_same_run([&](Reference& ref) { return ref.segment(page, prefer); },
                            [&] { return segment(page, prefer); });
            expect_same_run([&](Reference& ref) { return ref.segment(page, prefer); },
                            [&] { return detail::segment_wide(page, prefer); });
        }
    });
}

TEST_P(Equivalence, GapSearchAndFallbackOrderMatchBitForBit) {
    for_each_page([](const std::vector<LayoutBox>& page, PageMaker&) {
        EXPECT_EQ(ids(sort_y_then_x(page)), ids(Reference::sort_y_then_x(page)));
        if (page.empty()) return;
        for (const Axis axis : {Axis::Horizontal, Axis::Vertical}) {
            const Gap gap = find_largest_gap(page, axis);
            const auto [position, width] = Reference::largest_gap(page, axis == Axis::Horizontal);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(gap.position), std::bit_cast<std::uint32_t>(position));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(gap.gap), std::bit_cast<std::uint32_t>(width));
        }
    });
}

TEST_P(Equivalence, MergeOfAnySplitMatches) {
    for_each_page([](const std::vector<LayoutBox>& page, PageMaker& maker) {
        std::vector<LayoutBox> cross;
        std::vector<LayoutBox> main;
        for (const LayoutBox& box : page) (maker.chance(0.3) ? cross : main).push_back(box);
        expect_same_run([&](Reference& ref) { return ref.merge(cross, main); },
                        [&] { return merge_cross_layout(cross, main); });
    });
}

TEST_P(Equivalence, CrossLayoutDetectionMatches) {
    for_each_page([](const std::vector<LayoutBox>& page, PageMaker&) {
        EXPECT_EQ(OstrelSorter().detect_cross_layout(page), Reference::detect_cross_layout(page));
    });
}

INSTANTIATE_TEST_SUITE_P(RandomPages, Equivalence,
                         ::testing::Values(Sweep{PageKind::Columns, 120, 300}, Sweep{PageKind::Grid, 60, 2000},
                                           Sweep{PageKind::Hostile, 40, 3000}, Sweep{PageKind::AnyBits, 30, 500}),
                         [](const auto& param_info) { return std::string(testing::page_kind_name(param_info.param.kind)); });

}  // namespace
}  // namespace tarvello::ostrel
