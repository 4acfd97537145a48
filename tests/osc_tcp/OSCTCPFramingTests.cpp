#include <gtest/gtest.h>

#include "osc/tcp/OSCTCPFraming.h"

// Round trips of both framings are exercised by the frame assembler tests;
// here, the exact bytes and each failure.
namespace lanternwick {
namespace {

using Packets = std::vector<OSCBytes>;
using SLIPKind = OSCTCPSLIPDecodingError::Kind;

TEST(SlipFraming, EscapesOnlyEndAndEscapeAndAnEscapeErrorDiscardsTheWholeChunk) {
    // ESC_END and ESC_ESC on their own are ordinary data.
    const OSCBytes packet{0x01, 0xC0, 0xDB, 0xDC, 0xDD};
    const OSCBytes framed{0xC0, 0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0xDC, 0xDD, 0xC0};
    EXPECT_EQ(slipEncode(packet), framed);
    EXPECT_EQ(slipEncode(OSCBytes{}), (OSCBytes{0xC0, 0xC0}));

    const struct {
        OSCBytes chunk;
        Packets packets;
        std::optional<SLIPKind> error;
    } chunks[] = {
        {framed, {packet}, {}},
        {{0xC0, 0xC0, 0x01, 0xC0, 0xC0, 0x02}, {{0x01}, {0x02}}, {}},
        {{0x01, 0x02}, {{0x01, 0x02}}, {}},
        {{0xDD, 0xC0}, {{0xDD}}, {}},
        {{0xC0, 0xC0, 0xC0}, {}, {}},
        {{}, {}, {}},
        {{0xDB, 0xDB}, {}, SLIPKind::doubleEscapeBytes},
        {{0xDB, 0x41}, {}, SLIPKind::missingEscapedCharacter},
        {{0xDB, 0xC0}, {}, SLIPKind::missingEscapedCharacter},
        {{0x41, 0xDB}, {}, SLIPKind::missingEscapedCharacter},
        {{0xC0, 0x01, 0xC0, 0x02, 0xDB, 0x03, 0xC0}, {}, SLIPKind::missingEscapedCharacter},
    };
    for (const auto& c : chunks) {
        SCOPED_TRACE(::testing::PrintToString(c.chunk));
        auto decoded = slipDecode(c.chunk);
        ASSERT_EQ(decoded.ok(), !c.error);
        if (c.error) {
            EXPECT_EQ(decoded.error().kind, *c.error);
        } else {
            EXPECT_EQ(decoded.value(), c.packets);
        }
    }
    EXPECT_EQ(OSCTCPSLIPDecodingError{SLIPKind::doubleEscapeBytes}.description(),
              "SLIP packet data is malformed. Double escape bytes encountered.");
    EXPECT_EQ(OSCTCPSLIPDecodingError{SLIPKind::missingEscapedCharacter}.description(),
              "SLIP packet data is malformed. Encountered an escape byte but missing subsequent escaped character.");
}

TEST(LengthHeaderFraming, BigEndianLengthsBackToBackAndATruncatedHeaderOrPayloadFails) {
    EXPECT_EQ(lengthHeaderEncode(OSCBytes{0xAA, 0xBB}).value(), (OSCBytes{0, 0, 0, 2, 0xAA, 0xBB}));
    const auto big = lengthHeaderEncode(OSCBytes(0x10203, 7)).value();
    EXPECT_EQ(OSCBytes(big.begin(), big.begin() + 4), (OSCBytes{0x00, 0x01, 0x02, 0x03}));
    EXPECT_EQ(big.size(), 0x10203u + 4);
    EXPECT_EQ(lengthHeaderDecode(OSCBytes{0, 0, 0, 2, 0xAA, 0xBB, 0, 0, 0, 0}).value(), (Packets{{0xAA, 0xBB}, {}}));
    EXPECT_TRUE(lengthHeaderDecode(OSCBytes{}).value().empty());
    // A length near 2^32 must not wrap around the end of the chunk.
    for (const OSCBytes& chunk : {OSCBytes{0, 0, 1}, OSCBytes{0, 0, 0, 5, 0xAA}, OSCBytes{0, 0, 0, 1, 0xAA, 0, 0},
                                  OSCBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xAA}}) {
        auto decoded = lengthHeaderDecode(chunk);
        ASSERT_FALSE(decoded.ok()) << ::testing::PrintToString(chunk);
        EXPECT_EQ(decoded.error().description(), "Note enough bytes.");
    }
}

}  // namespace
}  // namespace lanternwick
