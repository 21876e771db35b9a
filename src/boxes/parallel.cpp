#include "boxes/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvello::boxes {

void for_each_index(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr first_error;
    std::mutex error_mutex;
    const auto work = [&] {
        try {
            for (std::size_t i; !failed.load(std::memory_order_relaxed) &&
                                (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
                task(i);
            }
        } catch (...) {
            const std::lock_guard lock(error_mutex);
            if (!first_error) first_error = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
        }
    };
    const std::size_t helpers = std::min<std::size_t>(threads > 0 ? threads - 1 : 0, count > 0 ? count - 1 : 0);
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    try {
        for (std::size_t t = 0; t < helpers; ++t) pool.emplace_back(work);
    } catch (...) {
        // Fewer threads than asked for (the system refused one): the ones
        // started and this one still get through every index.
    }
    work();
    pool.clear();  // joins
    if (first_error) std::rethrow_exception(first_error);
}

}  // namespace tarvello::boxes
