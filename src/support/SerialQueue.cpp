#include "support/SerialQueue.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/executor_work_guard.hpp>

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "support/AsioContext.h"

namespace lanternwick {

namespace {

// Two threads, as the queues are short tasks; blocking work goes to
// BackgroundPool instead.
class SharedContext {
public:
    SharedContext() : guard_(asio::make_work_guard(context_)) {
        for (int i = 0; i < 2; ++i) {
            threads_.emplace_back([this] { context_.run(); });
        }
    }
    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::vector<std::thread> threads_;
};

}  // namespace

struct SerialQueue::Impl {
    explicit Impl(std::string_view l) : label(l), strand(asio::make_strand(sharedIOContext())) {}
    std::string label;
    QueueExecutor strand;
};

// Never destroyed: tasks still queued at exit may own sockets and timers
// whose destructors need the loop, and the background pool may still post
// to it; its threads end with the process.
asio::io_context& sharedIOContext() {
    static SharedContext* const shared = std::make_unique<SharedContext>().release();
    return shared->context();
}

QueueExecutor strandOf(const SerialQueue& queue) { return queue.impl()->strand; }

SerialQueue::SerialQueue(std::string_view label) : impl_(std::make_shared<Impl>(label)) {}

const std::string& SerialQueue::label() const { return impl_->label; }

void SerialQueue::async(Task task) const {
    asio::post(impl_->strand, std::move(task));
}

CancelHandle SerialQueue::asyncAfter(Duration delay, Task task) const {
    CancelHandle handle;
    if (delay <= Duration::zero()) {
        asio::post(impl_->strand, [handle, task = std::move(task)] {
            if (!handle.isCancelled()) task();
        });
        return handle;
    }
    auto timer = std::make_shared<asio::steady_timer>(impl_->strand, delay);
    timer->async_wait([timer, handle, task = std::move(task)](const std::error_code& error) {
        if (!error && !handle.isCancelled()) task();
    });
    return handle;
}

void SerialQueue::runSync(const std::function<void()>& task) const {
    if (isCurrent()) {
        task();
        return;
    }
    // The promise is shared with the posted task: the caller may wake and
    // return while the worker is still inside set_value().
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    asio::post(impl_->strand, [&task, done] {
        try {
            task();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

bool SerialQueue::isCurrent() const { return impl_->strand.running_in_this_thread(); }

}  // namespace lanternwick
