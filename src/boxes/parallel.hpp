// A queue of jobs run by worker threads while the caller keeps adding them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvello::boxes {

// Jobs run by `threads` worker threads as the caller adds them, so that the
// caller's reading of the next job overlaps the work on earlier ones. The
// jobs stay where they were added (a deque keeps its elements in place) and
// hold their results; `finish` hands them back once all have run.
template <class Job>
class JobPipeline {
public:
    // `run(job, index)` does one job; it may throw.
    template <class Run>
    JobPipeline(unsigned threads, Run run) : run_(std::move(run)) {
        workers_.reserve(threads);
        for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    }
    JobPipeline(const JobPipeline&) = delete;
    JobPipeline& operator=(const JobPipeline&) = delete;
    ~JobPipeline() { stop(true); }

    // A place for the next job, filled by the caller before `publish`.
    Job& next() { return pending_; }

    // Hands the filled job to the workers.
    void publish() {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(pending_));
        }
        pending_ = Job();
        ready_.notify_one();
    }

    // Drops the jobs not yet taken and waits for the ones running.
    void cancel() { stop(true); }

    // Waits until every published job has run; the first exception a job
    // threw is rethrown here.
    std::deque<Job>& finish() {
        stop(false);
        if (error_) std::rethrow_exception(error_);
        return jobs_;
    }

private:
    void work() {
        for (;;) {
            Job* job = nullptr;
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return cancelled_ || taken_ < jobs_.size() || closed_; });
                if (cancelled_ || taken_ == jobs_.size()) return;
                index = taken_++;
                job = &jobs_[index];
            }
            try {
                run_(*job, index);
            } catch (...) {
                const std::lock_guard lock(mutex_);
                if (!error_) error_ = std::current_exception();
                cancelled_ = true;
                ready_.notify_all();
            }
        }
    }

    // Closes the queue (or cancels what is not yet taken) and joins.
    void stop(bool cancel) {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
            cancelled_ = cancelled_ || cancel;
        }
        ready_.notify_all();
        workers_.clear();  // joins
    }

    std::function<void(Job&, std::size_t)> run_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    Job pending_{};
    std::size_t taken_ = 0;
    bool closed_ = false;
    bool cancelled_ = false;
    std::exception_ptr error_;
    std::vector<std::jthread> workers_;
};

}  // namespace tarvello::boxes
