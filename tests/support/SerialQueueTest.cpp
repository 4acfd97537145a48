#include "support/BackgroundPool.h"
#include "support/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

// Waits for a future with a generous bound so that a broken queue fails the
// test instead of hanging it.
template <typename T>
bool ready(std::future<T>& f, std::chrono::milliseconds bound = 5000ms) {
    return f.wait_for(bound) == std::future_status::ready;
}

TEST(SerialQueue, RunsTasksFromManyThreadsOneAtATimeInPostingOrder) {
    SerialQueue queue("test.order");
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    // Each poster's next expected index; the mutex only guards against a
    // broken queue running tasks side by side.
    std::vector<int> next(4, 0);
    std::atomic<bool> outOfOrder{false};
    std::mutex mutex;
    std::vector<std::thread> posters;
    for (int p = 0; p < 4; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < 500; ++i) {
                queue.async([&, p, i] {
                    if (running.fetch_add(1) != 0) overlapped = true;
                    if (const std::lock_guard lock(mutex); next[p]++ != i) outOfOrder = true;
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : posters) t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(outOfOrder);
    EXPECT_EQ(next, std::vector<int>(4, 500));
}

TEST(SerialQueue, SyncWaitsForEarlierTasksAndReturnsTheResult) {
    SerialQueue queue("test.sync");
    std::vector<int> order;
    queue.async([&] {
        std::this_thread::sleep_for(20ms);
        order.push_back(1);
    });
    const int value = queue.sync([&] {
        order.push_back(2);
        return 42;
    });
    EXPECT_EQ(value, 42);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SerialQueue, SyncFromInsideTheQueueRunsDirectly) {
    SerialQueue queue("test.reentrant");
    std::promise<std::vector<int>> result;
    // The task queued first runs after the outer one has returned, so it
    // may only touch what outlives that.
    auto laterRan = std::make_shared<std::atomic<bool>>(false);
    queue.async([&queue, &result, laterRan] {
        std::vector<int> order;
        queue.async([laterRan] { *laterRan = true; });
        queue.sync([&order] { order.push_back(1); });
        order.push_back(*laterRan ? 99 : 2);
        result.set_value(order);
    });
    auto f = result.get_future();
    ASSERT_TRUE(ready(f));
    EXPECT_EQ(f.get(), (std::vector<int>{1, 2}));
}

TEST(SerialQueue, AsyncAfterRunsOnTheQueueInDeadlineOrder) {
    SerialQueue queue("test.after.order");
    std::vector<int> order;
    std::promise<void> done;
    std::atomic<bool> onQueue{true};
    queue.asyncAfter(60ms, [&] {
        onQueue = onQueue && queue.isCurrent();
        order.push_back(2);
        done.set_value();
    });
    queue.asyncAfter(20ms, [&] {
        onQueue = onQueue && queue.isCurrent();
        order.push_back(1);
    });
    queue.asyncAfter(-5ms, [&] { order.push_back(0); });
    auto f = done.get_future();
    ASSERT_TRUE(ready(f));
    queue.sync([] {});
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(onQueue);
}

TEST(BackgroundPool, RunsJobsOffTheQueuesAndSideBySide) {
    SerialQueue queue("test.pool");
    std::promise<void> first;
    std::promise<bool> second;
    std::promise<bool> offQueue;
    queue.async([&] {
        BackgroundPool::submit([&] {
            offQueue.set_value(!queue.isCurrent());
            auto f = first.get_future();
            // The second job must be able to run while this one blocks.
            second.set_value(f.wait_for(5s) == std::future_status::ready);
        });
    });
    BackgroundPool::submit([&] { first.set_value(); });
    auto s = second.get_future();
    auto o = offQueue.get_future();
    ASSERT_TRUE(ready(s));
    EXPECT_TRUE(s.get());
    EXPECT_TRUE(o.get());
}

}  // namespace
}  // namespace lanternwick
