// Runs a task for each index of a range on several threads: the calling
// thread and `threads - 1` more, each taking the next index as it gets free.
#pragma once

#include <cstddef>
#include <functional>

namespace tarvello::boxes {

// Calls `task(i)` once for every i in [0, count), on at most `threads`
// threads (at least the calling one), and returns when all are done. The
// first exception a task throws stops the hand-out of further indices and is
// rethrown here once every thread has finished.
void for_each_index(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task);

}  // namespace tarvello::boxes
