#include "layout/records.hpp"

#include <gtest/gtest.h>

namespace tarvello {
namespace {

TEST(SemanticLabel, CodesAndNamesFollowTheTable) {
    const SemanticLabel members[] = {SemanticLabel::CrossLayout, SemanticLabel::HorizontalTitle,
                                     SemanticLabel::VerticalTitle, SemanticLabel::Vision, SemanticLabel::Regular};
    const char* bare[] = {"CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"};
    for (std::uint8_t code = 0; code < 5; ++code) {
        EXPECT_EQ(label_code(members[code]), code);
        EXPECT_EQ(label_from_code(code), members[code]);
        EXPECT_EQ(bare_name(members[code]), bare[code]);
        EXPECT_EQ(qualified_name(members[code]), std::string("SemanticLabel.") + bare[code]);
    }
    EXPECT_EQ(label_from_code(5), std::nullopt);
    EXPECT_EQ(label_from_code(255), std::nullopt);
}

TEST(XYCutConfig, DefaultsAreFifteenHalfAndTen) {
    constexpr XYCutConfig config;
    EXPECT_EQ(config.min_cut_threshold, 15.0f);
    EXPECT_EQ(config.histogram_resolution_scale, 0.5f);
    EXPECT_EQ(config.same_row_tolerance, 10.0f);
}

}  // namespace
}  // namespace tarvello
