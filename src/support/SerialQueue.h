#pragma once
// SerialQueue: a serial work queue. Tasks posted to one queue run one at a
// time, in posting order; different queues run in parallel on the two worker
// threads of one process-wide event loop. A SerialQueue is a cheap handle:
// copies name the same queue, and the queue lives as long as any copy or any
// task posted to it. Every member may be called from any thread.
// Limits: sync() blocks its caller until the task has run (directly when the
// caller is already on the queue); a task must never sync() onto a queue that
// is waiting for it, and long blocking work belongs on BackgroundPool, not
// here, because two blocked queues stall every other queue.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "support/Cancellation.h"

namespace lanternwick {

class SerialQueue {
public:
    using Task = std::function<void()>;
    using Duration = std::chrono::steady_clock::duration;

    explicit SerialQueue(std::string_view label);

    const std::string& label() const;

    void async(Task task) const;
    // Runs the task once the delay has passed unless the handle is cancelled
    // before it starts. A negative or zero delay behaves like async().
    CancelHandle asyncAfter(Duration delay, Task task) const;

    // Runs the callable on the queue and returns its result.
    template <typename F>
    std::invoke_result_t<F&> sync(F&& f) const {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            runSync([&f] { f(); });
        } else {
            std::optional<R> out;
            runSync([&f, &out] { out.emplace(f()); });
            return std::move(*out);
        }
    }

    // True while the calling thread is running a task of this queue.
    bool isCurrent() const;

    friend bool operator==(const SerialQueue& a, const SerialQueue& b) { return a.impl_ == b.impl_; }

    struct Impl;
    // For net/: binds Asio handlers to this queue (see support/AsioContext.h).
    const std::shared_ptr<Impl>& impl() const { return impl_; }

private:
    void runSync(const std::function<void()>& task) const;

    std::shared_ptr<Impl> impl_;
};

}  // namespace lanternwick
