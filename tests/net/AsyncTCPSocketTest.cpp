#include "net/AsyncTCPSocket.h"

#include <netdb.h>
#include <netinet/tcp.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "net/LoopbackPeer.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using testing::bytesOf;
using testing::LoopbackListener;
using testing::Peer;
using Clock = std::chrono::steady_clock;
using Code = AsyncTCPSocketErrorCode;

struct SocketEvent {
    enum class Kind { connect, read, write, disconnect };
    Kind kind = Kind::connect;
    std::string host;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> data;
    long tag = 0;
    std::optional<AsyncTCPSocketError> error;
    bool hadSocket = false;
    bool onDelegateQueue = false;
    Clock::time_point at = Clock::now();
};
using Kind = SocketEvent::Kind;

// Records every callback with the queue it ran on; tests wait on the record.
class RecordingDelegate : public AsyncTCPSocketDelegate {
public:
    RecordingDelegate(SerialQueue queue, bool observesWrites) : queue_(std::move(queue)), observesWrites_(observesWrites) {}

    void socketDidConnect(const Socket& s, const std::string& host, std::uint16_t port) override {
        add(s, {.kind = Kind::connect, .host = host, .port = port});
    }
    void socketDidRead(const Socket& s, const Bytes& data, long tag) override {
        add(s, {.kind = Kind::read, .data = data, .tag = tag});
    }
    void socketDidWrite(const Socket& s, long tag) override { add(s, {.kind = Kind::write, .tag = tag}); }
    void socketDidDisconnect(const Socket& s, const std::optional<AsyncTCPSocketError>& error) override {
        add(s, {.kind = Kind::disconnect, .error = error});
    }
    double socketShouldTimeoutRead(const Socket&, long, double, std::size_t) override {
        std::lock_guard lock(mutex_);
        return std::exchange(readExtension, 0);
    }
    bool observesWrites() const override { return observesWrites_; }

    std::vector<SocketEvent> events(std::optional<Kind> kind = std::nullopt) const {
        std::lock_guard lock(mutex_);
        std::vector<SocketEvent> out;
        for (const auto& e : events_) {
            if (!kind || e.kind == *kind) out.push_back(e);
        }
        return out;
    }
    bool waitFor(Kind kind, std::size_t count = 1) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] {
            return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(),
                                                          [&](const SocketEvent& e) { return e.kind == kind; })) >= count;
        });
    }

    double readExtension = 0;

private:
    void add(const Socket& s, SocketEvent e) {
        e.hadSocket = s != nullptr;
        e.onDelegateQueue = queue_.isCurrent();
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
        }
        changed_.notify_all();
    }

    SerialQueue queue_;
    bool observesWrites_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<SocketEvent> events_;
};

struct Fixture {
    LoopbackListener server{AF_INET};
    SerialQueue delegateQueue{"test.delegate"};
    std::shared_ptr<RecordingDelegate> delegate;
    std::shared_ptr<AsyncTCPSocket> socket;

    explicit Fixture(bool observesWrites = false)
        : delegate(std::make_shared<RecordingDelegate>(delegateQueue, observesWrites)),
          socket(AsyncTCPSocket::create(delegate, delegateQueue)) {}

    // The accepted side, once the socket has reported the connection.
    Peer connect() {
        EXPECT_TRUE(socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
        Peer peer = server.accept();
        EXPECT_TRUE(peer.valid());
        EXPECT_TRUE(delegate->waitFor(Kind::connect));
        return peer;
    }
    SocketEvent disconnect() {
        EXPECT_TRUE(delegate->waitFor(Kind::disconnect));
        const auto events = delegate->events(Kind::disconnect);
        return events.empty() ? SocketEvent{} : events.front();
    }
};

TEST(AsyncTCPSocketConnect, RefusesBadRequestsBeforeStartingWithTheirTexts) {
    Fixture f;
    auto orphan = AsyncTCPSocket::create({}, f.delegateQueue);
    auto queueless = AsyncTCPSocket::create(f.delegate, std::nullopt);
    auto configured = [&](AsyncTCPSocketConfig config) {
        auto socket = AsyncTCPSocket::create(f.delegate, f.delegateQueue);
        socket->setConfig(config);
        return socket;
    };
    struct Case {
        std::shared_ptr<AsyncTCPSocket> socket;
        std::string host;
        std::optional<std::string> interface;
        Code code;
        std::string text;
    };
    const Case cases[] = {
        {f.socket, "", std::nullopt, Code::badParam,
         "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string."},
        {orphan, "127.0.0.1", std::nullopt, Code::badConfig,
         "Attempting to connect without a delegate. Set a delegate first."},
        {queueless, "127.0.0.1", std::nullopt, Code::badConfig,
         "Attempting to connect without a delegate queue. Set a delegate queue first."},
        {configured({.ipv4Disabled = true, .ipv6Disabled = true}), "127.0.0.1", std::nullopt, Code::badConfig,
         "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first."},
        {f.socket, "127.0.0.1", "no-such-interface0", Code::badParam,
         "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."},
        {configured({.ipv4Disabled = true}), "127.0.0.1", "127.0.0.1", Code::badParam,
         "IPv4 has been disabled and specified interface doesn't support IPv6."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto result = c.socket->connectToHost(c.host, f.server.port(), c.interface, -1);
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(result.error().is(c.code));
        EXPECT_EQ(result.error().description(), c.text);
        EXPECT_TRUE(c.socket->isDisconnected());
    }
    f.delegateQueue.sync([] {});
    EXPECT_TRUE(f.delegate->events().empty());
    EXPECT_FALSE(f.server.accept(0ms).valid());
}

TEST(AsyncTCPSocketConnect, ConnectsOverIPv4WithItsLinkOptionsReportsThePeerAndRefusesASecondConnect) {
    Fixture f;
    Peer peer = f.connect();
    const auto connect = f.delegate->events(Kind::connect).front();
    EXPECT_EQ(connect.host, "127.0.0.1");
    EXPECT_EQ(connect.port, f.server.port());
    EXPECT_TRUE(connect.hadSocket);
    EXPECT_TRUE(connect.onDelegateQueue);
    EXPECT_TRUE(f.socket->isConnected());
    EXPECT_EQ(f.socket->connectedHost(), "127.0.0.1");
    EXPECT_EQ(f.socket->connectedPort(), f.server.port());
    // A silent peer must be found by the kernel in seconds, and small
    // writes must not wait for delayed acknowledgements.
    struct Option {
        const char* name;
        int level;
        int option;
        int expected;
    };
    const Option options[] = {
        {"TCP_NODELAY", IPPROTO_TCP, TCP_NODELAY, 1},
        {"SO_KEEPALIVE", SOL_SOCKET, SO_KEEPALIVE, 1},
        {"TCP_KEEPIDLE", IPPROTO_TCP, TCP_KEEPIDLE, 2},
        {"TCP_KEEPINTVL", IPPROTO_TCP, TCP_KEEPINTVL, 1},
        {"TCP_KEEPCNT", IPPROTO_TCP, TCP_KEEPCNT, 3},
        {"TCP_USER_TIMEOUT", IPPROTO_TCP, TCP_USER_TIMEOUT, 8000},
    };
    for (const auto& o : options) {
        SCOPED_TRACE(o.name);
        int value = 0;
        socklen_t length = sizeof(value);
        ASSERT_EQ(::getsockopt(f.socket->nativeHandle(), o.level, o.option, &value, &length), 0);
        EXPECT_EQ(value, o.expected);
    }

    auto again = f.socket->connectToHost("127.0.0.1", f.server.port(), 5.0);
    ASSERT_FALSE(again.ok());
    EXPECT_TRUE(again.error().is(Code::badConfig));
    EXPECT_EQ(again.error().description(),
              "Attempting to connect while connected or accepting connections. Disconnect first.");
    ASSERT_TRUE(f.socket->writeData(bytesOf("still here"), -1, 0).ok());
    EXPECT_EQ(peer.receive(10), bytesOf("still here"));
    EXPECT_FALSE(f.server.accept(100ms).valid());
    EXPECT_TRUE(f.delegate->events(Kind::disconnect).empty());
}

// Only ::1 listens: the IPv4 attempt, which goes first, is refused, and
// the IPv6 one starts after the alternate delay and wins.
TEST(AsyncTCPSocketConnect, LocalhostFallsBackToIPv6OnlyAfterTheAlternateDelay) {
    LoopbackListener v6(AF_INET6);
    Fixture f;
    const auto start = Clock::now();
    ASSERT_TRUE(f.socket->connectToHost("localhost", v6.port(), 5.0).ok());
    Peer peer = v6.accept();
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    const auto connect = f.delegate->events(Kind::connect).front();
    EXPECT_EQ(connect.host, "::1");
    EXPECT_GE(connect.at - start, 280ms);
    EXPECT_TRUE(f.delegate->events(Kind::disconnect).empty());
}

// Stands in for the system resolver: counts its calls and answers with
// 127.0.0.1, or blocks until released and then fails, as a resolver whose
// server never answers does.
AsyncTCPSocket::HostLookup stubLookup(std::shared_ptr<std::atomic<int>> calls,
                                      std::optional<std::shared_future<void>> blockUntil = std::nullopt) {
    return [calls, blockUntil](const std::string&, std::uint16_t port) -> Result<AddressPair, AsyncTCPSocketError> {
        ++*calls;
        if (blockUntil) {
            blockUntil->wait_for(30s);
            return fail(AsyncTCPSocketError::netDB(EAI_AGAIN));
        }
        return AddressPair{SocketAddress::loopbackIPv4(port), std::nullopt};
    };
}

TEST(AsyncTCPSocketConnect, NumericHostsSkipTheLookupAndLookupsThatNeverAnswerHoldUpNoLaterConnect) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    // More than the four threads lookups once shared.
    std::vector<Fixture> abandoned(6);
    for (auto& f : abandoned) {
        f.socket->setHostLookup(stubLookup(std::make_shared<std::atomic<int>>(0), released));
        ASSERT_TRUE(f.socket->connectToHost("console.invalid", f.server.port(), 0.3).ok());
    }
    for (auto& f : abandoned) {
        const auto error = f.disconnect().error;
        EXPECT_TRUE(error && error->is(Code::connectTimeout));
    }

    // The last binds to a local address before connecting.
    struct Case {
        std::string host;
        int family;
        int lookups;
        std::optional<std::string> interface;
    };
    const Case cases[] = {{"127.0.0.1", AF_INET, 0}, {"::1", AF_INET6, 0}, {"localhost", AF_INET, 0},
                          {"console.test", AF_INET, 1}, {"127.0.0.1", AF_INET, 0, "127.0.0.1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        LoopbackListener server(c.family);
        Fixture f;
        auto calls = std::make_shared<std::atomic<int>>(0);
        f.socket->setHostLookup(stubLookup(calls));
        ASSERT_TRUE(f.socket->connectToHost(c.host, server.port(), c.interface, 2.0).ok());
        EXPECT_TRUE(server.accept().valid());
        EXPECT_TRUE(f.delegate->waitFor(Kind::connect));
        EXPECT_EQ(calls->load(), c.lookups);
    }
    release.set_value();
}

TEST(AsyncTCPSocketClose, ReportsWhyTheConnectionFailedOrClosed) {
    struct Case {
        std::string domain;
        int code;
        std::string text;
        std::function<void(Fixture&, Peer&)> provoke;
        std::chrono::milliseconds notBefore = 0ms;
        std::string failureReason;
    };
    const std::string own = "AsyncTCPSocketErrorDomain";
    testing::SilentListener silent;
    const Case cases[] = {
        {"POSIXErrorDomain", ECONNREFUSED, "Connection refused",
         [](Fixture& f, Peer&) { ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", testing::unusedPort(), 5.0).ok()); },
         0ms, "Error in connect() function"},
        {own, int(Code::connectTimeout), "Attempt to connect to host timed out",
         [&](Fixture& f, Peer&) { ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", silent.port(), 0.4).ok()); }, 390ms},
        {own, int(Code::other), "IPv6 has been disabled and DNS lookup found no IPv4 address.",
         [](Fixture& f, Peer&) {
             f.socket->setConfig({.ipv6Disabled = true});
             ASSERT_TRUE(f.socket->connectToHost("::1", f.server.port(), 5.0).ok());
         }},
        {own, int(Code::closed), "Socket closed by remote peer", [](Fixture& f, Peer& peer) {
             peer = f.connect();
             ::shutdown(peer.fd(), SHUT_WR);
         }},
        {own, int(Code::readMaxedOut), "Read operation reached set maximum length", [](Fixture& f, Peer& peer) {
             peer = f.connect();
             f.socket->readDataToData(bytesOf("\n"), -1, 1, 8);
             ASSERT_TRUE(peer.send("0123456789\n"));
         }},
        // The delegate extends the 0.1 s timeout once, by 0.2 s.
        {own, int(Code::readTimeout), "Read operation timed out",
         [](Fixture& f, Peer& peer) {
             peer = f.connect();
             f.delegate->readExtension = 0.2;
             f.socket->readData(0.1, 1);
         },
         290ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Fixture f;
        Peer peer;
        const auto start = Clock::now();
        c.provoke(f, peer);
        const auto disconnect = f.disconnect();
        ASSERT_TRUE(disconnect.error.has_value());
        EXPECT_EQ(disconnect.error->domain, c.domain);
        EXPECT_EQ(disconnect.error->code, c.code);
        EXPECT_EQ(disconnect.error->description(), c.text);
        EXPECT_EQ(disconnect.error->failureReason, c.failureReason);
        EXPECT_GE(disconnect.at - start, c.notBefore);
        EXPECT_EQ(f.delegate->events(Kind::connect).size(), peer.valid() ? 1u : 0u);
        EXPECT_TRUE(f.delegate->events(Kind::read).empty());
        EXPECT_TRUE(f.socket->isDisconnected());
        EXPECT_EQ(f.socket->connectedHost(), "");
    }
}

TEST(AsyncTCPSocketClose, WritingIntoAResetConnectionClosesWithoutABrokenPipeSignal) {
    Fixture f;
    Peer peer = f.connect();
    linger hard{1, 0};
    ::setsockopt(peer.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    peer.close();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(f.socket->writeData(std::vector<std::uint8_t>(1000, 0x41), -1, i).ok());
    EXPECT_TRUE(f.disconnect().error.has_value());
}

TEST(AsyncTCPSocketRead, LengthAndTerminatorReadsSplitTheStreamExactlyAndPendingOnesEndQuietlyWithTheSocket) {
    Fixture f;
    Peer peer = f.connect();
    // Bytes that arrive before any read stay for the first one.
    ASSERT_TRUE(peer.send("early "));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(f.delegate->events(Kind::read).empty());
    const std::vector<std::uint8_t> crlf = bytesOf("\r\n");
    f.socket->readDataToData(crlf, -1, 1);
    f.socket->readDataToData(crlf, -1, 2);
    f.socket->readDataToLength(3, -1, 3);
    f.socket->readData(-1, 4);
    // Pauses between the pieces, so that they arrive as separate reads.
    for (const char* piece : {"ab", "c\r", "\ndef\r\nxy", "zrest"}) {
        ASSERT_TRUE(peer.send(piece));
        std::this_thread::sleep_for(30ms);
    }
    ASSERT_TRUE(f.delegate->waitFor(Kind::read, 4));
    const auto reads = f.delegate->events(Kind::read);
    const char* expected[] = {"early abc\r\n", "def\r\n", "xyz", "rest"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(reads[i].data, bytesOf(expected[i]));
        EXPECT_EQ(reads[i].tag, i + 1);
    }

    // Destroying the socket with reads pending reports without a socket,
    // and the abandoned read's timeout never fires.
    f.socket->readData(-1, 5);
    f.socket->readDataToLength(4, 0.05, 6);
    f.socket.reset();
    EXPECT_FALSE(f.disconnect().hadSocket);
    EXPECT_TRUE(peer.seesEndOfStream());
    std::this_thread::sleep_for(100ms);
    const auto events = f.delegate->events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_FALSE(events[5].error.has_value());
}

TEST(AsyncTCPSocketWrite, WritesArriveInOrderAndDisconnectAfterWritingFlushesThemEvenWhenReleased) {
    Fixture f(true);
    // One write larger than the default queue bound.
    f.socket->setMaximumQueuedWriteBytes(8 * 1024 * 1024);
    ASSERT_TRUE(f.socket->writeData(bytesOf("dropped"), -1, 99).ok());
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", f.server.port(), 5.0).ok());
    ASSERT_TRUE(f.socket->writeData(bytesOf("queued "), -1, 1).ok());
    Peer peer = f.server.accept();
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    ASSERT_TRUE(f.socket->writeData({}, -1, 2).ok());
    // Large enough that the kernel buffers fill and the writes must wait
    // for writability after the last outside reference is gone.
    std::vector<std::uint8_t> expected(7 + 6 * 1024 * 1024 + 4);
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i * 7 + i / 1000);
    std::copy_n("queued ", 7, expected.begin());
    std::copy_n(" end", 4, expected.end() - 4);
    ASSERT_TRUE(f.socket->writeData({expected.begin() + 7, expected.end() - 4}, -1, 3).ok());
    ASSERT_TRUE(f.socket->writeData(bytesOf(" end"), -1, 4).ok());
    f.socket->disconnectAfterWriting();
    ASSERT_TRUE(f.socket->writeData(bytesOf("too late"), -1, 5).ok());
    f.socket.reset();

    const auto received = peer.receive(expected.size() + 8, 10s);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_TRUE(peer.seesEndOfStream());
    EXPECT_FALSE(f.disconnect().error.has_value());
    std::vector<long> tags;
    for (const auto& e : f.delegate->events(Kind::write)) tags.push_back(e.tag);
    EXPECT_EQ(tags, (std::vector<long>{1, 3, 4}));
}

// Small kernel buffers on both sides, so that a slow reader's every read
// lets the writer go on.
TEST(AsyncTCPSocketWrite, TheQueueIsBoundedAndAPeerIsDroppedOnceItHasReadNothingForTheStallTime) {
    Fixture f;
    constexpr int smallBuffer = 32 * 1024;
    ::setsockopt(f.server.fd(), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof(smallBuffer));
    f.socket->setWriteStallTimeout(0.5);
    Peer peer = f.connect();
    ::setsockopt(f.socket->nativeHandle(), SOL_SOCKET, SO_SNDBUF, &smallBuffer, sizeof(smallBuffer));

    // Writes of 1 MiB: the slow reader below stays inside the first one, so
    // only its reads, not new writes, can count as progress.
    std::optional<AsyncTCPSocketError> refused;
    for (int i = 0; i < 64 && !refused; ++i) {
        if (auto queued = f.socket->writeData(std::vector<std::uint8_t>(1024 * 1024, 0x41), -1, i); !queued) {
            refused = queued.error();
        }
    }
    ASSERT_TRUE(refused.has_value());
    EXPECT_THAT(refused->description(), ::testing::StartsWith("Write queue is full"));
    EXPECT_LE(f.socket->queuedWriteBytes(), AsyncTCPSocket::defaultMaximumQueuedWriteBytes);

    // A slow reader, for well over the stall time, is not dropped.
    const auto slowUntil = Clock::now() + 1200ms;
    while (Clock::now() < slowUntil) {
        peer.receive(16 * 1024, 10ms);
        std::this_thread::sleep_for(40ms);
    }
    EXPECT_TRUE(f.delegate->events(Kind::disconnect).empty());
    EXPECT_GT(f.socket->queuedWriteBytes(), 0u);

    const auto disconnect = f.disconnect();
    ASSERT_TRUE(disconnect.error.has_value());
    EXPECT_TRUE(disconnect.error->is(Code::writeTimeout));
    EXPECT_EQ(disconnect.error->description(), "Write operation timed out");
    EXPECT_EQ(f.socket->queuedWriteBytes(), 0u);
}

}  // namespace
}  // namespace lanternwick
