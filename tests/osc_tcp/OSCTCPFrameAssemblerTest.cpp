#include "osc/tcp/OSCTCPFrameAssembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace lanternwick {
namespace {

using Frames = std::vector<OSCBytes>;
using Mode = OSCTCPFramingMode;

OSCBytes text(const std::string& s) { return {s.begin(), s.end()}; }

OSCBytes concat(std::initializer_list<OSCBytes> parts) {
    OSCBytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Fed {
    Frames frames;
    bool mustClose = false;
    std::size_t refused = 0;
    std::size_t pending = 0;
};

// Feeds the stream cut at the given positions to a fresh assembler.
Fed feed(Mode mode, const OSCBytes& stream, const std::vector<std::size_t>& cuts, std::size_t limit = 1024) {
    OSCTCPFrameAssembler assembler(mode, limit);
    Fed fed;
    std::size_t start = 0;
    for (std::size_t end : cuts) {
        auto out = assembler.append(OSCByteView(stream.data() + start, end - start));
        fed.frames.insert(fed.frames.end(), out.packets.begin(), out.packets.end());
        fed.mustClose = fed.mustClose || out.mustClose;
        fed.refused = std::max(fed.refused, out.refusedFrameBytes);
        start = end;
    }
    fed.pending = assembler.pendingBytes();
    return fed;
}

TEST(OSCTCPFrameAssembler, FramesSplitAnywhereComeOutWholeAndInOrderAndMalformedOnesAlone) {
    // SLIP: escaped END and ESC bytes inside, a double END, and two malformed
    // frames (a bad escape, a double escape) that are dropped alone.
    const Frames slipPackets{text("/one"), OSCBytes{0x2F, 0xC0, 0xDB, 0x01}, text("/three,s")};
    const OSCBytes slip = concat({slipEncode(slipPackets[0]), slipEncode(slipPackets[1]), OSCBytes{0xC0},
                                  OSCBytes{0x41, 0xDB, 0x42, 0xC0, 0xC0, 0xDB, 0xDB, 0xC0}, slipEncode(slipPackets[2])});
    // Length headers: an empty packet, and one whose header is not all zero bytes.
    const Frames lengthPackets{text("/first"), OSCBytes{}, OSCBytes(300, 0x5A)};
    OSCBytes length;
    for (const auto& p : lengthPackets) length = concat({length, *lengthHeaderEncode(p)});

    for (const auto& [mode, stream, packets] :
         {std::tuple{Mode::osc1_1, slip, slipPackets}, std::tuple{Mode::osc1_0, length, lengthPackets}}) {
        SCOPED_TRACE(mode == Mode::osc1_1 ? "SLIP" : "length header");
        for (std::size_t a = 0; a <= stream.size(); ++a) {
            for (std::size_t b = a; b <= stream.size(); ++b) {
                const Fed fed = feed(mode, stream, {a, b, stream.size()});
                ASSERT_EQ(fed.frames, packets) << "cuts at " << a << ", " << b;
                ASSERT_EQ(fed.pending, 0u);
                ASSERT_FALSE(fed.mustClose);
            }
        }
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i <= stream.size(); ++i) everyByte.push_back(i);
        EXPECT_EQ(feed(mode, stream, everyByte).frames, packets);
    }
}

TEST(OSCTCPFrameAssembler, AnOversizedSLIPFrameIsDroppedUntilTheNextEnd) {
    OSCTCPFrameAssembler assembler(Mode::osc1_1, 16);
    Frames frames;
    for (const auto& chunk : {concat({slipEncode(text("/ok")), OSCBytes{0xC0}, OSCBytes(10, 0x41)}), OSCBytes(10, 0x42),
                              OSCBytes(40, 0x43), concat({OSCBytes{0x44, 0xC0}, slipEncode(text("/next"))}),
                              concat({OSCBytes{0xC0}, OSCBytes(30, 0x45), OSCBytes{0xC0}, slipEncode(text("/last"))})}) {
        auto out = assembler.append(chunk);
        frames.insert(frames.end(), out.packets.begin(), out.packets.end());
        EXPECT_LE(assembler.pendingBytes(), 16u);
    }
    EXPECT_EQ(frames, (Frames{text("/ok"), text("/next"), text("/last")}));
}

TEST(OSCTCPFrameAssembler, AnOversizedLengthHeaderAsksToClose) {
    const OSCBytes stream = concat({*lengthHeaderEncode(text("/fine")), OSCBytes{0x00, 0x00, 0x04, 0x01, 0x41}});
    const Fed fed = feed(Mode::osc1_0, stream, {stream.size()});
    EXPECT_EQ(fed.frames, (Frames{text("/fine")}));
    EXPECT_TRUE(fed.mustClose);
    EXPECT_EQ(fed.refused, 0x401u);
    EXPECT_EQ(fed.pending, 0u);
}

TEST(OSCTCPFrameAssembler, WhatIsPendingWhenTheStreamEndsIsUnframedAsAChunkWouldBe) {
    OSCTCPFrameAssembler slip(Mode::osc1_1, 1024);
    EXPECT_EQ(slip.append(concat({slipEncode(text("/a")), OSCBytes{0xC0, 0x2F, 0x62}})).packets, Frames{text("/a")});
    EXPECT_EQ(slip.finish(), Frames{text("/b")});
    EXPECT_EQ(slip.pendingBytes(), 0u);
    // A tail ending in an escape is as malformed at the end as anywhere.
    EXPECT_TRUE(slip.append(OSCBytes{0xC0, 0x2F, 0xDB}).packets.empty());
    EXPECT_TRUE(slip.finish().empty());

    OSCTCPFrameAssembler length(Mode::osc1_0, 1024);
    const auto out = length.append(OSCBytes{0x00, 0x00, 0x00, 0x05, 0x41, 0x42});
    EXPECT_TRUE(out.packets.empty());
    EXPECT_FALSE(out.mustClose);
    EXPECT_EQ(length.pendingBytes(), 6u);
    EXPECT_TRUE(length.finish().empty());
    EXPECT_EQ(length.pendingBytes(), 0u);
}

}  // namespace
}  // namespace lanternwick
