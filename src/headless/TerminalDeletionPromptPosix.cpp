// The deletion prompt's terminal on POSIX: a descriptor opened with
// O_NONBLOCK, job control through the terminal's foreground process group.

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "headless/TerminalDevice.h"

namespace lanternwick::terminalDevice {

namespace {

int fdOf(const Handle handle) {
    return static_cast<int>(handle);
}

}  // namespace

Handle open(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && ::isatty(fd) != 1) {
        ::close(fd);
        return noHandle;
    }
    return fd < 0 ? noHandle : fd;
}

void close(const Handle handle) {
    ::close(fdOf(handle));
}

bool inForeground(const Handle handle) {
    const pid_t owner = ::tcgetpgrp(fdOf(handle));
    return owner == -1 || owner == ::getpgrp();
}

void discardTyped(const Handle handle) {
    ::tcflush(fdOf(handle), TCIFLUSH);
}

Transfer read(const Handle handle, char* buffer, const std::size_t size) {
    while (true) {
        const auto got = ::read(fdOf(handle), buffer, size);
        if (got > 0) return {static_cast<std::size_t>(got), Transfer::Stop::none};
        if (got == 0) return {0, Transfer::Stop::endOfInput};
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {0, Transfer::Stop::wouldBlock};
        return {0, Transfer::Stop::lost};
    }
}

Transfer write(const Handle handle, const std::string_view text) {
    while (true) {
        const auto written = ::write(fdOf(handle), text.data(), text.size());
        if (written > 0) return {static_cast<std::size_t>(written), Transfer::Stop::none};
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {0, Transfer::Stop::wouldBlock};
        return {0, Transfer::Stop::lost};
    }
}

void waitForRoom(const Handle handle, const std::chrono::milliseconds patience) {
    pollfd ready{fdOf(handle), POLLOUT, 0};
    ::poll(&ready, 1, static_cast<int>(patience.count()));
}

}  // namespace lanternwick::terminalDevice
