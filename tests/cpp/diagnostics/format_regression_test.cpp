// Inputs the formatter fuzzer found, kept as plain tests.
#include <gtest/gtest.h>

#include "diagnostics/format.hpp"

namespace tarvello::diagnostics {
namespace {

// from_chars accepts a sign, so "{:.-50}" once asked for a buffer of
// 48 - 50 characters and threw std::length_error out of a log statement.
TEST(FormatRegression, ANegativeDecimalCountIsCopiedAsText) {
    EXPECT_EQ(format("{:.-50}", 1.5f), "{:.-50}");
    EXPECT_EQ(format("{:.-1} {}", 1.5f), "{:.-1} 1.5");
}

}  // namespace
}  // namespace tarvello::diagnostics
