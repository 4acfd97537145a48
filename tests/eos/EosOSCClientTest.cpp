#include "eos/EosOSCClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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

TEST(RetryDelay, DoublesFromHalfASecondAndStopsAtFive) {
    const std::pair<unsigned, MainQueue::Duration> table[] = {
        {0, 500ms}, {1, 1s}, {2, 2s}, {3, 4s}, {4, 5s}, {5, 5s}, {64, 5s}, {~0U, 5s}};
    for (const auto& [failures, delay] : table) EXPECT_EQ(retryDelay(failures), delay) << failures;
}

TEST(PingAnswerTimeout, GrowsWithTheLinesTheConsoleMustReadFirst) {
    const std::pair<std::uint64_t, MainQueue::Duration> table[] = {
        {0, 5s}, {7, 5s}, {9, 5001ms}, {8192, 6s}, {190'000, 28193ms}, {std::uint64_t{4} << 20, 517s}};
    for (const auto& [bytes, timeout] : table) EXPECT_EQ(pingAnswerTimeout(bytes), timeout) << bytes;
}

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

// A peer that accepts one connection and reads it, answering SLIP-framed
// pings while `answering` is set: a console that goes quiet, or none at all.
class QuietPeer {
public:
    explicit QuietPeer(bool answers) : answering(answers) {
        thread_ = std::thread([this] {
            testing::Peer peer = listener_.accept(10s);
            std::string seen;
            while (!stop_ && peer.valid()) {
                if (!peer.readable(20ms)) continue;
                const auto bytes = peer.receive(4096, 20ms);
                if (bytes.empty()) break;
                seen.append(bytes.begin(), bytes.end());
                // "/eos/ping" padded, ",i" padded, then the int32.
                static const std::string ping("/eos/ping\0\0\0,i\0\0", 16);
                for (std::size_t at; (at = seen.find(ping)) != std::string::npos && seen.size() >= at + 20;) {
                    if (answering) {
                        std::string answer("\xc0/eos/out/ping\0\0\0,i\0\0", 21);
                        answer += seen.substr(at + 16, 4) + "\xc0";
                        peer.send(answer);
                    }
                    seen.erase(0, at + 20);
                }
            }
        });
    }
    ~QuietPeer() {
        stop_ = true;
        thread_.join();
    }
    std::uint16_t port() const { return listener_.port(); }

    std::atomic<bool> answering;

private:
    testing::LoopbackListener listener_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// The client on a run-loop main queue; every callback lands in `events` as
// "up", "down", "established" or "out address|values", and every outcome in
// `outcomes`.
class EosClient : public ::testing::Test {
protected:
    EosClient() {
        client->setCallbacks({
            .onIncomingCueMessage = [this](const IncomingOSCMessage& m) { incoming.push_back(m); },
            .onOutgoingMessage = [this](const OutgoingOSCMessage& m) { events.push_back("out " + m.address + "|" + m.valuesText); },
            .onConnectionEstablished = [this] { events.push_back("established"); },
            .onConnectionStateChanged = [this](bool up) { events.push_back(up ? "up" : "down"); },
            .onOutcome = [this](const SyncOutcome& o) { outcomes.push_back(o.detail); },
            .onLinkStatusChanged = [this](const LinkStatus& s) { status = s; },
        });
    }

    bool waitFor(const std::function<bool()>& condition, MainQueue::Duration timeout = 10s) {
        return queue->runUntil(condition, timeout);
    }

    void connectTo(LoopbackConsole& console) {
        const auto before = console.connections();
        client->configure("127.0.0.1", console.port(), false);
        client->connect();
        ASSERT_TRUE(waitFor([&] { return client->isConnected() && console.connections() > before; }));
        events.clear();
        outcomes.clear();
    }

    std::size_t confirmedLines() const {
        std::size_t lines = 0;
        for (const auto& o : outcomes) {
            if (const auto* c = std::get_if<DeliveryConfirmed>(&o)) lines += c->lines;
        }
        return lines;
    }
    std::vector<std::string> fates(LineFate fate) const {
        std::vector<std::string> texts;
        for (const auto& o : outcomes) {
            if (const auto* l = std::get_if<LineOutcome>(&o); l && l->fate == fate) texts.push_back(l->text);
        }
        return texts;
    }

    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>();
    std::shared_ptr<EosOSCClient> client = EosOSCClient::create(queue);
    std::vector<IncomingOSCMessage> incoming;
    std::vector<std::string> events;
    std::vector<SyncOutcome::Detail> outcomes;
    LinkStatus status;
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
    EXPECT_THAT(fates(LineFate::waiting), ElementsAre("$ Cue 1 / 1 Enter #")) << "nothing was ever connected";
    // The key press goes first, then the console's answer makes the link
    // connected, then the line held meanwhile, before the owner hears of it.
    ASSERT_TRUE(waitFor([&] { return console.received().size() == 2 && confirmedLines() == 2; }));
    EXPECT_THAT(events, ElementsAre("out /eos/user/0/key/blind|(no values)", "up",
                                    "out /eos/user/0/newcmd|$ Cue 1 / 1 Enter #", "established"));

    events.clear();
    client->sendCommandLine("  $ Cue 1 / 12.5 Time 3 #\n");
    client->sendCommandLine(" \t ");
    client->enterCue(2, " 4 ");
    client->setCueLabel(2, "4", "Song #2");
    client->setCueTime(2, "4", "");
    client->sendAddress(" /eos/get/cue/2/4 ");
    ASSERT_TRUE(waitFor([&] { return !incoming.empty() && confirmedLines() == 6; }));
    EXPECT_THAT(console.received(),
                ElementsAre("/eos/user/0/key/blind", "/eos/user/0/newcmd|$ Cue 1 / 1 Enter #",
                            "/eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                            "/eos/user/0/newcmd|$ Cue 2 / 4 Enter #", "/eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #",
                            "/eos/get/cue/2/4"));
    EXPECT_THAT(events, ElementsAre("out /eos/user/0/newcmd|$ Cue 1 / 12.5 Time 3 #",
                                    "out /eos/user/0/newcmd|$ Cue 2 / 4 Enter #",
                                    "out /eos/user/0/newcmd|$ Cue 2 / 4 Label Song 2 #",
                                    "out /eos/get/cue/2/4|(no values)"))
        << "pings and their answers are never logged";
    EXPECT_EQ(incoming[0].cueList, 2);
    EXPECT_EQ(incoming[0].cueNumber, "4");
    EXPECT_EQ(incoming[0].address, "/eos/out/get/cue/2/4/0/list/0/30");
    EXPECT_EQ(incoming[0].label, "Song 2");
    EXPECT_EQ(incoming[0].upTimeMs, 0);
    EXPECT_EQ(console.connections(), 1U);
    EXPECT_EQ(client->unconfirmedLineCount(), 0U);
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

// A listener that is no console: TCP comes up, but it never answers. Lines
// stay held and nothing is confirmed; after five seconds the link says what
// to check and tries again later.
TEST_F(EosClient, APeerThatNeverAnswersIsNoAnswerAndGetsOnlyTheBlindKey) {
    QuietPeer peer(false);
    client->configure("127.0.0.1", peer.port(), false);
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(waitFor([&] { return client->phase() == LinkPhase::awaitingAnswer; }));
    EXPECT_EQ(status.state, LinkState::connecting) << "TCP up is not a console";
    ASSERT_TRUE(waitFor([&] { return status.state == LinkState::noAnswer; }, 8s));
    EXPECT_EQ(status.reason, "no answer from Eos on 127.0.0.1:" + std::to_string(peer.port()) +
                                 ": is this the console's OSC TCP port, and is its OSC TCP mode the framing Lanternwick uses?");
    EXPECT_EQ(client->phase(), LinkPhase::waitingToRetry);
    EXPECT_EQ(client->heldLineCount(), 1U);
    EXPECT_THAT(events, ElementsAre("out /eos/user/0/key/blind|(no values)", "down"));
    EXPECT_EQ(confirmedLines(), 0U);
    EXPECT_TRUE(fates(LineFate::sent).size() == 1 && fates(LineFate::sent)[0].empty()) << "only the blind key went";
}

// A console that reads but has stopped answering (hung, or its host gone
// with the connection still open here): the link ends five seconds after a
// ping went unanswered, and what was sent since the last answer is held again.
TEST_F(EosClient, AConsoleThatStopsAnsweringEndsTheLinkAndItsUnconfirmedLinesAreHeldAgain) {
    QuietPeer peer(true);
    client->configure("127.0.0.1", peer.port(), false);
    client->connect();
    ASSERT_TRUE(waitFor([&] { return client->isConnected(); }));
    client->sendCommandLine("$ Cue 1 / 1 Enter #");
    ASSERT_TRUE(waitFor([&] { return confirmedLines() == 2; }));
    peer.answering = false;
    client->sendCommandLine("$ Cue 1 / 2 Enter #");
    client->sendCommandLine("$ Cue 1 / 2 Time 3 #");
    client->sendCommandLine("$ Cue 1 / 2 Time 4 #");
    ASSERT_TRUE(waitFor([&] { return !client->isConnected(); }, 8s));
    EXPECT_EQ(status.reason, "the console stopped answering");
    EXPECT_EQ(confirmedLines(), 2U) << "nothing it did not answer for is confirmed";
    EXPECT_THAT(fates(LineFate::held), ElementsAre("$ Cue 1 / 2 Enter #", "$ Cue 1 / 2 Time 3 #", "$ Cue 1 / 2 Time 4 #"));
    EXPECT_THAT(fates(LineFate::replaced), ElementsAre("$ Cue 1 / 2 Time 3 #"))
        << "held again under the held-line rules";
    EXPECT_EQ(client->heldLineCount(), 2U);
}

// A console that accepts and closes while it starts: every connection
// presses Blind, but no held line goes out on one the console never answered on.
TEST_F(EosClient, AConsoleThatAcceptsAndClosesSwallowsNoHeldLine) {
    const testing::LoopbackListener listener;
    std::atomic<int> accepted = 0;
    std::atomic<bool> stop = false;
    std::thread server([&] {
        while (!stop) accepted += listener.accept(20ms).valid();  // and closed at once
    });
    client->configure("127.0.0.1", listener.port(), false);
    for (int line = 0; line < 4; ++line) client->sendCommandLine("$ Cue 1 / " + std::to_string(line + 1) + " Enter #");
    ASSERT_TRUE(waitFor([&] { return accepted >= 2 && client->phase() == LinkPhase::waitingToRetry; }));
    stop = true;
    server.join();
    EXPECT_EQ(client->heldLineCount(), 4U);
    EXPECT_EQ(confirmedLines(), 0U);
    for (const auto& text : fates(LineFate::sent)) EXPECT_EQ(text, "") << "only blind key presses";
    // What a console set to the other framing does with our first packet.
    EXPECT_EQ(status.state, LinkState::noAnswer);
    EXPECT_THAT(status.reason, ::testing::EndsWith("is its OSC TCP mode the framing Lanternwick uses?"));
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
    std::vector<std::string> reasons;
    for (const auto& o : outcomes) {
        if (const auto* c = std::get_if<ConnectionChange>(&o); c && c->status.state == LinkState::notConnected) {
            reasons.push_back(c->status.reason);
        }
    }
    EXPECT_THAT(reasons, ElementsAre("Connection refused; the console listens on 3032 unless another port was added "
                                     "in its Show Control setup",
                                     "Connection refused"))
        << "the port hint is said once";
    LoopbackConsole console;
    client->configure("127.0.0.1", console.port(), true);
    EXPECT_TRUE(queue->runUntil([&] { return client->isConnected(); }, 500ms));
}

// A line the write queue can never take is skipped with its size, and the
// lines behind it are not kept waiting.
TEST_F(EosClient, ALineLargerThanTheWriteQueueIsSkippedAndTheRestGoesOn) {
    LoopbackConsole console;
    connectTo(console);
    client->setCueLabel(1, "1", std::string(5'000'000, 'x'));
    client->sendCommandLine("$ Cue 1 / 2 Enter #");
    ASSERT_TRUE(waitFor([&] { return console.commandLines().size() == 1 && confirmedLines() == 1; }));
    ASSERT_EQ(outcomes.size(), 3U) << "skipped, sent, confirmed";
    const auto& skipped = std::get<LineOutcome>(outcomes[0]);
    EXPECT_EQ(skipped.fate, LineFate::skipped);
    EXPECT_EQ(skipped.reason, "5000050 bytes, more than the 4194304 bytes the connection can queue");
    EXPECT_LT(skipped.text.size(), 5000U) << "the record keeps a bounded text";
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
