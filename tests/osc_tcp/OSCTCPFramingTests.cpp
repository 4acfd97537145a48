#include <gtest/gtest.h>

#include <random>

#include "osc/OSCMessage.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {
namespace {

std::vector<OSCBytes> slipPackets(const OSCBytes& chunk) {
    auto decoded = slipDecode(chunk);
    EXPECT_TRUE(decoded.ok());
    return decoded.ok() ? decoded.value() : std::vector<OSCBytes>{};
}

OSCTCPSLIPDecodingError::Kind slipError(const OSCBytes& chunk) {
    auto decoded = slipDecode(chunk);
    EXPECT_FALSE(decoded.ok());
    return decoded.ok() ? OSCTCPSLIPDecodingError::Kind{} : decoded.error().kind;
}

TEST(SlipFraming, EscapesEndAndEscapeBytes) {
    const OSCBytes packet{0x01, 0xC0, 0xDB, 0x02};
    const OSCBytes framed{0xC0, 0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0x02, 0xC0};
    EXPECT_EQ(slipEncode(packet), framed);
    EXPECT_EQ(slipPackets(framed), std::vector<OSCBytes>{packet});
    EXPECT_EQ(slipEncode(OSCBytes{}), (OSCBytes{0xC0, 0xC0}));
    // A lone ESC_END or ESC_ESC byte is ordinary data.
    EXPECT_EQ(slipEncode(OSCBytes{0xDC, 0xDD}), (OSCBytes{0xC0, 0xDC, 0xDD, 0xC0}));
}

TEST(SlipFraming, DecodesSeveralFramesAndSkipsEmptyOnes) {
    EXPECT_EQ(slipPackets({0xC0, 0xC0, 0x01, 0xC0, 0xC0, 0x02}), (std::vector<OSCBytes>{{0x01}, {0x02}}));
    EXPECT_EQ(slipPackets({0x01, 0x02}), (std::vector<OSCBytes>{{0x01, 0x02}}));
    EXPECT_EQ(slipPackets({0xDC}), (std::vector<OSCBytes>{{0xDC}}));
    EXPECT_EQ(slipPackets({0xDD, 0xC0}), (std::vector<OSCBytes>{{0xDD}}));
    EXPECT_TRUE(slipPackets({}).empty());
    EXPECT_TRUE(slipPackets({0xC0, 0xC0, 0xC0}).empty());
}

TEST(SlipFraming, EscapeErrorsDiscardTheWholeChunk) {
    using Kind = OSCTCPSLIPDecodingError::Kind;
    EXPECT_EQ(slipError({0xDB, 0xDB}), Kind::doubleEscapeBytes);
    EXPECT_EQ(slipError({0xDB, 0x41}), Kind::missingEscapedCharacter);
    EXPECT_EQ(slipError({0xDB, 0xC0}), Kind::missingEscapedCharacter);
    EXPECT_EQ(slipError({0x41, 0xDB}), Kind::missingEscapedCharacter);
    EXPECT_EQ(slipError({0xC0, 0x01, 0xC0, 0x02, 0xDB, 0x03, 0xC0}), Kind::missingEscapedCharacter);
    EXPECT_EQ(OSCTCPSLIPDecodingError{Kind::doubleEscapeBytes}.description(),
              "SLIP packet data is malformed. Double escape bytes encountered.");
    EXPECT_EQ(OSCTCPSLIPDecodingError{Kind::missingEscapedCharacter}.description(),
              "SLIP packet data is malformed. Encountered an escape byte but missing subsequent escaped character.");
}

TEST(SlipFraming, RoundTripsEveryByteValueInBackToBackFrames) {
    std::mt19937 random(7);
    std::vector<OSCBytes> packets;
    OSCBytes stream;
    for (int i = 0; i < 50; ++i) {
        OSCBytes packet(1 + random() % 40);
        for (auto& byte : packet) {
            // Bias towards the four special values.
            const auto r = random() % 8;
            byte = r < 4 ? std::uint8_t{0xC0} + static_cast<std::uint8_t>(r == 0 ? 0 : r == 1 ? 0x1B : r == 2 ? 0x1C : 0x1D)
                         : static_cast<std::uint8_t>(random());
        }
        packets.push_back(packet);
        const auto framed = slipEncode(packet);
        stream.insert(stream.end(), framed.begin(), framed.end());
    }
    EXPECT_EQ(slipPackets(stream), packets);

    OSCBytes all(256);
    for (int b = 0; b < 256; ++b) {
        all[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    }
    const auto framed = slipEncode(all);
    EXPECT_EQ(framed.size(), 256u + 2 + 2);
    EXPECT_EQ(std::count(framed.begin(), framed.end(), 0xC0), 2);
    EXPECT_EQ(slipPackets(framed), std::vector<OSCBytes>{all});
}

TEST(SlipFraming, ConsoleCommandFrame) {
    const auto message = OSCMessage("/eos/user/0/newcmd", {"Cue 1 / 12 Time 3 Enter"}).rawData().value();
    const auto framed = slipEncode(message);
    EXPECT_EQ(framed.front(), 0xC0);
    EXPECT_EQ(framed.back(), 0xC0);
    EXPECT_EQ(OSCBytes(framed.begin() + 1, framed.end() - 1), message);
}

TEST(LengthHeaderFraming, EncodesBigEndianLength) {
    EXPECT_EQ(lengthHeaderEncode(OSCBytes{}).value(), (OSCBytes{0, 0, 0, 0}));
    EXPECT_EQ(lengthHeaderEncode(OSCBytes{0xAA, 0xBB}).value(), (OSCBytes{0, 0, 0, 2, 0xAA, 0xBB}));
    const OSCBytes big(0x01020304 & 0xFFFF, 7);
    const auto framed = lengthHeaderEncode(big).value();
    EXPECT_EQ(OSCBytes(framed.begin(), framed.begin() + 4), (OSCBytes{0x00, 0x00, 0x03, 0x04}));
    EXPECT_EQ(framed.size(), big.size() + 4);
}

TEST(LengthHeaderFraming, DecodesFramesIncludingEmptyOnes) {
    const auto decoded = lengthHeaderDecode(OSCBytes{0, 0, 0, 2, 0xAA, 0xBB, 0, 0, 0, 0});
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.value(), (std::vector<OSCBytes>{{0xAA, 0xBB}, {}}));
    EXPECT_TRUE(lengthHeaderDecode(OSCBytes{}).value().empty());
}

TEST(LengthHeaderFraming, TruncatedHeaderOrPayloadFails) {
    EXPECT_FALSE(lengthHeaderDecode(OSCBytes{0, 0, 1}).ok());
    EXPECT_FALSE(lengthHeaderDecode(OSCBytes{0, 0, 0, 5, 0xAA}).ok());
    EXPECT_FALSE(lengthHeaderDecode(OSCBytes{0, 0, 0, 1, 0xAA, 0, 0}).ok());
    // A length near 2^32 must not wrap around the end of the chunk.
    EXPECT_FALSE(lengthHeaderDecode(OSCBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xAA}).ok());
    EXPECT_EQ(lengthHeaderDecode(OSCBytes{0, 0, 1}).error().description(), "Note enough bytes.");
}

TEST(LengthHeaderFraming, RoundTripsBackToBackFrames) {
    std::vector<OSCBytes> packets = {{}, {1}, {1, 2, 3, 4, 5, 6, 7, 8}, OSCBytes(300, 0xC0)};
    OSCBytes stream;
    for (const auto& packet : packets) {
        const auto framed = lengthHeaderEncode(packet).value();
        stream.insert(stream.end(), framed.begin(), framed.end());
    }
    EXPECT_EQ(lengthHeaderDecode(stream).value(), packets);
}

TEST(FramingModes, SelectableModes) {
    EXPECT_EQ(allOSCTCPFramingModes.size(), 2u);
    EXPECT_EQ(allOSCTCPFramingModes[0], OSCTCPFramingMode::osc1_0);
    EXPECT_EQ(allOSCTCPFramingModes[1], OSCTCPFramingMode::osc1_1);
}

}  // namespace
}  // namespace lanternwick
