#include "eos/EosOSCClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/LoopbackConsole.h"
#include "net/LoopbackPeer.h"
#include "osc/OSCMessage.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::LoopbackConsole;

TEST(CueReplyAddress, RecognisedOnlyWithSixPiecesAndAnIntegerList) {
    EXPECT_EQ(parseCueReplyAddress("//eos//out/get/cue/2/7"), (CueReplyAddress{2, "7"}));
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/-3/12.5"), (CueReplyAddress{-3, "12.5"}));
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/+4/ 9 "), (CueReplyAddress{4, "9"}));
    for (const char* other : {"/eos/out/get/cue/1/12.5/0", "/eos/out/get/cue/x/3", "/eos/out/get/cue/1/ ",
                              "/eos/out/get/cue/ 1/3", "/eos/out/get/cue/1.0/3", "/eos/out/get/cue/99999999999999999999/3",
                              "/eos/out/get/cuelist/1/3", "/Eos/out/get/cue/1/3", "/eos/out/get/cue/+-1/3"}) {
        EXPECT_EQ(parseCueReplyAddress(other), std::nullopt) << other;
    }
}

// The client on a run-loop main queue; every callback lands in `events` as
// "up", "down", "established" or "out address|values".
class EosClient : public ::testing::Test {
protected:
    EosClient() {
        client->setCallbacks({
            .onIncomingCueMessage = [this](const IncomingOSCMessage& m) { incoming.push_back(m); },
            .onOutgoingMessage = [this](const OutgoingOSCMessage& m) { events.push_back("out " + m.address + "|" + m.valuesText); },
            .onConnectionEstablished = [this] { events.push_back("established"); },
            .onConnectionStateChanged = [this](bool up) { events.push_back(up ? "up" : "down"); },
        });
    }

    bool waitFor(const std::function<bool()>& condition) { return queue->runUntil(condition, 10s); }

    void connectTo(LoopbackConsole& console) {
        const auto before = console.connections();
        client->configure("127.0.0.1", console.port(), false);
        client->connect();
        ASSERT_TRUE(waitFor([&] { return client->isConnected() && console.connections() > before; }));
        events.clear();
    }

    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<EosOSCClient> client = EosOSCClient::create(queue);
    std::vector<IncomingOSCMessage> incoming;
    std::vector<std::string> events;
};

TEST_F(EosClient, FirstCommandOpensTheConnectionAndFollowsTheBlindKeyThenLinesAndRepliesFlow) {
    // Every reply arrives in two writes, so that reassembly is needed.
    LoopbackConsole console(true);
    client->configure("  127.0.0.1 \n", console.port(), false);
    EXPECT_EQ(client->eosHost(), "127.0.0.1");
    client->sendCommandLine("   ");
    client->sendAddress("\n");
    queue->runFor(100ms);
    EXPECT_EQ(console.connections(), 0U) << "a blank send starts no connection";
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(waitFor([&] { return !console.received().empty(); }));
    // The key press goes first, then the line held while connecting, before
    // the owner hears of the connection.
    ASSERT_TRUE(waitFor([&] { return console.received().size() == 2; }));
    EXPECT_THAT(events, ElementsAre("up", "out /eos/user/0/key/blind|(no values)",
                                    "out /eos/user/0/newcmd|$ Cue 1 / 1 Enter #", "established"));

    events.clear();
    client->sendCommandLine("  $ Cue 1 / 12.5 Time 3 #\n");
    client->sendCommandLine(" \t ");
    client->enterCue(2, " 4 ");
    client->setCueLabel(2, "4", "Song #2");
    client->setCueTime(2, "4", "");
    client->sendAddress(" /eos/get/cue/2/4 ");
    ASSERT_TRUE(waitFor([&] { return !incoming.empty(); }));
    EXPECT_THAT(console.received(),
                ElementsAre("/eos/user/0/key/blind", "/eos/user/0/newcmd|$ Cue 1 / 1 Enter #",
                            "/eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                            "/eos/user/0/newcmd|$ Cue 2 / 4 Enter #", "/eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #",
                            "/eos/get/cue/2/4"));
    EXPECT_THAT(events, ElementsAre("out /eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                                    "out /eos/user/0/newcmd|$ Cue 2 / 4 Enter #",
                                    "out /eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #",
                                    "out /eos/get/cue/2/4|(no values)"));
    EXPECT_EQ(incoming[0].cueList, 2);
    EXPECT_EQ(incoming[0].cueNumber, "4");
    EXPECT_EQ(incoming[0].address, "/eos/out/get/cue/2/4/0/list/0/30");
    EXPECT_EQ(incoming[0].label, "Song 2");
    EXPECT_EQ(incoming[0].upTimeMs, 0);
    EXPECT_EQ(console.connections(), 1U);
    client->configure(" \t", 3032, false);
    EXPECT_EQ(client->eosHost(), "127.0.0.1");
}

// Moving to a new endpoint with reconnect asked is what the console fault
// tests exercise; here, the cases that must leave the connection alone.
TEST_F(EosClient, StaysConnectedUnlessTheEndpointChangedAndReconnectIsAsked) {
    LoopbackConsole first;
    LoopbackConsole second;
    connectTo(first);
    client->configure(" 127.0.0.1 ", first.port(), true);
    client->configure("127.0.0.1", second.port(), false);
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(waitFor([&] { return first.commandLines().size() == 1; }));
    EXPECT_EQ(first.connections(), 1U);
    EXPECT_EQ(second.connections(), 0U);
    EXPECT_THAT(events, ElementsAre("out /eos/user/0/newcmd|$ Cue 1 / 1 Enter #"));
}

// A console that accepts and closes at once: the link keeps retrying, but
// the backoff holds (0.5 s, 1 s, 2 s, ...), so it never spins.
TEST_F(EosClient, AConsoleThatClosesAtOnceIsRetriedWithABackoffThatHolds) {
    const testing::LoopbackListener listener;
    std::atomic<int> accepted = 0;
    std::atomic<bool> stop = false;
    std::thread server([&] {
        while (!stop) accepted += listener.accept(20ms).valid();  // and closed at once
    });
    client->configure("127.0.0.1", listener.port(), false);
    client->connect();
    for (int line = 0; line < 50; ++line) {
        client->sendCommandLine("$ Cue 1 / " + std::to_string(line + 1) + " Enter #");
        queue->runFor(60ms);
    }
    stop = true;
    server.join();
    EXPECT_GE(accepted.load(), 2);
    EXPECT_LE(accepted.load(), 5) << "3 s of sends must not turn into a connection per send";
}

// A console that refuses has the client waiting 1 s for its next retry
// when the user moves to one that answers: that one is tried at once.
TEST_F(EosClient, AnAddressChangeWhileARetryWaitsIsTriedAtOnce) {
    std::uint16_t refusing = 0;
    {
        const LoopbackConsole gone;
        refusing = gone.port();
    }
    client->configure("127.0.0.1", refusing, false);
    client->connect();
    queue->runFor(700ms);  // refused at 0 s and 0.5 s
    LoopbackConsole console;
    client->configure("127.0.0.1", console.port(), true);
    EXPECT_TRUE(queue->runUntil([&] { return client->isConnected(); }, 500ms));
}

// The console goes away after reading a line, and the next line is decided
// before the main thread has heard that the line was written or that the
// connection ended: the line the console has already run must not be sent again.
TEST_F(EosClient, ALineSentBeforeAnUnreportedDisconnectIsNotSentAgain) {
    LoopbackConsole console;
    connectTo(console);
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(console.waitFor([&] { return console.commandLines().size() == 1; }));
    console.reboot();
    std::this_thread::sleep_for(300ms);  // the transport sees the close; the main queue has not run
    client->sendCommandLine("$ Cue 1 / 2 Enter #");
    ASSERT_TRUE(waitFor([&] { return console.commandLines().size() >= 2; }));
    queue->runFor(300ms);
    EXPECT_THAT(console.commandLines(), ElementsAre("$ Cue 1 / 1 Enter #", "$ Cue 1 / 2 Enter #"));
}

TEST_F(EosClient, DisconnectAndRefusalReportDownAndADestroyedClientHearsNothingMore) {
    {
        LoopbackConsole console;
        connectTo(console);
        client->disconnect();
        EXPECT_FALSE(client->isConnected());
        EXPECT_THAT(events, ElementsAre("down")) << "at once, not when the socket has closed";
    }
    // The console is gone, so its port now refuses.
    client->connect();
    ASSERT_TRUE(waitFor([this] { return events.size() == 2; }));
    EXPECT_THAT(events, ElementsAre("down", "down"));
    EXPECT_FALSE(client->isConnected());

    client->connect();
    client.reset();
    queue->runFor(300ms);
    EXPECT_EQ(events.size(), 2U);
}

}  // namespace
}  // namespace lanternwick
