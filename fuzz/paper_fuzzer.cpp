// The paper engine on arbitrary pages: a usable page gives every id exactly
// once; an unusable one gives nothing and exactly one warning; an empty page
// gives nothing and says nothing. Every record is rendered on the way, so the
// formatter sees the engine's real arguments too.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "diagnostics/format.hpp"
#include "fuzz_input.hpp"
#include "paper/quintor/src/core/pipeline.hpp"
#include "support/global_recorder.hpp"

using namespace tarvello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    testing::global_recorder();
    testing::take_records();

    const PageBounds page{fuzzing::consume_float(input), fuzzing::consume_float(input), fuzzing::consume_float(input),
                          fuzzing::consume_float(input)};
    std::optional<XYCutConfig> config;
    if (input.ConsumeBool()) {
        config = XYCutConfig{fuzzing::consume_float(input), fuzzing::consume_float(input), fuzzing::consume_float(input)};
    }
    const std::vector<Element> elements = fuzzing::consume_elements(input);

    const ReadingOrder order = paper::compute_paper_order(elements, page, config);
    const auto records = testing::take_records();

    if (elements.empty()) {
        fuzzing::check(order.empty(), "an empty page gives an empty order");
        fuzzing::check(records.empty(), "an empty page writes no record");
        return 0;
    }
    const float width = page.x_max - page.x_min;
    const float height = page.y_max - page.y_min;
    const bool usable = std::isfinite(width) && width > 0.0f && std::isfinite(height) && height > 0.0f;
    if (!usable) {
        fuzzing::check(order.empty(), "an unusable page gives an empty order");
        fuzzing::check(records.size() == 1, "an unusable page writes exactly one record");
        fuzzing::check(records[0].level == diagnostics::LogLevel::Warn, "that record is a warning");
        fuzzing::check(records[0].message == diagnostics::format("Invalid page dimensions ({}, {})", width, height),
                       "the warning carries width and height");
        return 0;
    }
    std::vector<std::uint64_t> expected;
    for (const Element& element : elements) expected.push_back(element.id);
    std::vector<std::uint64_t> got = order;
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    fuzzing::check(got == expected, "a usable page gives every id exactly once");
    for (const auto& record : records) {
        fuzzing::check(!record.message.starts_with("Invalid page dimensions"), "a usable page is not refused");
    }
    return 0;
}
