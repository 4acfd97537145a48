#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "osc/tcp/OSCTCPClient.h"
#include "osc/tcp/OSCTCPFraming.h"
#include "tools/RunningSimulator.h"

namespace lanternwick::sim {
namespace {

using namespace std::chrono_literals;

// The project's own client, as Lanternwick uses it, collecting what arrives.
class Client {
public:
    explicit Client(std::uint16_t port)
        : client_(OSCTCPClient::create("127.0.0.1", port, std::nullopt, OSCTimeTagMode::ignore,
                                       OSCTCPFramingMode::osc1_1)) {
        client_->setReceiveHandler([this](const OSCMessage& message, const OSCTimeTag&, const std::string&,
                                          std::uint16_t) {
            std::lock_guard lock(mutex_);
            received_.push_back(message);
            changed_.notify_all();
        });
        client_->setNotificationHandler([this](const OSCTCPClient::Notification& notification) {
            std::lock_guard lock(mutex_);
            connected_ = notification.kind == OSCTCPClient::Notification::Kind::connected;
            changed_.notify_all();
        });
        EXPECT_TRUE(client_->connect(5).ok());
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, 5s, [this] { return connected_; }));
    }

    void send(const OSCMessage& message) { EXPECT_TRUE(client_->send(message).ok()); }
    void command(std::string_view line) { send(OSCMessage("/eos/user/0/newcmd", {OSCValue(line)})); }

    std::optional<OSCMessage> nextReply(std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !received_.empty(); })) return std::nullopt;
        OSCMessage message = received_.front();
        received_.pop_front();
        return message;
    }

private:
    std::shared_ptr<OSCTCPClient> client_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<OSCMessage> received_;
    bool connected_ = false;
};

OSCBytes framed(const OSCMessage& message) { return slipEncode(OSCByteView(*message.rawData())); }

TEST(SimulatorLoopback, CommandsAndQueriesThroughTheProjectsClient) {
    RunningSimulator simulator;
    Client client(simulator.port());
    client.send(OSCMessage("/eos/user/0/key/blind"));
    client.command("$ Cue 1 / 12 Enter #");
    client.command("$ Cue 1 / 12 Label Intro #");
    client.command("$ Cue 1 / 12 Time 3 #");
    client.command("$ Cue 1 / 12 Timecode 00:00:10:00 #");
    client.send(OSCMessage("/eos/get/cue/1/12"));
    client.send(OSCMessage("/eos/get/cue/1/13"));

    const auto reply = client.nextReply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, OSCMessage("/eos/out/get/cue/1/12", {OSCValue("Intro"), OSCValue(std::int32_t{1}),
                                                           OSCValue("3"), OSCValue("00:00:10:00")}));
    const auto none = client.nextReply();
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(*none, OSCMessage("/eos/out/get/cue/1/13"));
    EXPECT_NE(simulator.output().find("{\"event\":\"key\",\"key\":\"blind\"}"), std::string::npos);
}

TEST(SimulatorLoopback, SplitRepliesStillArriveWhole) {
    RunningSimulator simulator(true);
    Client client(simulator.port());
    client.command("Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #");
    for (int i = 0; i < 3; ++i) client.send(OSCMessage("/eos/get/cue/2/7"));
    for (int i = 0; i < 3; ++i) {
        const auto reply = client.nextReply();
        ASSERT_TRUE(reply.has_value()) << i;
        EXPECT_EQ(reply->stringArgument(0), "Intro");
        EXPECT_EQ(reply->int32Argument(1), 2);
    }
}

TEST(SimulatorLoopback, SurvivesGarbageSplitFramesAndVanishingClients) {
    RunningSimulator simulator;
    asio::io_context io;
    {
        asio::ip::tcp::socket raw(io);
        raw.connect({asio::ip::make_address("127.0.0.1"), simulator.port()});
        const OSCBytes garbage = {0xC0, 'x', 'y', 0xC0, 0xDB, 0x41, 0xC0, 0x00, 0x01, 0xC0};
        asio::write(raw, asio::buffer(garbage));
        // One command cut into three writes, across which the frame must be reassembled.
        const OSCBytes bytes = framed(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 5 / 1 Label Split #")}));
        const std::size_t third = bytes.size() / 3;
        asio::write(raw, asio::buffer(bytes.data(), third));
        std::this_thread::sleep_for(20ms);
        asio::write(raw, asio::buffer(bytes.data() + third, third));
        std::this_thread::sleep_for(20ms);
        asio::write(raw, asio::buffer(bytes.data() + 2 * third, bytes.size() - 2 * third));
        ASSERT_TRUE(simulator.waitFor([](RunningSimulator& s) { return s.cue(5, "1").has_value(); }));
        EXPECT_EQ(simulator.cue(5, "1")->label, "Split");
        // Leave in the middle of a frame.
        asio::write(raw, asio::buffer(bytes.data(), third));
    }
    ASSERT_TRUE(simulator.waitFor(
        [](RunningSimulator& s) { return s.output().find("\"event\":\"disconnected\"") != std::string::npos; }));
    const std::string output = simulator.output();
    EXPECT_NE(output.find("\"event\":\"dropped\""), std::string::npos);

    // Two clients at once, each getting its own answers.
    Client first(simulator.port());
    Client second(simulator.port());
    first.command("$ Cue 5 / 2 Label First #");
    second.command("$ Cue 5 / 3 Label Second #");
    ASSERT_TRUE(simulator.waitFor([](RunningSimulator& s) { return s.cue(5, "3").has_value(); }));
    ASSERT_TRUE(simulator.waitFor([](RunningSimulator& s) { return s.cue(5, "2").has_value(); }));
    second.send(OSCMessage("/eos/get/cue/5/2"));
    const auto reply = second.nextReply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->stringArgument(0), "First");
    EXPECT_FALSE(first.nextReply(100ms).has_value());
}

}  // namespace
}  // namespace lanternwick::sim
