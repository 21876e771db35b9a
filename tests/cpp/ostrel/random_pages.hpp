// Pages for the property and equivalence tests: realistic columns, coarse
// grids full of ties and touching edges, and hostile values (NaN, infinities,
// signed zeros, inverted corners, repeated boxes). Ids are input positions.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "ostrel/quintor_sorter/src/lib/layout_box.hpp"

namespace tarvello::ostrel::testing {

enum class PageKind { Columns, Grid, Hostile, AnyBits };

inline const char* page_kind_name(PageKind kind) {
    switch (kind) {
        case PageKind::Columns: return "Columns";
        case PageKind::Grid: return "Grid";
        case PageKind::Hostile: return "Hostile";
        case PageKind::AnyBits: return "AnyBits";
    }
    return "?";
}

class PageMaker {
public:
    explicit PageMaker(std::uint64_t seed) : rng_(seed) {}

    std::vector<LayoutBox> make(PageKind kind, std::size_t n) {
        std::vector<LayoutBox> page;
        for (std::size_t i = 0; i < n; ++i) {
            if (!page.empty() && chance(0.08)) {
                LayoutBox twin = page[pick(page.size())];  // an identical box
                page.push_back(twin);
            } else {
                page.push_back(fresh(kind, i));
            }
            page.back().id = i;
        }
        return page;
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }

private:
    LayoutBox fresh(PageKind kind, std::size_t i) {
        switch (kind) {
            case PageKind::Columns: {
                const float y = static_cast<float>(i % 25) * 20.0f + uniform(0.0f, 3.0f);
                if (chance(0.05)) {  // a narrow box bridging a gutter
                    const float x = static_cast<float>(1 + pick(2)) * 200.0f - uniform(8.0f, 12.0f);
                    return {0, x, y, x + 15.0f, y + 10.0f};
                }
                const float x = static_cast<float>(pick(3)) * 200.0f + uniform(0.0f, 4.0f);
                const float w = chance(0.1) ? uniform(400.0f, 600.0f) : uniform(5.0f, 180.0f);
                return {0, x, y, x + w, y + uniform(8.0f, 14.0f)};
            }
            case PageKind::Grid: {
                // Small boxes on a 2.5 grid: gaps of exactly 5 and 2.5, touching
                // edges, ties everywhere; corners now and then swapped.
                const float x = grid();
                const float y = grid();
                const float w = static_cast<float>(pick(5)) * 2.5f;
                const float h = static_cast<float>(pick(3)) * 2.5f;
                return chance(0.2) ? LayoutBox{0, x + w, y + h, x, y} : LayoutBox{0, x, y, x + w, y + h};
            }
            case PageKind::Hostile:
                return {0, hostile(), hostile(), hostile(), hostile()};
            case PageKind::AnyBits:
                return {0, any_bits(), any_bits(), any_bits(), any_bits()};
        }
        return {};
    }

    float grid() { return static_cast<float>(pick(25)) * 2.5f; }

    float hostile() {
        constexpr float inf = std::numeric_limits<float>::infinity();
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        switch (pick(12)) {
            case 0: return nan;
            case 1: return -nan;
            case 2: return inf;
            case 3: return -inf;
            case 4: return -0.0f;
            case 5: return 0.0f;
            case 6: return std::numeric_limits<float>::max();
            case 7: return 4.99f;
            default: return grid();
        }
    }

    float any_bits() { return std::bit_cast<float>(static_cast<std::uint32_t>(rng_())); }

    std::mt19937_64 rng_;
};

}  // namespace tarvello::ostrel::testing
