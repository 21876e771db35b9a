// Shared helpers of the paper engine tests: boxes, random pages and the
// records the engine wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "layout/records.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::paper::testing {

using tarvello::testing::LoggedRecord;

inline Element box(std::uint64_t id, float x1, float y1, float x2, float y2,
                   SemanticLabel label = SemanticLabel::Regular) {
    return {id, x1, y1, x2, y2, label};
}

// Level and message of one record, for compact expectations.
struct Line {
    diagnostics::LogLevel level;
    std::string message;
    friend bool operator==(const Line&, const Line&) = default;
    friend void PrintTo(const Line& line, std::ostream* os) {
        *os << (line.level == diagnostics::LogLevel::Warn ? "WARN " : "DEBUG ") << '"' << line.message << '"';
    }
};

inline Line debug_line(std::string message) { return {diagnostics::LogLevel::Debug, std::move(message)}; }
inline Line warn_line(std::string message) { return {diagnostics::LogLevel::Warn, std::move(message)}; }

// Takes what was written since the last call and checks the fields every
// paper record shares; the source file must be the engine file given.
inline std::vector<Line> take_lines(const std::string& expected_file = "") {
    std::vector<Line> lines;
    for (const LoggedRecord& r : tarvello::testing::take_records()) {
        EXPECT_EQ(r.target, "tarvello::paper");
        EXPECT_EQ(r.module_path, "quintor::core");
        EXPECT_TRUE(r.source_path.starts_with("src/paper/quintor/src/core/")) << r.source_path;
        if (!expected_file.empty()) {
            EXPECT_EQ(r.source_path, "src/paper/quintor/src/core/" + expected_file);
        }
        EXPECT_GT(r.line, 0u);
        lines.push_back({r.level, r.message});
    }
    return lines;
}

// Every test starts with the recorder installed and empty.
class PaperTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarvello::testing::global_recorder().answer_enabled = true;
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
        tarvello::testing::take_records();
    }
};

// Random pages mixing ordinary boxes with the awkward ones: inverted, zero
// size, NaN, infinite and huge coordinates, repeated ids, every label.
class PageFactory {
public:
    explicit PageFactory(std::uint32_t seed) : rng_(seed) {}

    float coordinate(float extent) {
        switch (pick(40)) {
            case 0: return std::numeric_limits<float>::quiet_NaN();
            case 1: return std::numeric_limits<float>::infinity();
            case 2: return -std::numeric_limits<float>::infinity();
            case 3: return 1e30f * (pick(2) ? 1.0f : -1.0f);
            case 4: return -uniform(0.0f, extent);
            default: return uniform(0.0f, extent);
        }
    }

    Element element(std::uint64_t id, float width, float height, bool awkward) {
        Element e;
        e.id = pick(10) == 0 ? id / 2 : id;  // some repeated ids
        e.label = static_cast<SemanticLabel>(pick(5));
        if (awkward && pick(3) == 0) {
            e.x1 = coordinate(width);
            e.y1 = coordinate(height);
            e.x2 = coordinate(width);
            e.y2 = coordinate(height);
            return e;
        }
        e.x1 = std::floor(uniform(0.0f, width * 0.9f));
        e.y1 = std::floor(uniform(0.0f, height * 0.95f));
        e.x2 = e.x1 + std::floor(uniform(0.0f, width * (pick(4) == 0 ? 0.8f : 0.3f)));
        e.y2 = e.y1 + std::floor(uniform(0.0f, height * 0.05f));
        return e;
    }

    std::vector<Element> page(std::size_t count, float width, float height, bool awkward) {
        std::vector<Element> elements;
        for (std::size_t i = 0; i < count; ++i) elements.push_back(element(i, width, height, awkward));
        return elements;
    }

    std::uint32_t pick(std::uint32_t n) { return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng_); }
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    std::mt19937& rng() { return rng_; }

private:
    std::mt19937 rng_;
};

}  // namespace tarvello::paper::testing
