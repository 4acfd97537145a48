#pragma once
// StopSignal: turns SIGINT and SIGTERM into an orderly stop. While one
// exists, either signal runs the stop callback once, on a serial queue of
// the shared event loop (an asio::signal_set, so the handler itself does
// nothing but wake the loop, and no descriptor of ours can be mistaken for a
// signal). When it is destroyed the two signals take their default action
// again. One at a time per process; created and destroyed by the headless
// run's thread.

#include <atomic>
#include <functional>
#include <memory>

namespace lanternwick {

class StopSignal {
public:
    explicit StopSignal(std::function<void()> onStop);
    ~StopSignal();

    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Set before the callback runs; long waits (the terminal prompt) check it.
    bool requested() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace lanternwick
