// Small helpers shared by the ostrel tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "ostrel/quintor_sorter/src/lib/layout_box.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::ostrel::testing {

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();
inline constexpr diagnostics::LogLevel kDebug = diagnostics::LogLevel::Debug;
inline constexpr diagnostics::LogLevel kWarn = diagnostics::LogLevel::Warn;

using Ids = std::vector<std::uint64_t>;

inline Ids ids(const std::vector<LayoutBox>& boxes) {
    Ids out;
    for (const LayoutBox& box : boxes) out.push_back(box.id);
    return out;
}

// Gives each box its input position as id.
inline std::vector<LayoutBox> numbered(std::vector<LayoutBox> boxes) {
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i].id = i;
    return boxes;
}

// A record as the tests spell it out: level, source file and message.
struct Written {
    diagnostics::LogLevel level;
    std::string file;
    std::string message;
    friend bool operator==(const Written&, const Written&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Written& w) {
        return os << static_cast<int>(w.level) << " " << w.file << " " << w.message;
    }
};

// What the engine wrote since the last call; the fixed fields are checked
// here, the file is given relative to the engine's folder.
inline std::vector<Written> written() {
    const std::string folder = "src/ostrel/quintor_sorter/src/lib/";
    std::vector<Written> out;
    for (const auto& r : tarvello::testing::take_records()) {
        EXPECT_EQ(r.target, "tarvello::ostrel");
        EXPECT_EQ(r.module_path, "quintor_sorter");
        EXPECT_GT(r.line, 0u);
        EXPECT_TRUE(r.source_path.starts_with(folder)) << r.source_path;
        out.push_back({r.level, r.source_path.substr(std::min(folder.size(), r.source_path.size())), r.message});
    }
    return out;
}

// A test that starts with no records pending.
class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override { (void)written(); }
};

}  // namespace tarvello::ostrel::testing
