// The socket's system calls on Linux and the BSDs (macOS included).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "net/SocketAddress.h"
#include "net/SocketSystem.h"

namespace lanternwick::socket_system {

namespace {

bool wouldBlock(int errorNumber) { return errorNumber == EAGAIN || errorNumber == EWOULDBLOCK; }

Transfer transferOf(ssize_t result) {
    if (result >= 0) return {Transfer::Outcome::moved, static_cast<std::size_t>(result), 0};
    const int errorNumber = errno;
    if (errorNumber == EINTR) return {Transfer::Outcome::interrupted, 0, errorNumber};
    if (wouldBlock(errorNumber)) return {Transfer::Outcome::wouldBlock, 0, errorNumber};
    return {Transfer::Outcome::failed, 0, errorNumber};
}

Readiness look(NativeSocket socket, short events) {
    pollfd probe{socket, events, 0};
    if (::poll(&probe, 1, 0) != 1) return Readiness::notReady;
    return (probe.revents & (POLLERR | POLLHUP)) != 0 ? Readiness::faulted : Readiness::ready;
}

void setIntegerOption(NativeSocket socket, int level, int option, int value) {
    ::setsockopt(socket, level, option, &value, sizeof(value));
}

// Linux has no per-socket SO_NOSIGPIPE, so every send passes MSG_NOSIGNAL;
// the BSDs have no MSG_NOSIGNAL, so their sockets are told once.
#ifdef MSG_NOSIGNAL
constexpr int sendFlags = MSG_NOSIGNAL;
#else
constexpr int sendFlags = 0;
#endif

}  // namespace

Opened openStreamSocket(int family) {
#ifdef SOCK_NONBLOCK
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return {noNativeSocket, errno};
#else
    const int fd = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) return {noNativeSocket, errno};
    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd, F_SETFL, fileFlags | O_NONBLOCK) < 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        const int errorNumber = errno;
        ::close(fd);
        return {noNativeSocket, errorNumber};
    }
#endif
#ifdef SO_NOSIGPIPE
    setIntegerOption(fd, SOL_SOCKET, SO_NOSIGPIPE, 1);
#endif
    return {fd, 0};
}

void closeSocket(NativeSocket socket) { ::close(socket); }

int bindTo(NativeSocket socket, const SocketAddress& local) {
    if (local.port() != 0) setIntegerOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
    return ::bind(socket, local.data(), local.length) == 0 ? 0 : errno;
}

int startConnect(NativeSocket socket, const SocketAddress& peer) {
    if (::connect(socket, peer.data(), peer.length) == 0 || errno == EINPROGRESS) return 0;
    return errno;
}

int pendingError(NativeSocket socket) {
    int errorNumber = 0;
    socklen_t length = sizeof(errorNumber);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &errorNumber, &length) != 0) return errno;
    return errorNumber;
}

void setConnectedOptions(NativeSocket socket, const ConnectedOptions& options) {
    setIntegerOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntegerOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
    setIntegerOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, options.keepAliveIdleSeconds);
#elif defined(TCP_KEEPALIVE)
    // macOS names the idle time after the whole feature.
    setIntegerOption(socket, IPPROTO_TCP, TCP_KEEPALIVE, options.keepAliveIdleSeconds);
#endif
    setIntegerOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, options.keepAliveIntervalSeconds);
    setIntegerOption(socket, IPPROTO_TCP, TCP_KEEPCNT, options.keepAliveProbeCount);
#ifdef TCP_USER_TIMEOUT
    setIntegerOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, options.userTimeoutMilliseconds);
#else
    // Without it a silent peer is found by the probes alone, idle time plus
    // interval times count, and a peer that stops acknowledging writes by the
    // write stall watch.
    static_cast<void>(options.userTimeoutMilliseconds);
#endif
}

bool setNonBlocking(NativeSocket socket) {
    const int fileFlags = ::fcntl(socket, F_GETFL);
    return fileFlags >= 0 && ::fcntl(socket, F_SETFL, fileFlags | O_NONBLOCK) >= 0;
}

Readiness readable(NativeSocket socket) { return look(socket, POLLIN); }

Readiness writable(NativeSocket socket) { return look(socket, POLLOUT); }

Transfer peekByte(NativeSocket socket) {
    std::uint8_t byte = 0;
    return transferOf(::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT));
}

Transfer receive(NativeSocket socket, std::uint8_t* into, std::size_t length) {
    return transferOf(::read(socket, into, length));
}

Transfer send(NativeSocket socket, const std::uint8_t* from, std::size_t length) {
    return transferOf(::send(socket, from, length, sendFlags));
}

std::string errorText(int errorNumber) { return std::generic_category().message(errorNumber); }

std::string resolverErrorText(int resolverCode) { return gai_strerror(resolverCode); }

}  // namespace lanternwick::socket_system
