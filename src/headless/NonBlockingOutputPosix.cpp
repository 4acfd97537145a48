// NonBlockingOutput's descriptor on POSIX: a description of our own where
// the system can give one (a pipe through /proc, a terminal through its
// name), written through Asio's stream_descriptor.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/bind_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include "headless/OutputDescriptor.h"
#include "support/AsioContext.h"

namespace lanternwick {

namespace {

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

struct OutputDescriptor::Impl {
    explicit Impl(const OwnDescriptor own) : descriptor(sharedIOContext()), restoreFlags(own.restoreFlags) {
        if (own.fd < 0) return;
        std::error_code ignored;
        descriptor.assign(own.fd, ignored);
    }

    ~Impl() {
        if (!descriptor.is_open()) return;
        if (restoreFlags >= 0) ::fcntl(descriptor.native_handle(), F_SETFL, restoreFlags);
        std::error_code ignored;
        descriptor.close(ignored);
    }

    asio::posix::stream_descriptor descriptor;
    const int restoreFlags;
};

OutputDescriptor::OutputDescriptor(const int descriptor)
    : impl_(std::make_unique<Impl>(ownDescriptorFor(descriptor))) {}

OutputDescriptor::~OutputDescriptor() = default;

bool OutputDescriptor::isOpen() const {
    return impl_->descriptor.is_open();
}

OutputDescriptor::Attempt OutputDescriptor::write(const std::string_view text) {
    while (true) {
        const auto count = ::write(impl_->descriptor.native_handle(), text.data(), text.size());
        if (count > 0) return {.written = static_cast<std::size_t>(count), .full = false, .goneReason = {}};
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return {.written = 0, .full = true, .goneReason = {}};
        }
        return {.written = 0, .full = false, .goneReason = count < 0 ? std::strerror(errno) : "nothing written"};
    }
}

void OutputDescriptor::whenWritable(const SerialQueue& queue, std::function<void()> then) {
    impl_->descriptor.async_wait(
        asio::posix::descriptor_base::wait_write,
        asio::bind_executor(strandOf(queue), [then = std::move(then)](std::error_code) { then(); }));
}

void OutputDescriptor::cancel() {
    std::error_code ignored;
    impl_->descriptor.cancel(ignored);
}

}  // namespace lanternwick
