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

struct Received {
    OSCMessage message;
    OSCTimeTag timeTag;
    std::string host;
    std::uint16_t port;
    bool onClientQueue;
    Clock::time_point at;
};

// Collects what the handlers see, from whatever thread they run on.
class Recorder {
public:
    void addMessage(Received r) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(r));
        }
        changed_.notify_all();
    }
    void addNotification(const OSCTCPClient::Notification& n) {
        {
            std::lock_guard lock(mutex_);
            notifications_.push_back(n);
        }
        changed_.notify_all();
    }
    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }
    bool waitForNotifications(std::size_t count, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return notifications_.size() >= count; });
    }
    std::vector<Received> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> addresses() {
        std::vector<std::string> out;
        for (auto& m : messages()) out.push_back(m.message.address());
        return out;
    }
    std::vector<OSCTCPClient::Notification> notifications() {
        std::lock_guard lock(mutex_);
        return notifications_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Received> messages_;
    std::vector<OSCTCPClient::Notification> notifications_;
};

OSCBytes encoded(const OSCPacket& packet) { return *packet.rawData(); }
OSCBytes slipFramed(const OSCPacket& packet) { return slipEncode(encoded(packet)); }

struct ClientFixture {
    LoopbackListener server{AF_INET};
    Recorder recorder;
    std::vector<SerialQueue> queues;
    std::shared_ptr<OSCTCPClient> client;
    Peer peer;

    explicit ClientFixture(OSCTimeTagMode timeTagMode = OSCTimeTagMode::ignore,
                           OSCTCPFramingMode framing = OSCTCPFramingMode::osc1_1) {
        client = make("127.0.0.1", server.port(), timeTagMode, framing);
    }

    // A handler that started before its client was released may still be
    // running; let every client queue drain before the recorder goes.
    ~ClientFixture() {
        client.reset();
        for (const auto& queue : queues) queue.sync([] {});
    }

    std::shared_ptr<OSCTCPClient> make(const std::string& host, std::uint16_t port, OSCTimeTagMode timeTagMode,
                                       OSCTCPFramingMode framing) {
        auto c = OSCTCPClient::create(host, port, std::nullopt, timeTagMode, framing);
        SerialQueue queue = c->queue();
        queues.push_back(queue);
        c->setReceiveHandler([this, queue](const OSCMessage& m, const OSCTimeTag& t, const std::string& h,
                                           std::uint16_t p) {
            recorder.addMessage({m, t, h, p, queue.isCurrent(), Clock::now()});
        });
        c->setNotificationHandler([this](const OSCTCPClient::Notification& n) { recorder.addNotification(n); });
        return c;
    }

    bool connect() {
        if (!client->connect(5).ok()) return false;
        peer = server.accept();
        return peer.valid() && recorder.waitForNotifications(1);
    }
};

TEST(OSCTCPClientLink, ConnectsSendsFramedPacketsAndReportsTheConnection) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    EXPECT_EQ(f.recorder.notifications().front(), OSCTCPClient::Notification::connected());
    EXPECT_TRUE(f.client->isConnected());

    const OSCMessage command("/eos/user/0/newcmd", {"Cue 1 / 12 Time 3 Enter"});
    const OSCMessage blind("/eos/user/0/key/blind");
    ASSERT_TRUE(f.client->send(command).ok());
    ASSERT_TRUE(f.client->send(blind).ok());
    const OSCBytes expected = [&] {
        OSCBytes out = slipFramed(command);
        const OSCBytes second = slipFramed(blind);
        out.insert(out.end(), second.begin(), second.end());
        return out;
    }();
    EXPECT_EQ(f.peer.receive(expected.size()), expected);

    auto again = f.client->connect(5);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, 1);
    EXPECT_TRUE(f.client->isConnected());
}

TEST(OSCTCPClientLink, LengthHeaderModeFramesWithTheLength) {
    ClientFixture f(OSCTimeTagMode::ignore, OSCTCPFramingMode::osc1_0);
    ASSERT_TRUE(f.connect());
    const OSCMessage message("/eos/get/cue/1/12");
    ASSERT_TRUE(f.client->send(message).ok());
    const OSCBytes expected = *lengthHeaderEncode(encoded(message));
    EXPECT_EQ(f.peer.receive(expected.size()), expected);

    const OSCMessage reply("/eos/out/get/cue/1/12", {"label"});
    ASSERT_TRUE(f.peer.send(*lengthHeaderEncode(encoded(reply))));
    ASSERT_TRUE(f.recorder.waitForMessages(1));
    EXPECT_EQ(f.recorder.messages().front().message, reply);
}

TEST(OSCTCPClientLink, PeerCloseAndRefusalEndWithoutAnError) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    f.peer.close();
    ASSERT_TRUE(f.recorder.waitForNotifications(2));
    EXPECT_EQ(f.recorder.notifications()[1], OSCTCPClient::Notification::disconnected());
    EXPECT_FALSE(f.client->isConnected());

    Recorder& recorder = f.recorder;
    auto refused = f.make("127.0.0.1", testing::unusedPort(), OSCTimeTagMode::ignore, OSCTCPFramingMode::osc1_1);
    ASSERT_TRUE(refused->connect(5).ok());
    ASSERT_TRUE(recorder.waitForNotifications(3));
    EXPECT_EQ(recorder.notifications()[2], OSCTCPClient::Notification::disconnected());
}

TEST(OSCTCPClientLink, ConnectTimeoutHasAOneSecondFloorAndReportsTheTimeout) {
    testing::SilentListener full;
    ClientFixture f;
    auto client = f.make("127.0.0.1", full.port(), OSCTimeTagMode::ignore, OSCTCPFramingMode::osc1_1);
    const auto start = Clock::now();
    ASSERT_TRUE(client->connect(0.2).ok());
    ASSERT_TRUE(f.recorder.waitForNotifications(1));
    const auto elapsed = Clock::now() - start;
    const auto n = f.recorder.notifications().front();
    EXPECT_EQ(n.kind, OSCTCPClient::Notification::Kind::disconnected);
    ASSERT_TRUE(n.error.has_value());
    EXPECT_TRUE(n.error->is(AsyncTCPSocketErrorCode::connectTimeout));
    EXPECT_GE(elapsed, 950ms);
    EXPECT_LT(elapsed, 3s);
}

TEST(OSCTCPClientReceive, FramesSplitAcrossReadsArriveWholeInOrderOnTheClientQueue) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    const std::vector<OSCMessage> sent{OSCMessage("/eos/out/get/cue/1/1", {"a", std::int32_t{7}}),
                                       OSCMessage("/eos/out/get/cue/1/2", {OSCBlob{0xC0, 0xDB, 0xC0}}),
                                       OSCMessage("/eos/out/get/cue/1/3")};
    OSCBytes stream;
    for (const auto& m : sent) {
        const auto framed = slipFramed(m);
        stream.insert(stream.end(), framed.begin(), framed.end());
    }
    // Byte by byte with pauses, so that the socket really delivers many reads.
    for (std::size_t i = 0; i < stream.size(); ++i) {
        ASSERT_TRUE(f.peer.send(OSCBytes{stream[i]}));
        if (i % 7 == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(f.recorder.waitForMessages(3));
    const auto got = f.recorder.messages();
    ASSERT_EQ(got.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].message, sent[i]);
        EXPECT_EQ(got[i].host, "127.0.0.1");
        EXPECT_EQ(got[i].port, f.server.port());
        EXPECT_TRUE(got[i].onClientQueue);
        EXPECT_TRUE(got[i].timeTag.isImmediate());
    }
}

TEST(OSCTCPClientReceive, AMalformedFrameIsDroppedAndTheNextOneArrives) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    OSCBytes stream = slipFramed(OSCMessage("/first"));
    const OSCBytes badEscape{0xC0, 0x2F, 0xDB, 0x41, 0xC0};
    const OSCBytes notOSC = slipEncode(OSCBytes{0x2F, 0x61, 0x00});
    const OSCBytes next = slipFramed(OSCMessage("/next", {"x"}));
    for (const auto* part : {&badEscape, &notOSC, &next}) stream.insert(stream.end(), part->begin(), part->end());
    ASSERT_TRUE(f.peer.send(stream));
    ASSERT_TRUE(f.recorder.waitForMessages(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(f.recorder.addresses(), (std::vector<std::string>{"/first", "/next"}));
}

TEST(OSCTCPClientReceive, FutureBundlesWaitInOSC10ModeAndNotInIgnoreMode) {
    for (const auto mode : {OSCTimeTagMode::osc1_0, OSCTimeTagMode::ignore}) {
        ClientFixture f(mode);
        ASSERT_TRUE(f.connect());
        const OSCTimeTag later = OSCTimeTag::secondsFromNow(0.4);
        const OSCBundle inner({OSCMessage("/inner")}, OSCTimeTag::secondsFromNow(0.6));
        const OSCBundle future({OSCMessage("/late"), inner}, later);
        const OSCBundle now({OSCMessage("/now")});
        const auto start = Clock::now();
        OSCBytes stream = slipFramed(future);
        const OSCBytes second = slipFramed(now);
        stream.insert(stream.end(), second.begin(), second.end());
        ASSERT_TRUE(f.peer.send(stream));
        ASSERT_TRUE(f.recorder.waitForMessages(3));
        const auto got = f.recorder.messages();
        if (mode == OSCTimeTagMode::osc1_0) {
            EXPECT_EQ(f.recorder.addresses(), (std::vector<std::string>{"/now", "/late", "/inner"}));
            EXPECT_LT(got[0].at - start, 300ms);
            EXPECT_GE(got[1].at - start, 350ms);
            EXPECT_GE(got[2].at - start, 550ms);
        } else {
            for (const auto& r : got) EXPECT_LT(r.at - start, 350ms);
        }
        for (const auto& r : got) {
            if (r.message.address() == "/late") {
                EXPECT_EQ(r.timeTag, later);
            } else if (r.message.address() == "/inner") {
                EXPECT_EQ(r.timeTag, inner.timeTag());
            } else {
                EXPECT_TRUE(r.timeTag.isImmediate());
            }
        }
    }
}

TEST(OSCTCPClientReceive, AnOversizedLengthFrameClosesTheConnection) {
    ClientFixture f(OSCTimeTagMode::ignore, OSCTCPFramingMode::osc1_0);
    ASSERT_TRUE(f.connect());
    ASSERT_TRUE(f.peer.send(OSCBytes{0x00, 0x20, 0x00, 0x00, 0x2F}));
    ASSERT_TRUE(f.recorder.waitForNotifications(2));
    EXPECT_EQ(f.recorder.notifications()[1].kind, OSCTCPClient::Notification::Kind::disconnected);
    EXPECT_TRUE(f.peer.seesEndOfStream());
}

TEST(OSCTCPClientLifetime, ReleasingTheClientFlushesWritesAndSilencesHandlers) {
    ClientFixture f;
    ASSERT_TRUE(f.connect());
    OSCBytes expected;
    for (int i = 0; i < 500; ++i) {
        const OSCMessage m("/eos/user/0/newcmd", {"Cue " + std::to_string(i) + " Enter"});
        ASSERT_TRUE(f.client->send(m).ok());
        const auto framed = slipFramed(m);
        expected.insert(expected.end(), framed.begin(), framed.end());
    }
    f.client.reset();
    EXPECT_EQ(f.peer.receive(expected.size() + 1), expected);
    EXPECT_TRUE(f.peer.seesEndOfStream());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(f.recorder.notifications().size(), 1u);
}

TEST(OSCTCPClientLifetime, ReleasingWhileConnectingOrWaitingForABundleIsQuiet) {
    ClientFixture f(OSCTimeTagMode::osc1_0);
    ASSERT_TRUE(f.connect());
    ASSERT_TRUE(f.peer.send(slipFramed(OSCBundle({OSCMessage("/later")}, OSCTimeTag::secondsFromNow(0.2)))));
    std::this_thread::sleep_for(50ms);
    f.client.reset();

    testing::SilentListener silent;
    auto connecting = f.make("127.0.0.1", silent.port(), OSCTimeTagMode::ignore, OSCTCPFramingMode::osc1_1);
    ASSERT_TRUE(connecting->connect(5).ok());
    connecting.reset();
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(f.recorder.messages().empty());
    EXPECT_EQ(f.recorder.notifications().size(), 1u);
}

}  // namespace
}  // namespace lanternwick
