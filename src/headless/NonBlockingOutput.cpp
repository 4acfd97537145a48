#include "headless/NonBlockingOutput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/bind_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include "support/AsioContext.h"
#include "support/SerialQueue.h"

namespace lanternwick {

namespace {

// Written in slices, so that a fast stream does not hold the buffer's lock
// for long.
constexpr std::size_t writeSlice = 64 * 1024;

struct OwnDescriptor {
    int fd = -1;
    // Flags to put back on a shared description, when they were changed.
    int restoreFlags = -1;
};

OwnDescriptor ownDescriptorFor(const int fd) {
    struct stat facts {};
    if (::fstat(fd, &facts) != 0) return {};
    if (S_ISREG(facts.st_mode)) return {::fcntl(fd, F_DUPFD_CLOEXEC, 3), -1};
    if (S_ISFIFO(facts.st_mode)) {
        // Opening the pipe again through /proc gives a description of our
        // own; a pipe whose reader is gone refuses (ENXIO), and the shared
        // one below then finds it gone at the first write.
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        if (const int own = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); own >= 0) return {own, -1};
    } else if (::isatty(fd) == 1) {
        if (const char* name = ::ttyname(fd)) {
            if (const int own = ::open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); own >= 0) return {own, -1};
        }
    }
    const int shared = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (shared < 0) return {};
    const int flags = ::fcntl(shared, F_GETFL);
    if (flags < 0 || (flags & O_NONBLOCK) != 0) return {shared, -1};
    ::fcntl(shared, F_SETFL, flags | O_NONBLOCK);
    return {shared, flags};
}

}  // namespace

struct NonBlockingOutput::State : std::enable_shared_from_this<State> {
    State(OwnDescriptor own, std::size_t capacity, DroppedLine droppedLine, OnGone onGone)
        : queue("headless.output"),
          descriptor(sharedIOContext()),
          restoreFlags(own.restoreFlags),
          capacity(capacity),
          droppedLine(std::move(droppedLine)),
          onGone(std::move(onGone)) {
        if (own.fd < 0) {
            isGone = true;
            return;
        }
        std::error_code ignored;
        descriptor.assign(own.fd, ignored);
    }

    ~State() {
        if (!descriptor.is_open()) return;
        if (restoreFlags >= 0) ::fcntl(descriptor.native_handle(), F_SETFL, restoreFlags);
        std::error_code ignored;
        descriptor.close(ignored);
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
            const auto count = ::write(descriptor.native_handle(), buffer.data(), std::min(buffer.size(), writeSlice));
            if (count > 0) {
                buffer.erase(0, static_cast<std::size_t>(count));
                continue;
            }
            if (count < 0 && errno == EINTR) continue;
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                waiting = true;
                descriptor.async_wait(asio::posix::descriptor_base::wait_write,
                                      asio::bind_executor(strandOf(queue), [self = shared_from_this()](std::error_code) {
                                          {
                                              const std::lock_guard relock(self->mutex);
                                              self->waiting = false;
                                          }
                                          self->pump();
                                      }));
                return;
            }
            const std::string reason = count < 0 ? std::strerror(errno) : "nothing written";
            isGone = true;
            buffer.clear();
            dropped = 0;
            written.notify_all();
            lock.unlock();
            if (onGone) onGone(reason);
            return;
        }
    }

    SerialQueue queue;
    asio::posix::stream_descriptor descriptor;
    const int restoreFlags;
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
    : state_(std::make_shared<State>(ownDescriptorFor(descriptor), capacity, std::move(droppedLine),
                                     std::move(onGone))) {}

NonBlockingOutput::~NonBlockingOutput() {
    // A wait still pending holds the state; cancelling it on the queue lets
    // it end there, after which the descriptor closes with the state.
    const std::shared_ptr<State> state = state_;
    state->queue.sync([&state] {
        {
            const std::lock_guard lock(state->mutex);
            state->closed = true;
        }
        std::error_code ignored;
        state->descriptor.cancel(ignored);
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
