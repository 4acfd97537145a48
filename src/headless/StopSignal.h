#pragma once
// StopSignal: turns SIGINT and SIGTERM into an orderly stop. While one
// exists, either signal runs the stop callback once, on a watcher thread of
// its own (a signal handler may do almost nothing, so it only writes a byte
// to a pipe). The previous handlers come back when it is destroyed. One at a
// time per process; created and destroyed by the headless run's thread.

#include <atomic>
#include <functional>
#include <thread>

namespace lanternwick {

class StopSignal {
public:
    explicit StopSignal(std::function<void()> onStop);
    ~StopSignal();

    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Set before the callback runs; long waits (the terminal prompt) check it.
    bool requested() const { return requested_.load(); }

private:
    int pipe_[2] = {-1, -1};
    std::atomic<bool> requested_{false};
    std::function<void()> onStop_;
    std::thread watcher_;
};

}  // namespace lanternwick
