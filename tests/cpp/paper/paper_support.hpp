// Shared helpers of the paper engine tests: boxes, records and random pages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "layout/records.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::paper::testing {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

inline Element box(std::uint64_t id, float x1, float y1, float x2, float y2, SemanticLabel label = SemanticLabel::Regular) {
    return {id, x1, y1, x2, y2, label};
}

inline std::vector<std::uint64_t> ids_of(std::span<const Element> elements) {
    std::vector<std::uint64_t> ids;
    for (const Element& e : elements) ids.push_back(e.id);
    return ids;
}

inline std::vector<std::uint64_t> sorted(std::vector<std::uint64_t> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The engine file and level each kind of record comes with.
inline std::pair<std::string, diagnostics::LogLevel> origin_of(const std::string& message) {
    using enum diagnostics::LogLevel;
    if (message.starts_with("[Hist")) return {"projection_histogram.cpp", Debug};
    if (message.starts_with("[INSERT]")) return {"reinsert_masked.cpp", Debug};
    if (message.starts_with("No valid")) return {"reinsert_masked.cpp", Warn};
    if (message.starts_with("Invalid page")) return {"pipeline.cpp", Warn};
    return {"xy_cut.cpp", Debug};
}

// The messages written since the last call, after checking the fields every
// paper record shares and the file and level of its kind.
inline std::vector<std::string> take_lines() {
    std::vector<std::string> lines;
    for (const tarvello::testing::LoggedRecord& r : tarvello::testing::take_records()) {
        EXPECT_EQ(r.target, "tarvello::paper");
        EXPECT_EQ(r.module_path, "quintor::core");
        const auto [file, level] = origin_of(r.message);
        EXPECT_EQ(std::pair(r.source_path, r.level), std::pair("src/paper/quintor/src/core/" + file, level)) << r.message;
        EXPECT_GT(r.line, 0u);
        lines.push_back(r.message);
    }
    return lines;
}
using Lines = std::vector<std::string>;

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
struct PageFactory {
    explicit PageFactory(std::uint32_t seed) : rng(seed) {}

    float coordinate(float extent) {
        const std::uint32_t kind = pick(40);
        if (kind >= 4) return kind == 4 ? -uniform(0.0f, extent) : uniform(0.0f, extent);
        return kind == 3 ? (pick(2) ? 1e30f : -1e30f) : kind == 2 ? -kInf : kind == 1 ? kInf : kNaN;
    }

    Element element(std::uint64_t id, float width, float height, bool awkward) {
        Element e;
        e.id = pick(10) == 0 ? id / 2 : id;  // some repeated ids
        e.label = static_cast<SemanticLabel>(pick(5));
        if (awkward && pick(3) == 0) {
            e.x1 = coordinate(width), e.y1 = coordinate(height), e.x2 = coordinate(width), e.y2 = coordinate(height);
            return e;
        }
        e.x1 = std::floor(uniform(0.0f, width * 0.9f)), e.y1 = std::floor(uniform(0.0f, height * 0.95f));
        e.x2 = e.x1 + std::floor(uniform(0.0f, width * (pick(4) == 0 ? 0.8f : 0.3f)));
        e.y2 = e.y1 + std::floor(uniform(0.0f, height * 0.05f));
        return e;
    }

    std::vector<Element> page(std::size_t count, float width, float height, bool awkward) {
        std::vector<Element> elements(count);
        for (std::size_t i = 0; i < count; ++i) elements[i] = element(i, width, height, awkward);
        return elements;
    }

    std::uint32_t pick(std::uint32_t n) { return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng); }
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

    std::mt19937 rng;
};

}  // namespace tarvello::paper::testing
