#include "layout/records.hpp"

#include <gtest/gtest.h>

namespace tarvello {
namespace {

TEST(SemanticLabel, CodesAndNamesFollowTheTable) {
    const SemanticLabel members[] = {SemanticLabel::CrossLayout, SemanticLabel::HorizontalTitle,
                                     SemanticLabel::VerticalTitle, SemanticLabel::Vision, SemanticLabel::Regular};
    const char* names[] = {"CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"};
    for (std::uint8_t code = 0; code < 5; ++code) {
        EXPECT_EQ(label_code(members[code]), code);
        EXPECT_EQ(label_from_code(code), members[code]);
        EXPECT_EQ(bare_name(members[code]), names[code]);
        EXPECT_EQ(qualified_name(members[code]), std::string("SemanticLabel.") + names[code]);
    }
    EXPECT_EQ(label_from_code(5), std::nullopt);
}

}  // namespace
}  // namespace tarvello
