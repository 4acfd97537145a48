#pragma once
// AsyncTCPSocket: one outgoing TCP connection (IPv4 or IPv6) whose work all
// runs on its own serial socket queue; results reach a delegate on the
// delegate queue. Made by create() and held by a shared_ptr, normally by one
// owner (an OSCTCPClient). Its internal callbacks hold it weakly, so
// dropping the last reference closes it at once; after disconnectAfterWriting
// it keeps itself alive until its queued writes are out. Every public member
// may be called from any thread; connectToHost and disconnect run
// synchronously on the socket queue, the request calls are posted to it.
// Limits: no TLS, no listening, one connection at a time; an idle connected
// socket does no work at all (readiness waits, no polling; the keep-alive
// probes below are the kernel's).
// Bounds, each with its policy:
// - queued writes: at most maximumQueuedWriteBytes (4 MiB by default) wait
//   to be handed to the kernel; writeData refuses a write that would pass it.
// - a stalled peer: when writes are waiting and the kernel has taken none of
//   their bytes for the write stall timeout (10 s by default), the peer is
//   taken to have stopped reading and the socket closes with writeTimeout.
// - name lookups: numeric addresses, "localhost" and "loopback" never reach
//   the resolver; other names are looked up on BackgroundPool, where a
//   lookup that never answers holds only its own thread, and a lookup whose
//   connect attempt has ended before it started is not run at all.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/AsyncTCPSocketError.h"
#include "net/SocketAddress.h"
#include "net/SocketSystem.h"
#include "support/Result.h"
#include "support/SerialQueue.h"

namespace lanternwick {

class AsyncTCPSocket;

// Every callback runs on the delegate queue. The socket argument is null
// only in the socketDidDisconnect that a socket being destroyed reports.
// The defaults do nothing; the two timeout questions answer "no extension".
class AsyncTCPSocketDelegate {
public:
    using Socket = std::shared_ptr<AsyncTCPSocket>;
    using Bytes = std::vector<std::uint8_t>;

    virtual ~AsyncTCPSocketDelegate() = default;

    virtual void socketDidConnect(const Socket& socket, const std::string& host, std::uint16_t port);
    virtual void socketDidRead(const Socket& socket, const Bytes& data, long tag);
    virtual void socketDidReadPartial(const Socket& socket, std::size_t length, long tag);
    virtual void socketDidWrite(const Socket& socket, long tag);
    virtual void socketDidWritePartial(const Socket& socket, std::size_t length, long tag);
    // Seconds to add to a request that timed out; zero or less closes the
    // socket with readTimeout / writeTimeout.
    virtual double socketShouldTimeoutRead(const Socket& socket, long tag, double elapsed, std::size_t bytesDone);
    virtual double socketShouldTimeoutWrite(const Socket& socket, long tag, double elapsed, std::size_t bytesDone);
    virtual void socketDidCloseReadStream(const Socket& socket);
    // socketDidWrite and socketDidWritePartial are posted only when this is
    // true, so that a delegate that ignores them costs no hop per write.
    virtual bool observesWrites() const { return false; }
    virtual void socketDidDisconnect(const Socket& socket, const std::optional<AsyncTCPSocketError>& error);
};

struct AsyncTCPSocketConfig {
    bool ipv4Disabled = false;
    bool ipv6Disabled = false;
    bool ipv6Preferred = false;
    bool allowHalfDuplexConnection = false;
};

class AsyncTCPSocket : public std::enable_shared_from_this<AsyncTCPSocket> {
public:
    using Bytes = std::vector<std::uint8_t>;
    // Blocks until the name is resolved or the resolver gives up; runs on a
    // BackgroundPool thread, never for names addressesWithoutLookup knows.
    using HostLookup = std::function<Result<AddressPair, AsyncTCPSocketError>(const std::string& host,
                                                                              std::uint16_t port)>;

    static constexpr std::size_t defaultMaximumQueuedWriteBytes = 4 * 1024 * 1024;
    static constexpr double defaultWriteStallSeconds = 10;
    // A peer that goes silent (power cut, pulled cable) sends no reset and no
    // close, and the kernel's defaults take hours to notice. On every
    // connected socket: keep-alive probes after 2 s of silence, 1 s apart, so
    // that an idle connection has something to go unanswered, and a user
    // timeout of 8 s for unacknowledged bytes or probes. Once the user
    // timeout is set, Linux lets it, not the probe count, end the connection:
    // a silent peer is found about 8 s after its last answer, idle or
    // writing (measured on a blackholed loopback), and the socket closes with
    // the kernel's ETIMEDOUT. A backstop for the owner's own liveness check.
    static constexpr int keepAliveIdleSeconds = 2;
    static constexpr int keepAliveIntervalSeconds = 1;
    static constexpr int keepAliveProbeCount = 3;
    static constexpr int userTimeoutMilliseconds = 8000;

    // Without a socket queue the socket makes its own, labelled "AsyncTCPSocket".
    static std::shared_ptr<AsyncTCPSocket> create(std::weak_ptr<AsyncTCPSocketDelegate> delegate,
                                                  std::optional<SerialQueue> delegateQueue,
                                                  std::optional<SerialQueue> socketQueue = std::nullopt);
    ~AsyncTCPSocket();

    AsyncTCPSocket(const AsyncTCPSocket&) = delete;
    AsyncTCPSocket& operator=(const AsyncTCPSocket&) = delete;

    void setDelegate(std::weak_ptr<AsyncTCPSocketDelegate> delegate);
    void setDelegateQueue(std::optional<SerialQueue> delegateQueue);
    void setConfig(AsyncTCPSocketConfig config);
    AsyncTCPSocketConfig config() const;
    // Seconds between the attempt on the preferred family and the other one.
    void setAlternateAddressDelay(double seconds);
    // Takes effect for writes made after the call.
    void setMaximumQueuedWriteBytes(std::size_t bytes);
    // Zero or less: writes may wait for the peer for ever.
    void setWriteStallTimeout(double seconds);
    // The system resolver (resolveHost) unless replaced; for the next connect.
    void setHostLookup(HostLookup lookup);
    const SerialQueue& socketQueue() const { return socketQueue_; }

    // Starts resolving and connecting; the outcome arrives as
    // socketDidConnect or socketDidDisconnect. A negative timeout means none.
    // The interface, when given, is a local address or an interface name.
    Result<void, AsyncTCPSocketError> connectToHost(std::string_view host, std::uint16_t port,
                                                    std::optional<std::string> interface, double timeout);
    Result<void, AsyncTCPSocketError> connectToHost(std::string_view host, std::uint16_t port, double timeout);
    Result<void, AsyncTCPSocketError> connectToHost(std::string_view host, std::uint16_t port);

    // Requests are dropped silently unless a connect has been started and
    // disconnectAfterWriting has not been called. Negative timeout: none.
    // maxLength 0: whatever is available; otherwise at most that many bytes,
    // the rest staying in the kernel for the next read.
    void readData(double timeout, long tag, std::size_t maxLength = 0);
    void readDataToLength(std::size_t length, double timeout, long tag);
    // maxLength 0: unlimited; otherwise reaching it without the terminator
    // closes the socket with readMaxedOut.
    void readDataToData(Bytes terminator, double timeout, long tag, std::size_t maxLength = 0);
    // Empty data is ignored. Fails, queuing nothing, when the bytes would
    // take the queued writes past maximumQueuedWriteBytes (code `other`,
    // a text that says so). A write counts from this call until the kernel
    // has taken its last byte or it is dropped.
    Result<void, AsyncTCPSocketError> writeData(Bytes data, double timeout, long tag);
    std::size_t queuedWriteBytes() const;

    void disconnectAfterWriting();
    void disconnect();
    // As disconnect, queued writes dropped, but posted: for owners that must
    // not wait for the socket queue, such as a destructor that may run on a
    // queue thread.
    void disconnectSoon();

    bool isConnected() const;
    bool isDisconnected() const;
    // The peer's numeric address ("127.0.0.1", "::1") and port; empty and 0
    // while not connected.
    std::string connectedHost() const;
    std::uint16_t connectedPort() const;
    // The connected socket, noNativeSocket when none; for reading socket
    // options.
    NativeSocket nativeHandle() const;

    struct State;

    // Only create() can make the key, so every socket lives in a shared_ptr.
    class Key {
        friend class AsyncTCPSocket;
        explicit Key() = default;
    };
    AsyncTCPSocket(Key, std::weak_ptr<AsyncTCPSocketDelegate> delegate, std::optional<SerialQueue> delegateQueue,
                   SerialQueue socketQueue);

private:

    SerialQueue socketQueue_;
    std::unique_ptr<State> state_;
};

}  // namespace lanternwick
