#pragma once
// RunLoopMainQueue: a MainQueue whose tasks run on whichever thread drives it
// through runUntil, runFor or run. The headless runner drives it with the real
// clock; tests drive it with the manual clock so that timed work (the
// one-second poll, the 0.6 s debounce) runs without sleeping.
// Owned by whoever drives it; it must outlive every object that posts to it.
// async, asyncAfter and stop may be called from any thread; the run calls,
// now and advance belong to the driving thread, one at a time.
// Tasks posted with async run in posting order; timers run in deadline order,
// ties in posting order. With the manual clock, time moves only through
// advance and through runUntil/runFor jumping to the next due timer.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "support/MainQueue.h"

namespace lanternwick {

class RunLoopMainQueue final : public MainQueue {
public:
    enum class ClockMode { real, manual };
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    explicit RunLoopMainQueue(ClockMode mode = ClockMode::real);
    ~RunLoopMainQueue() override;

    RunLoopMainQueue(const RunLoopMainQueue&) = delete;
    RunLoopMainQueue& operator=(const RunLoopMainQueue&) = delete;

    void async(Task task) override;
    CancelHandle asyncAfter(Duration delay, Task task) override;

    // Runs work until the predicate holds (checked before and after every
    // task, and every few milliseconds while idle, so it may watch state of
    // other threads) or the timeout has passed on this queue's clock. With the manual
    // clock an idle loop jumps to the next due timer, never past the
    // deadline; work posted from other threads is still waited for, in real
    // time, for at most the timeout. Returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, Duration timeout);

    // Runs everything that falls due within the duration on this queue's clock.
    void runFor(Duration duration);

    // Runs work until stop() is called; a stop before run() ends the next run at once.
    void run();
    void stop();

    TimePoint now() const;

    // Manual clock only: moves time forward by the duration, running due
    // timers at their own deadlines, in order, along the way.
    void advance(Duration duration);

    ClockMode clockMode() const { return mode_; }

private:
    struct Timer {
        CancelHandle handle;
        Task task;
    };
    using TimerKey = std::pair<TimePoint, std::uint64_t>;

    bool runReadyTasks();
    bool runOneDueTimer(TimePoint limit);

    const ClockMode mode_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> ready_;
    std::map<TimerKey, Timer> timers_;
    std::uint64_t nextSequence_ = 0;
    TimePoint manualNow_;
    bool stopRequested_ = false;
    // Bumped by every post and by stop, so a waiting loop notices new work,
    // including a timer due earlier than the one it waits for.
    std::uint64_t generation_ = 0;
};

}  // namespace lanternwick
