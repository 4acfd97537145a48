#include "osc/tcp/OSCTCPFrameAssembler.h"

#include <gtest/gtest.h>

#include <string>

namespace lanternwick {
namespace {

using Frames = std::vector<OSCBytes>;

OSCBytes bytes(std::initializer_list<int> values) {
    OSCBytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

OSCBytes text(const std::string& s) { return {s.begin(), s.end()}; }

OSCBytes concat(std::initializer_list<OSCBytes> parts) {
    OSCBytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Feeds the stream in the given pieces and collects every frame, including
// those that finish() yields at the end.
Frames feed(OSCTCPFrameAssembler& assembler, const OSCBytes& stream, const std::vector<std::size_t>& cuts,
            bool* closed = nullptr) {
    Frames frames;
    std::size_t start = 0;
    auto take = [&](std::size_t end) {
        auto out = assembler.append(OSCByteView(stream.data() + start, end - start));
        frames.insert(frames.end(), out.packets.begin(), out.packets.end());
        if (closed != nullptr && out.mustClose) *closed = true;
        start = end;
    };
    for (std::size_t cut : cuts) take(cut);
    take(stream.size());
    return frames;
}

// Three frames, with escaped END and ESC bytes inside and a double END.
const Frames slipPackets{text("/one"), bytes({0x2F, 0xC0, 0xDB, 0x01}), text("/three,s")};
const OSCBytes slipStream = concat({slipEncode(slipPackets[0]), slipEncode(slipPackets[1]), bytes({0xC0}),
                                    slipEncode(slipPackets[2])});

TEST(OSCTCPFrameAssembler, SLIPFramesSplitAtEveryPositionComeOutWholeAndInOrder) {
    for (std::size_t cut = 0; cut <= slipStream.size(); ++cut) {
        OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_1, 1024);
        EXPECT_EQ(feed(assembler, slipStream, {cut}), slipPackets) << "cut at " << cut;
        EXPECT_EQ(assembler.pendingBytes(), 0u);
    }
    for (std::size_t a = 0; a <= slipStream.size(); ++a) {
        for (std::size_t b = a; b <= slipStream.size(); ++b) {
            OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_1, 1024);
            ASSERT_EQ(feed(assembler, slipStream, {a, b}), slipPackets) << "cuts at " << a << ", " << b;
        }
    }
}

TEST(OSCTCPFrameAssembler, AMalformedSLIPFrameIsDroppedAndItsNeighboursSurvive) {
    const OSCBytes stream = concat({slipEncode(text("/before")), bytes({0xC0, 0x41, 0xDB, 0x42, 0xC0}),
                                    bytes({0xC0, 0xDB, 0xDB, 0xC0}), slipEncode(text("/after"))});
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_1, 1024);
        EXPECT_EQ(feed(assembler, stream, {cut}), (Frames{text("/before"), text("/after")})) << "cut at " << cut;
    }
}

TEST(OSCTCPFrameAssembler, AnOversizedSLIPFrameIsDroppedUntilTheNextEnd) {
    OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_1, 16);
    Frames frames;
    auto add = [&](const OSCBytes& chunk) {
        auto out = assembler.append(chunk);
        frames.insert(frames.end(), out.packets.begin(), out.packets.end());
        EXPECT_LE(assembler.pendingBytes(), 16u);
    };
    add(concat({slipEncode(text("/ok")), bytes({0xC0}), OSCBytes(10, 0x41)}));
    add(OSCBytes(10, 0x42));
    add(OSCBytes(40, 0x43));
    add(concat({bytes({0x44, 0xC0}), slipEncode(text("/next"))}));
    add(concat({bytes({0xC0}), OSCBytes(30, 0x45), bytes({0xC0}), slipEncode(text("/last"))}));
    EXPECT_EQ(frames, (Frames{text("/ok"), text("/next"), text("/last")}));
}

TEST(OSCTCPFrameAssembler, SLIPTailWithoutEndIsDeliveredWhenTheStreamEnds) {
    OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_1, 1024);
    auto out = assembler.append(concat({slipEncode(text("/a")), bytes({0xC0, 0x2F, 0x62})}));
    EXPECT_EQ(out.packets, (Frames{text("/a")}));
    EXPECT_EQ(assembler.finish(), (Frames{text("/b")}));
    EXPECT_EQ(assembler.pendingBytes(), 0u);

    // A tail ending in an escape is as malformed at the end as anywhere.
    (void)assembler.append(bytes({0xC0, 0x2F, 0xDB}));
    EXPECT_TRUE(assembler.finish().empty());
}

Frames lengthPackets{text("/first"), OSCBytes{}, OSCBytes(300, 0x5A)};

OSCBytes lengthStream() {
    OSCBytes out;
    for (const auto& p : lengthPackets) {
        auto framed = lengthHeaderEncode(p);
        out.insert(out.end(), framed->begin(), framed->end());
    }
    return out;
}

TEST(OSCTCPFrameAssembler, LengthHeaderFramesSplitAtEveryPositionComeOutWhole) {
    const OSCBytes stream = lengthStream();
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_0, 1024);
        bool closed = false;
        EXPECT_EQ(feed(assembler, stream, {cut}, &closed), lengthPackets) << "cut at " << cut;
        EXPECT_FALSE(closed);
        EXPECT_EQ(assembler.pendingBytes(), 0u);
    }
    OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_0, 1024);
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < stream.size(); ++i) cuts.push_back(i);
    EXPECT_EQ(feed(assembler, stream, cuts), lengthPackets);
}

TEST(OSCTCPFrameAssembler, AnOversizedLengthHeaderAsksToClose) {
    OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_0, 1024);
    auto framed = lengthHeaderEncode(text("/fine"));
    auto out = assembler.append(concat({*framed, bytes({0x00, 0x00, 0x04, 0x01, 0x41})}));
    EXPECT_EQ(out.packets, (Frames{text("/fine")}));
    EXPECT_TRUE(out.mustClose);
    EXPECT_EQ(assembler.pendingBytes(), 0u);
}

TEST(OSCTCPFrameAssembler, ATruncatedLengthFrameIsDroppedWhenTheStreamEnds) {
    OSCTCPFrameAssembler assembler(OSCTCPFramingMode::osc1_0, 1024);
    auto out = assembler.append(bytes({0x00, 0x00, 0x00, 0x05, 0x41, 0x42}));
    EXPECT_TRUE(out.packets.empty());
    EXPECT_FALSE(out.mustClose);
    EXPECT_EQ(assembler.pendingBytes(), 6u);
    EXPECT_TRUE(assembler.finish().empty());
    EXPECT_EQ(assembler.pendingBytes(), 0u);
}

}  // namespace
}  // namespace lanternwick
