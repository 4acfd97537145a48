#include "eos/EosOSCClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>

#include "eos/SlipOSCTestServer.h"
#include "osc/OSCMessage.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SlipOSCTestServer;

TEST(CueReplyAddress, RecognisedOnlyWithSixPiecesAndAnIntegerList) {
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/1/12.5"), (CueReplyAddress{1, "12.5"}));
    EXPECT_EQ(parseCueReplyAddress("//eos//out/get/cue/2/7"), (CueReplyAddress{2, "7"}));
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/-3/1"), (CueReplyAddress{-3, "1"}));
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/+4/ 9 "), (CueReplyAddress{4, "9"}));
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/1/12.5/0"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/x/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/1/ "), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/ 1/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/1.0/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/99999999999999999999/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cuelist/1/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/Eos/out/get/cue/1/3"), std::nullopt);
    EXPECT_EQ(parseCueReplyAddress("/eos/out/get/cue/+-1/3"), std::nullopt);
}

class EosClient : public ::testing::Test {
protected:
    EosClient() {
        EosLinkCallbacks callbacks;
        callbacks.onIncomingCueMessage = [this](const IncomingOSCMessage& m) { incoming.push_back(m); };
        callbacks.onOutgoingMessage = [this](const OutgoingOSCMessage& m) {
            outgoing.push_back(m.address + "|" + m.valuesText);
            events.push_back("out " + m.address);
        };
        callbacks.onConnectionEstablished = [this] { events.push_back("established"); };
        callbacks.onConnectionStateChanged = [this](bool up) {
            states.push_back(up);
            events.push_back(up ? "up" : "down");
        };
        client->setCallbacks(std::move(callbacks));
    }

    bool waitFor(const std::function<bool()>& condition) { return queue->runUntil(condition, 10s); }

    void connectTo(const SlipOSCTestServer& server) {
        const int before = server.connectionCount();
        client->configure("127.0.0.1", server.port(), false);
        client->connect();
        ASSERT_TRUE(waitFor([&] { return client->isConnected() && server.connectionCount() > before; }));
    }

    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<EosOSCClient> client = EosOSCClient::create(queue);
    std::vector<IncomingOSCMessage> incoming;
    std::vector<std::string> outgoing;
    std::vector<bool> states;
    std::vector<std::string> events;
};

TEST_F(EosClient, CueRepliesAreReportedWithTheirValues) {
    client->handleIncomingMessage(OSCMessage("/eos/out/get/cue/1/12.5", {OSCValue("Intro"), OSCValue(std::int32_t{3})}));
    client->handleIncomingMessage(OSCMessage("/eos/out/get/cue/2/7"));
    client->handleIncomingMessage(OSCMessage("/eos/out/get/cue/2/8", {OSCValue("")}));
    client->handleIncomingMessage(OSCMessage("/eos/out/get/cue/x/3", {OSCValue("ignored")}));
    client->handleIncomingMessage(OSCMessage("/eos/out/ping"));
    ASSERT_EQ(incoming.size(), 3U);
    EXPECT_EQ(incoming[0].address, "/eos/out/get/cue/1/12.5");
    EXPECT_EQ(incoming[0].valuesText, "Intro, 3");
    EXPECT_EQ(incoming[0].cueList, 1);
    EXPECT_EQ(incoming[0].cueNumber, "12.5");
    EXPECT_EQ(incoming[1].valuesText, "(no values)");
    EXPECT_EQ(incoming[2].valuesText, "(no values)");
    EXPECT_NE(incoming[0].id, incoming[1].id);
}

TEST_F(EosClient, ConfigureTrimsAndDefaultsTheHost) {
    client->configure("  console.local \n", 3032, false);
    EXPECT_EQ(client->eosHost(), "console.local");
    EXPECT_EQ(client->eosPort(), 3032);
    client->configure(" \t", 3032, false);
    EXPECT_EQ(client->eosHost(), "127.0.0.1");
    EXPECT_EQ(client->cueList(), 1);
}

TEST_F(EosClient, FirstCommandStartsTheConnectionAndIsLost) {
    SlipOSCTestServer server;
    client->configure("127.0.0.1", server.port(), false);
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(waitFor([this] { return client->isConnected(); }));
    ASSERT_TRUE(waitFor([&] { return server.messages().size() == 1; }));
    EXPECT_THAT(server.messageTexts(), ElementsAre("/eos/user/0/key/blind"));
    EXPECT_THAT(outgoing, ElementsAre("/eos/user/0/key/blind|(no values)"));
    // The key press is logged and sent before the owner hears of the connection.
    EXPECT_THAT(events, ElementsAre("up", "out /eos/user/0/key/blind", "established"));
}

TEST_F(EosClient, CommandLinesAreTrimmedSentAndLogged) {
    SlipOSCTestServer server;
    connectTo(server);
    client->sendCommandLine("  $ Cue 1 / 12.5 Time 3 #\n");
    client->sendCommandLine(" \t ");
    client->sendAddress(" /eos/get/cue/1/12.5 ");
    client->enterCue(2, " 4 ");
    client->setCueLabel(2, "4", "Song #2");
    client->setCueTime(2, "4", "");
    ASSERT_TRUE(waitFor([&] { return server.messages().size() == 5; }));
    EXPECT_THAT(server.messageTexts(),
                ElementsAre("/eos/user/0/key/blind", "/eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                            "/eos/get/cue/1/12.5", "/eos/user/0/newcmd|$ Cue 2 / 4 Enter #",
                            "/eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #"));
    EXPECT_THAT(outgoing, ElementsAre("/eos/user/0/key/blind|(no values)",
                                      "/eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                                      "/eos/get/cue/1/12.5|(no values)", "/eos/user/0/newcmd|$ Cue 2 / 4 Enter #",
                                      "/eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #"));
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(EosClient, BlankSendsStartNoConnection) {
    SlipOSCTestServer server;
    client->configure("127.0.0.1", server.port(), false);
    client->sendCommandLine("   ");
    client->sendAddress("\n");
    queue->runFor(200ms);
    EXPECT_EQ(server.connectionCount(), 0);
    EXPECT_THAT(events, IsEmpty());
}

TEST_F(EosClient, ReconnectsOnlyWhenTheEndpointChanged) {
    SlipOSCTestServer first;
    SlipOSCTestServer second;
    connectTo(first);
    client->configure(" 127.0.0.1 ", first.port(), true);
    queue->runFor(200ms);
    EXPECT_EQ(first.connectionCount(), 1);
    EXPECT_TRUE(client->isConnected());

    states.clear();
    client->configure("127.0.0.1", second.port(), true);
    EXPECT_THAT(states, ElementsAre(false));
    ASSERT_TRUE(waitFor([&] { return client->isConnected() && second.connectionCount() == 1; }));
    client->sendCommandLine("Go");
    ASSERT_TRUE(waitFor([&] { return second.commandLines().size() == 1; }));
    EXPECT_THAT(second.commandLines(), ElementsAre("Go"));
    EXPECT_THAT(first.commandLines(), IsEmpty());
}

TEST_F(EosClient, ChangedEndpointWithoutReconnectWaitsForTheNextAttempt) {
    SlipOSCTestServer first;
    SlipOSCTestServer second;
    connectTo(first);
    client->configure("127.0.0.1", second.port(), false);
    queue->runFor(200ms);
    EXPECT_EQ(second.connectionCount(), 0);
    EXPECT_TRUE(client->isConnected());
}

TEST_F(EosClient, CueRepliesFromTheConsoleArriveOnTheMainQueue) {
    SlipOSCTestServer server;
    connectTo(server);
    server.sendToNewest(OSCMessage("/eos/out/get/cue/1/5", {OSCValue("Intro"), OSCValue(std::int32_t{3})}));
    server.sendToNewest(OSCMessage("/eos/out/active/cue", {OSCValue("x")}));
    server.sendToNewest(OSCMessage("/eos/out/get/cue/2/6"));
    ASSERT_TRUE(waitFor([this] { return incoming.size() == 2; }));
    EXPECT_EQ(incoming[0].cueNumber, "5");
    EXPECT_EQ(incoming[0].valuesText, "Intro, 3");
    EXPECT_EQ(incoming[1].cueList, 2);
}

TEST_F(EosClient, LostConnectionIsReportedAndTheNextSendReconnects) {
    SlipOSCTestServer server;
    connectTo(server);
    server.dropConnections();
    ASSERT_TRUE(waitFor([this] { return !client->isConnected(); }));
    EXPECT_THAT(states, ElementsAre(true, false));

    client->sendCommandLine("lost");
    ASSERT_TRUE(waitFor([&] { return client->isConnected(); }));
    client->sendCommandLine("delivered");
    ASSERT_TRUE(waitFor([&] { return server.commandLines().size() == 1; }));
    EXPECT_THAT(server.commandLines(), ElementsAre("delivered"));
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(EosClient, RefusedConnectionReportsDown) {
    std::uint16_t closedPort = 0;
    {
        asio::io_context io;
        asio::ip::tcp::acceptor probe(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
        closedPort = probe.local_endpoint().port();
    }
    client->configure("127.0.0.1", closedPort, false);
    client->connect();
    ASSERT_TRUE(waitFor([this] { return !states.empty(); }));
    EXPECT_THAT(states, ElementsAre(false));
    EXPECT_FALSE(client->isConnected());
}

TEST_F(EosClient, DisconnectReportsDownAtOnce) {
    SlipOSCTestServer server;
    connectTo(server);
    client->disconnect();
    EXPECT_FALSE(client->isConnected());
    EXPECT_THAT(states, ElementsAre(true, false));
    queue->runFor(200ms);
    EXPECT_THAT(states, ElementsAre(true, false));
}

TEST_F(EosClient, DestroyedClientHearsNothingMore) {
    SlipOSCTestServer server;
    client->configure("127.0.0.1", server.port(), false);
    client->connect();
    client.reset();
    queue->runFor(300ms);
    EXPECT_THAT(events, IsEmpty());
}

}  // namespace
}  // namespace lanternwick
