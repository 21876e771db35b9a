// Small helpers shared by the ostrel tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/quintor_sorter/src/lib/layout_box.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::ostrel::testing {

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();
inline constexpr diagnostics::LogLevel kDebug = diagnostics::LogLevel::Debug;
inline constexpr diagnostics::LogLevel kWarn = diagnostics::LogLevel::Warn;

using Ids = std::vector<std::uint64_t>;
using tarvello::testing::LoggedRecord;

inline Ids ids(const std::vector<LayoutBox>& boxes) {
    Ids out;
    for (const LayoutBox& box : boxes) out.push_back(box.id);
    return out;
}

// A record of the engine as the tests spell it out; lines are not compared.
inline LoggedRecord note(diagnostics::LogLevel level, const std::string& file, std::string message) {
    return {level, "tarvello::ostrel", std::move(message), "quintor_sorter", "src/ostrel/quintor_sorter/src/lib/" + file, 0};
}

// What the engine wrote since the last call, each line checked and cleared.
inline std::vector<LoggedRecord> written() {
    auto records = tarvello::testing::take_records();
    for (LoggedRecord& r : records) EXPECT_GT(std::exchange(r.line, 0u), 0u) << r;
    return records;
}

// A test that starts with no records pending.
struct RecordsTest : ::testing::Test {
    void SetUp() override { (void)written(); }
};

}  // namespace tarvello::ostrel::testing
