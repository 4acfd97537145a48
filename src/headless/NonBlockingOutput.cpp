#include "headless/NonBlockingOutput.h"

#include "headless/OutputDescriptor.h"
#include "support/SerialQueue.h"

namespace lanternwick {

namespace {

// Written in slices, so that a fast stream does not hold the buffer's lock
// for long.
constexpr std::size_t writeSlice = 64 * 1024;

}  // namespace

struct NonBlockingOutput::State : std::enable_shared_from_this<State> {
    State(const int standardDescriptor, std::size_t capacity, DroppedLine droppedLine, OnGone onGone)
        : queue("headless.output"),
          descriptor(standardDescriptor),
          capacity(capacity),
          droppedLine(std::move(droppedLine)),
          onGone(std::move(onGone)) {
        isGone = !descriptor.isOpen();
    }

    // On the queue only.
    void pump() {
        std::unique_lock lock(mutex);
        if (waiting || isGone || closed) return;
        while (true) {
            if (buffer.empty()) {
                if (dropped == 0) {
                    written.notify_all();
                    return;
                }
                buffer = droppedLine(std::exchange(dropped, 0));
            }
            const OutputDescriptor::Attempt attempt =
                descriptor.write(std::string_view(buffer).substr(0, writeSlice));
            if (attempt.written > 0) {
                buffer.erase(0, attempt.written);
                continue;
            }
            if (attempt.full) {
                waiting = true;
                descriptor.whenWritable(queue, [self = shared_from_this()] {
                    {
                        const std::lock_guard relock(self->mutex);
                        self->waiting = false;
                    }
                    self->pump();
                });
                return;
            }
            isGone = true;
            buffer.clear();
            dropped = 0;
            written.notify_all();
            lock.unlock();
            if (onGone) onGone(attempt.goneReason);
            return;
        }
    }

    SerialQueue queue;
    OutputDescriptor descriptor;
    const std::size_t capacity;
    const DroppedLine droppedLine;
    const OnGone onGone;

    mutable std::mutex mutex;
    std::condition_variable written;
    std::string buffer;
    std::uint64_t dropped = 0;
    bool waiting = false;
    bool isGone = false;
    bool closed = false;
};

NonBlockingOutput::NonBlockingOutput(const int descriptor, const std::size_t capacity, DroppedLine droppedLine,
                                     OnGone onGone)
    : state_(std::make_shared<State>(descriptor, capacity, std::move(droppedLine), std::move(onGone))) {}

NonBlockingOutput::~NonBlockingOutput() {
    // A wait still pending holds the state; cancelling it on the queue lets
    // it end there, after which the descriptor closes with the state.
    const std::shared_ptr<State> state = state_;
    state->queue.sync([&state] {
        {
            const std::lock_guard lock(state->mutex);
            state->closed = true;
        }
        state->descriptor.cancel();
    });
}

bool NonBlockingOutput::write(const std::string_view text) {
    {
        const std::lock_guard lock(state_->mutex);
        if (state_->isGone) return false;
        if (state_->dropped > 0 || state_->buffer.size() + text.size() > state_->capacity) {
            ++state_->dropped;
            return false;
        }
        state_->buffer += text;
        if (state_->waiting) return true;
    }
    state_->queue.async([state = state_] { state->pump(); });
    return true;
}

bool NonBlockingOutput::waitUntilWritten(const std::chrono::milliseconds patience) {
    std::unique_lock lock(state_->mutex);
    return state_->written.wait_for(lock, patience, [this] {
        return state_->isGone || (state_->buffer.empty() && state_->dropped == 0);
    });
}

bool NonBlockingOutput::gone() const {
    const std::lock_guard lock(state_->mutex);
    return state_->isGone;
}

}  // namespace lanternwick
