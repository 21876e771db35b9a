// Paper pipeline: page validation, the width threshold and the masking rule.
#include <limits>

#include "paper/quintor/src/core/masking.hpp"
#include "paper/quintor/src/core/pipeline.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using testing::box;
using testing::Line;
using testing::take_lines;
using testing::warn_line;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr PageBounds kLetter{0, 0, 612, 792};

class PipelineTest : public testing::PaperTest {};

TEST_F(PipelineTest, EmptyInputIsSilentEvenOnAnInvalidPage) {
    EXPECT_TRUE(compute_paper_order({}, {0, 0, 0, 0}, std::nullopt).empty());
    EXPECT_TRUE(take_lines().empty());
}

struct InvalidPage {
    PageBounds bounds;
    const char* message;
};

class InvalidPageTest : public testing::PaperTest, public ::testing::WithParamInterface<InvalidPage> {};

TEST_P(InvalidPageTest, GivesNothingAndOneWarning) {
    EXPECT_TRUE(compute_paper_order({box(1, 0, 0, 10, 10)}, GetParam().bounds, std::nullopt).empty());
    EXPECT_EQ(take_lines("pipeline.cpp"), (std::vector<Line>{warn_line(GetParam().message)}));
}

INSTANTIATE_TEST_SUITE_P(Pages, InvalidPageTest,
                         ::testing::Values(InvalidPage{{0, 0, 0, 792}, "Invalid page dimensions (0, 792)"},
                                           InvalidPage{{10, 0, 5, 100}, "Invalid page dimensions (-5, 100)"},
                                           InvalidPage{{0, 0, 612.5f, kNaN}, "Invalid page dimensions (612.5, NaN)"},
                                           InvalidPage{{0, -kInf, 612, 0}, "Invalid page dimensions (612, inf)"},
                                           InvalidPage{{-3e38f, 0, 3e38f, 1}, "Invalid page dimensions (inf, 1)"}));

TEST_F(PipelineTest, SubnormalPageIsValid) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(compute_paper_order({box(5, 0, 0, 1, 1)}, {0, 0, tiny, tiny}, std::nullopt), (ReadingOrder{5}));
}

TEST_F(PipelineTest, SingleElementComesBackWhateverItsLabel) {
    for (std::uint8_t code = 0; code < kSemanticLabelCount; ++code) {
        const auto label = static_cast<SemanticLabel>(code);
        EXPECT_EQ(compute_paper_order({box(42, 0, 0, 10, 10, label)}, kLetter, std::nullopt), (ReadingOrder{42}));
    }
}

TEST_F(PipelineTest, AbsentConfigMeansTheDefaults) {
    testing::PageFactory factory(3);
    const auto page = factory.page(60, 612, 792, false);
    EXPECT_EQ(compute_paper_order(page, kLetter, std::nullopt), compute_paper_order(page, kLetter, XYCutConfig{15, 0.5f, 10}));
}

TEST(WidthThreshold, MedianTimesOnePointThree) {
    EXPECT_EQ(cross_layout_width_threshold(std::vector{box(1, 0, 0, 10, 1), box(2, 0, 0, 40, 1), box(3, 0, 0, 20, 1),
                                                       box(4, 0, 0, 30, 1)}),
              32.5f);
    EXPECT_EQ(cross_layout_width_threshold(std::vector{box(1, 0, 0, 10, 1), box(2, 0, 0, 30, 1), box(3, 5, 0, 0, 1)}),
              13.0f);
    // A NaN width sorts after +inf; a negative one first.
    EXPECT_EQ(cross_layout_width_threshold(std::vector{box(1, 0, 0, kNaN, 1), box(2, 0, 0, kInf, 1), box(3, 9, 0, 0, 1)}),
              kInf);
}

// Widths 10 on the page set the median to 10 and the threshold to 13.
std::vector<Element> with_narrow_boxes(std::vector<Element> wide, std::size_t narrow_count) {
    for (std::size_t i = 0; i < narrow_count; ++i) {
        const float x = 100.0f + 20.0f * static_cast<float>(i);
        wide.push_back(box(100 + i, x, 0, x + 10, 10));
    }
    return wide;
}

std::vector<std::uint64_t> masked_ids(std::span<const Element> elements) {
    std::vector<std::uint64_t> ids;
    for (const Element& e : split_masked({elements.begin(), elements.end()}).masked) ids.push_back(e.id);
    return ids;
}

struct MaskCase {
    const char* name;
    Element subject;
    bool masked;
};

class MaskingRule : public ::testing::TestWithParam<MaskCase> {};

// The subject sits over the narrow boxes at x 100-110 and 120-130 (and one
// more at 140-150 that only a 50-wide box reaches).
TEST_P(MaskingRule, WideAndOverlappingTwoOrLabelled) {
    const auto elements = with_narrow_boxes({GetParam().subject}, 9);
    const bool masked = !masked_ids(elements).empty() && masked_ids(elements).front() == GetParam().subject.id;
    EXPECT_EQ(masked, GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskingRule,
    ::testing::Values(MaskCase{"WideOverOne", box(1, 95, 0, 115, 5), false},
                      MaskCase{"WideOverTwo", box(1, 105, 0, 125, 5), true},
                      MaskCase{"ExactlyThresholdOverTwo", box(1, 108, 0, 121, 5), false},
                      MaskCase{"JustAboveThresholdOverTwo", box(1, 108, 0, 121.5f, 5), true},
                      MaskCase{"TouchingIsNotOverlapping", box(1, 110, 0, 140, 5), false},
                      MaskCase{"CrossLayoutLabelByGeometryOnly", box(1, 95, 0, 115, 5, SemanticLabel::CrossLayout), false},
                      MaskCase{"TitleAlone", box(1, 0, 50, 5, 55, SemanticLabel::HorizontalTitle), true},
                      MaskCase{"VerticalTitleAlone", box(1, 0, 50, 5, 55, SemanticLabel::VerticalTitle), true},
                      MaskCase{"VisionAlone", box(1, 0, 50, 5, 55, SemanticLabel::Vision), true},
                      MaskCase{"NaNHeightOverlapsNothing", box(1, 105, 0, 125, kNaN), false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Masking, SharedIdsDoNotOverlapEachOther) {
    std::vector<Element> elements = with_narrow_boxes({box(1, 105, 0, 125, 5)}, 9);
    elements[1].id = 1;  // the box at 100-110 now shares the subject's id
    EXPECT_TRUE(masked_ids(elements).empty());
}

TEST(Masking, OverlapCountMatchesEveryPairOnRandomPages) {
    testing::PageFactory factory(5);
    for (int round = 0; round < 300; ++round) {
        // Small pages count a few wide elements directly; large ones index them.
        const auto page = factory.page(1 + factory.pick(round % 2 == 0 ? 60 : 240), 200, 200, true);
        const float threshold = cross_layout_width_threshold(page);
        std::vector<std::uint64_t> expected;
        for (const Element& e : page) {
            int overlaps = 0;
            for (const Element& f : page) {
                overlaps += f.id != e.id && e.x1 < f.x2 && f.x1 < e.x2 && e.y1 < f.y2 && f.y1 < e.y2;
            }
            const bool by_label = e.label == SemanticLabel::HorizontalTitle || e.label == SemanticLabel::VerticalTitle ||
                                  e.label == SemanticLabel::Vision;
            if (by_label || (overlaps >= 2 && e.x2 - e.x1 > threshold)) expected.push_back(e.id);
        }
        EXPECT_EQ(masked_ids(page), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace tarvello::paper
