#include <algorithm>
#include <chrono>
#include <thread>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

// A bare socket to the console, writing whatever bytes a test wants.
class RawClient {
public:
    explicit RawClient(std::uint16_t port) { socket_.connect({asio::ip::make_address("127.0.0.1"), port}); }

    void write(const OSCBytes& bytes) { asio::write(socket_, asio::buffer(bytes)); }
    static OSCBytes framed(const OSCMessage& message) { return slipEncode(*message.rawData()); }

    // The next whole message the console sent, if one arrives in time.
    std::optional<OSCMessage> nextReply(std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto end = std::find(pending_.begin(), pending_.end(), slip::END);
            if (end != pending_.end() && end != pending_.begin()) {
                const auto packets = slipDecode(OSCBytes(pending_.begin(), end + 1));
                pending_.erase(pending_.begin(), end + 1);
                if (packets && !packets->empty()) {
                    if (auto message = OSCMessage::decode(OSCByteView(packets->front()))) return *message;
                }
            } else if (end == pending_.begin() && end != pending_.end()) {
                pending_.erase(end);
            } else if (const auto available = socket_.available()) {
                std::vector<std::uint8_t> chunk(available);
                socket_.read_some(asio::buffer(chunk));
                pending_.insert(pending_.end(), chunk.begin(), chunk.end());
            } else {
                std::this_thread::sleep_for(5ms);
            }
        }
        return std::nullopt;
    }

private:
    asio::io_context io_;
    asio::ip::tcp::socket socket_{io_};
    OSCBytes pending_;
};

TEST(SimulatorLoopback, SurvivesGarbageSplitFramesAndVanishingClients) {
    testing::LoopbackConsole console;
    {
        RawClient raw(console.port());
        raw.write({0xC0, 'x', 'y', 0xC0, 0xDB, 0x41, 0xC0, 0x00, 0x01, 0xC0});
        // One command cut into three writes, across which the frame must be reassembled.
        const OSCBytes bytes = RawClient::framed(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 5 / 1 Label Split #")}));
        const auto third = static_cast<std::ptrdiff_t>(bytes.size() / 3);
        raw.write(OSCBytes(bytes.begin(), bytes.begin() + third));
        std::this_thread::sleep_for(20ms);
        raw.write(OSCBytes(bytes.begin() + third, bytes.begin() + 2 * third));
        std::this_thread::sleep_for(20ms);
        raw.write(OSCBytes(bytes.begin() + 2 * third, bytes.end()));
        ASSERT_TRUE(console.waitFor([&] { return console.cue(5, "1").has_value(); }));
        EXPECT_EQ(console.cue(5, "1")->label, "Split");
        // Leave in the middle of a frame.
        raw.write(OSCBytes(bytes.begin(), bytes.begin() + third));
    }
    ASSERT_TRUE(console.waitFor([&] { return console.output().find("\"event\":\"disconnected\"") != std::string::npos; }));
    EXPECT_NE(console.output().find("\"event\":\"dropped\""), std::string::npos);

    // Two clients at once, each getting its own answers.
    RawClient first(console.port());
    RawClient second(console.port());
    first.write(RawClient::framed(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 5 / 2 Label First #")})));
    ASSERT_TRUE(console.waitFor([&] { return console.cue(5, "2").has_value(); }));
    second.write(RawClient::framed(OSCMessage("/eos/get/cue/5/2")));
    EXPECT_EQ(second.nextReply(), OSCMessage("/eos/out/get/cue/5/2", {OSCValue("First"), OSCValue(std::int32_t{5}),
                                                                      OSCValue(""), OSCValue("")}));
    EXPECT_FALSE(first.nextReply(100ms).has_value());
}

}  // namespace
}  // namespace lanternwick
