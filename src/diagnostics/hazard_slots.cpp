#include "diagnostics/hazard_slots.hpp"

namespace tarvello::diagnostics {

constinit std::atomic<HazardSlot*> HazardSlot::head_{nullptr};

HazardSlot& HazardSlot::acquire() {
    // A re-entrant reader (a logging handler that logs again) finds its
    // thread's slot taken and moves on to another.
    thread_local HazardSlot* last = nullptr;
    if (last != nullptr && last->try_take()) return *last;
    for (HazardSlot* slot = head_.load(std::memory_order_acquire); slot != nullptr; slot = slot->next_) {
        if (slot->try_take()) return *(last = slot);
    }
    auto* fresh = new HazardSlot();
    fresh->taken_.store(true, std::memory_order_relaxed);
    fresh->next_ = head_.load(std::memory_order_relaxed);
    while (!head_.compare_exchange_weak(fresh->next_, fresh, std::memory_order_release, std::memory_order_relaxed)) {
    }
    return *(last = fresh);
}

}  // namespace tarvello::diagnostics
