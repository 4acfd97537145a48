#include "support/RunLoopMainQueue.h"

#include <algorithm>

namespace lanternwick {
namespace {

// The predicate may watch state that changes without posting here (another
// thread's socket, a file), so an idle loop still looks at it this often.
constexpr auto predicatePollInterval = std::chrono::milliseconds(5);

}  // namespace

RunLoopMainQueue::RunLoopMainQueue(ClockMode mode) : mode_(mode) {}

RunLoopMainQueue::~RunLoopMainQueue() = default;

void RunLoopMainQueue::async(Task task) {
    {
        const std::lock_guard lock(mutex_);
        ready_.push_back(std::move(task));
        ++generation_;
    }
    wake_.notify_all();
}

CancelHandle RunLoopMainQueue::asyncAfter(Duration delay, Task task) {
    CancelHandle handle;
    {
        const std::lock_guard lock(mutex_);
        const TimePoint base = mode_ == ClockMode::manual ? manualNow_ : Clock::now();
        const TimePoint due = base + std::max(delay, Duration::zero());
        timers_.emplace(TimerKey{due, nextSequence_++}, Timer{handle, std::move(task)});
        ++generation_;
    }
    wake_.notify_all();
    return handle;
}

RunLoopMainQueue::TimePoint RunLoopMainQueue::now() const {
    if (mode_ == ClockMode::real) {
        return Clock::now();
    }
    const std::lock_guard lock(mutex_);
    return manualNow_;
}

bool RunLoopMainQueue::runReadyTasks() {
    Task task;
    {
        const std::lock_guard lock(mutex_);
        if (ready_.empty()) {
            return false;
        }
        task = std::move(ready_.front());
        ready_.pop_front();
    }
    task();
    return true;
}

bool RunLoopMainQueue::runOneDueTimer(TimePoint limit) {
    Timer timer;
    {
        const std::lock_guard lock(mutex_);
        while (!timers_.empty() && timers_.begin()->second.handle.isCancelled()) {
            timers_.erase(timers_.begin());
        }
        if (timers_.empty() || timers_.begin()->first.first > limit) {
            return false;
        }
        const auto due = timers_.begin()->first.first;
        timer = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        if (mode_ == ClockMode::manual) {
            manualNow_ = std::max(manualNow_, due);
        }
    }
    // A cancel that lands between taking the timer and running it still wins.
    if (!timer.handle.isCancelled()) {
        timer.task();
    }
    return true;
}

bool RunLoopMainQueue::runUntil(const std::function<bool()>& predicate, Duration timeout) {
    const TimePoint deadline = now() + timeout;
    const TimePoint realDeadline = Clock::now() + timeout;
    while (true) {
        if (predicate()) {
            return true;
        }
        if (runReadyTasks()) {
            continue;
        }
        if (mode_ == ClockMode::real) {
            const TimePoint current = Clock::now();
            if (runOneDueTimer(std::min(current, deadline))) {
                continue;
            }
            if (current >= deadline) {
                return predicate();
            }
            std::unique_lock lock(mutex_);
            if (!ready_.empty()) {
                continue;
            }
            TimePoint wakeAt = std::min(deadline, Clock::now() + predicatePollInterval);
            if (!timers_.empty()) {
                wakeAt = std::min(wakeAt, timers_.begin()->first.first);
            }
            const auto seen = generation_;
            wake_.wait_until(lock, wakeAt, [this, seen] { return generation_ != seen; });
            continue;
        }
        if (runOneDueTimer(deadline)) {
            continue;
        }
        std::unique_lock lock(mutex_);
        if (!ready_.empty() || (!timers_.empty() && timers_.begin()->first.first <= deadline)) {
            continue;
        }
        if (Clock::now() >= realDeadline) {
            manualNow_ = std::max(manualNow_, deadline);
            lock.unlock();
            return predicate();
        }
        const auto seen = generation_;
        wake_.wait_until(lock, std::min(realDeadline, Clock::now() + predicatePollInterval),
                         [this, seen] { return generation_ != seen; });
    }
}

void RunLoopMainQueue::runFor(Duration duration) {
    if (mode_ == ClockMode::real) {
        runUntil([] { return false; }, duration);
        return;
    }
    const TimePoint deadline = now() + duration;
    while (runReadyTasks() || runOneDueTimer(deadline)) {
    }
    const std::lock_guard lock(mutex_);
    manualNow_ = std::max(manualNow_, deadline);
}

void RunLoopMainQueue::advance(Duration duration) {
    if (mode_ == ClockMode::manual) {
        runFor(duration);
    }
}

void RunLoopMainQueue::run() {
    while (true) {
        {
            const std::lock_guard lock(mutex_);
            if (stopRequested_) {
                stopRequested_ = false;
                return;
            }
        }
        if (runReadyTasks()) {
            continue;
        }
        const TimePoint limit = mode_ == ClockMode::real ? Clock::now() : TimePoint::max();
        if (runOneDueTimer(limit)) {
            continue;
        }
        std::unique_lock lock(mutex_);
        if (stopRequested_ || !ready_.empty()) {
            continue;
        }
        const auto seen = generation_;
        const auto woken = [this, seen] { return generation_ != seen; };
        if (mode_ == ClockMode::real && !timers_.empty()) {
            wake_.wait_until(lock, timers_.begin()->first.first, woken);
        } else if (mode_ == ClockMode::real || timers_.empty()) {
            wake_.wait(lock, woken);
        }
    }
}

void RunLoopMainQueue::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopRequested_ = true;
        ++generation_;
    }
    wake_.notify_all();
}

}  // namespace lanternwick
