#include "osc/tcp/OSCTCPClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/LoopbackPeer.h"
#include "osc/tcp/OSCTCPInbox.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackListener;
using testing::Peer;
using ::testing::_;
using ::testing::ElementsAre;
using Clock = std::chrono::steady_clock;
using Notification = OSCTCPClient::Notification;
using Mode = OSCTCPFramingMode;

struct Received {
    OSCMessage message;
    OSCTimeTag timeTag;
    std::string host;
    std::uint16_t port;
    bool onClientQueue;
    Clock::time_point at;
};

OSCBytes framed(const std::vector<OSCPacket>& packets, Mode mode = Mode::osc1_1) {
    OSCBytes out;
    for (const auto& packet : packets) {
        const OSCBytes frame = mode == Mode::osc1_1 ? slipEncode(*packet.rawData()) : *lengthHeaderEncode(*packet.rawData());
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

// Deliveries handed to a consumer that has not got round to them.
class HeldDeliveries {
public:
    OSCTCPClient::DeliveryExecutor executor() {
        return [this](OSCTCPClient::DeliveryTask task) {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        };
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }
    // Once something is held, the count when it has stopped changing for a
    // while.
    std::size_t settledCount() {
        std::size_t last = 0;
        auto still = Clock::now();
        for (const auto giveUp = still + 10s; (last == 0 || Clock::now() - still < 300ms) && Clock::now() < giveUp;) {
            std::this_thread::sleep_for(20ms);
            if (const std::size_t now = count(); now != last) {
                last = now;
                still = Clock::now();
            }
        }
        return last;
    }
    // Runs (and so lets go of) everything held so far.
    std::size_t runAll() {
        std::vector<OSCTCPClient::DeliveryTask> due;
        {
            std::lock_guard lock(mutex_);
            due.swap(tasks_);
        }
        for (const auto& task : due) task();
        return due.size();
    }

private:
    std::mutex mutex_;
    std::vector<OSCTCPClient::DeliveryTask> tasks_;
};

// Sends a stream from its own thread as fast as the client takes it, and
// gives up when the test ends first.
class BackgroundSender {
public:
    BackgroundSender(const Peer& peer, OSCBytes stream)
        : stream_(std::move(stream)), thread_([this, fd = peer.fd()] { run(fd); }) {}
    ~BackgroundSender() {
        stopping_ = true;
        thread_.join();
    }
    std::size_t sent() const { return sent_.load(); }
    // True when the client has taken nothing for `quiet` and some is left.
    bool heldBack(std::chrono::milliseconds quiet) const {
        return sent() < stream_.size() && Clock::now() - Clock::time_point(Clock::duration(lastProgress_.load())) > quiet;
    }

private:
    void run(int fd) {
        for (std::size_t done = 0; done < stream_.size() && !stopping_;) {
            const ssize_t n = ::send(fd, stream_.data() + done, stream_.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;
            if (n > 0) {
                sent_ = done += static_cast<std::size_t>(n);
                lastProgress_ = Clock::now().time_since_epoch().count();
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 50);
            }
        }
    }

    const OSCBytes stream_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> sent_{0};
    std::atomic<Clock::rep> lastProgress_{Clock::now().time_since_epoch().count()};
    std::thread thread_;
};

// A listener, clients whose handlers record what they see, and the accepted
// side of the first client's connection.
struct ClientFixture {
    LoopbackListener server{AF_INET};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Received> messages;
    std::vector<Notification> notifications;
    std::vector<long> written;
    std::size_t writtenBeforeDisconnect = 0;
    std::vector<SerialQueue> queues;
    HeldDeliveries held;
    std::shared_ptr<OSCTCPClient> client;
    Peer peer;

    // With `hold`, messages go to `held` before they reach the record.
    explicit ClientFixture(OSCTimeTagMode timeTagMode = OSCTimeTagMode::ignore, Mode framing = Mode::osc1_1,
                           bool hold = false)
        : client(make(server.port(), timeTagMode, framing, hold)) {}

    // A handler that started before its client was released may still be
    // running; let every client queue drain before the record goes.
    ~ClientFixture() {
        client.reset();
        for (const auto& queue : queues) queue.sync([] {});
    }

    std::shared_ptr<OSCTCPClient> make(std::uint16_t port, OSCTimeTagMode timeTagMode = OSCTimeTagMode::ignore,
                                       Mode framing = Mode::osc1_1, bool hold = false) {
        auto c = OSCTCPClient::create("127.0.0.1", port, std::nullopt, timeTagMode, framing);
        const SerialQueue queue = c->queue();
        queues.push_back(queue);
        c->setReceiveHandler([this, queue](const OSCMessage& m, const OSCTimeTag& t, const std::string& h, std::uint16_t p) {
            std::lock_guard lock(mutex);
            messages.push_back({m, t, h, p, queue.isCurrent(), Clock::now()});
            changed.notify_all();
        }, hold ? held.executor() : OSCTCPClient::DeliveryExecutor{});
        c->setNotificationHandler([this](const Notification& n) {
            std::lock_guard lock(mutex);
            notifications.push_back(n);
            if (n.kind == Notification::Kind::disconnected) writtenBeforeDisconnect = written.size();
            changed.notify_all();
        });
        c->setWriteHandler([this](long tag) {
            std::lock_guard lock(mutex);
            written.push_back(tag);
        });
        return c;
    }
    bool connect() {
        if (!client->connect(5).ok()) return false;
        peer = server.accept();
        return peer.valid() && notesAfter(1).size() == 1;
    }
    // What has arrived once at least `count` items have (or the wait gave up).
    std::vector<Received> messagesAfter(std::size_t count) { return after(messages, count); }
    std::vector<Notification> notesAfter(std::size_t count) { return after(notifications, count); }
    template <typename T>
    std::vector<T> after(const std::vector<T>& record, std::size_t count) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 5s, [&] { return record.size() >= count; });
        return record;
    }
};

std::vector<std::string> addresses(const std::vector<Received>& received) {
    std::vector<std::string> out;
    for (const auto& r : received) out.push_back(r.message.address());
    return out;
}

TEST(OSCTCPClientLink, EachFramingCarriesWholeMessagesAcrossReadsAndTreatsABrokenStreamItsOwnWay) {
    for (const auto mode : {Mode::osc1_1, Mode::osc1_0}) {
        SCOPED_TRACE(mode == Mode::osc1_1 ? "SLIP" : "length header");
        ClientFixture f(OSCTimeTagMode::ignore, mode);
        ASSERT_TRUE(f.connect());
        EXPECT_EQ(f.notesAfter(1).at(0), Notification::connected());
        EXPECT_TRUE(f.client->isConnected());
        const OSCMessage command("/eos/user/0/newcmd", {"Cue 1 / 12 Time 3 Enter"});
        const OSCMessage blind("/eos/user/0/key/blind");
        ASSERT_TRUE(f.client->send(command).ok());
        ASSERT_TRUE(f.client->send(blind).ok());
        const OSCBytes expected = framed({command, blind}, mode);
        EXPECT_EQ(f.peer.receive(expected.size()), expected);

        const std::vector<OSCMessage> replies{OSCMessage("/eos/out/get/cue/1/1", {"a", std::int32_t{7}}),
                                              OSCMessage("/eos/out/get/cue/1/2", {OSCBlob{0xC0, 0xDB, 0xC0}}),
                                              OSCMessage("/eos/out/get/cue/1/3")};
        // The cut falls inside the second frame, which must wait for the
        // read after the one that delivered the first.
        const OSCBytes stream = framed({replies[0], replies[1], replies[2]}, mode);
        const std::size_t cut = framed({replies[0]}, mode).size() + 6;
        ASSERT_TRUE(f.peer.send(OSCBytes(stream.begin(), stream.begin() + cut)));
        ASSERT_EQ(f.messagesAfter(1).size(), 1u);
        ASSERT_TRUE(f.peer.send(OSCBytes(stream.begin() + cut, stream.end())));
        const auto got = f.messagesAfter(3);
        ASSERT_EQ(got.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(got[i].message, replies[i]);
            EXPECT_EQ(got[i].host, "127.0.0.1");
            EXPECT_EQ(got[i].port, f.server.port());
            EXPECT_TRUE(got[i].onClientQueue);
            EXPECT_TRUE(got[i].timeTag.isImmediate());
        }

        // SLIP drops a bad escape and a frame that is not OSC alone, and
        // delivers the unterminated tail once the peer closes. A length
        // header past the frame limit cannot be skipped: the client closes.
        if (mode == Mode::osc1_1) {
            OSCBytes broken{0xC0, 0x2F, 0xDB, 0x41, 0xC0};
            OSCBytes tail = framed({OSCMessage("/tail")});
            tail.pop_back();
            for (const OSCBytes& part : {slipEncode(OSCBytes{0x2F, 0x61, 0x00}), framed({OSCMessage("/after")}), tail}) {
                broken.insert(broken.end(), part.begin(), part.end());
            }
            ASSERT_TRUE(f.peer.send(broken));
            f.peer.close();
            EXPECT_EQ(f.notesAfter(2).at(1), Notification::disconnected(std::nullopt, "Socket closed by remote peer"));
            EXPECT_THAT(addresses(f.messagesAfter(5)), ElementsAre(_, _, _, "/after", "/tail"));
        } else {
            ASSERT_TRUE(f.peer.send(OSCBytes{0x00, 0x20, 0x00, 0x00, 0x2F}));
            EXPECT_EQ(f.notesAfter(2).at(1),
                      Notification::disconnected(std::nullopt, "the console sent a packet of 2097152 bytes, more than "
                                                               "the 1048576 bytes Lanternwick reads"));
            EXPECT_TRUE(f.peer.seesEndOfStream());
        }
        EXPECT_FALSE(f.client->isConnected());
    }
}

TEST(OSCTCPClientLink, AFailedConnectSaysWhyAndATimeoutLastsAtLeastASecond) {
    ClientFixture f;
    auto refused = f.make(testing::unusedPort());
    ASSERT_TRUE(refused->connect(5).ok());
    EXPECT_EQ(f.notesAfter(1).at(0), Notification::disconnected(std::nullopt, "Connection refused"));

    testing::SilentListener full;
    auto unanswered = f.make(full.port());
    const auto start = Clock::now();
    ASSERT_TRUE(unanswered->connect(0.2).ok());
    const auto n = f.notesAfter(2).at(1);
    const auto elapsed = Clock::now() - start;
    EXPECT_TRUE(n.error && n.error->is(AsyncTCPSocketErrorCode::connectTimeout));
    EXPECT_GE(elapsed, 950ms);
    EXPECT_LT(elapsed, 3s);
}

TEST(OSCTCPClientReceive, FutureBundlesWaitInOSC10ModeAndNotInIgnoreMode) {
    for (const auto mode : {OSCTimeTagMode::osc1_0, OSCTimeTagMode::ignore}) {
        SCOPED_TRACE(mode == OSCTimeTagMode::osc1_0 ? "OSC 1.0" : "ignore");
        ClientFixture f(mode);
        ASSERT_TRUE(f.connect());
        const OSCTimeTag later = OSCTimeTag::secondsFromNow(0.4);
        const OSCBundle inner({OSCMessage("/inner")}, OSCTimeTag::secondsFromNow(0.6));
        const auto start = Clock::now();
        ASSERT_TRUE(f.peer.send(framed({OSCBundle({OSCMessage("/late"), inner}, later), OSCBundle({OSCMessage("/now")})})));
        const auto got = f.messagesAfter(3);
        ASSERT_EQ(got.size(), 3u);
        if (mode == OSCTimeTagMode::osc1_0) {
            EXPECT_EQ(addresses(got), (std::vector<std::string>{"/now", "/late", "/inner"}));
            EXPECT_LT(got[0].at - start, 300ms);
            EXPECT_GE(got[1].at - start, 350ms);
            EXPECT_GE(got[2].at - start, 550ms);
        } else {
            for (const auto& r : got) EXPECT_LT(r.at - start, 350ms);
        }
        for (const auto& r : got) {
            const std::string& address = r.message.address();
            EXPECT_EQ(r.timeTag, address == "/late" ? later : address == "/inner" ? inner.timeTag() : OSCTimeTag::immediate());
        }
    }
}

// Releasing lets go of everything at once: a bundle waiting for its time
// and another client still connecting stay silent.
TEST(OSCTCPClientLifetime, ReleasingTheClientFlushesWhatWasSentAndSilencesItsHandlers) {
    ClientFixture f(OSCTimeTagMode::osc1_0);
    ASSERT_TRUE(f.connect());
    testing::SilentListener silent;
    auto connecting = f.make(silent.port());
    ASSERT_TRUE(connecting->connect(5).ok());
    connecting.reset();
    std::vector<OSCPacket> sent;
    for (int i = 0; i < 500; ++i) {
        sent.push_back(OSCMessage("/eos/user/0/newcmd", {"Cue " + std::to_string(i) + " Enter"}));
        ASSERT_TRUE(f.client->send(sent.back()).ok());
    }
    // Last, so that it still waits for its time when the client goes,
    // however slowly the rest was set up.
    ASSERT_TRUE(f.peer.send(framed({OSCBundle({OSCMessage("/later")}, OSCTimeTag::secondsFromNow(0.3))})));
    std::this_thread::sleep_for(50ms);
    f.client.reset();
    const OSCBytes expected = framed(sent);
    EXPECT_EQ(f.peer.receive(expected.size() + 1), expected);
    EXPECT_TRUE(f.peer.seesEndOfStream());
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(f.messagesAfter(0).empty());
    EXPECT_EQ(f.notesAfter(0).size(), 1u);
}

TEST(OSCTCPClientSend, APeerThatNeverReadsFillsTheQueueAndIsDroppedWithTheWriteTimeout) {
    ClientFixture f;
    f.client->tcpSocket()->setWriteStallTimeout(0.5);
    ASSERT_TRUE(f.connect());
    // Few, large lines: the queue must fill well within the stall time.
    const OSCMessage line("/eos/user/0/newcmd", {std::string(60'000, 'x')});
    std::optional<OSCTCPSendError> refused;
    for (long tag = 1; !refused && tag < 1000; ++tag) {
        if (auto sent = f.client->send(line, tag); !sent) refused = sent.error();
    }
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->isWriteQueueFull());
    EXPECT_THAT(refused->description(), ::testing::StartsWith("Write queue is full"));

    const auto dropped = f.notesAfter(2).at(1);
    EXPECT_EQ(dropped.kind, Notification::Kind::disconnected);
    EXPECT_TRUE(dropped.error && dropped.error->is(AsyncTCPSocketErrorCode::writeTimeout));
    EXPECT_EQ(dropped.reason, "Write operation timed out");
    f.client->queue().sync([] {});
    std::lock_guard lock(f.mutex);
    // The kernel took some lines, in order; the rest was never reported.
    ASSERT_FALSE(f.written.empty());
    for (std::size_t i = 0; i < f.written.size(); ++i) EXPECT_EQ(f.written[i], static_cast<long>(i + 1));
    EXPECT_EQ(f.writtenBeforeDisconnect, f.written.size());
}

TEST(OSCTCPClientLifetime, ReleasingAClientWhoseWritesWaitClosesAtOnceWithoutThem) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    const OSCMessage line("/eos/user/0/newcmd", {std::string(60'000, 'x')});
    std::size_t sent = 0;
    while (f.client->send(line).ok()) sent += framed({line}).size();
    // As the Eos client lets a console go; the stall timeout is 10 s, and
    // the peer reads nothing until the socket is gone.
    f.client->close();
    const std::weak_ptr<AsyncTCPSocket> socket = f.client->tcpSocket();
    f.client.reset();
    for (const auto giveUp = Clock::now() + 3s; !socket.expired() && Clock::now() < giveUp;) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(socket.expired());
    bool closed = false;
    EXPECT_LT(f.peer.receive(SIZE_MAX, 5s, &closed).size(), sent);
    EXPECT_TRUE(closed);
}

TEST(OSCTCPClientReceive, AFloodOfRepliesStopsAtTheBacklogBoundWhileSendsStillGoOut) {
    ClientFixture f(OSCTimeTagMode::ignore, Mode::osc1_1, true);
    ASSERT_TRUE(f.connect());
    // No kernel buffer growth to hide what the client itself holds.
    f.peer.setOption(SOL_SOCKET, SO_SNDBUF, 256 * 1024);
    const int clientBuffer = 256 * 1024;
    ::setsockopt(f.client->tcpSocket()->nativeHandle(), SOL_SOCKET, SO_RCVBUF, &clientBuffer, sizeof(clientBuffer));
    // Several times what the backlog and both kernel buffers hold.
    constexpr int total = 150'000;
    OSCBytes replies;
    for (int n = 0; n < total; ++n) {
        const OSCMessage reply(std::string_view("/eos/out/get/cue/1/" + std::to_string(n)), {"Label", std::int32_t{n}});
        const OSCBytes frame = slipEncode(*reply.rawData());
        replies.insert(replies.end(), frame.begin(), frame.end());
    }
    BackgroundSender sender(f.peer, std::move(replies));
    const auto full = [&] { return f.client->receiveBacklogBytes() >= OSCTCPClient::receiveBacklogLimit; };
    for (const auto giveUp = Clock::now() + 10s; Clock::now() < giveUp && !(full() && sender.heldBack(300ms));) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(full() && sender.heldBack(300ms));
    const std::size_t held = f.held.count();
    EXPECT_GT(held, 0u);
    EXPECT_LE(held, OSCTCPClient::receiveBacklogLimit / OSCTCPInbox::deliveryOverheadBytes);
    EXPECT_LT(f.client->receiveBacklogBytes(), OSCTCPClient::receiveBacklogLimit + 4096);

    const OSCMessage edit("/eos/user/0/newcmd", {"Cue 1 / 12 Time 3 Enter"});
    ASSERT_TRUE(f.client->send(edit).ok());
    const OSCBytes expected = framed({edit});
    EXPECT_EQ(f.peer.receive(expected.size()), expected);

    // Catching up lets reading go on, and everything sent arrives in order.
    std::size_t delivered = 0;
    for (const auto giveUp = Clock::now() + 20s; delivered < total && Clock::now() < giveUp;) {
        delivered += f.held.runAll();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(delivered, static_cast<std::size_t>(total));
    std::lock_guard lock(f.mutex);
    for (std::size_t i = 0; i < f.messages.size(); ++i) {
        ASSERT_EQ(f.messages[i].message.int32Argument(1), static_cast<std::int32_t>(i));
        EXPECT_FALSE(f.messages[i].onClientQueue);
    }
}

TEST(OSCTCPClientReceive, DeepBundlesOfHugeMessagesAreDecodedOneAtATime) {
    ClientFixture f(OSCTimeTagMode::ignore, Mode::osc1_1, true);
    ASSERT_TRUE(f.connect());
    const OSCMessage huge("/eos/out/flood", std::vector<OSCValue>(200'000, OSCNullValue{}));
    OSCPacket packet = huge;
    for (std::uint64_t level = 0; level < 31; ++level) {
        packet = OSCBundle(std::vector<OSCPacket>{packet}, OSCTimeTag{0, 100 + level});
    }
    const OSCBytes frame = framed({packet});
    const std::size_t onePacket = packetFootprint(packet, packet.rawData()->size());
    OSCBytes stream;
    for (int i = 0; i < 4; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
    // The kernel may not hold all four while the client waits.
    BackgroundSender sender(f.peer, stream);

    std::size_t mostDecodedAtOnce = 0;
    for (int i = 0; i < 4; ++i) {
        mostDecodedAtOnce = std::max(mostDecodedAtOnce, f.held.settledCount());
        EXPECT_LT(f.client->receiveBacklogBytes(), 2 * onePacket);
        f.held.runAll();
    }
    EXPECT_EQ(mostDecodedAtOnce, 1u);
    const auto got = f.messagesAfter(4);
    ASSERT_EQ(got.size(), 4u);
    for (const auto& r : got) {
        EXPECT_EQ(r.message, huge);
        EXPECT_EQ(r.timeTag, (OSCTimeTag{0, 100}));
    }
    EXPECT_EQ(f.client->receiveBacklogBytes(), 0u);
}

}  // namespace
}  // namespace lanternwick
