#include "support/RunLoopMainQueue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using Mode = RunLoopMainQueue::ClockMode;

TEST(RunLoopMainQueue, ManualClockRunsTimersInDeadlineOrderAtTheirDeadlinesAndNeverACancelledOne) {
    RunLoopMainQueue queue(Mode::manual);
    const auto start = queue.now();
    using Ran = std::pair<int, RunLoopMainQueue::Duration>;
    std::vector<Ran> ran;
    const auto record = [&](int id) { return [&, id] { ran.emplace_back(id, queue.now() - start); }; };
    queue.asyncAfter(600ms, record(2));
    queue.asyncAfter(100ms, record(1));
    queue.asyncAfter(600ms, record(3));
    queue.asyncAfter(300ms, record(0)).cancel();
    queue.asyncAfter(2s, record(4));

    queue.advance(599ms);
    EXPECT_THAT(ran, ElementsAre(Ran{1, 100ms}));
    queue.advance(1ms);
    EXPECT_THAT(ran, ElementsAre(Ran{1, 100ms}, Ran{2, 600ms}, Ran{3, 600ms}));
    queue.runFor(5s);
    EXPECT_EQ(ran.size(), 4U);
    EXPECT_EQ(queue.now() - start, 5600ms);
}

TEST(RunLoopMainQueue, RunUntilJumpsToTheNextTimerOnlyWhenIdle) {
    RunLoopMainQueue queue(Mode::manual);
    const auto start = queue.now();
    int step = 0;
    queue.asyncAfter(3s, [&] { step = 2; });
    queue.async([&] { step = 1; });
    EXPECT_TRUE(queue.runUntil([&] { return step == 1; }, 10s));
    EXPECT_EQ(queue.now(), start);
    EXPECT_TRUE(queue.runUntil([&] { return step == 2; }, 10s));
    EXPECT_EQ(queue.now() - start, 3s);
}

TEST(RunLoopMainQueue, WorkPostedFromAnotherThreadWakesTheLoop) {
    for (const Mode mode : {Mode::real, Mode::manual}) {
        RunLoopMainQueue queue(mode);
        std::atomic<bool> done{false};
        std::thread poster([&] {
            std::this_thread::sleep_for(20ms);
            queue.async([&] { done = true; });
        });
        EXPECT_TRUE(queue.runUntil([&] { return done.load(); }, 10s));
        poster.join();
    }
}

TEST(RunLoopMainQueue, RealClockEarlierTimerFromAnotherThreadIsNotHeldUp) {
    RunLoopMainQueue queue(Mode::real);
    std::atomic<bool> early{false};
    queue.asyncAfter(60s, [] {});
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        queue.asyncAfter(10ms, [&] { early = true; });
    });
    const auto start = RunLoopMainQueue::Clock::now();
    EXPECT_TRUE(queue.runUntil([&] { return early.load(); }, 20s));
    EXPECT_LT(RunLoopMainQueue::Clock::now() - start, 10s);
    poster.join();
}

TEST(RunLoopMainQueue, RunStopsOnStopFromATaskOrAnotherThread) {
    RunLoopMainQueue queue(Mode::real);
    int ran = 0;
    queue.async([&] { ++ran; });
    queue.async([&] { queue.stop(); });
    queue.async([&] { ++ran; });
    queue.run();
    EXPECT_EQ(ran, 1);

    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        queue.stop();
    });
    queue.run();
    stopper.join();
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace lanternwick
