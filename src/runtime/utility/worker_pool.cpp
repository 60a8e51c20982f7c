#include "runtime/utility/worker_pool.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace quarnel {

namespace {
constexpr std::size_t tasks_per_worker = 4;
}  // namespace

unsigned thread_count_from(const char* setting, unsigned cores) {
    if (setting && *setting) {
        unsigned value = 0;
        const char* end = setting + std::strlen(setting);
        const auto [at, error] = std::from_chars(setting, end, value);
        if (error == std::errc() && at == end && value >= 1) return std::min(value, most_worker_threads);
    }
    return std::clamp(cores, 1u, most_worker_threads);
}

unsigned configured_thread_count() {
    return thread_count_from(std::getenv("QUARNEL_THREADS"), std::thread::hardware_concurrency());
}

OrderedWork::OrderedWork(unsigned threads, std::size_t byte_budget)
    : threads_(std::max(1u, threads)), byte_budget_(byte_budget) {
    if (threads_ == 1) return;
    try {
        for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { run_worker(); });
    } catch (const std::system_error&) {
        // No more threads to be had: the ones that started do the work.
        if (workers_.empty()) threads_ = 1;
    }
}

OrderedWork::~OrderedWork() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();  // not started: dropped
    }
    work_waiting_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void OrderedWork::run_worker() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_waiting_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // closing
        std::shared_ptr<Task> task = queue_.front();
        queue_.pop_front();
        lock.unlock();
        try {
            task->work();
        } catch (...) {
            // The task's finish sees whatever its work left.
        }
        lock.lock();
        task->done = true;
        work_done_.notify_all();
    }
}

void OrderedWork::finish_ready(std::unique_lock<std::mutex>& lock, bool wait) {
    if (wait && !order_.empty()) work_done_.wait(lock, [&] { return order_.front()->done; });
    while (!order_.empty() && order_.front()->done) {
        std::shared_ptr<Task> task = order_.front();
        order_.pop_front();
        if (task->work) --working_;
        bytes_in_flight_ -= task->bytes;
        if (stopped_) continue;
        lock.unlock();
        const bool go_on = task->finish ? task->finish() : true;
        lock.lock();
        if (!go_on) {
            // Tasks not yet taken never run; they count as done, unfinished.
            stopped_ = true;
            for (const auto& waiting : queue_) waiting->done = true;
            queue_.clear();
        }
    }
}

void OrderedWork::add(std::function<void()> work, std::function<bool()> finish, std::size_t bytes) {
    if (stopped_) return;
    if (workers_.empty()) {
        // One thread: at once, as a plain loop would; only finishes with no
        // work can be waiting, and they have run already.
        work();
        if (finish && !finish()) stopped_ = true;
        return;
    }
    auto task = std::make_shared<Task>();
    task->work = std::move(work);
    task->finish = std::move(finish);
    task->bytes = bytes;
    std::unique_lock lock(mutex_);
    // A few tasks queued per worker (small pictures are over quickly); the
    // memory of every task not yet finished within the budget, or a larger
    // task alone.
    while (!stopped_ && working_ > 0 &&
           (working_ >= tasks_per_worker * workers_.size() || bytes_in_flight_ + bytes > byte_budget_))
        finish_ready(lock, true);
    if (stopped_) return;
    order_.push_back(task);
    queue_.push_back(task);
    ++working_;
    bytes_in_flight_ += bytes;
    work_waiting_.notify_one();
    finish_ready(lock, false);
}

void OrderedWork::add_finish(std::function<bool()> finish) {
    if (stopped_) return;
    if (workers_.empty()) {
        if (finish && !finish()) stopped_ = true;
        return;
    }
    auto task = std::make_shared<Task>();
    task->finish = std::move(finish);
    task->done = true;
    std::unique_lock lock(mutex_);
    order_.push_back(task);
    finish_ready(lock, false);
}

void OrderedWork::drain() {
    if (workers_.empty()) return;
    std::unique_lock lock(mutex_);
    while (!order_.empty()) finish_ready(lock, true);
}

}  // namespace quarnel
