// Work on several cores with the job's order kept: the jobs that handle one
// picture after another (extraction, the builder) hand the heavy part of
// each picture (coding, writing, decoding) to a small pool of worker
// threads, and everything the user sees (console lines, the archive's
// bytes) is done afterwards on the job's own thread, picture by picture in
// the order they were added. With one thread every task runs at once on
// the calling thread, exactly as a loop would.
//
// Workers touch only what their task gives them; the module state and the
// console stay with the job's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace quarnel {

inline constexpr unsigned most_worker_threads = 8;
// The memory the pictures handed to the workers may take together (by
// their estimates), from their adding until their finishes have run. A
// picture larger than that is handed over only when no other is in flight
// and then goes alone. Beside them the job's thread makes at most one more
// picture, so the pictures take at most this budget plus one picture, or
// two pictures when one of them is larger: within one picture per worker
// plus this budget with two workers or more (one thread has no pool and
// one picture at a time).
inline constexpr std::size_t pictures_in_flight_budget = std::size_t{64} << 20;

// The thread count for a value of QUARNEL_THREADS (null or empty: not set)
// on a machine of that many cores: a number from 1 up (at most 8) when set,
// else the cores (1 when unknown, at most 8).
unsigned thread_count_from(const char* setting, unsigned cores);
// The count for this process: QUARNEL_THREADS, or the machine's cores.
unsigned configured_thread_count();

class OrderedWork {
public:
    // threads: the workers (1: no worker, every task runs on the caller).
    // byte_budget: the memory the tasks in flight may take together; a task
    // larger than what is left waits until the others are done.
    explicit OrderedWork(unsigned threads, std::size_t byte_budget = pictures_in_flight_budget);
    ~OrderedWork();
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Adds a task of about `bytes` of memory: work runs on a worker, then
    // finish on this thread, after the finishes of every task added before
    // it. A finish that returns false stops the work: no later finish runs
    // and later tasks are not taken. Waits while four tasks per worker are
    // in flight (small pictures keep the workers busy), or while this task
    // would take the tasks in flight over the budget and others are there.
    void add(std::function<void()> work, std::function<bool()> finish, std::size_t bytes);
    // A finish with no work, in its place in the order (a console line).
    void add_finish(std::function<bool()> finish);
    // Runs every finish still due; afterwards nothing is in flight.
    void drain();
    bool stopped() const { return stopped_; }
    unsigned threads() const { return threads_; }

private:
    struct Task {
        std::function<void()> work;
        std::function<bool()> finish;
        std::size_t bytes = 0;
        bool done = false;  // work has run (guarded by mutex_)
    };

    void run_worker();
    // Runs the finishes at the front whose work is done; with wait, waits
    // for the front one first. Called with the lock held; releases it while
    // a finish runs.
    void finish_ready(std::unique_lock<std::mutex>& lock, bool wait);

    unsigned threads_;
    std::size_t byte_budget_;
    bool stopped_ = false;

    std::mutex mutex_;
    std::condition_variable work_waiting_;  // workers wait for tasks
    std::condition_variable work_done_;     // the job's thread waits for results
    std::deque<std::shared_ptr<Task>> queue_;  // added, not yet taken by a worker
    std::deque<std::shared_ptr<Task>> order_;  // added, finish not yet run
    std::size_t working_ = 0;       // tasks with work in order_
    std::size_t bytes_in_flight_ = 0;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace quarnel
