#pragma once
// MainQueue: the thread that owns the monitor, the Eos client and the window.
// Tasks posted with async run in posting order; asyncAfter runs a task once
// the delay has passed unless its handle is cancelled first. Implementations:
// the Qt event loop in the application, a test-driven loop with a virtual
// clock in tests. Both calls may be made from any thread.

#include <chrono>
#include <functional>

#include "support/Cancellation.h"

namespace lanternwick {

class MainQueue {
public:
    using Task = std::function<void()>;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~MainQueue() = default;

    virtual void async(Task task) = 0;
    virtual CancelHandle asyncAfter(Duration delay, Task task) = 0;
};

}  // namespace lanternwick
