// Figures for the ostrel engine, with no logger installed (the facade's level
// is Off, as in a process that never imported the module's logging).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"

namespace tarvello::ostrel {
namespace {

// A page of text lines in columns: paragraphs of 2 to 8 lines 3 units apart
// (too close to cut), paragraphs 8 to 16 units apart, ragged line ends, a
// title over all columns and a footer.
std::vector<LayoutBox> realistic_page(std::size_t columns, std::size_t boxes, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<float> jitter(0.0f, 1.0f);
    std::uniform_int_distribution<int> paragraph_lines(2, 8);
    std::vector<LayoutBox> page;
    const float page_width = 600.0f;
    const float gutter = 20.0f;
    const float column_width = (page_width - gutter * static_cast<float>(columns - 1)) / static_cast<float>(columns);
    page.push_back({0, 40.0f, 30.0f, 40.0f + page_width * 0.8f, 52.0f});  // title
    const std::size_t body = boxes - 2;
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t count = body / columns + (c < body % columns ? 1 : 0);
        const float x = 40.0f + static_cast<float>(c) * (column_width + gutter);
        float y = 70.0f;
        int left_in_paragraph = paragraph_lines(rng);
        for (std::size_t l = 0; l < count; ++l) {
            const bool last = --left_in_paragraph == 0;
            const float width = last ? column_width * (0.2f + 0.7f * jitter(rng)) : column_width - 4.0f * jitter(rng);
            page.push_back({page.size(), x, y, x + width, y + 10.0f});
            y += 10.0f + (last ? 8.0f + 8.0f * jitter(rng) : 3.0f);
            if (last) left_in_paragraph = paragraph_lines(rng);
        }
    }
    float bottom = 0.0f;
    for (const LayoutBox& box : page) bottom = std::max(bottom, box.y2);
    page.push_back({page.size(), 300.0f, bottom + 20.0f, 320.0f, bottom + 30.0f});  // page number
    return page;
}

// One column of evenly spaced lines 6 units apart: every cut peels one line,
// the deepest nesting there is.
std::vector<LayoutBox> single_column(std::size_t boxes) {
    std::vector<LayoutBox> page;
    for (std::size_t i = 0; i < boxes; ++i) {
        const float y = 16.0f * static_cast<float>(i);
        page.push_back({i, 40.0f, y, 560.0f, y + 10.0f});
    }
    return page;
}

void run_sort(benchmark::State& state, const std::vector<LayoutBox>& page) {
    const OstrelSorter sorter;
    for (auto _ : state) {
        auto order = sorter.sort(page);
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

void BM_RealisticPage(benchmark::State& state) {
    const auto columns = static_cast<std::size_t>(state.range(0));
    const auto boxes = static_cast<std::size_t>(state.range(1));
    run_sort(state, realistic_page(columns, boxes, 42));
}
BENCHMARK(BM_RealisticPage)
    ->ArgNames({"columns", "boxes"})
    ->ArgsProduct({{1, 2, 3}, {50, 100, 200, 300}});

// The same kind of page at sizes no page reaches, for the growth rate.
void BM_GrowingPage(benchmark::State& state) {
    const auto boxes = static_cast<std::size_t>(state.range(0));
    run_sort(state, realistic_page(3, boxes, 7));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GrowingPage)->ArgName("boxes")->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMicrosecond);

void BM_SingleColumn(benchmark::State& state) {
    run_sort(state, single_column(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_SingleColumn)->ArgName("boxes")->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
// Each cut scans what is left, so this one is quadratic: measured once.
BENCHMARK(BM_SingleColumn)->ArgName("boxes")->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvello::ostrel
