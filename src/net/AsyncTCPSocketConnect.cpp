// Resolving the host and racing the connects of the two families.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/post.hpp>
#include <cerrno>

#include "net/AsyncTCPSocketState.h"

namespace lanternwick {

using namespace socket_detail;

Result<void, Error> AsyncTCPSocket::State::connect(std::string_view host, std::uint16_t port,
                                                   const std::optional<std::string>& interface, double timeout) {
    if (host.empty()) {
        return fail(Error::socketError(
            Code::badParam, "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string."));
    }
    AsyncTCPSocketConfig settings;
    {
        std::lock_guard lock(settingsMutex);
        if (delegate.expired()) {
            return fail(Error::socketError(Code::badConfig, "Attempting to connect without a delegate. Set a delegate first."));
        }
        if (!delegateQueue) {
            return fail(Error::socketError(
                Code::badConfig, "Attempting to connect without a delegate queue. Set a delegate queue first."));
        }
        settings = config;
    }
    if (flags.started) {
        return fail(Error::socketError(
            Code::badConfig, "Attempting to connect while connected or accepting connections. Disconnect first."));
    }
    if (settings.ipv4Disabled && settings.ipv6Disabled) {
        return fail(Error::socketError(
            Code::badConfig, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first."));
    }
    std::optional<AddressPair> local;
    if (interface) {
        local = lookupInterface(*interface);
        if (!local) {
            return fail(Error::socketError(
                Code::badParam, "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."));
        }
        if (settings.ipv4Disabled && !local->ipv6) {
            return fail(Error::socketError(Code::badParam,
                                           "IPv4 has been disabled and specified interface doesn't support IPv6."));
        }
        if (settings.ipv6Disabled && !local->ipv4) {
            return fail(Error::socketError(Code::badParam,
                                           "IPv6 has been disabled and specified interface doesn't support IPv4."));
        }
        connectInterface4 = local->ipv4;
        connectInterface6 = local->ipv6;
    }

    readQueue.clear();
    writeQueue.clear();
    flags.started = true;
    publishInfo();

    const std::uint64_t index = stateIndex;
    if (auto known = addressesWithoutLookup(host, port)) {
        asio::post(executor, guarded([index, known = *std::move(known)](State& s) { s.resolved(index, known); }));
    } else {
        startLookup(std::string(host), port);
    }

    if (timeout >= 0) {
        connectTimer.expires_after(secondsToDuration(timeout));
        connectTimer.async_wait(guarded([index](State& s, const std::error_code& error) {
            if (error || index != s.stateIndex) return;
            s.endConnectTimeout();
            s.closeWithError(Error::socketError(Code::connectTimeout));
        }));
    }
    return {};
}

void AsyncTCPSocket::State::startLookup(const std::string& host, std::uint16_t port) {
    HostLookup lookup;
    {
        std::lock_guard lock(settingsMutex);
        lookup = hostLookup;
    }
    lookupWanted = std::make_shared<std::atomic<bool>>(true);
    auto job = [weak = weakOwner(), queue = queue, lookup = std::move(lookup), host, port, index = stateIndex] {
        auto result = lookup(host, port);
        queue.async([weak, index, result = std::move(result)]() mutable {
            if (auto self = weak.lock()) self->state_->resolved(index, std::move(result));
        });
    };
    BackgroundPool::submit(std::move(job), [wanted = lookupWanted] { return wanted->load(); });
}

void AsyncTCPSocket::State::resolved(std::uint64_t index, Result<AddressPair, Error> result) {
    if (index != stateIndex) return;
    if (!result) {
        endConnectTimeout();
        closeWithError(result.error());
        return;
    }
    AddressPair addresses = std::move(result).value();
    const AsyncTCPSocketConfig settings = currentConfig();
    if (settings.ipv4Disabled && !addresses.ipv6) {
        closeWithError(Error::socketError(Code::other, "IPv4 has been disabled and DNS lookup found no IPv6 address."));
        return;
    }
    if (settings.ipv6Disabled && !addresses.ipv4) {
        closeWithError(Error::socketError(Code::other, "IPv6 has been disabled and DNS lookup found no IPv4 address."));
        return;
    }
    if (settings.ipv4Disabled) addresses.ipv4.reset();
    if (settings.ipv6Disabled) addresses.ipv6.reset();
    connectToAddresses(std::move(addresses));
}

std::optional<Attempt> AsyncTCPSocket::State::makeAttempt(const SocketAddress& address,
                                                         const std::optional<SocketAddress>& interface,
                                                         std::optional<Error>& failure) {
    const int fd = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        failure = Error::posix(errno, "Error in socket() function");
        return std::nullopt;
    }
    if (interface) {
        if (interface->port() != 0) {
            const int reuse = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
        }
        if (::bind(fd, interface->data(), interface->length) != 0) {
            failure = Error::posix(errno, "Error in bind() function");
            ::close(fd);
            return std::nullopt;
        }
    }
    // Linux has no per-socket SO_NOSIGPIPE: every write passes MSG_NOSIGNAL.
    return Attempt{std::make_unique<Descriptor>(executor, fd), address};
}

void AsyncTCPSocket::State::connectToAddresses(AddressPair addresses) {
    std::optional<Error> failure;
    if (addresses.ipv4) attempt4 = makeAttempt(*addresses.ipv4, connectInterface4, failure);
    if (addresses.ipv6) attempt6 = makeAttempt(*addresses.ipv6, connectInterface6, failure);
    if (!attempt4 && !attempt6) {
        closeWithError(failure);
        return;
    }
    bool preferIPv6 = false;
    double delay = 0.3;
    {
        std::lock_guard lock(settingsMutex);
        preferIPv6 = config.ipv6Preferred;
        delay = alternateAddressDelay;
    }
    const int preferred = ((preferIPv6 && attempt6) || !attempt4) ? AF_INET6 : AF_INET;
    const int alternate = preferred == AF_INET ? AF_INET6 : AF_INET;
    startConnect(preferred);
    if ((alternate == AF_INET ? attempt4 : attempt6).has_value()) {
        const std::uint64_t index = stateIndex;
        alternateTimer.expires_after(secondsToDuration(delay));
        alternateTimer.async_wait(guarded([index, alternate](State& s, const std::error_code& error) {
            if (error || index != s.stateIndex || s.flags.connected) return;
            s.startConnect(alternate);
        }));
    }
}

// The connect itself does not block: the attempt waits for writability on
// the socket queue, so an abandoned attempt is closed at once instead of
// holding a thread until the kernel gives up on it.
void AsyncTCPSocket::State::startConnect(int family) {
    auto& attempt = family == AF_INET ? attempt4 : attempt6;
    if (!attempt) return;
    const std::uint64_t index = stateIndex;
    const int fd = attempt->descriptor->native_handle();
    if (::connect(fd, attempt->address.data(), attempt->address.length) != 0 && errno != EINPROGRESS) {
        const int errorNumber = errno;
        asio::post(executor, guarded([index, family, errorNumber](State& s) {
            s.connectFinished(index, family, errorNumber);
        }));
        return;
    }
    attempt->descriptor->async_wait(Descriptor::wait_write,
                                    guarded([index, family, fd](State& s, const std::error_code& error) {
                                        if (error || index != s.stateIndex) return;
                                        int errorNumber = 0;
                                        socklen_t length = sizeof(errorNumber);
                                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &errorNumber, &length) != 0) {
                                            errorNumber = errno;
                                        }
                                        s.connectFinished(index, family, errorNumber);
                                    }));
}

void AsyncTCPSocket::State::connectFinished(std::uint64_t index, int family, int errorNumber) {
    if (index != stateIndex) return;
    auto& attempt = family == AF_INET ? attempt4 : attempt6;
    auto& other = family == AF_INET ? attempt6 : attempt4;
    if (!attempt) return;
    if (flags.connected) {
        attempt.reset();
        return;
    }
    if (errorNumber != 0) {
        attempt.reset();
        if (!other) closeWithError(Error::posix(errorNumber, "Error in connect() function"));
        return;
    }
    stream = std::move(attempt->descriptor);
    attempt.reset();
    other.reset();
    didConnect();
}

namespace {

void setIntegerOption(int fd, int level, int option, int value) {
    ::setsockopt(fd, level, option, &value, sizeof(value));
}

// Failures are ignored: each option only makes a dead peer show sooner or a
// small write go out sooner, and the connection works without it.
void setConnectedOptions(int fd) {
    // Command lines go out one small write at a time; without this each one
    // waits for the peer's delayed acknowledgement of the previous one.
    setIntegerOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setIntegerOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setIntegerOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, AsyncTCPSocket::keepAliveIdleSeconds);
    setIntegerOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, AsyncTCPSocket::keepAliveIntervalSeconds);
    setIntegerOption(fd, IPPROTO_TCP, TCP_KEEPCNT, AsyncTCPSocket::keepAliveProbeCount);
    setIntegerOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, AsyncTCPSocket::userTimeoutMilliseconds);
}

}  // namespace

void AsyncTCPSocket::State::didConnect() {
    flags.connected = true;
    endConnectTimeout();
    const int fd = stream->native_handle();
    const auto peer = SocketAddress::peerOf(fd);
    const std::string host = peer ? peer->hostText() : std::string();
    const std::uint16_t port = peer ? peer->port() : 0;
    {
        std::lock_guard lock(infoMutex);
        infoHost = host;
        infoPort = port;
    }
    // Set before anyone hears of the connection, so no write can precede them.
    setConnectedOptions(fd);
    publishInfo();
    notify([host, port](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidConnect(s, host, port); });

    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd, F_SETFL, fileFlags | O_NONBLOCK) < 0) {
        closeWithError(Error::socketError(Code::other, "Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }

    flags.canAcceptBytes = true;
    armReadWait();
    pumpReads();
    pumpWrites();
}

void AsyncTCPSocket::State::endConnectTimeout() {
    ++stateIndex;
    if (lookupWanted) {
        lookupWanted->store(false);
        lookupWanted.reset();
    }
    connectTimer.cancel();
    alternateTimer.cancel();
    connectInterface4.reset();
    connectInterface6.reset();
}


}  // namespace lanternwick
