// Paper pipeline: page validation, the masking rule, and whole random pages:
// every id once if valid, and the order whatever the logger lets through.
#include <algorithm>

#include "paper/quintor/src/core/masking.hpp"
#include "paper/quintor/src/core/pipeline.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using namespace testing;
constexpr PageBounds kLetter{0, 0, 612, 792};

class PipelineTest : public PaperTest {};

TEST_F(PipelineTest, InvalidPageGivesNothingAndOneWarning) {
    for (const auto& [bounds, message] : {std::pair{PageBounds{0, 0, 0, 792}, "Invalid page dimensions (0, 792)"},
                                          std::pair{PageBounds{0, 10, 5, 5}, "Invalid page dimensions (5, -5)"},
                                          std::pair{PageBounds{0, -kInf, 612.5f, 0}, "Invalid page dimensions (612.5, inf)"},
                                          std::pair{PageBounds{-3e38f, 0, 3e38f, kNaN}, "Invalid page dimensions (inf, NaN)"}}) {
        EXPECT_TRUE(compute_paper_order({box(1, 0, 0, 10, 10)}, bounds, std::nullopt).empty());
        EXPECT_EQ(take_lines(), Lines{message});
        EXPECT_TRUE(compute_paper_order({}, bounds, std::nullopt).empty());  // empty input is silent
        EXPECT_TRUE(take_lines().empty());
    }
}

TEST_F(PipelineTest, AbsentConfigMeansTheDefaults) {
    const auto page = PageFactory(3).page(60, 612, 792, false);
    EXPECT_EQ(compute_paper_order(page, kLetter, std::nullopt), compute_paper_order(page, kLetter, XYCutConfig{15, 0.5f, 10}));
    const float tiny = std::numeric_limits<float>::denorm_min();  // a subnormal page is valid
    EXPECT_EQ(compute_paper_order({box(5, 0, 0, 1, 1)}, {0, 0, tiny, tiny}, std::nullopt), (ReadingOrder{5}));
}

std::vector<std::uint64_t> masked_ids(std::vector<Element> elements) { return ids_of(split_masked(std::move(elements)).masked); }

TEST(Masking, WidthThresholdIsTheMedianTimesOnePointThree) {
    const auto widths = [](std::vector<Element> elements) { return cross_layout_width_threshold(elements); };
    EXPECT_EQ(widths({box(1, 0, 0, 10, 1), box(2, 0, 0, 40, 1), box(3, 0, 0, 20, 1), box(4, 0, 0, 30, 1)}), 32.5f);
    EXPECT_EQ(widths({box(1, 0, 0, 10, 1), box(2, 0, 0, 30, 1), box(3, 5, 0, 0, 1)}), 13.0f);
    // A NaN width sorts after +inf; a negative one first.
    EXPECT_EQ(widths({box(1, 0, 0, kNaN, 1), box(2, 0, 0, kInf, 1), box(3, 9, 0, 0, 1)}), kInf);
    // The random pages below hold the rule; this pins the edge. The subject lies
    // over narrow boxes of width 10 at x 100-110, 120-130, ...: the threshold is 13.
    for (const float x2 : {121.0f, 121.5f}) {
        std::vector<Element> elements = {box(1, 108, 0, x2, 5)};
        for (float x = 100; x < 280; x += 20) elements.push_back(box(99 + elements.size(), x, 0, x + 10, 10));
        EXPECT_EQ(masked_ids(elements), x2 > 121.0f ? ReadingOrder{1} : ReadingOrder{});
    }
}

TEST(Masking, OverlapCountMatchesEveryPairOnRandomPages) {
    PageFactory factory(5);
    for (int round = 0; round < 300; ++round) {
        // Small pages count a few wide elements directly; large ones index them.
        const auto page = factory.page(1 + factory.pick(round % 2 == 0 ? 60 : 240), 200, 200, true);
        const float threshold = cross_layout_width_threshold(page);
        std::vector<std::uint64_t> expected;
        for (const Element& e : page) {
            int overlaps = 0;
            for (const Element& f : page) overlaps += f.id != e.id && e.x1 < f.x2 && f.x1 < e.x2 && e.y1 < f.y2 && f.y1 < e.y2;
            const bool by_label = e.label != SemanticLabel::CrossLayout && e.label != SemanticLabel::Regular;
            if (by_label || (overlaps >= 2 && e.x2 - e.x1 > threshold)) expected.push_back(e.id);
        }
        EXPECT_EQ(masked_ids(page), expected) << "round " << round;
    }
}

XYCutConfig random_config(PageFactory& factory) {
    switch (factory.pick(6)) {
        case 0: return {factory.uniform(0.0f, 2.0f), factory.uniform(0.0f, 1.0f), 10.0f};  // product below 2
        case 1: return {15.0f, factory.pick(2) ? 1e9f : kInf, 0.0f};
        case 2: return {kNaN, -1.0f, kNaN};
        default: return {};
    }
}

// Far from the origin, infinite, too wide for a float, wider than the page, or letter.
PageBounds random_bounds(PageFactory& factory) {
    const PageBounds odd[] = {{1e9f, 0, 1e9f + 640, 100}, {0, 0, kInf, 792}, {-3e38f, -3e38f, 3e38f, 3e38f}, {-50, -50, 700, 850}};
    const std::uint32_t kind = factory.pick(8);
    return kind < 4 ? odd[kind] : kLetter;
}

TEST_F(PipelineTest, ValidPagesGiveEveryIdExactlyOnce) {
    PageFactory factory(17);
    for (int round = 0; round < 1500; ++round) {
        const auto page = factory.page(factory.pick(120), 612, 792, round % 3 != 0);
        const PageBounds bounds = random_bounds(factory);
        const bool valid = std::isfinite(bounds.x_max - bounds.x_min) && std::isfinite(bounds.y_max - bounds.y_min);
        EXPECT_EQ(sorted(compute_paper_order(page, bounds, random_config(factory))), valid ? sorted(ids_of(page)) : ReadingOrder{})
            << "round " << round;
        take_lines();
    }
}

TEST_F(PipelineTest, OrderDoesNotDependOnTheLogLevel) {
    PageFactory factory(29);
    auto& recorder = tarvello::testing::global_recorder();
    for (int round = 0; round < 300; ++round) {
        const auto page = factory.page(factory.pick(80), 612, 792, round % 2 == 0);
        const auto config = random_config(factory);
        const auto order_at = [&](diagnostics::LevelThreshold level) {
            diagnostics::log_facade().set_max_level(level);
            return compute_paper_order(page, kLetter, config);
        };
        const ReadingOrder at_debug = order_at(diagnostics::LevelThreshold::Debug);
        Lines warnings = take_lines();
        // Exactly the warnings of the debug run get through.
        std::erase_if(warnings, [](const std::string& l) { return origin_of(l).second != diagnostics::LogLevel::Warn; });
        EXPECT_EQ(order_at(diagnostics::LevelThreshold::Warn), at_debug);
        EXPECT_EQ(take_lines(), warnings);
        EXPECT_EQ(order_at(diagnostics::LevelThreshold::Off), at_debug);
        recorder.answer_enabled = false;  // a logger that declines everything is asked, and gets nothing
        EXPECT_EQ(order_at(diagnostics::LevelThreshold::Debug), at_debug);
        recorder.answer_enabled = true;
        EXPECT_TRUE(take_lines().empty());
    }
}

}  // namespace
}  // namespace tarvello::paper
