// Re-insertion of masked elements: admissibility, the score, ties, the
// records, and the pruned search against a plain scan of every position.
#include <algorithm>
#include <iterator>
#include <numeric>
#include <tuple>

#include "diagnostics/format.hpp"
#include "paper/quintor/src/core/insertion_score.hpp"
#include "paper/quintor/src/core/label_class.hpp"
#include "paper/quintor/src/core/reinsert_masked.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using namespace testing;
using enum SemanticLabel;

TEST(InsertionScore, WeightsAndTerms) {
    const auto weights = [](const Element& e) { const ScoreWeights w = score_weights(e); return std::vector{w.a1, w.a2, w.a3, w.a4}; };
    // A square title takes the other row.
    EXPECT_EQ(weights(box(1, 0, 0, 10, 10, HorizontalTitle)), (std::vector<float>{0.2f, 0.1f, 1.0f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 11, 10, VerticalTitle)), (std::vector<float>{1.0f, 0.1f, 0.1f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 1, 10, CrossLayout)), (std::vector<float>{1.0f, 1.0f, 0.1f, 1.0f}));
    EXPECT_EQ(weights(box(1, 0, 0, 1, 10, Regular)), (std::vector<float>{1.0f, 1.0f, 1.0f, 0.1f}));
    EXPECT_EQ(label_class(CrossLayout), 0);
    EXPECT_EQ(label_class(VerticalTitle), label_class(HorizontalTitle));
    EXPECT_LT(label_class(Vision), label_class(Regular));
    EXPECT_EQ(insertion_score(box(2, 0, 100, 100, 150, Vision), box(1, 0, 0, 100, 50, Vision)), 1001500.0f);
    // Overlap drops the separation term.
    const Element title = box(9, 0, 0, 100, 20, HorizontalTitle);
    EXPECT_EQ(insertion_score(title, box(1, 50, 10, 60, 30)), ((0.0f + 0.0f) + 0.1f * (10.0f * 10.0f)) + 50.0f * (0.01f * 1.0f));
    EXPECT_GE(*insertion_score(title, box(1, 0, 21, 100, 40)), 100.0f * 100.0f * 100.0f);
}

class Reinsert : public PaperTest {};
using Case = std::tuple<const char*, ReadingOrder, std::vector<Element>, std::vector<Element>, ReadingOrder, Lines>;

// The scan below holds order and records on random pages; these pin the label
// names, zero-size elements and ids the order knows nothing of.
TEST_F(Reinsert, OrderAndRecords) {
    const Element dot = box(5, 3, 3, 3, 3, Vision);
    for (const auto& [name, order, regular, masked, expected, log] : std::vector<Case>{
             // For a zero-size element t.x1 > 0 scores +inf and t.x1 = 0 NaN: neither is chosen.
             {"ZeroSizeNeverAtNonNegativeX", {1, 2}, {box(1, 0, 0, 1, 1), box(2, 4, 0, 5, 1)}, {dot}, {1, 2, 5},
              {"No valid insertion for element 5 (Vision), appending"}},
             {"ZeroSizeAtNegativeX", {1, 2}, {box(1, 4, 0, 5, 1), box(2, -4, 0, 5, 1)}, {dot}, {1, 5, 2},
              {"[INSERT] Masked element 5 (Vision) -> position 1 (before element 2)"}},
             // The Regular-labelled element comes first but goes last, never before a
             // title; the second title goes before the first, by then a target.
             {"BucketsInPriorityOrder", {}, {},
              {box(3, 0, 200, 300, 220), box(4, 0, 0, 300, 20, HorizontalTitle), box(5, 0, 100, 300, 120, HorizontalTitle)}, {5, 4, 3},
              {"No valid insertion for element 4 (HorizontalTitle), appending",
               "[INSERT] Masked element 5 (HorizontalTitle) -> position 0 (before element 4)",
               "No valid insertion for element 3 (Regular), appending"}},
             {"UnknownIdsInTheOrderAreSkipped", {77, 1}, {box(1, 0, 50, 10, 60)}, {box(2, 0, 0, 10, 10, Vision)}, {77, 2, 1},
              {"[INSERT] Masked element 2 (Vision) -> position 1 (before element 1)"}}}) {
        EXPECT_EQ(reinsert_masked(order, regular, masked, 10.0f), expected) << name;
        EXPECT_EQ(take_lines(), log) << name;
    }
}

// Every position in turn, with the running best: what the pruned search must
// reproduce, order and records.
ReadingOrder reinsert_by_scanning(ReadingOrder order, std::span<const Element> regular, std::span<const Element> masked, float tolerance,
                                  Lines& log) {
    std::vector<Element> all(regular.begin(), regular.end());
    all.insert(all.end(), masked.begin(), masked.end());
    const auto find = [&](std::uint64_t id) { return std::find_if(all.begin(), all.end(), [&](const Element& e) { return e.id == id; }); };
    for (std::uint8_t cls = 0; cls < kLabelClassCount; ++cls) {
        std::vector<Element> bucket;
        std::copy_if(masked.begin(), masked.end(), std::back_inserter(bucket), [&](auto& e) { return label_class(e.label) == cls; });
        sort_by_position(bucket, tolerance);
        for (const Element& c : bucket) {
            float best = kInf;
            std::optional<std::size_t> at;
            for (std::size_t p = 0; p < order.size(); ++p) {
                const auto t = find(order[p]);
                if (t == all.end() || label_class(t->label) < cls) continue;
                const auto score = insertion_score(c, *t, best);
                if (score && *score < best) best = *score, at = p;
            }
            log.push_back(at ? diagnostics::format("[INSERT] Masked element {} ({}) -> position {} (before element {})", c.id, c.label, *at,
                                                   order[*at])
                             : diagnostics::format("No valid insertion for element {} ({}), appending", c.id, c.label));
            order.insert(at ? order.begin() + static_cast<std::ptrdiff_t>(*at) : order.end(), c.id);
        }
    }
    return order;
}

// Repeated ids (within a list and across both) check the id index too; every
// third page has ids too large for its table, every fourth distinct ids, which
// the order by position reads from the elements, every fifth enough masked
// elements to split the index's blocks.
TEST_F(Reinsert, PrunedSearchMatchesTheFullScanOnRandomPages) {
    PageFactory factory(13);
    for (int round = 0; round < 400; ++round) {
        auto regular = factory.page(factory.pick(round % 5 == 0 ? 40 : 300), 612, 792, round % 2 == 1);
        auto masked = factory.page(1 + factory.pick(round % 5 == 0 ? 150 : 40), 612, 792, round % 2 == 1 && factory.pick(2) == 0);
        std::uint64_t next_id = 0;
        for (auto* list : {&regular, &masked}) {
            for (Element& e : *list) {
                if (round % 4 == 1) e.id = next_id++;
                if (round % 3 == 2) e.id = e.id * 7919 + (std::uint64_t{1} << 40);
            }
        }
        std::vector<std::size_t> positions(regular.size());
        std::iota(positions.begin(), positions.end(), std::size_t{0});
        std::shuffle(positions.begin(), positions.end(), factory.rng);
        ReadingOrder order;
        for (const std::size_t p : positions) order.push_back(regular[p].id);
        const float tolerance = factory.pick(4) == 0 ? 0.0f : 10.0f;
        Lines log;
        const ReadingOrder expected = reinsert_by_scanning(order, regular, masked, tolerance, log);
        EXPECT_EQ(reinsert_masked(order, regular, masked, tolerance), expected) << "round " << round;
        EXPECT_EQ(take_lines(), log) << "round " << round;
        EXPECT_EQ(reinsert_masked_by_position(positions, regular, masked, tolerance), expected) << "round " << round;
        EXPECT_EQ(take_lines(), log) << "round " << round;
    }
}

}  // namespace
}  // namespace tarvello::paper
