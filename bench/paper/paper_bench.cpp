// Engine time of the paper engine, with no logger installed (the facade's
// maximum level stays Off).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "page_generator.hpp"
#include "paper/quintor/src/core/pipeline.hpp"

namespace tarvello::paper::bench {
namespace {

void run_page(benchmark::State& state, const GeneratedPage& page) {
    for (auto _ : state) {
        auto order = compute_paper_order(page.elements, page.bounds, std::nullopt);
        benchmark::DoNotOptimize(order.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(page.elements.size()));
}

// One, two and three columns, 50 to 300 elements.
void BM_RealisticPage(benchmark::State& state) {
    const auto columns = static_cast<int>(state.range(0));
    run_page(state, PageGenerator(columns, 42).make(static_cast<std::size_t>(state.range(1))));
}
BENCHMARK(BM_RealisticPage)->ArgsProduct({{1, 2, 3}, {50, 100, 200, 300}})->Unit(benchmark::kMicrosecond);

// Growth on realistic material.
void BM_RealisticGrowth(benchmark::State& state) {
    const auto columns = static_cast<int>(state.range(0));
    run_page(state, PageGenerator(columns, 7).make(static_cast<std::size_t>(state.range(1))));
}
BENCHMARK(BM_RealisticGrowth)
    ->ArgsProduct({{1, 2, 3}, {1'000, 10'000, 100'000}})
    ->Unit(benchmark::kMillisecond);

// What n log n looks like on this machine for the same material: the copy of
// the elements that the engine also makes, and one sort of them. Its growth
// from 10k to 100k shows how much of the engine's comes from the caches.
void BM_SortReference(benchmark::State& state) {
    const GeneratedPage page = PageGenerator(2, 7).make(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<Element> elements = page.elements;
        std::sort(elements.begin(), elements.end(), [](const Element& a, const Element& b) {
            return a.y1 != b.y1 ? a.y1 < b.y1 : a.x1 < b.x1;
        });
        benchmark::DoNotOptimize(elements.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortReference)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The degenerate cut tree: one line peeled per cut.
void BM_SingleColumn(benchmark::State& state) {
    run_page(state, single_column(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_SingleColumn)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleColumn)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Re-insertion at its worst: everything masked, so every element is scored
// against everything placed before it.
void BM_ReinsertAllMasked(benchmark::State& state) {
    GeneratedPage page = PageGenerator(2, 99).make(static_cast<std::size_t>(state.range(1)));
    const auto label = static_cast<SemanticLabel>(state.range(0));
    for (Element& e : page.elements) e.label = label;
    run_page(state, page);
}
BENCHMARK(BM_ReinsertAllMasked)
    ->ArgsProduct({{static_cast<int>(SemanticLabel::Vision), static_cast<int>(SemanticLabel::VerticalTitle)}, {1'000, 10'000}})
    ->Unit(benchmark::kMillisecond);

// Cross-layout elements below the top of the page have a score whose partial
// sums can fall, so every position is visited in order.
void BM_ReinsertCrossLayoutScan(benchmark::State& state) {
    GeneratedPage page = PageGenerator(2, 5).make(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < page.elements.size(); i += 10) page.elements[i].label = SemanticLabel::Vision;
    for (std::size_t i = 5; i < page.elements.size(); i += 10) {
        Element& e = page.elements[i];
        e = {e.id, 40, e.y1 - 4, 580, e.y2 + 4, SemanticLabel::CrossLayout};  // wide, overlapping its neighbours
    }
    run_page(state, page);
}
BENCHMARK(BM_ReinsertCrossLayoutScan)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// The scale benchmark's page: a tall two-column page with a full-width title
// and a full-width figure every fifty lines.
void BM_ScalePage(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    GeneratedPage page;
    page.elements.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t line = i / 2;
        const std::size_t column = i % 2;
        const float y = static_cast<float>(line) * 14.0f;
        if (line % 50 == 0 && column == 0) {
            page.elements.push_back({i, 40, y, 572, y + 10, SemanticLabel::HorizontalTitle});
        } else if (line % 50 == 25 && column == 0) {
            page.elements.push_back({i, 40, y, 572, y + 12, SemanticLabel::Vision});
        } else {
            const float x = 40.0f + static_cast<float>(column) * 276.0f;
            page.elements.push_back({i, x, y, x + 256, y + 10, SemanticLabel::Regular});
        }
    }
    page.bounds = {0, 0, 612, static_cast<float>(n) * 7.0f + 20.0f};
    run_page(state, page);
}
BENCHMARK(BM_ScalePage)->Arg(10'000)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvello::paper::bench
