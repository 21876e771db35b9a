// Both engines behind one entry, for the callers that choose one per call.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::boxes {

enum class Engine : std::uint8_t { paper = 0, ostrel = 1 };

// The reading order of one page by `engine`; the ostrel engine ignores the
// page rectangle and the configuration. Lets std::bad_alloc through.
ReadingOrder order_page(Engine engine, std::vector<Element> elements, const PageBounds& bounds,
                        const std::optional<XYCutConfig>& config);

}  // namespace tarvello::boxes
