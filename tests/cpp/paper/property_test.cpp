// Whole pages, random and awkward: every id once on a valid page, nothing on
// an invalid one, and the order independent of what the logger lets through.
#include <algorithm>
#include <limits>

#include "paper/quintor/src/core/pipeline.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using testing::PageFactory;
using testing::take_lines;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<std::uint64_t> sorted_ids(std::span<const Element> elements) {
    std::vector<std::uint64_t> ids;
    for (const Element& e : elements) ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

XYCutConfig random_config(PageFactory& factory) {
    switch (factory.pick(6)) {
        case 0: return {factory.uniform(0.0f, 2.0f), factory.uniform(0.0f, 1.0f), 10.0f};  // product below 2
        case 1: return {15.0f, factory.pick(2) ? 1e9f : kInf, 0.0f};
        case 2: return {kNaN, -1.0f, kNaN};
        default: return {};
    }
}

PageBounds random_bounds(PageFactory& factory) {
    switch (factory.pick(8)) {
        case 0: return {1e9f, 0, 1e9f + 640, 100};  // far from the origin
        case 1: return {0, 0, kInf, 792};
        case 2: return {-3e38f, -3e38f, 3e38f, 3e38f};
        case 3: return {-50, -50, 700, 850};
        default: return {0, 0, 612, 792};
    }
}

class PaperProperty : public testing::PaperTest {};

TEST_F(PaperProperty, ValidPagesGiveEveryIdExactlyOnce) {
    PageFactory factory(17);
    for (int round = 0; round < 1500; ++round) {
        const auto page = factory.page(factory.pick(120), 612, 792, round % 3 != 0);
        const PageBounds bounds = random_bounds(factory);
        ReadingOrder order = compute_paper_order(page, bounds, random_config(factory));
        std::sort(order.begin(), order.end());
        const bool valid = std::isfinite(bounds.x_max - bounds.x_min) && std::isfinite(bounds.y_max - bounds.y_min);
        EXPECT_EQ(order, valid ? sorted_ids(page) : ReadingOrder{}) << "round " << round;
        take_lines();
    }
}

TEST_F(PaperProperty, OrderDoesNotDependOnTheLogLevel) {
    PageFactory factory(29);
    auto& recorder = tarvello::testing::global_recorder();
    for (int round = 0; round < 300; ++round) {
        const auto page = factory.page(factory.pick(80), 612, 792, round % 2 == 0);
        const auto config = random_config(factory);
        const PageBounds bounds{0, 0, 612, 792};
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
        const ReadingOrder at_debug = compute_paper_order(page, bounds, config);
        const auto debug_records = take_lines();
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Warn);
        EXPECT_EQ(compute_paper_order(page, bounds, config), at_debug);
        // Exactly the warnings of the debug run get through.
        std::vector<testing::Line> warnings;
        std::copy_if(debug_records.begin(), debug_records.end(), std::back_inserter(warnings),
                     [](const testing::Line& l) { return l.level == diagnostics::LogLevel::Warn; });
        EXPECT_EQ(take_lines(), warnings);
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Off);
        EXPECT_EQ(compute_paper_order(page, bounds, config), at_debug);
        // A logger that declines everything is asked, and gets nothing.
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
        recorder.answer_enabled = false;
        EXPECT_EQ(compute_paper_order(page, bounds, config), at_debug);
        recorder.answer_enabled = true;
        EXPECT_TRUE(take_lines().empty());
    }
}

}  // namespace
}  // namespace tarvello::paper
