#include <chrono>
#include <functional>
#include <thread>
#include <utility>

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
    explicit RawClient(std::uint16_t port, OSCTCPFramingMode framing = OSCTCPFramingMode::osc1_1) : framing_(framing) {
        socket_.connect({asio::ip::make_address("127.0.0.1"), port});
    }

    void write(const OSCBytes& bytes) { asio::write(socket_, asio::buffer(bytes)); }
    OSCBytes framed(const OSCMessage& message) const {
        const OSCBytes bytes = *message.rawData();
        return framing_ == OSCTCPFramingMode::osc1_1 ? slipEncode(bytes) : *lengthHeaderEncode(bytes);
    }

    // Whatever arrives within the timeout, until `enough` says it is all.
    OSCBytes read(const std::function<bool(const OSCBytes&)>& enough, std::chrono::milliseconds timeout = 5s) {
        for (const auto deadline = std::chrono::steady_clock::now() + timeout;
             !enough(received_) && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
            std::error_code error;
            const std::size_t had = received_.size();
            received_.resize(had + std::max<std::size_t>(socket_.available(error), 1));
            socket_.non_blocking(true);
            const std::size_t got = socket_.read_some(asio::buffer(received_.data() + had, received_.size() - had), error);
            received_.resize(had + (error ? 0 : got));
            if (error == asio::error::eof) closed_ = true;
            if (closed_) break;
        }
        return std::exchange(received_, {});
    }
    OSCBytes readBytes(std::size_t count) {
        return read([count](const OSCBytes& bytes) { return bytes.size() >= count; });
    }
    // The first message the console sends within the timeout.
    std::optional<OSCMessage> nextReply(std::chrono::milliseconds timeout = 5s) {
        const OSCBytes bytes = read(
            [this](const OSCBytes& got) {
                return framing_ == OSCTCPFramingMode::osc1_1 ? got.size() > 1 && got.back() == slip::END
                                                              : lengthHeaderDecode(got).ok() && !got.empty();
            },
            timeout);
        std::vector<OSCBytes> packets;
        if (framing_ == OSCTCPFramingMode::osc1_1) {
            if (auto decoded = slipDecode(bytes)) packets = std::move(*decoded);
        } else if (auto decoded = lengthHeaderDecode(bytes)) {
            packets = std::move(*decoded);
        }
        if (packets.empty()) return std::nullopt;
        if (auto message = OSCMessage::decode(OSCByteView(packets.front()))) return *message;
        return std::nullopt;
    }
    bool closedByPeer() {
        read([](const OSCBytes&) { return false; }, 2s);
        return closed_;
    }

private:
    OSCTCPFramingMode framing_;
    asio::io_context io_;
    asio::ip::tcp::socket socket_{io_};
    OSCBytes received_;
    bool closed_ = false;
};

TEST(SimulatorLoopback, ClosesOnUnreadableBytesAndServesEveryoneElse) {
    for (const auto framing : allOSCTCPFramingModes) {
        testing::LoopbackConsole console(false, framing);
        const bool slip = framing == OSCTCPFramingMode::osc1_1;
        const OSCBytes readable = RawClient(console.port(), framing).framed(OSCMessage("/x"));
        const struct {
            OSCBytes bytes;
            bool closes;
        } cases[] = {
            {slip ? OSCBytes{0xC0, 0xDB, 0x41, 0xC0} : OSCBytes{0x01, 0x00, 0x00, 0x00, 0x00}, true},
            {slip ? OSCBytes{0xC0, 'n', 'o', 0xC0} : OSCBytes{0, 0, 0, 2, 'n', 'o'}, true},
            {readable, false},
        };
        for (const auto& c : cases) {
            RawClient raw(console.port(), framing);
            raw.write(c.bytes);
            EXPECT_EQ(raw.closedByPeer(), c.closes) << console.output();
        }
        EXPECT_NE(console.output().find("connection closed"), std::string::npos);

        RawClient raw(console.port(), framing);
        // One command in two writes, across which the connection keeps the frame.
        const OSCBytes bytes = raw.framed(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 5 / 1 Label Split #")}));
        raw.write(OSCBytes(bytes.begin(), bytes.begin() + 9));
        std::this_thread::sleep_for(20ms);
        raw.write(OSCBytes(bytes.begin() + 9, bytes.end()));
        ASSERT_TRUE(console.waitFor([&] { return console.cue(5, "1").has_value(); }));

        // Two clients at once, each getting its own answers.
        RawClient second(console.port(), framing);
        second.write(second.framed(OSCMessage("/eos/get/cue/5/1")));
        const auto reply = second.nextReply();
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->address(), "/eos/out/get/cue/5/1/0/list/0/30");
        EXPECT_EQ(reply->values()[2], OSCValue("Split"));
        EXPECT_FALSE(raw.nextReply(100ms).has_value());
    }
}

// OSC pieces written out by hand: a string with its NULs up to a multiple of
// four, an int32 big-endian.
OSCBytes str(std::string_view text) {
    OSCBytes bytes(text.begin(), text.end());
    bytes.resize((text.size() / 4 + 1) * 4, 0);
    return bytes;
}
OSCBytes i32(std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}
OSCBytes join(std::initializer_list<OSCBytes> pieces) {
    OSCBytes all;
    for (const OSCBytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}
OSCBytes framedByHand(const OSCBytes& packet, OSCTCPFramingMode framing) {
    if (framing == OSCTCPFramingMode::osc1_0) return join({i32(static_cast<std::int32_t>(packet.size())), packet});
    return join({{0xC0}, packet, {0xC0}});  // none of these packets holds 0xC0 or 0xDB
}

// A ping, the console's answer, and the documented reply to a cue query, byte
// for byte on the wire, in each framing.
TEST(SimulatorLoopback, GoldenBytesOfAPingItsAnswerAndACueReply) {
    const OSCBytes ping = join({str("/eos/ping"), str(",s"), str("lw")});
    const OSCBytes answer = join({str("/eos/out/ping"), str(",s"), str("lw")});
    const OSCBytes query = join({str("/eos/get/cue/1/5"), str(",")});
    // index, UID, label, up 3 s, up delay, down 3 s, down delay, six category
    // times not set, preheat, curve, rate, mark, block, assert, link, follow,
    // hang, all fade, loop, solo, timecode, part count, notes, scene, scene end.
    const OSCBytes reply = join({str("/eos/out/get/cue/1/5/0/list/0/30"), str(",issiiiiiiiiiiFiissssiiFiFsissF"),
                                 i32(0), str("sim-1-5"), str("Intro"), i32(3000), i32(0), i32(3000), i32(0),
                                 i32(-1), i32(-1), i32(-1), i32(-1), i32(-1), i32(-1), i32(0), i32(100), str(""),
                                 str(""), str(""), str(""), i32(-1), i32(-1), i32(0), str("00:00:10:00"), i32(0),
                                 str(""), str("")});
    EXPECT_EQ(*OSCMessage("/eos/ping", {OSCValue("lw")}).rawData(), ping) << "our own ping";
    for (const auto framing : allOSCTCPFramingModes) {
        testing::LoopbackConsole console(false, framing);
        console.type("Cue 1 / 5 Time 3 Timecode 00:00:10:00 Label Intro #");
        RawClient raw(console.port(), framing);
        raw.write(framedByHand(ping, framing));
        const OSCBytes expectedAnswer = framedByHand(answer, framing);
        EXPECT_EQ(raw.readBytes(expectedAnswer.size()), expectedAnswer);
        raw.write(framedByHand(query, framing));
        const OSCBytes expectedReply = framedByHand(reply, framing);
        EXPECT_EQ(raw.readBytes(expectedReply.size()), expectedReply);
    }
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
