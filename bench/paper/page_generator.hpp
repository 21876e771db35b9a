// Synthetic pages for the benchmarks: text lines grouped into paragraphs in
// one to three columns, with headers, footers, titles, section headings,
// figures with captions and the odd element spanning the columns. Pages are
// stacked downwards until the element count is reached; the elements come in
// a shuffled order, as a layout detector would hand them over.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper::bench {

struct GeneratedPage {
    std::vector<Element> elements;
    PageBounds bounds;
};

class PageGenerator {
public:
    PageGenerator(int columns, std::uint32_t seed) : columns_(columns), rng_(seed) {}

    GeneratedPage make(std::size_t count) {
        while (elements_.size() < count) add_page();
        elements_.resize(count);
        std::shuffle(elements_.begin(), elements_.end(), rng_);
        return {elements_, {0, 0, kWidth, top_}};
    }

private:
    static constexpr float kWidth = 612, kHeight = 792, kMargin = 54, kColumnGap = 18, kLine = 9, kLeading = 2;

    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    void add(float x1, float y1, float x2, float y2, SemanticLabel label) {
        elements_.push_back({elements_.size(), x1, y1, x2, y2, label});
    }

    void add_page() {
        // Stacked pages are set apart by varying space: with equal gaps the
        // first of them always wins and the cut tree peels one page per level.
        const float top = top_;
        top_ += kHeight + std::floor(uniform(0, 40));
        ++pages_;
        add(kMargin, top + 20, kWidth - 200, top + 30, SemanticLabel::Regular);                       // running header
        add(kMargin, top + 760, kWidth - kMargin - 40, top + 770, SemanticLabel::Regular);            // footer
        add(kWidth - kMargin - 20, top + 760, kWidth - kMargin, top + 770, SemanticLabel::Regular);   // page number
        float body = top + 72;
        if (pages_ == 1) {
            add(kMargin + 40, body, kWidth - kMargin - 40, body + 22, SemanticLabel::HorizontalTitle);
            body += 40;
        }
        if (columns_ > 1 && chance(0.3)) {
            // A figure across all columns, with its caption.
            add(kMargin, body, kWidth - kMargin, body + 160, SemanticLabel::Vision);
            add(kMargin, body + 166, kWidth - kMargin, body + 186, SemanticLabel::Regular);
            body += 206;
        }
        const float column_width = (kWidth - 2 * kMargin - kColumnGap * static_cast<float>(columns_ - 1)) /
                                   static_cast<float>(columns_);
        for (int c = 0; c < columns_; ++c) {
            const float left = kMargin + static_cast<float>(c) * (column_width + kColumnGap);
            fill_column(left, left + column_width, body, top + 740);
        }
    }

    void fill_column(float left, float right, float y, float bottom) {
        while (y < bottom - 40) {
            if (chance(0.08)) {
                add(left, y, left + (right - left) * 0.6f, y + 12, SemanticLabel::HorizontalTitle);
                y += 12 + uniform(6, 12);
            } else if (chance(0.06) && y + 150 < bottom) {
                const float height = std::floor(uniform(60, 120));
                add(left, y, right, y + height, SemanticLabel::Vision);
                add(left, y + height + 4, right, y + height + 24, SemanticLabel::Regular);  // caption
                y += height + 24 + uniform(14, 24);
                continue;
            }
            const int lines = 2 + static_cast<int>(uniform(0, 7));
            for (int i = 0; i < lines && y + kLine < bottom; ++i) {
                const float end = i + 1 == lines ? left + (right - left) * uniform(0.3f, 1.0f) : right;
                add(left, y, end, y + kLine, SemanticLabel::Regular);
                y += kLine + kLeading;
            }
            y += std::floor(uniform(12, 24));
        }
    }

    int columns_;
    std::mt19937 rng_;
    std::vector<Element> elements_;
    int pages_ = 0;
    float top_ = 0;
};

// One column of equal lines with equal gaps, top-down: each cut peels one line.
inline GeneratedPage single_column(std::size_t count) {
    GeneratedPage page;
    for (std::size_t i = 0; i < count; ++i) {
        const float y = 72 + static_cast<float>(i) * 30;
        page.elements.push_back({i, 54, y, 558, y + 12, SemanticLabel::Regular});
    }
    page.bounds = {0, 0, 612, 144 + static_cast<float>(count) * 30};
    return page;
}

}  // namespace tarvello::paper::bench
