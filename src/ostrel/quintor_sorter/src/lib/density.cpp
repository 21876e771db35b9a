#include "density.hpp"

namespace tarvello::ostrel {

float density_ratio(std::span<const LayoutBox> boxes) {
    if (boxes.empty()) return 1.0f;
    float left = boxes.front().left();
    float right = boxes.front().right();
    float top = boxes.front().top();
    float bottom = boxes.front().bottom();
    for (const LayoutBox& box : boxes) {
        left = min_num(left, box.left());
        right = max_num(right, box.right());
        top = min_num(top, box.top());
        bottom = max_num(bottom, box.bottom());
    }
    const float region_area = max_num(right - left, 0.0f) * max_num(bottom - top, 0.0f);
    if (!(region_area > 0.0f)) return 1.0f;
    // Summed in list order, in single precision, as the ratio is defined.
    float covered = 0.0f;
    for (const LayoutBox& box : boxes) covered += box.width() * box.height();
    return min_num(covered / region_area, 1.0f);
}

}  // namespace tarvello::ostrel
