#include <chrono>
#include <thread>

#include <asio.hpp>
#include <gtest/gtest.h>

#include "common/LoopbackConsole.h"
#include "console-sim/SlipFrameReader.h"
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

    // The first message the console sends within the timeout.
    std::optional<OSCMessage> nextReply(std::chrono::milliseconds timeout = 5s) {
        OSCBytes received;
        for (const auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(5ms)) {
            const std::size_t had = received.size();
            received.resize(had + socket_.available());
            socket_.read_some(asio::buffer(received.data() + had, received.size() - had));
            const auto packets = slipDecode(received);
            if (received.size() > 1 && received.back() == slip::END && packets && !packets->empty()) {
                if (auto message = OSCMessage::decode(OSCByteView(packets->front()))) return *message;
            }
        }
        return std::nullopt;
    }

private:
    asio::io_context io_;
    asio::ip::tcp::socket socket_{io_};
};

TEST(SimulatorLoopback, SurvivesGarbageSplitFramesAndVanishingClients) {
    testing::LoopbackConsole console;
    {
        RawClient raw(console.port());
        raw.write({0xC0, 'x', 'y', 0xC0, 0xDB, 0x41, 0xC0, 0x00, 0x01, 0xC0});
        // One command in two writes, across which the connection keeps the frame.
        const OSCBytes bytes = RawClient::framed(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 5 / 1 Label Split #")}));
        const OSCBytes head(bytes.begin(), bytes.begin() + 9);
        raw.write(head);
        std::this_thread::sleep_for(20ms);
        raw.write(OSCBytes(bytes.begin() + 9, bytes.end()));
        ASSERT_TRUE(console.waitFor([&] { return console.cue(5, "1").has_value(); }));
        EXPECT_EQ(console.cue(5, "1")->label, "Split");
        // Leave in the middle of a frame.
        raw.write(head);
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

TEST(SlipFrameReader, SameFramesHoweverTheStreamIsSplit) {
    const OSCBytes stream = {0xC0, 0x01, 0xDB, 0xDC, 0x02, 0xC0, 0xC0, 0xC0, 0x03, 0xC0, 0x04, 0x05, 0xC0};
    const std::vector<OSCBytes> frames = {{0x01, 0xDB, 0xDC, 0x02}, {0x03}, {0x04, 0x05}};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        sim::SlipFrameReader reader;
        std::vector<OSCBytes> got = reader.feed(OSCByteView(stream.data(), cut));
        if (cut > 0 && cut < 5) {
            EXPECT_EQ(reader.pendingSize(), cut - 1) << "an unfinished frame waits for its end";
        }
        for (OSCBytes& frame : reader.feed(OSCByteView(stream.data() + cut, stream.size() - cut))) {
            got.push_back(std::move(frame));
        }
        EXPECT_EQ(got, frames) << "cut at " << cut;
        EXPECT_EQ(reader.pendingSize(), 0u);
    }
}

TEST(SlipFrameReader, OversizedFrameIsDroppedAndTheNextOneReadsFine) {
    sim::SlipFrameReader reader(4);
    EXPECT_TRUE(reader.feed(OSCBytes{0xC0, 1, 2, 3}).empty());
    EXPECT_TRUE(reader.feed(OSCBytes{4, 5, 6, 7, 8}).empty());
    EXPECT_EQ(reader.pendingSize(), 0u) << "a frame without END must not grow the buffer";
    EXPECT_EQ(reader.feed(OSCBytes{9, 0xC0, 0x0A, 0xC0}), (std::vector<OSCBytes>{{0x0A}}));
    EXPECT_EQ(reader.droppedFrames(), 1u);
    EXPECT_EQ(reader.feed(OSCBytes{1, 2, 3, 4, 0xC0}), (std::vector<OSCBytes>{{1, 2, 3, 4}}));
}

}  // namespace
}  // namespace lanternwick
