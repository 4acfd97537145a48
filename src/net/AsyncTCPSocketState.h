#pragma once
// AsyncTCPSocket::State: everything a socket keeps, shared by the files that
// make up the socket (connect, read, write and the facade) and by nobody
// else. Apart from the mutex-guarded blocks and the atomic byte counts, every
// field belongs to the socket queue and is touched only there.

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "net/AsyncTCPSocket.h"
#include "net/SocketAddress.h"
#include "net/SocketPreBuffer.h"
#include "net/SocketSystem.h"
#include "support/AsioContext.h"
#include "support/BackgroundPool.h"

namespace lanternwick::socket_detail {

// Asio's socket only waits for readiness here; the reads, writes and
// options are the socket's own calls on its native handle.
using Stream = asio::ip::tcp::socket;
static_assert(std::is_same_v<Stream::native_handle_type, NativeSocket>);
using Error = AsyncTCPSocketError;
using Code = AsyncTCPSocketErrorCode;
using Socket = AsyncTCPSocketDelegate::Socket;
using Bytes = AsyncTCPSocket::Bytes;

constexpr std::size_t initialPreBufferCapacity = 4096;

inline std::chrono::steady_clock::duration secondsToDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// What a request timeout looks at, the same for reads and writes.
struct Request {
    long tag = 0;
    double timeout = -1;
    std::size_t bytesDone = 0;
    std::uint64_t serial = 0;
};

// One read of any of the three kinds: whatever is available (at most
// maxLength when set), exactly readLength bytes, or up to a terminator (at
// most maxLength when set).
struct ReadRequest : Request {
    Bytes buffer;
    std::size_t maxLength = 0;
    std::size_t readLength = 0;
    std::optional<Bytes> term;

    static ReadRequest available(double timeout, long tag, std::size_t maxLength) {
        ReadRequest request;
        request.timeout = timeout;
        request.tag = tag;
        request.maxLength = maxLength;
        return request;
    }
    static ReadRequest toLength(std::size_t length, double timeout, long tag) {
        ReadRequest request = available(timeout, tag, 0);
        request.readLength = length;
        request.buffer.reserve(length);
        return request;
    }
    static ReadRequest toTerminator(Bytes terminator, double timeout, long tag, std::size_t maxLength) {
        ReadRequest request = available(timeout, tag, maxLength);
        request.term = std::move(terminator);
        return request;
    }

    // A terminator read reads ahead into the pre-buffer; the others read
    // straight into their own buffer.
    bool readsAhead() const { return term.has_value(); }

    bool isComplete() const {
        if (readLength > 0) return bytesDone == readLength;
        if (term) {
            return bytesDone >= term->size() &&
                   std::equal(term->begin(), term->end(), buffer.begin() + static_cast<long>(bytesDone - term->size()));
        }
        return bytesDone > 0;
    }
};

struct WriteRequest : Request {
    Bytes buffer;
    // Holds the request's bytes against the queue bound; the last copy of
    // the request to go, written or dropped, gives them back.
    std::shared_ptr<void> queued;
};

enum class Direction { read, write };

using ByteCounter = std::shared_ptr<std::atomic<std::size_t>>;

inline std::shared_ptr<void> countQueued(const ByteCounter& counter, std::size_t bytes) {
    return std::shared_ptr<void>(nullptr, [counter, bytes](void*) { counter->fetch_sub(bytes); });
}

struct Flags {
    bool started = false;
    bool connected = false;
    // Set by disconnectAfterWriting: no new requests, close once written.
    bool closingAfterWrites = false;
    bool readsPaused = false;
    bool writesPaused = false;
    bool canAcceptBytes = false;
    bool readEOF = false;
    bool readStreamClosed = false;
};

enum class Family { ipv4, ipv6 };

// A connect attempt of one family: the socket, non-blocking, and the address
// it goes to.
struct Attempt {
    std::unique_ptr<Stream> stream;
    SocketAddress address;
};

}  // namespace lanternwick::socket_detail

namespace lanternwick {

struct AsyncTCPSocket::State {
    using Error = socket_detail::Error;
    using Direction = socket_detail::Direction;
    using ReadRequest = socket_detail::ReadRequest;
    using WriteRequest = socket_detail::WriteRequest;
    using Request = socket_detail::Request;

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

    const socket_detail::ByteCounter queuedWriteBytes = std::make_shared<std::atomic<std::size_t>>(0);
    std::atomic<std::size_t> maximumQueuedWriteBytes{AsyncTCPSocket::defaultMaximumQueuedWriteBytes};

    // What other threads may ask without a hop to the socket queue.
    mutable std::mutex infoMutex;
    bool infoStarted = false;
    bool infoConnected = false;
    std::string infoHost;
    std::uint16_t infoPort = 0;
    NativeSocket infoHandle = noNativeSocket;

    // Everything below belongs to the socket queue.
    socket_detail::Flags flags;
    // Advances when a connect attempt ends; late lookup and connect results
    // carry an older one and are ignored.
    std::uint64_t stateIndex = 0;
    // Advances when the socket's waits are abandoned (close, re-arm).
    std::uint64_t connectionIndex = 0;
    std::uint64_t requestSerial = 0;
    std::optional<SocketAddress> connectInterface4;
    std::optional<SocketAddress> connectInterface6;
    std::optional<socket_detail::Attempt> attempt4;
    std::optional<socket_detail::Attempt> attempt6;
    std::unique_ptr<socket_detail::Stream> stream;
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
    SocketPreBuffer preBuffer{socket_detail::initialPreBufferCapacity};
    // A wait is queued on the socket; with none, that direction is
    // suspended (unread bytes stay in the kernel).
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

    AsyncTCPSocketConfig currentConfig() const {
        std::lock_guard lock(settingsMutex);
        return config;
    }

    double stallSeconds() const {
        std::lock_guard lock(settingsMutex);
        return writeStallSeconds;
    }

    // Connect (AsyncTCPSocketConnect.cpp).
    Result<void, Error> connect(std::string_view host, std::uint16_t port, const std::optional<std::string>& interface,
                                double timeout);
    void startLookup(const std::string& host, std::uint16_t port);
    void resolved(std::uint64_t index, Result<AddressPair, Error> result);
    void connectToAddresses(AddressPair addresses);
    std::optional<socket_detail::Attempt> makeAttempt(const SocketAddress& address,
                                                      const std::optional<SocketAddress>& interface,
                                                      std::optional<Error>& failure);
    void startConnect(socket_detail::Family family);
    void connectFinished(std::uint64_t index, socket_detail::Family family, int errorNumber);
    void didConnect();
    void endConnectTimeout();

    // Read (AsyncTCPSocketRead.cpp).
    void armReadWait();
    void readSourceFired();
    void pumpReads();
    bool serveCurrentRead();
    std::size_t takeFromPreBuffer(ReadRequest& request);
    void readEndOfStream();

    // Write (AsyncTCPSocketWrite.cpp).
    void armWriteWait();
    void watchForStall();
    void stallTimerFired();
    void pumpWrites();
    void disconnectAfterWriting();

    // Requests, their timeouts and closing (AsyncTCPSocket.cpp).
    void submit(ReadRequest request);
    void submit(WriteRequest request);
    bool acceptsRequests() const { return flags.started && !flags.closingAfterWrites; }
    Request* currentRequest(Direction direction);
    void startRequestTimer(Direction direction, double seconds);
    void requestTimedOut(Direction direction, std::uint64_t serial);
    void requestTimeoutAnswered(Direction direction, std::uint64_t serial, double extension);
    void closeWithError(std::optional<Error> error);
    void publishInfo();
};

}  // namespace lanternwick
