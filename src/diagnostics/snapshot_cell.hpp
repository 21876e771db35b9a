// An atomically replaceable shared reference to an immutable value.
//
// Readers take snapshots without locking and never wait for writers: they
// protect the current holder with a hazard slot, copy its shared pointer and
// let the slot go. Writers publish by compare-and-swap against a snapshot they
// hold, or replace unconditionally; a replaced holder is freed once no hazard
// slot protects it, and the value itself lives on while any snapshot holds it.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "diagnostics/hazard_slots.hpp"

namespace tarvello::diagnostics {

template <class T>
class SnapshotCell {
    struct Holder {
        std::shared_ptr<const T> value;
    };

public:
    // The current value, kept alive by the snapshot; while a snapshot lives its
    // holder cannot be freed, so a compare-and-swap against it cannot be
    // fooled by a new holder at the same address.
    class Snapshot {
    public:
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;
        ~Snapshot() { slot_.release(); }
        const std::shared_ptr<const T>& value() const { return holder_->value; }

    private:
        friend class SnapshotCell;
        Snapshot(HazardSlot& slot, Holder* holder) : slot_(slot), holder_(holder) {}
        HazardSlot& slot_;
        Holder* holder_;
    };

    explicit SnapshotCell(std::shared_ptr<const T> initial) : current_(new Holder{std::move(initial)}) {}
    SnapshotCell(const SnapshotCell&) = delete;
    SnapshotCell& operator=(const SnapshotCell&) = delete;
    // Only when no other thread can use the cell any more.
    ~SnapshotCell() {
        delete current_.load();
        for (Holder* holder : retired_) delete holder;
    }

    Snapshot snapshot() const {
        HazardSlot& slot = HazardSlot::acquire();
        Holder* holder = current_.load(std::memory_order_seq_cst);
        for (;;) {
            slot.protect(holder);
            // Seen again after publishing: a writer that retires it from now on
            // will see the slot.
            Holder* again = current_.load(std::memory_order_seq_cst);
            if (again == holder) return Snapshot(slot, holder);
            holder = again;
        }
    }

    std::shared_ptr<const T> load() const { return snapshot().value(); }

    // Publishes `desired` if the cell still holds what `expected` saw.
    bool compare_and_swap(const Snapshot& expected, std::shared_ptr<const T> desired) {
        auto fresh = std::make_unique<Holder>(Holder{std::move(desired)});
        Holder* seen = expected.holder_;
        if (!current_.compare_exchange_strong(seen, fresh.get(), std::memory_order_seq_cst)) return false;
        fresh.release();
        retire(expected.holder_);
        return true;
    }

    void replace(std::shared_ptr<const T> desired) {
        auto* fresh = new Holder{std::move(desired)};
        retire(current_.exchange(fresh, std::memory_order_seq_cst));
    }

private:
    void retire(Holder* old) {
        std::vector<Holder*> unused;
        {
            std::lock_guard lock(retired_mutex_);
            retired_.push_back(old);
            std::vector<const void*> protected_now;
            HazardSlot::for_each_protected([&](const void* pointer) { protected_now.push_back(pointer); });
            auto still_protected = [&](Holder* holder) {
                return std::find(protected_now.begin(), protected_now.end(), holder) != protected_now.end();
            };
            auto split = std::stable_partition(retired_.begin(), retired_.end(), still_protected);
            unused.assign(split, retired_.end());
            retired_.erase(split, retired_.end());
        }
        // Freed outside the lock: dropping a value may run code (a Python
        // logger's finaliser) that comes back here.
        for (Holder* holder : unused) delete holder;
    }

    std::atomic<Holder*> current_;
    std::mutex retired_mutex_;  // writers only; readers never touch it
    std::vector<Holder*> retired_;
};

}  // namespace tarvello::diagnostics
