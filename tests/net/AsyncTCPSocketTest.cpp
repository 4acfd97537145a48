#include "net/AsyncTCPSocket.h"

#include <netinet/tcp.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "net/LoopbackPeer.h"
#include "net/RecordingDelegate.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using testing::bytesOf;
using testing::LoopbackListener;
using testing::Peer;
using testing::RecordingDelegate;
using Kind = testing::SocketEvent::Kind;

struct Fixture {
    SerialQueue delegateQueue{"test.delegate"};
    std::shared_ptr<RecordingDelegate> delegate;
    std::shared_ptr<AsyncTCPSocket> socket;

    explicit Fixture(bool observesWrites = false)
        : delegate(std::make_shared<RecordingDelegate>(delegateQueue, observesWrites)),
          socket(AsyncTCPSocket::create(delegate, delegateQueue)) {}
};

bool isCode(const std::optional<AsyncTCPSocketError>& error, AsyncTCPSocketErrorCode code) {
    return error && error->is(code);
}

TEST(AsyncTCPSocketConnect, RefusesBadRequestsBeforeStartingWithTheirTexts) {
    Fixture f;
    auto empty = f.socket->connectToHost("", 1);
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().code, 2);
    EXPECT_EQ(empty.error().domain, "AsyncTCPSocketErrorDomain");
    EXPECT_EQ(empty.error().description(),
              "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");

    auto orphan = AsyncTCPSocket::create({}, f.delegateQueue);
    auto noDelegate = orphan->connectToHost("127.0.0.1", 1);
    ASSERT_FALSE(noDelegate.ok());
    EXPECT_EQ(noDelegate.error().code, 1);
    EXPECT_EQ(noDelegate.error().description(), "Attempting to connect without a delegate. Set a delegate first.");

    auto queueless = AsyncTCPSocket::create(f.delegate, std::nullopt);
    auto noQueue = queueless->connectToHost("127.0.0.1", 1);
    ASSERT_FALSE(noQueue.ok());
    EXPECT_EQ(noQueue.error().description(),
              "Attempting to connect without a delegate queue. Set a delegate queue first.");

    f.socket->setConfig({.ipv4Disabled = true, .ipv6Disabled = true});
    auto bothOff = f.socket->connectToHost("127.0.0.1", 1);
    ASSERT_FALSE(bothOff.ok());
    EXPECT_EQ(bothOff.error().code, 1);
    EXPECT_EQ(bothOff.error().description(),
              "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    f.socket->setConfig({});

    auto badInterface = f.socket->connectToHost("127.0.0.1", 1, std::string("no-such-interface0"), -1);
    ASSERT_FALSE(badInterface.ok());
    EXPECT_EQ(badInterface.error().code, 2);
    EXPECT_EQ(badInterface.error().description(),
              "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");

    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(f.delegate->events().empty());
    EXPECT_TRUE(f.socket->isDisconnected());
}

TEST(AsyncTCPSocketConnect, ConnectsOverIPv4AndReportsThePeerOnTheDelegateQueue) {
    LoopbackListener server(AF_INET);
    ASSERT_TRUE(server.ok());
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(peer.valid());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));

    const auto connect = f.delegate->eventsOf(Kind::connect).front();
    EXPECT_EQ(connect.host, "127.0.0.1");
    EXPECT_EQ(connect.port, server.port());
    EXPECT_TRUE(connect.hadSocket);
    EXPECT_TRUE(connect.onDelegateQueue);
    EXPECT_TRUE(f.socket->isConnected());
    EXPECT_EQ(f.socket->connectedHost(), "127.0.0.1");
    EXPECT_EQ(f.socket->connectedPort(), server.port());

    int noDelay = 0;
    socklen_t length = sizeof(noDelay);
    ASSERT_EQ(::getsockopt(f.socket->nativeHandle(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_NE(noDelay, 0);
}

TEST(AsyncTCPSocketConnect, ConnectWhileConnectedFailsAndLeavesTheConnectionAlone) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));

    auto again = f.socket->connectToHost("127.0.0.1", server.port(), 5.0);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, 1);
    EXPECT_EQ(again.error().description(),
              "Attempting to connect while connected or accepting connections. Disconnect first.");

    EXPECT_TRUE(f.socket->isConnected());
    f.socket->writeData(bytesOf("still here"), -1, 0);
    EXPECT_EQ(peer.receive(10), bytesOf("still here"));
    EXPECT_EQ(server.accept(100ms), -1);
    EXPECT_TRUE(f.delegate->eventsOf(Kind::disconnect).empty());
}

TEST(AsyncTCPSocketConnect, LocalhostTriesIPv4FirstAndIPv6AfterTheDelay) {
    LoopbackListener v4(AF_INET);
    Fixture quick;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(quick.socket->connectToHost("localhost", v4.port(), 5.0).ok());
    Peer a(v4.accept());
    ASSERT_TRUE(quick.delegate->waitFor(Kind::connect));
    EXPECT_EQ(quick.delegate->eventsOf(Kind::connect).front().host, "127.0.0.1");
    EXPECT_LT(quick.delegate->eventsOf(Kind::connect).front().at - start, 280ms);

    // Only ::1 listens: the IPv4 attempt is refused, and the IPv6 one starts
    // after the alternate delay and wins.
    LoopbackListener v6(AF_INET6);
    ASSERT_TRUE(v6.ok());
    Fixture late;
    const auto lateStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(late.socket->connectToHost("localhost", v6.port(), 5.0).ok());
    Peer b(v6.accept());
    ASSERT_TRUE(late.delegate->waitFor(Kind::connect));
    const auto connect = late.delegate->eventsOf(Kind::connect).front();
    EXPECT_EQ(connect.host, "::1");
    EXPECT_GE(connect.at - lateStart, 280ms);
    EXPECT_TRUE(late.delegate->eventsOf(Kind::disconnect).empty());
}

TEST(AsyncTCPSocketConnect, BindsToTheGivenInterfaceAndHonoursDisabledFamilies) {
    LoopbackListener server(AF_INET);
    Fixture bound;
    ASSERT_TRUE(bound.socket->connectToHost("127.0.0.1", server.port(), std::string("127.0.0.1"), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(bound.delegate->waitFor(Kind::connect));

    Fixture v6only;
    v6only.socket->setConfig({.ipv4Disabled = true});
    auto refused = v6only.socket->connectToHost("127.0.0.1", server.port(), std::string("127.0.0.1"), 5.0);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, 2);
    EXPECT_EQ(refused.error().description(), "IPv4 has been disabled and specified interface doesn't support IPv6.");

    Fixture v4only;
    v4only.socket->setConfig({.ipv6Disabled = true});
    ASSERT_TRUE(v4only.socket->connectToHost("::1", server.port(), 5.0).ok());
    ASSERT_TRUE(v4only.delegate->waitFor(Kind::disconnect));
    const auto error = v4only.delegate->eventsOf(Kind::disconnect).front().error;
    EXPECT_TRUE(isCode(error, AsyncTCPSocketErrorCode::other));
    EXPECT_EQ(error->description(), "IPv6 has been disabled and DNS lookup found no IPv4 address.");
}

TEST(AsyncTCPSocketConnect, RefusedConnectionReportsThePOSIXError) {
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", testing::unusedPort(), 5.0).ok());
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    const auto error = f.delegate->eventsOf(Kind::disconnect).front().error;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "POSIXErrorDomain");
    EXPECT_EQ(error->code, ECONNREFUSED);
    EXPECT_EQ(error->failureReason, "Error in connect() function");
    EXPECT_FALSE(error->description().empty());
    EXPECT_TRUE(f.delegate->eventsOf(Kind::connect).empty());
    EXPECT_TRUE(f.socket->isDisconnected());
}

TEST(AsyncTCPSocketConnect, NoAnswerTimesOutAndALateAnswerIsIgnored) {
    testing::SilentListener server;
    Fixture f;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 0.4).ok());
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    const auto disconnect = f.delegate->eventsOf(Kind::disconnect).front();
    EXPECT_TRUE(isCode(disconnect.error, AsyncTCPSocketErrorCode::connectTimeout));
    EXPECT_EQ(disconnect.error->description(), "Attempt to connect to host timed out");
    EXPECT_GE(disconnect.at - start, 390ms);

    server.drain();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(f.delegate->eventsOf(Kind::connect).empty());
    EXPECT_EQ(f.delegate->eventsOf(Kind::disconnect).size(), 1u);
    EXPECT_FALSE(f.socket->isConnected());
}

TEST(AsyncTCPSocketClose, PeerCloseReportsClosedByRemotePeer) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    peer.close();
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    const auto error = f.delegate->eventsOf(Kind::disconnect).front().error;
    EXPECT_TRUE(isCode(error, AsyncTCPSocketErrorCode::closed));
    EXPECT_EQ(error->description(), "Socket closed by remote peer");
    EXPECT_FALSE(f.socket->isConnected());
    EXPECT_EQ(f.socket->connectedHost(), "");
}

TEST(AsyncTCPSocketClose, DisconnectAfterWritingDeliversEveryQueuedWriteEvenWhenReleased) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));

    // Large enough that the kernel buffers fill and the writes must wait
    // for writability after the last outside reference is gone.
    std::vector<std::uint8_t> first(3 * 1024 * 1024);
    std::vector<std::uint8_t> second(3 * 1024 * 1024);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(i * 7);
        second[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    f.socket->writeData(first, -1, 1);
    f.socket->writeData(second, -1, 2);
    f.socket->disconnectAfterWriting();
    f.socket->writeData(bytesOf("too late"), -1, 3);
    f.socket.reset();

    auto received = peer.receive(first.size() + second.size() + 8, 10s);
    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_TRUE(peer.seesEndOfStream());
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    EXPECT_FALSE(f.delegate->eventsOf(Kind::disconnect).front().error.has_value());
}

TEST(AsyncTCPSocketClose, DestroyingAPendingSocketReportsWithoutASocket) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    f.socket->readData(-1, 1);
    f.socket->readDataToLength(4, 0.05, 2);
    f.socket.reset();
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    EXPECT_TRUE(peer.seesEndOfStream());
    std::this_thread::sleep_for(100ms);
    const auto events = f.delegate->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[1].hadSocket);
    EXPECT_FALSE(events[1].error.has_value());
}

TEST(AsyncTCPSocketClose, WritingIntoAResetConnectionClosesWithoutABrokenPipeSignal) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    linger hard{1, 0};
    ::setsockopt(peer.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    peer.close();
    for (int i = 0; i < 50; ++i) f.socket->writeData(std::vector<std::uint8_t>(1000, 0x41), -1, i);
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    EXPECT_TRUE(f.delegate->eventsOf(Kind::disconnect).front().error.has_value());
}

TEST(AsyncTCPSocketRead, BytesWithoutAWaitingReadStayForTheNextOne) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    ASSERT_TRUE(peer.send("0123456789"));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(f.delegate->eventsOf(Kind::read).empty());

    f.socket->readData(-1, 7);
    ASSERT_TRUE(f.delegate->waitFor(Kind::read));
    const auto read = f.delegate->eventsOf(Kind::read).front();
    EXPECT_EQ(read.tag, 7);
    EXPECT_EQ(read.data, bytesOf("0123456789"));

    // A read that waits first is served by the next arrival.
    f.socket->readData(-1, 8);
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(peer.send("abcdefghij"));
    ASSERT_TRUE(f.delegate->waitFor(Kind::read, 2));
    EXPECT_EQ(f.delegate->eventsOf(Kind::read)[1].data, bytesOf("abcdefghij"));
}

TEST(AsyncTCPSocketRead, LengthAndTerminatorReadsSplitTheStreamExactly) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    const std::vector<std::uint8_t> crlf = bytesOf("\r\n");
    f.socket->readDataToData(crlf, -1, 1);
    f.socket->readDataToData(crlf, -1, 2);
    f.socket->readDataToLength(3, -1, 3);
    f.socket->readData(-1, 4);

    ASSERT_TRUE(peer.send("ab"));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(peer.send("c\r"));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(peer.send("\ndef\r\nxy"));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(peer.send("zrest"));
    ASSERT_TRUE(f.delegate->waitFor(Kind::read, 4));
    const auto reads = f.delegate->eventsOf(Kind::read);
    EXPECT_EQ(reads[0].data, bytesOf("abc\r\n"));
    EXPECT_EQ(reads[1].data, bytesOf("def\r\n"));
    EXPECT_EQ(reads[2].data, bytesOf("xyz"));
    EXPECT_EQ(reads[3].data, bytesOf("rest"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reads[i].tag, i + 1);
}

TEST(AsyncTCPSocketRead, TerminatorReadPastItsLimitClosesWithMaxedOut) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    f.socket->readDataToData(bytesOf("\n"), -1, 1, 8);
    ASSERT_TRUE(peer.send("0123456789\n"));
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    const auto error = f.delegate->eventsOf(Kind::disconnect).front().error;
    EXPECT_TRUE(isCode(error, AsyncTCPSocketErrorCode::readMaxedOut));
    EXPECT_EQ(error->description(), "Read operation reached set maximum length");
    EXPECT_TRUE(f.delegate->eventsOf(Kind::read).empty());
}

TEST(AsyncTCPSocketRead, ReadTimeoutAsksForExtensionsBeforeClosing) {
    LoopbackListener server(AF_INET);
    Fixture f;
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    f.delegate->setReadExtensions({0.2});
    const auto start = std::chrono::steady_clock::now();
    f.socket->readData(0.1, 1);
    ASSERT_TRUE(f.delegate->waitFor(Kind::disconnect));
    const auto disconnect = f.delegate->eventsOf(Kind::disconnect).front();
    EXPECT_TRUE(isCode(disconnect.error, AsyncTCPSocketErrorCode::readTimeout));
    EXPECT_EQ(disconnect.error->description(), "Read operation timed out");
    EXPECT_GE(disconnect.at - start, 290ms);
}

TEST(AsyncTCPSocketWrite, WritesArriveInOrderAndEmptyWritesAreIgnored) {
    LoopbackListener server(AF_INET);
    Fixture f(true);
    f.socket->writeData(bytesOf("dropped"), -1, 99);
    ASSERT_TRUE(f.socket->connectToHost("127.0.0.1", server.port(), 5.0).ok());
    f.socket->writeData(bytesOf("queued "), -1, 1);
    Peer peer(server.accept());
    ASSERT_TRUE(f.delegate->waitFor(Kind::connect));
    f.socket->writeData({}, -1, 2);
    std::vector<std::uint8_t> big(1 << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i % 251);
    f.socket->writeData(big, -1, 3);
    f.socket->writeData(bytesOf(" end"), -1, 4);

    auto received = peer.receive(7 + big.size() + 4, 10s);
    std::vector<std::uint8_t> expected = bytesOf("queued ");
    expected.insert(expected.end(), big.begin(), big.end());
    const auto tail = bytesOf(" end");
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_TRUE(received == expected);

    ASSERT_TRUE(f.delegate->waitFor(Kind::write, 3));
    std::vector<long> tags;
    for (auto& e : f.delegate->eventsOf(Kind::write)) tags.push_back(e.tag);
    EXPECT_EQ(tags, (std::vector<long>{1, 3, 4}));
}

}  // namespace
}  // namespace lanternwick
