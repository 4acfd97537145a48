#include "headless/StopSignal.h"

#include <csignal>

#include <asio/bind_executor.hpp>
#include <asio/signal_set.hpp>

#include "support/AsioContext.h"
#include "support/SerialQueue.h"

namespace lanternwick {

struct StopSignal::State {
    explicit State(std::function<void()> onStop)
        : queue("headless.stop"), signals(sharedIOContext(), SIGINT, SIGTERM), onStop(std::move(onStop)) {}

    SerialQueue queue;
    asio::signal_set signals;
    std::function<void()> onStop;
    std::atomic<bool> requested{false};
};

StopSignal::StopSignal(std::function<void()> onStop) : state_(std::make_shared<State>(std::move(onStop))) {
    state_->signals.async_wait(asio::bind_executor(
        strandOf(state_->queue), [state = state_](const std::error_code& error, int) {
            if (error) return;
            state->requested.store(true);
            if (state->onStop) state->onStop();
        }));
}

StopSignal::~StopSignal() {
    const std::shared_ptr<State> state = state_;
    state->queue.sync([&state] {
        std::error_code ignored;
        state->signals.cancel(ignored);
        state->signals.clear(ignored);
        state->onStop = nullptr;
    });
}

bool StopSignal::requested() const { return state_->requested.load(); }

}  // namespace lanternwick
