// Re-insertion of masked elements: admissibility, the score, ties, the
// records, and the pruned search against a plain scan of every position.
#include <limits>
#include <numeric>

#include "paper/quintor/src/core/insertion_score.hpp"
#include "paper/quintor/src/core/label_class.hpp"
#include "paper/quintor/src/core/reinsert_masked.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using testing::box;
using testing::debug_line;
using testing::Line;
using testing::take_lines;
using testing::warn_line;
using Lines = std::vector<Line>;
using Elements = std::vector<Element>;
using enum SemanticLabel;

constexpr float kInf = std::numeric_limits<float>::infinity();

class ReinsertTest : public testing::PaperTest {};

TEST_F(ReinsertTest, TwoVisionElementsOnAnEmptyOrder) {
    const std::vector<Element> masked = {box(1, 0, 0, 100, 50, Vision), box(2, 0, 100, 100, 150, Vision)};
    EXPECT_EQ(insertion_score(masked[1], masked[0]), 1001500.0f);
    EXPECT_EQ(reinsert_masked({}, {}, masked, 10.0f), (ReadingOrder{2, 1}));
    EXPECT_EQ(take_lines("reinsert_masked.cpp"),
              (Lines{warn_line("No valid insertion for element 1 (Vision), appending"),
                     debug_line("[INSERT] Masked element 2 (Vision) -> position 0 (before element 1)")}));
}

TEST_F(ReinsertTest, NothingAdmissibleBeforeAHigherPriorityLabel) {
    const std::vector<Element> regular = {box(1, 0, 0, 10, 10, CrossLayout), box(2, 0, 20, 10, 30, CrossLayout)};
    EXPECT_EQ(reinsert_masked({1, 2}, regular, Elements{box(3, 0, 40, 10, 50, Regular)}, 10.0f), (ReadingOrder{1, 2, 3}));
    EXPECT_EQ(take_lines(), (Lines{warn_line("No valid insertion for element 3 (Regular), appending")}));
}

TEST_F(ReinsertTest, TitleGoesBeforeTheOnlyRegularElementWhereverItLies) {
    for (const float title_y : {-500.0f, 0.0f, 700.0f}) {
        const std::vector<Element> regular = {box(1, 300, 300, 400, 320)};
        const Element title = box(7, 0, title_y, 50, title_y + 10, HorizontalTitle);
        EXPECT_EQ(reinsert_masked({1}, regular, Elements{title}, 10.0f), (ReadingOrder{7, 1}));
        EXPECT_EQ(take_lines(),
                  (Lines{debug_line("[INSERT] Masked element 7 (HorizontalTitle) -> position 0 (before element 1)")}));
    }
}

TEST_F(ReinsertTest, EqualScoresTakeTheEarlierPosition) {
    // Two identical targets: the same score at positions 0 and 1.
    const std::vector<Element> regular = {box(1, 0, 100, 10, 110), box(2, 0, 100, 10, 110)};
    EXPECT_EQ(reinsert_masked({1, 2}, regular, Elements{box(3, 0, 0, 10, 10, Vision)}, 10.0f), (ReadingOrder{3, 1, 2}));
    // Same with a later identical pair behind a worse target.
    const std::vector<Element> three = {box(1, 500, 500, 510, 510), box(2, 0, 100, 10, 110), box(4, 0, 100, 10, 110)};
    EXPECT_EQ(reinsert_masked({1, 2, 4}, three, Elements{box(3, 0, 0, 10, 10, Vision)}, 10.0f), (ReadingOrder{1, 3, 2, 4}));
}

TEST_F(ReinsertTest, OverlapDropsTheSeparationTerm) {
    const Element title = box(9, 0, 0, 100, 20, HorizontalTitle);
    EXPECT_EQ(insertion_score(title, box(1, 50, 10, 60, 30)), ((0.0f + 0.0f) + 0.1f * (10.0f * 10.0f)) + 50.0f * (0.01f * 1.0f));
    EXPECT_GE(*insertion_score(title, box(1, 0, 21, 100, 40)), 100.0f * 100.0f * 100.0f);
    // The overlapping target wins though it comes later.
    EXPECT_EQ(reinsert_masked({1, 2}, Elements{box(1, 0, 21, 100, 40), box(2, 50, 10, 60, 30)}, Elements{title}, 10.0f),
              (ReadingOrder{1, 9, 2}));
}

TEST(ScoreWeights, SquareTitleTakesTheOtherRow) {
    const auto weights = [](const Element& e) {
        const ScoreWeights w = score_weights(e);
        return std::vector<float>{w.a1, w.a2, w.a3, w.a4};
    };
    EXPECT_EQ(weights(box(1, 0, 0, 10, 10, HorizontalTitle)), (std::vector<float>{0.2f, 0.1f, 1.0f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 11, 10, VerticalTitle)), (std::vector<float>{1.0f, 0.1f, 0.1f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 1, 10, CrossLayout)), (std::vector<float>{1.0f, 1.0f, 0.1f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 1, 10, Regular)), (std::vector<float>{1.0f, 1.0f, 1.0f, 0.1f}));
    EXPECT_EQ(label_class(CrossLayout), 0);
    EXPECT_EQ(label_class(VerticalTitle), label_class(HorizontalTitle));
    EXPECT_LT(label_class(Vision), label_class(Regular));
}

TEST_F(ReinsertTest, ZeroSizeElementChoosesOnlyNegativeX) {
    const Element dot = box(5, 3, 3, 3, 3, Vision);
    // t.x1 > 0 scores +inf and t.x1 = 0 scores NaN: neither is chosen.
    EXPECT_EQ(reinsert_masked({1, 2}, Elements{box(1, 0, 0, 1, 1), box(2, 4, 0, 5, 1)}, Elements{dot}, 10.0f), (ReadingOrder{1, 2, 5}));
    EXPECT_EQ(take_lines(), (Lines{warn_line("No valid insertion for element 5 (Vision), appending")}));
    EXPECT_EQ(reinsert_masked({1, 2}, Elements{box(1, 4, 0, 5, 1), box(2, -4, 0, 5, 1)}, Elements{dot}, 10.0f), (ReadingOrder{1, 5, 2}));
    EXPECT_EQ(take_lines(), (Lines{debug_line("[INSERT] Masked element 5 (Vision) -> position 1 (before element 2)")}));
}

TEST_F(ReinsertTest, BucketsInPriorityOrderAndInsertedElementsBecomeTargets) {
    // The Regular-labelled element comes first in the input but goes last, and
    // never before a title; the second title (same bucket) goes before the first.
    const std::vector<Element> masked = {box(3, 0, 200, 300, 220, Regular), box(4, 0, 0, 300, 20, HorizontalTitle),
                                         box(5, 0, 100, 300, 120, HorizontalTitle)};
    const ReadingOrder order = reinsert_masked({}, {}, masked, 10.0f);
    EXPECT_EQ(order, (ReadingOrder{5, 4, 3}));
    EXPECT_EQ(take_lines(),
              (Lines{warn_line("No valid insertion for element 4 (HorizontalTitle), appending"),
                     debug_line("[INSERT] Masked element 5 (HorizontalTitle) -> position 0 (before element 4)"),
                     warn_line("No valid insertion for element 3 (Regular), appending")}));
}

TEST(Reinsert, UnknownIdsInTheOrderAreSkipped) {
    EXPECT_EQ(reinsert_masked({77, 1}, Elements{box(1, 0, 50, 10, 60)}, Elements{box(2, 0, 0, 10, 10, Vision)}, 10.0f),
              (ReadingOrder{77, 2, 1}));
}

// Every position in turn, with the running best: what the pruned search must
// reproduce.
ReadingOrder reinsert_by_scanning(ReadingOrder order, std::span<const Element> regular, std::span<const Element> masked,
                                  float tolerance) {
    const auto find = [&](std::uint64_t id) -> const Element* {
        for (const auto* list : {&regular, &masked}) {
            for (const Element& e : *list) {
                if (e.id == id) return &e;
            }
        }
        return nullptr;
    };
    for (std::uint8_t cls = 0; cls < kLabelClassCount; ++cls) {
        std::vector<Element> bucket;
        for (const Element& e : masked) {
            if (label_class(e.label) == cls) bucket.push_back(e);
        }
        sort_by_position(bucket, tolerance);
        for (const Element& c : bucket) {
            float best = kInf;
            std::optional<std::size_t> at;
            for (std::size_t p = 0; p < order.size(); ++p) {
                const Element* t = find(order[p]);
                if (t == nullptr || label_class(t->label) < cls) continue;
                const auto score = insertion_score(c, *t, best);
                if (score && *score < best) best = *score, at = p;
            }
            order.insert(at ? order.begin() + static_cast<std::ptrdiff_t>(*at) : order.end(), c.id);
        }
    }
    return order;
}

// Repeated ids, within a list and across both, check the id index too; in
// every third round the ids are too large to index its table directly. Every
// fourth page has distinct ids, which the order by position reads from the
// elements themselves.
TEST(Reinsert, PrunedSearchMatchesTheFullScanOnRandomPages) {
    testing::PageFactory factory(13);
    for (int round = 0; round < 400; ++round) {
        const bool awkward = round % 2 == 1;
        auto regular = factory.page(factory.pick(round % 5 == 0 ? 40 : 300), 612, 792, awkward);
        // Every fifth page has enough masked elements to split the index's blocks.
        auto masked = factory.page(1 + factory.pick(round % 5 == 0 ? 150 : 40), 612, 792, awkward && factory.pick(2) == 0);
        if (round % 4 == 1) {
            std::uint64_t next_id = 0;
            for (auto* list : {&regular, &masked}) {
                for (Element& e : *list) e.id = next_id++;
            }
        }
        if (round % 3 == 2) {
            for (auto* list : {&regular, &masked}) {
                for (Element& e : *list) e.id = e.id * 7919 + (std::uint64_t{1} << 40);
            }
        }
        std::vector<std::size_t> positions(regular.size());
        std::iota(positions.begin(), positions.end(), std::size_t{0});
        std::shuffle(positions.begin(), positions.end(), factory.rng());
        ReadingOrder order;
        for (const std::size_t p : positions) order.push_back(regular[p].id);
        const float tolerance = factory.pick(4) == 0 ? 0.0f : 10.0f;
        const ReadingOrder expected = reinsert_by_scanning(order, regular, masked, tolerance);
        EXPECT_EQ(reinsert_masked(order, regular, masked, tolerance), expected) << "round " << round;
        EXPECT_EQ(reinsert_masked_by_position(positions, regular, masked, tolerance), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace tarvello::paper
