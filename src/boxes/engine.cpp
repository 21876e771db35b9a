#include "boxes/engine.hpp"

#include <utility>

#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "paper/quintor/src/core/pipeline.hpp"

namespace tarvello::boxes {

ReadingOrder order_page(Engine engine, std::vector<Element> elements, const PageBounds& bounds,
                        const std::optional<XYCutConfig>& config) {
    if (engine == Engine::ostrel) return ostrel::compute_ostrel_order(elements);
    return paper::compute_paper_order(std::move(elements), bounds, config);
}

}  // namespace tarvello::boxes
