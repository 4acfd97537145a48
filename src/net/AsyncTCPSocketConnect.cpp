// Resolving the host and racing the connects of the two families.
#include <asio/post.hpp>

#include "net/AsyncTCPSocketState.h"

namespace lanternwick {

using namespace socket_detail;

namespace {

Family familyOf(const SocketAddress& address) {
    return address.family() == asio::ip::tcp::v6().family() ? Family::ipv6 : Family::ipv4;
}

asio::ip::tcp protocolOf(Family family) { return family == Family::ipv6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4(); }

}  // namespace

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
    const socket_system::Opened opened = socket_system::openStreamSocket(address.family());
    if (opened.handle == noNativeSocket) {
        failure = Error::posix(opened.error, "Error in socket() function");
        return std::nullopt;
    }
    if (interface) {
        if (const int errorNumber = socket_system::bindTo(opened.handle, *interface); errorNumber != 0) {
            failure = Error::posix(errorNumber, "Error in bind() function");
            socket_system::closeSocket(opened.handle);
            return std::nullopt;
        }
    }
    auto stream = std::make_unique<Stream>(executor);
    std::error_code refused;
    stream->assign(protocolOf(familyOf(address)), opened.handle, refused);
    if (refused) {
        // The event loop could not take the socket on; it is still ours to close.
        failure = Error::posix(refused.value(), "Error in socket() function");
        socket_system::closeSocket(opened.handle);
        return std::nullopt;
    }
    return Attempt{std::move(stream), address};
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
    const Family preferred = ((preferIPv6 && attempt6) || !attempt4) ? Family::ipv6 : Family::ipv4;
    const Family alternate = preferred == Family::ipv4 ? Family::ipv6 : Family::ipv4;
    startConnect(preferred);
    if ((alternate == Family::ipv4 ? attempt4 : attempt6).has_value()) {
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
void AsyncTCPSocket::State::startConnect(Family family) {
    auto& attempt = family == Family::ipv4 ? attempt4 : attempt6;
    if (!attempt) return;
    const std::uint64_t index = stateIndex;
    const NativeSocket handle = attempt->stream->native_handle();
    if (const int errorNumber = socket_system::startConnect(handle, attempt->address); errorNumber != 0) {
        asio::post(executor, guarded([index, family, errorNumber](State& s) {
            s.connectFinished(index, family, errorNumber);
        }));
        return;
    }
    attempt->stream->async_wait(Stream::wait_write,
                                guarded([index, family, handle](State& s, const std::error_code& error) {
                                    if (error || index != s.stateIndex) return;
                                    s.connectFinished(index, family, socket_system::pendingError(handle));
                                }));
}

void AsyncTCPSocket::State::connectFinished(std::uint64_t index, Family family, int errorNumber) {
    if (index != stateIndex) return;
    auto& attempt = family == Family::ipv4 ? attempt4 : attempt6;
    auto& other = family == Family::ipv4 ? attempt6 : attempt4;
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
    stream = std::move(attempt->stream);
    attempt.reset();
    other.reset();
    didConnect();
}

void AsyncTCPSocket::State::didConnect() {
    flags.connected = true;
    endConnectTimeout();
    const NativeSocket handle = stream->native_handle();
    const auto peer = SocketAddress::peerOf(handle);
    const std::string host = peer ? peer->hostText() : std::string();
    const std::uint16_t port = peer ? peer->port() : 0;
    {
        std::lock_guard lock(infoMutex);
        infoHost = host;
        infoPort = port;
    }
    // Set before anyone hears of the connection, so no write can precede
    // them. Command lines go out one small write at a time; without no-delay
    // each one waits for the peer's delayed acknowledgement of the previous.
    socket_system::setConnectedOptions(handle, {.keepAliveIdleSeconds = AsyncTCPSocket::keepAliveIdleSeconds,
                                                .keepAliveIntervalSeconds = AsyncTCPSocket::keepAliveIntervalSeconds,
                                                .keepAliveProbeCount = AsyncTCPSocket::keepAliveProbeCount,
                                                .userTimeoutMilliseconds = AsyncTCPSocket::userTimeoutMilliseconds});
    publishInfo();
    notify([host, port](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidConnect(s, host, port); });

    if (!socket_system::setNonBlocking(handle)) {
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
