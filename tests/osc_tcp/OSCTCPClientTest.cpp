#include "osc/tcp/OSCTCPClient.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/LoopbackPeer.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackListener;
using testing::Peer;
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

// A listener, clients whose handlers record what they see, and the accepted
// side of the first client's connection.
struct ClientFixture {
    LoopbackListener server{AF_INET};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Received> messages;
    std::vector<Notification> notifications;
    std::vector<SerialQueue> queues;
    std::shared_ptr<OSCTCPClient> client;
    Peer peer;

    explicit ClientFixture(OSCTimeTagMode timeTagMode = OSCTimeTagMode::ignore, Mode framing = Mode::osc1_1)
        : client(make(server.port(), timeTagMode, framing)) {}

    // A handler that started before its client was released may still be
    // running; let every client queue drain before the record goes.
    ~ClientFixture() {
        client.reset();
        for (const auto& queue : queues) queue.sync([] {});
    }

    std::shared_ptr<OSCTCPClient> make(std::uint16_t port, OSCTimeTagMode timeTagMode = OSCTimeTagMode::ignore,
                                       Mode framing = Mode::osc1_1) {
        auto c = OSCTCPClient::create("127.0.0.1", port, std::nullopt, timeTagMode, framing);
        const SerialQueue queue = c->queue();
        queues.push_back(queue);
        c->setReceiveHandler([this, queue](const OSCMessage& m, const OSCTimeTag& t, const std::string& h, std::uint16_t p) {
            std::lock_guard lock(mutex);
            messages.push_back({m, t, h, p, queue.isCurrent(), Clock::now()});
            changed.notify_all();
        });
        c->setNotificationHandler([this](const Notification& n) {
            std::lock_guard lock(mutex);
            notifications.push_back(n);
            changed.notify_all();
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

TEST(OSCTCPClientLink, EachFramingSendsAndReceivesWholeMessagesAcrossReads) {
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

        auto again = f.client->connect(5);
        ASSERT_FALSE(again.ok());
        EXPECT_TRUE(again.error().is(AsyncTCPSocketErrorCode::badConfig));
        EXPECT_TRUE(f.client->isConnected());
    }
}

TEST(OSCTCPClientLink, MalformedFramesAreDroppedAndThePeersCloseDeliversTheUnendedTailWithoutAnError) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    const OSCBytes badEscape{0xC0, 0x2F, 0xDB, 0x41, 0xC0};
    const OSCBytes notOSC = slipEncode(OSCBytes{0x2F, 0x61, 0x00});
    OSCBytes tail = framed({OSCMessage("/tail")});
    tail.pop_back();
    OSCBytes stream = framed({OSCMessage("/first")});
    for (const OSCBytes& part : {badEscape, notOSC, tail}) stream.insert(stream.end(), part.begin(), part.end());
    ASSERT_TRUE(f.peer.send(stream));
    f.peer.close();
    EXPECT_EQ(f.notesAfter(2).at(1), Notification::disconnected(std::nullopt, "Socket closed by remote peer"));
    EXPECT_EQ(addresses(f.messagesAfter(2)), (std::vector<std::string>{"/first", "/tail"}));
    EXPECT_FALSE(f.client->isConnected());

    auto refused = f.make(testing::unusedPort());
    ASSERT_TRUE(refused->connect(5).ok());
    EXPECT_EQ(f.notesAfter(3).at(2), Notification::disconnected(std::nullopt, "Connection refused"));
}

TEST(OSCTCPClientLink, ConnectTimeoutHasAOneSecondFloorAndReportsTheTimeout) {
    testing::SilentListener full;
    ClientFixture f;
    auto client = f.make(full.port());
    const auto start = Clock::now();
    ASSERT_TRUE(client->connect(0.2).ok());
    const auto n = f.notesAfter(1).at(0);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(n.kind, Notification::Kind::disconnected);
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

TEST(OSCTCPClientReceive, AnOversizedLengthFrameClosesTheConnection) {
    ClientFixture f(OSCTimeTagMode::ignore, Mode::osc1_0);
    ASSERT_TRUE(f.connect());
    ASSERT_TRUE(f.peer.send(OSCBytes{0x00, 0x20, 0x00, 0x00, 0x2F}));
    EXPECT_EQ(f.notesAfter(2).at(1).kind, Notification::Kind::disconnected);
    EXPECT_TRUE(f.peer.seesEndOfStream());
}

TEST(OSCTCPClientLifetime, ReleasingTheClientFlushesWritesAndSilencesHandlers) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    std::vector<OSCPacket> sent;
    for (int i = 0; i < 500; ++i) {
        sent.push_back(OSCMessage("/eos/user/0/newcmd", {"Cue " + std::to_string(i) + " Enter"}));
        ASSERT_TRUE(f.client->send(sent.back()).ok());
    }
    f.client.reset();
    const OSCBytes expected = framed(sent);
    EXPECT_EQ(f.peer.receive(expected.size() + 1), expected);
    EXPECT_TRUE(f.peer.seesEndOfStream());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(f.notesAfter(0).size(), 1u);
}

TEST(OSCTCPClientLifetime, ReleasingWhileConnectingOrWaitingForABundleIsQuiet) {
    ClientFixture f(OSCTimeTagMode::osc1_0);
    ASSERT_TRUE(f.connect());
    ASSERT_TRUE(f.peer.send(framed({OSCBundle({OSCMessage("/later")}, OSCTimeTag::secondsFromNow(0.2))})));
    std::this_thread::sleep_for(50ms);
    f.client.reset();

    testing::SilentListener silent;
    auto connecting = f.make(silent.port());
    ASSERT_TRUE(connecting->connect(5).ok());
    connecting.reset();
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(f.messagesAfter(0).empty());
    EXPECT_EQ(f.notesAfter(0).size(), 1u);
}

}  // namespace
}  // namespace lanternwick
