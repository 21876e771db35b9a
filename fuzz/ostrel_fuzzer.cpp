// The ostrel engine on arbitrary boxes: the result is a permutation of the
// input boxes, each one back exactly once with its corners untouched.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <tuple>
#include <vector>

#include "fuzz_input.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "support/global_recorder.hpp"

using namespace tarvello;

namespace {

// Bit patterns, so that NaN boxes compare equal to themselves.
using BoxKey = std::tuple<std::uint64_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;

std::vector<BoxKey> sorted_keys(const std::vector<ostrel::LayoutBox>& boxes) {
    std::vector<BoxKey> keys;
    for (const auto& box : boxes) {
        keys.emplace_back(box.id, std::bit_cast<std::uint32_t>(box.x1), std::bit_cast<std::uint32_t>(box.y1),
                          std::bit_cast<std::uint32_t>(box.x2), std::bit_cast<std::uint32_t>(box.y2));
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    testing::global_recorder();
    testing::take_records();

    std::vector<ostrel::LayoutBox> boxes;
    for (const Element& element : fuzzing::consume_elements(input)) {
        boxes.push_back({element.id, element.x1, element.y1, element.x2, element.y2});
    }
    const std::vector<ostrel::LayoutBox> sorted = ostrel::OstrelSorter().sort(boxes);
    testing::take_records();
    fuzzing::check(sorted.size() == boxes.size(), "every box comes back");
    fuzzing::check(sorted_keys(sorted) == sorted_keys(boxes), "the result is a permutation of the input");
    return 0;
}
