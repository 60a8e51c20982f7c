// The worker pool: finishes in the order of adding whatever order the work
// ends in, at most one task running per worker, the tasks not yet finished
// within the memory budget (or one larger alone), a finish that says stop
// ends the rest, and the thread setting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "runtime/utility/worker_pool.h"

namespace quarnel {
namespace {

TEST(WorkerPool, FinishesInOrderWithinTheBounds) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        OrderedWork work(threads, 1000);
        std::vector<int> finished;
        std::atomic<int> running{0}, most_running{0};
        std::atomic<std::size_t> bytes{0}, most_bytes{0};
        std::size_t held = 0;  // bytes of the tasks added and not yet finished
        std::mt19937 random(threads);
        for (int i = 0; i < 60; ++i) {
            const std::size_t size = i == 30 ? 5000 : random() % 400;  // one larger than the budget
            const int pause = static_cast<int>(random() % 3);
            if (i % 7 == 0) work.add_finish([&finished, i] { finished.push_back(-i); return true; });
            held += size;
            work.add(
                [&, size, pause] {
                    most_running = std::max(most_running.load(), ++running);
                    most_bytes = std::max(most_bytes.load(), bytes += size);
                    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
                    bytes -= size;
                    --running;
                },
                [&finished, &held, i, size] {
                    finished.push_back(i);
                    held -= size;
                    return true;
                },
                size);
            EXPECT_LE(held, std::max<std::size_t>(size, 1000)) << "within the budget, or alone";
        }
        work.drain();
        std::vector<int> expected;
        for (int i = 0; i < 60; ++i) {
            if (i % 7 == 0) expected.push_back(-i);
            expected.push_back(i);
        }
        EXPECT_EQ(finished, expected) << threads << " threads";
        EXPECT_LE(most_running.load(), static_cast<int>(threads)) << "one task a worker at a time";
        EXPECT_LE(most_bytes.load(), 5000u) << "the large task goes alone";
    }
}

TEST(WorkerPool, AFinishThatStopsEndsTheRest) {
    for (const unsigned threads : {1u, 3u}) {
        OrderedWork work(threads);
        std::vector<int> finished;
        for (int i = 0; i < 40 && !work.stopped(); ++i)
            work.add([] {}, [&finished, i] { finished.push_back(i); return i != 5; }, 1);
        work.drain();
        EXPECT_TRUE(work.stopped());
        EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    }
}

TEST(WorkerPool, ThreadSetting) {
    EXPECT_EQ(thread_count_from(nullptr, 2), 2u);
    EXPECT_EQ(thread_count_from("", 0), 1u) << "cores unknown";
    EXPECT_EQ(thread_count_from(nullptr, 64), 8u);
    EXPECT_EQ(thread_count_from("1", 2), 1u);
    EXPECT_EQ(thread_count_from("3", 2), 3u);
    EXPECT_EQ(thread_count_from("100", 2), 8u);
    EXPECT_EQ(thread_count_from("0", 2), 2u) << "not a count: the cores";
    EXPECT_EQ(thread_count_from("two", 2), 2u);
}

}  // namespace
}  // namespace quarnel
