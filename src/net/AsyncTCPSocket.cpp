#include "net/AsyncTCPSocket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <asio/post.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>

#include "net/SocketAddress.h"
#include "net/SocketPreBuffer.h"
#include "support/AsioContext.h"
#include "support/BackgroundPool.h"

namespace lanternwick {

void AsyncTCPSocketDelegate::socketDidConnect(const Socket&, const std::string&, std::uint16_t) {}
void AsyncTCPSocketDelegate::socketDidRead(const Socket&, const Bytes&, long) {}
void AsyncTCPSocketDelegate::socketDidReadPartial(const Socket&, std::size_t, long) {}
void AsyncTCPSocketDelegate::socketDidWrite(const Socket&, long) {}
void AsyncTCPSocketDelegate::socketDidWritePartial(const Socket&, std::size_t, long) {}
double AsyncTCPSocketDelegate::socketShouldTimeoutRead(const Socket&, long, double, std::size_t) { return 0; }
double AsyncTCPSocketDelegate::socketShouldTimeoutWrite(const Socket&, long, double, std::size_t) { return 0; }
void AsyncTCPSocketDelegate::socketDidCloseReadStream(const Socket&) {}
void AsyncTCPSocketDelegate::socketDidDisconnect(const Socket&, const std::optional<AsyncTCPSocketError>&) {}

namespace {

using Descriptor = asio::posix::stream_descriptor;
using Error = AsyncTCPSocketError;
using Code = AsyncTCPSocketErrorCode;
using Socket = AsyncTCPSocketDelegate::Socket;

constexpr std::size_t initialPreBufferCapacity = 4096;

std::chrono::steady_clock::duration secondsToDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

struct ReadRequest {
    AsyncTCPSocket::Bytes buffer;
    std::size_t bytesDone = 0;
    std::size_t maxLength = 0;
    double timeout = -1;
    std::size_t readLength = 0;
    std::optional<AsyncTCPSocket::Bytes> term;
    long tag = 0;
    std::uint64_t serial = 0;

    bool isComplete() const {
        if (readLength > 0) return bytesDone == readLength;
        if (term) {
            return bytesDone >= term->size() &&
                   std::equal(term->begin(), term->end(), buffer.begin() + static_cast<long>(bytesDone - term->size()));
        }
        return bytesDone > 0;
    }
};

struct WriteRequest {
    AsyncTCPSocket::Bytes buffer;
    std::size_t bytesDone = 0;
    long tag = 0;
    double timeout = -1;
    std::uint64_t serial = 0;
    // Holds the request's bytes against the queue bound; the last copy of
    // the request to go, written or dropped, gives them back.
    std::shared_ptr<void> queued;
};

using ByteCounter = std::shared_ptr<std::atomic<std::size_t>>;

std::shared_ptr<void> countQueued(const ByteCounter& counter, std::size_t bytes) {
    return std::shared_ptr<void>(nullptr, [counter, bytes](void*) { counter->fetch_sub(bytes); });
}

struct Flags {
    bool started = false;
    bool connected = false;
    bool forbidReadsWrites = false;
    bool readsPaused = false;
    bool writesPaused = false;
    bool disconnectAfterWrites = false;
    bool canAcceptBytes = false;
    bool readSourceSuspended = false;
    bool writeSourceSuspended = false;
    bool readEOF = false;
    bool readStreamClosed = false;
};

// A connect attempt of one family: the descriptor, non-blocking, and the
// address it goes to.
struct Attempt {
    std::unique_ptr<Descriptor> descriptor;
    SocketAddress address;
};

}  // namespace

struct AsyncTCPSocket::State {
    State(AsyncTCPSocket& owner, SerialQueue q)
        : owner(owner),
          queue(std::move(q)),
          executor(strandOf(queue)),
          connectTimer(executor),
          alternateTimer(executor),
          readTimer(executor),
          writeTimer(executor),
          stallTimer(executor) {}

    AsyncTCPSocket& owner;
    SerialQueue queue;
    QueueExecutor executor;

    // Set from any thread, read when a callback is posted.
    mutable std::mutex settingsMutex;
    std::weak_ptr<AsyncTCPSocketDelegate> delegate;
    std::optional<SerialQueue> delegateQueue;
    AsyncTCPSocketConfig config;
    double alternateAddressDelay = 0.3;
    double writeStallSeconds = AsyncTCPSocket::defaultWriteStallSeconds;
    AsyncTCPSocket::HostLookup hostLookup = resolveHost;

    const ByteCounter queuedWriteBytes = std::make_shared<std::atomic<std::size_t>>(0);
    std::atomic<std::size_t> maximumQueuedWriteBytes{AsyncTCPSocket::defaultMaximumQueuedWriteBytes};

    // What other threads may ask without a hop to the socket queue.
    mutable std::mutex infoMutex;
    bool infoStarted = false;
    bool infoConnected = false;
    std::string infoHost;
    std::uint16_t infoPort = 0;
    int infoDescriptor = -1;

    // Everything below belongs to the socket queue.
    Flags flags;
    std::uint64_t stateIndex = 0;
    std::uint64_t connectionIndex = 0;
    std::uint64_t requestSerial = 0;
    std::optional<SocketAddress> connectInterface4;
    std::optional<SocketAddress> connectInterface6;
    std::optional<Attempt> attempt4;
    std::optional<Attempt> attempt6;
    std::unique_ptr<Descriptor> stream;
    asio::steady_timer connectTimer;
    asio::steady_timer alternateTimer;
    asio::steady_timer readTimer;
    asio::steady_timer writeTimer;
    asio::steady_timer stallTimer;
    bool stallTimerArmed = false;
    std::uint64_t stallGeneration = 0;
    std::chrono::steady_clock::time_point lastWriteProgress;
    // Cleared when the connect attempt that asked for the lookup ends.
    std::shared_ptr<std::atomic<bool>> lookupWanted;
    std::deque<ReadRequest> readQueue;
    std::deque<WriteRequest> writeQueue;
    std::optional<ReadRequest> currentRead;
    std::optional<WriteRequest> currentWrite;
    std::size_t socketFDBytesAvailable = 0;
    SocketPreBuffer preBuffer{initialPreBufferCapacity};
    bool readWaitArmed = false;
    bool writeWaitArmed = false;

    std::weak_ptr<AsyncTCPSocket> weakOwner() { return owner.weak_from_this(); }

    // Runs `work(state)` on the socket queue if the socket still exists.
    template <typename F>
    auto guarded(F work) {
        return [weak = weakOwner(), work = std::move(work)](auto&&... args) mutable {
            if (auto self = weak.lock()) work(*self->state_, std::forward<decltype(args)>(args)...);
        };
    }

    template <typename F>
    void notify(F call) {
        std::weak_ptr<AsyncTCPSocketDelegate> target;
        std::optional<SerialQueue> targetQueue;
        {
            std::lock_guard lock(settingsMutex);
            target = delegate;
            targetQueue = delegateQueue;
        }
        if (!targetQueue) return;
        targetQueue->async([target, weak = weakOwner(), call = std::move(call)]() mutable {
            if (auto d = target.lock()) call(*d, weak.lock());
        });
    }

    bool delegateObservesWrites() {
        std::lock_guard lock(settingsMutex);
        auto d = delegate.lock();
        return d && d->observesWrites();
    }

    Result<void, Error> connect(std::string_view host, std::uint16_t port, const std::optional<std::string>& interface,
                                double timeout);
    void startLookup(const std::string& host, std::uint16_t port);
    void resolved(std::uint64_t index, Result<AddressPair, Error> result);
    void connectToAddresses(AddressPair addresses);
    std::optional<Attempt> makeAttempt(const SocketAddress& address, const std::optional<SocketAddress>& interface,
                                       std::optional<Error>& failure);
    void startConnect(int family);
    void connectFinished(std::uint64_t index, int family, int errorNumber);
    void didConnect();
    void endConnectTimeout();

    void armReadWait();
    void readSourceFired();
    void pumpReads();
    bool serveCurrentRead();
    std::size_t takeFromPreBuffer(ReadRequest& request);
    void readEndOfStream();
    void startReadTimer(const ReadRequest& request, double seconds);
    void readTimedOut(std::uint64_t serial);
    void readTimeoutAnswered(std::uint64_t serial, double extension);

    void armWriteWait();
    void watchForStall();
    void stallTimerFired();
    void pumpWrites();
    void startWriteTimer(const WriteRequest& request, double seconds);
    void writeTimedOut(std::uint64_t serial);
    void writeTimeoutAnswered(std::uint64_t serial, double extension);

    void disconnectAfterWriting();
    void closeWithError(std::optional<Error> error);
    void publishInfo();
};

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
    AsyncTCPSocketConfig settings;
    {
        std::lock_guard lock(settingsMutex);
        settings = config;
    }
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
    // Command lines go out one small write at a time; without this each one
    // waits for the peer's delayed acknowledgement of the previous one. Set
    // before anyone hears of the connection, so no write can precede it.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
    publishInfo();
    notify([host, port](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidConnect(s, host, port); });

    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd, F_SETFL, fileFlags | O_NONBLOCK) < 0) {
        closeWithError(Error::socketError(Code::other, "Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }

    flags.canAcceptBytes = true;
    flags.writeSourceSuspended = true;
    flags.readSourceSuspended = false;
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

// Asio's descriptor waits are edge-triggered: readiness that arrived while
// no wait was queued is not reported again. So after queuing a wait, look
// once more (level-triggered, without blocking) and serve what is already
// there; a wait that then fires finds nothing and is re-armed.
void AsyncTCPSocket::State::armReadWait() {
    if (!stream) return;
    flags.readSourceSuspended = false;
    const std::uint64_t connection = connectionIndex;
    if (!readWaitArmed) {
        readWaitArmed = true;
        stream->async_wait(Descriptor::wait_read, guarded([connection](State& s, const std::error_code& error) {
            if (connection != s.connectionIndex) return;
            s.readWaitArmed = false;
            if (error) return;
            s.readSourceFired();
        }));
    }
    pollfd probe{stream->native_handle(), POLLIN, 0};
    if (::poll(&probe, 1, 0) == 1) {
        asio::post(executor, guarded([connection](State& s) {
            if (connection == s.connectionIndex && s.stream) s.readSourceFired();
        }));
    }
}

void AsyncTCPSocket::State::readSourceFired() {
    Descriptor::bytes_readable command;
    std::error_code failed;
    stream->io_control(command, failed);
    std::size_t waiting = failed ? 0 : command.get();
    if (waiting == 0) {
        // No bytes: either the peer closed, or the readiness was already
        // served by an earlier look.
        std::uint8_t byte = 0;
        const ssize_t peeked = ::recv(stream->native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (currentRead) armReadWait();
            return;
        }
        if (peeked < 0) {
            closeWithError(Error::posix(errno, "Error in read() function"));
            return;
        }
        if (peeked == 0) {
            readEndOfStream();
            return;
        }
        waiting = 1;
    }
    socketFDBytesAvailable = waiting;
    if (currentRead) {
        pumpReads();
    } else {
        // Leave the bytes in the kernel until someone asks for them.
        flags.readSourceSuspended = true;
    }
}

void AsyncTCPSocket::State::pumpReads() {
    while (flags.connected && !flags.readsPaused) {
        if (!currentRead) {
            if (readQueue.empty()) return;
            currentRead = std::move(readQueue.front());
            readQueue.pop_front();
            if (currentRead->timeout >= 0) startReadTimer(*currentRead, currentRead->timeout);
        }
        if (!serveCurrentRead()) return;
    }
}

std::size_t AsyncTCPSocket::State::takeFromPreBuffer(ReadRequest& request) {
    const std::size_t available = preBuffer.availableBytes();
    if (available == 0) return 0;
    std::size_t count = available;
    if (request.readLength > 0) {
        count = std::min(available, request.readLength - request.bytesDone);
    } else if (!request.term && request.maxLength > 0) {
        count = std::min(available, request.maxLength - request.bytesDone);
    } else if (request.term) {
        const auto& term = *request.term;
        const std::uint8_t* bytes = preBuffer.readBuffer();
        count = 0;
        while (count < available) {
            if (request.maxLength > 0 && request.bytesDone + count >= request.maxLength) break;
            ++count;
            // Compare the last term.size() bytes of buffer-so-far plus the taken ones.
            const std::size_t total = request.bytesDone + count;
            if (total < term.size()) continue;
            bool matched = true;
            for (std::size_t i = 0; i < term.size() && matched; ++i) {
                const std::size_t pos = total - term.size() + i;
                const std::uint8_t b = pos < request.bytesDone ? request.buffer[pos] : bytes[pos - request.bytesDone];
                matched = b == term[i];
            }
            if (matched) break;
        }
    }
    request.buffer.resize(request.bytesDone + count);
    std::copy_n(preBuffer.readBuffer(), count, request.buffer.begin() + static_cast<long>(request.bytesDone));
    request.bytesDone += count;
    preBuffer.didRead(count);
    return count;
}

// Serves the current read as far as the bytes at hand allow. True when it
// completed and the next one may start.
bool AsyncTCPSocket::State::serveCurrentRead() {
    ReadRequest& request = *currentRead;
    const int fd = stream->native_handle();
    std::size_t obtained = takeFromPreBuffer(request);
    bool endOfStream = false;

    while (!request.isComplete() && !flags.readEOF && socketFDBytesAvailable > 0) {
        if (request.maxLength > 0 && request.bytesDone >= request.maxLength) break;
        const bool readAhead = request.term.has_value();
        std::size_t wanted = socketFDBytesAvailable;
        if (request.readLength > 0) wanted = std::min(wanted, request.readLength - request.bytesDone);
        if (!readAhead && request.maxLength > 0) wanted = std::min(wanted, request.maxLength - request.bytesDone);
        std::uint8_t* target = nullptr;
        if (readAhead) {
            target = preBuffer.writeBuffer(wanted);
        } else {
            request.buffer.resize(request.bytesDone + wanted);
            target = request.buffer.data() + request.bytesDone;
        }
        const ssize_t got = ::read(fd, target, wanted);
        if (got < 0) {
            if (!readAhead) request.buffer.resize(request.bytesDone);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                socketFDBytesAvailable = 0;
                break;
            }
            closeWithError(Error::posix(errno, "Error in read() function"));
            return false;
        }
        const auto count = static_cast<std::size_t>(got);
        socketFDBytesAvailable = socketFDBytesAvailable > count ? socketFDBytesAvailable - count : 0;
        if (count == 0) {
            if (!readAhead) request.buffer.resize(request.bytesDone);
            endOfStream = true;
            break;
        }
        if (readAhead) {
            preBuffer.didWrite(count);
            obtained += takeFromPreBuffer(request);
        } else {
            request.bytesDone += count;
            request.buffer.resize(request.bytesDone);
            obtained += count;
        }
        if (count < wanted) socketFDBytesAvailable = 0;
    }

    if (request.term && request.maxLength > 0 && !request.isComplete() && request.bytesDone >= request.maxLength) {
        closeWithError(Error::socketError(Code::readMaxedOut));
        return false;
    }
    if (request.isComplete()) {
        readTimer.cancel();
        ReadRequest done = std::move(request);
        currentRead.reset();
        done.buffer.resize(done.bytesDone);
        notify([data = std::move(done.buffer), tag = done.tag](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidRead(s, data, tag);
        });
        if (endOfStream) {
            readEndOfStream();
            return flags.connected;
        }
        return true;
    }
    if (obtained > 0) {
        notify([obtained, tag = request.tag](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidReadPartial(s, obtained, tag);
        });
    }
    if (endOfStream || flags.readEOF) {
        readEndOfStream();
        return false;
    }
    armReadWait();
    return false;
}

void AsyncTCPSocket::State::readEndOfStream() {
    flags.readEOF = true;
    if (preBuffer.availableBytes() > 0 || flags.readStreamClosed) {
        flags.readSourceSuspended = true;
        return;
    }
    bool halfDuplex = false;
    {
        std::lock_guard lock(settingsMutex);
        halfDuplex = config.allowHalfDuplexConnection;
    }
    if (halfDuplex) {
        pollfd probe{stream->native_handle(), POLLOUT, 0};
        const bool writable = ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLERR | POLLHUP)) == 0;
        if (writable) {
            flags.readStreamClosed = true;
            flags.readSourceSuspended = true;
            notify([](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidCloseReadStream(s); });
            return;
        }
    }
    closeWithError(Error::socketError(Code::closed));
}

void AsyncTCPSocket::State::startReadTimer(const ReadRequest& request, double seconds) {
    readTimer.expires_after(secondsToDuration(seconds));
    readTimer.async_wait(guarded([serial = request.serial](State& s, const std::error_code& error) {
        if (!error) s.readTimedOut(serial);
    }));
}

void AsyncTCPSocket::State::readTimedOut(std::uint64_t serial) {
    if (!currentRead || currentRead->serial != serial) return;
    flags.readsPaused = true;
    const long tag = currentRead->tag;
    const double elapsed = currentRead->timeout;
    const std::size_t done = currentRead->bytesDone;
    notify([queue = queue, weak = weakOwner(), serial, tag, elapsed, done](AsyncTCPSocketDelegate& d,
                                                                           const Socket& s) {
        const double extension = d.socketShouldTimeoutRead(s, tag, elapsed, done);
        queue.async([weak, serial, extension] {
            if (auto self = weak.lock()) self->state_->readTimeoutAnswered(serial, extension);
        });
    });
}

void AsyncTCPSocket::State::readTimeoutAnswered(std::uint64_t serial, double extension) {
    if (!currentRead || currentRead->serial != serial) return;
    if (extension > 0) {
        currentRead->timeout += extension;
        startReadTimer(*currentRead, extension);
        flags.readsPaused = false;
        pumpReads();
        return;
    }
    closeWithError(Error::socketError(Code::readTimeout));
}

void AsyncTCPSocket::State::armWriteWait() {
    if (!stream) return;
    flags.writeSourceSuspended = false;
    watchForStall();
    const std::uint64_t connection = connectionIndex;
    auto onWritable = [connection](State& s, const std::error_code& error) {
        if (connection != s.connectionIndex) return;
        s.writeWaitArmed = false;
        s.flags.writeSourceSuspended = true;
        if (error) return;
        s.flags.canAcceptBytes = true;
        s.pumpWrites();
    };
    auto writableNow = [connection](State& s) {
        if (connection != s.connectionIndex || !s.stream) return;
        s.flags.canAcceptBytes = true;
        s.pumpWrites();
    };
    pollfd probe{stream->native_handle(), POLLOUT, 0};
    const bool writable = ::poll(&probe, 1, 0) == 1;
    if (flags.disconnectAfterWrites) {
        // Nobody else may hold the socket any more: the wait keeps it alive
        // until the queued writes are out.
        auto self = owner.shared_from_this();
        if (!writeWaitArmed) {
            writeWaitArmed = true;
            stream->async_wait(Descriptor::wait_write, [self, onWritable](const std::error_code& error) {
                onWritable(*self->state_, error);
            });
        }
        if (writable) asio::post(executor, [self, writableNow] { writableNow(*self->state_); });
    } else {
        if (!writeWaitArmed) {
            writeWaitArmed = true;
            stream->async_wait(Descriptor::wait_write, guarded(onWritable));
        }
        if (writable) asio::post(executor, guarded(writableNow));
    }
}

void AsyncTCPSocket::State::pumpWrites() {
    const bool observed = delegateObservesWrites();
    while (flags.connected && !flags.writesPaused) {
        if (!currentWrite) {
            if (writeQueue.empty()) {
                if (flags.disconnectAfterWrites) closeWithError(std::nullopt);
                return;
            }
            currentWrite = std::move(writeQueue.front());
            writeQueue.pop_front();
            lastWriteProgress = std::chrono::steady_clock::now();
            if (currentWrite->timeout >= 0) startWriteTimer(*currentWrite, currentWrite->timeout);
        }
        if (!flags.canAcceptBytes) {
            armWriteWait();
            return;
        }
        WriteRequest& request = *currentWrite;
        const ssize_t sent = ::send(stream->native_handle(), request.buffer.data() + request.bytesDone,
                                    request.buffer.size() - request.bytesDone, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                flags.canAcceptBytes = false;
                armWriteWait();
                return;
            }
            closeWithError(Error::posix(errno, "Error in write() function"));
            return;
        }
        request.bytesDone += static_cast<std::size_t>(sent);
        if (sent > 0) lastWriteProgress = std::chrono::steady_clock::now();
        if (request.bytesDone < request.buffer.size()) {
            if (observed) {
                notify([length = static_cast<std::size_t>(sent), tag = request.tag](AsyncTCPSocketDelegate& d,
                                                                                    const Socket& s) {
                    d.socketDidWritePartial(s, length, tag);
                });
            }
            flags.canAcceptBytes = false;
            armWriteWait();
            return;
        }
        if (request.timeout >= 0) writeTimer.cancel();
        if (observed) {
            notify([tag = request.tag](AsyncTCPSocketDelegate& d, const Socket& s) { d.socketDidWrite(s, tag); });
        }
        currentWrite.reset();
    }
}

// One timer per stall, not per write: it fires at the stall deadline of the
// last progress it knows of and looks again, since bytes may have gone out
// in between.
void AsyncTCPSocket::State::watchForStall() {
    double seconds = 0;
    {
        std::lock_guard lock(settingsMutex);
        seconds = writeStallSeconds;
    }
    if (stallTimerArmed || seconds <= 0) return;
    stallTimerArmed = true;
    stallTimer.expires_at(lastWriteProgress + secondsToDuration(seconds));
    stallTimer.async_wait(guarded([generation = ++stallGeneration](State& s, const std::error_code& error) {
        if (generation != s.stallGeneration) return;
        s.stallTimerArmed = false;
        if (!error) s.stallTimerFired();
    }));
}

void AsyncTCPSocket::State::stallTimerFired() {
    if (!currentWrite && writeQueue.empty()) return;
    double seconds = 0;
    {
        std::lock_guard lock(settingsMutex);
        seconds = writeStallSeconds;
    }
    if (seconds > 0 && std::chrono::steady_clock::now() >= lastWriteProgress + secondsToDuration(seconds)) {
        closeWithError(Error::socketError(Code::writeTimeout));
        return;
    }
    if (!flags.canAcceptBytes) watchForStall();
}

void AsyncTCPSocket::State::startWriteTimer(const WriteRequest& request, double seconds) {
    writeTimer.expires_after(secondsToDuration(seconds));
    writeTimer.async_wait(guarded([serial = request.serial](State& s, const std::error_code& error) {
        if (!error) s.writeTimedOut(serial);
    }));
}

void AsyncTCPSocket::State::writeTimedOut(std::uint64_t serial) {
    if (!currentWrite || currentWrite->serial != serial) return;
    flags.writesPaused = true;
    const long tag = currentWrite->tag;
    const double elapsed = currentWrite->timeout;
    const std::size_t done = currentWrite->bytesDone;
    notify([queue = queue, weak = weakOwner(), serial, tag, elapsed, done](AsyncTCPSocketDelegate& d,
                                                                           const Socket& s) {
        const double extension = d.socketShouldTimeoutWrite(s, tag, elapsed, done);
        queue.async([weak, serial, extension] {
            if (auto self = weak.lock()) self->state_->writeTimeoutAnswered(serial, extension);
        });
    });
}

void AsyncTCPSocket::State::writeTimeoutAnswered(std::uint64_t serial, double extension) {
    if (!currentWrite || currentWrite->serial != serial) return;
    if (extension > 0) {
        currentWrite->timeout += extension;
        startWriteTimer(*currentWrite, extension);
        flags.writesPaused = false;
        pumpWrites();
        return;
    }
    closeWithError(Error::socketError(Code::writeTimeout));
}

void AsyncTCPSocket::State::disconnectAfterWriting() {
    if (!flags.started) return;
    flags.forbidReadsWrites = true;
    flags.disconnectAfterWrites = true;
    if (!currentWrite && writeQueue.empty()) {
        closeWithError(std::nullopt);
        return;
    }
    // A write waiting for writability holds the socket only weakly; re-arm
    // it so that the socket stays alive until the writes are out.
    if (writeWaitArmed) {
        const bool wasReading = readWaitArmed;
        ++connectionIndex;
        writeWaitArmed = false;
        readWaitArmed = false;
        std::error_code ignored;
        stream->cancel(ignored);
        if (wasReading) armReadWait();
        armWriteWait();
    }
}

void AsyncTCPSocket::State::closeWithError(std::optional<Error> error) {
    endConnectTimeout();
    readTimer.cancel();
    writeTimer.cancel();
    stallTimer.cancel();
    stallTimerArmed = false;
    ++stallGeneration;
    currentRead.reset();
    currentWrite.reset();
    readQueue.clear();
    writeQueue.clear();
    preBuffer.reset();

    ++connectionIndex;
    if (stream) {
        std::error_code ignored;
        stream->close(ignored);
        stream.reset();
    }
    attempt4.reset();
    attempt6.reset();
    readWaitArmed = false;
    writeWaitArmed = false;
    socketFDBytesAvailable = 0;

    const bool wasStarted = flags.started;
    flags = Flags{};
    {
        std::lock_guard lock(infoMutex);
        infoHost.clear();
        infoPort = 0;
    }
    publishInfo();
    if (wasStarted) {
        notify([error = std::move(error)](AsyncTCPSocketDelegate& d, const Socket& s) {
            d.socketDidDisconnect(s, error);
        });
    }
}

void AsyncTCPSocket::State::publishInfo() {
    std::lock_guard lock(infoMutex);
    infoStarted = flags.started;
    infoConnected = flags.connected;
    infoDescriptor = stream ? stream->native_handle() : -1;
}

std::shared_ptr<AsyncTCPSocket> AsyncTCPSocket::create(std::weak_ptr<AsyncTCPSocketDelegate> delegate,
                                                       std::optional<SerialQueue> delegateQueue,
                                                       std::optional<SerialQueue> socketQueue) {
    return std::make_shared<AsyncTCPSocket>(Key{}, std::move(delegate), std::move(delegateQueue),
                                            socketQueue ? *socketQueue : SerialQueue("AsyncTCPSocket"));
}

AsyncTCPSocket::AsyncTCPSocket(Key, std::weak_ptr<AsyncTCPSocketDelegate> delegate,
                               std::optional<SerialQueue> delegateQueue, SerialQueue socketQueue)
    : socketQueue_(std::move(socketQueue)), state_(std::make_unique<State>(*this, socketQueue_)) {
    state_->delegate = std::move(delegate);
    state_->delegateQueue = std::move(delegateQueue);
}

// The last owner is gone, so no handler can be running: every handler holds
// the socket only weakly while it waits. Closing here reports the disconnect
// without a socket.
AsyncTCPSocket::~AsyncTCPSocket() { state_->closeWithError(std::nullopt); }

void AsyncTCPSocket::setDelegate(std::weak_ptr<AsyncTCPSocketDelegate> delegate) {
    std::lock_guard lock(state_->settingsMutex);
    state_->delegate = std::move(delegate);
}

void AsyncTCPSocket::setDelegateQueue(std::optional<SerialQueue> delegateQueue) {
    std::lock_guard lock(state_->settingsMutex);
    state_->delegateQueue = std::move(delegateQueue);
}

void AsyncTCPSocket::setConfig(AsyncTCPSocketConfig config) {
    std::lock_guard lock(state_->settingsMutex);
    state_->config = config;
}

AsyncTCPSocketConfig AsyncTCPSocket::config() const {
    std::lock_guard lock(state_->settingsMutex);
    return state_->config;
}

void AsyncTCPSocket::setAlternateAddressDelay(double seconds) {
    std::lock_guard lock(state_->settingsMutex);
    state_->alternateAddressDelay = seconds;
}

void AsyncTCPSocket::setMaximumQueuedWriteBytes(std::size_t bytes) { state_->maximumQueuedWriteBytes.store(bytes); }

void AsyncTCPSocket::setWriteStallTimeout(double seconds) {
    std::lock_guard lock(state_->settingsMutex);
    state_->writeStallSeconds = seconds;
}

void AsyncTCPSocket::setHostLookup(HostLookup lookup) {
    std::lock_guard lock(state_->settingsMutex);
    state_->hostLookup = std::move(lookup);
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port,
                                                                std::optional<std::string> interface, double timeout) {
    return socketQueue_.sync([&] { return state_->connect(host, port, interface, timeout); });
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port,
                                                                double timeout) {
    return connectToHost(host, port, std::nullopt, timeout);
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::connectToHost(std::string_view host, std::uint16_t port) {
    return connectToHost(host, port, std::nullopt, -1);
}

void AsyncTCPSocket::readData(double timeout, long tag, std::size_t maxLength) {
    ReadRequest request;
    request.timeout = timeout;
    request.tag = tag;
    request.maxLength = maxLength;
    socketQueue_.async(state_->guarded([request = std::move(request)](State& s) mutable {
        if (!s.flags.started || s.flags.forbidReadsWrites) return;
        request.serial = ++s.requestSerial;
        s.readQueue.push_back(std::move(request));
        s.pumpReads();
    }));
}

void AsyncTCPSocket::readDataToLength(std::size_t length, double timeout, long tag) {
    if (length == 0) return;
    ReadRequest request;
    request.timeout = timeout;
    request.readLength = length;
    request.tag = tag;
    request.buffer.reserve(length);
    socketQueue_.async(state_->guarded([request = std::move(request)](State& s) mutable {
        if (!s.flags.started || s.flags.forbidReadsWrites) return;
        request.serial = ++s.requestSerial;
        s.readQueue.push_back(std::move(request));
        s.pumpReads();
    }));
}

void AsyncTCPSocket::readDataToData(Bytes terminator, double timeout, long tag, std::size_t maxLength) {
    if (terminator.empty()) return;
    // A limit shorter than the terminator could never be met.
    if (maxLength > 0 && maxLength < terminator.size()) return;
    ReadRequest request;
    request.timeout = timeout;
    request.term = std::move(terminator);
    request.maxLength = maxLength;
    request.tag = tag;
    socketQueue_.async(state_->guarded([request = std::move(request)](State& s) mutable {
        if (!s.flags.started || s.flags.forbidReadsWrites) return;
        request.serial = ++s.requestSerial;
        s.readQueue.push_back(std::move(request));
        s.pumpReads();
    }));
}

Result<void, AsyncTCPSocketError> AsyncTCPSocket::writeData(Bytes data, double timeout, long tag) {
    if (data.empty()) return {};
    const std::size_t limit = state_->maximumQueuedWriteBytes.load();
    std::size_t waiting = state_->queuedWriteBytes->load();
    do {
        if (data.size() > limit || waiting > limit - data.size()) {
            return fail(Error::socketError(Code::other, "Write queue is full: " + std::to_string(waiting) +
                                                            " bytes are waiting to be sent, the limit is " +
                                                            std::to_string(limit) + "."));
        }
    } while (!state_->queuedWriteBytes->compare_exchange_weak(waiting, waiting + data.size()));
    WriteRequest request;
    request.queued = countQueued(state_->queuedWriteBytes, data.size());
    request.buffer = std::move(data);
    request.timeout = timeout;
    request.tag = tag;
    socketQueue_.async(state_->guarded([request = std::move(request)](State& s) mutable {
        if (!s.flags.started || s.flags.forbidReadsWrites) return;
        request.serial = ++s.requestSerial;
        s.writeQueue.push_back(std::move(request));
        s.pumpWrites();
    }));
    return {};
}

std::size_t AsyncTCPSocket::queuedWriteBytes() const { return state_->queuedWriteBytes->load(); }

void AsyncTCPSocket::disconnectAfterWriting() {
    socketQueue_.async([self = shared_from_this()] { self->state_->disconnectAfterWriting(); });
}

void AsyncTCPSocket::disconnect() {
    socketQueue_.sync([this] {
        if (state_->flags.started) state_->closeWithError(std::nullopt);
    });
}

void AsyncTCPSocket::disconnectSoon() {
    socketQueue_.async([self = shared_from_this()] {
        if (self->state_->flags.started) self->state_->closeWithError(std::nullopt);
    });
}

bool AsyncTCPSocket::isConnected() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoConnected;
}

bool AsyncTCPSocket::isDisconnected() const {
    std::lock_guard lock(state_->infoMutex);
    return !state_->infoStarted;
}

std::string AsyncTCPSocket::connectedHost() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoHost;
}

std::uint16_t AsyncTCPSocket::connectedPort() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoPort;
}

int AsyncTCPSocket::nativeHandle() const {
    std::lock_guard lock(state_->infoMutex);
    return state_->infoDescriptor;
}

}  // namespace lanternwick
