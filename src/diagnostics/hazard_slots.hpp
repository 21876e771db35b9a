// Hazard slots: a reader publishes the pointer it is about to use, and a
// writer frees a retired object only once no slot holds it. Slots are never
// freed; a thread reuses its last slot, so the read path is a few atomic
// operations with no lock and no allocation after the first use.
#pragma once

#include <atomic>

namespace tarvello::diagnostics {

class HazardSlot {
public:
    // A free slot, marked taken; release() gives it back.
    static HazardSlot& acquire();
    void release() {
        pointer_.store(nullptr, std::memory_order_release);
        taken_.store(false, std::memory_order_release);
    }

    void protect(const void* pointer) { pointer_.store(pointer, std::memory_order_seq_cst); }

    // Calls `visit` with every pointer that some slot protects right now.
    template <class Visit>
    static void for_each_protected(Visit&& visit) {
        for (HazardSlot* slot = head_.load(std::memory_order_acquire); slot != nullptr; slot = slot->next_) {
            if (const void* pointer = slot->pointer_.load(std::memory_order_seq_cst)) visit(pointer);
        }
    }

private:
    HazardSlot() = default;
    bool try_take() {
        return !taken_.load(std::memory_order_relaxed) && !taken_.exchange(true, std::memory_order_acquire);
    }

    std::atomic<const void*> pointer_{nullptr};
    std::atomic<bool> taken_{false};
    HazardSlot* next_ = nullptr;

    static std::atomic<HazardSlot*> head_;
};

}  // namespace tarvello::diagnostics
