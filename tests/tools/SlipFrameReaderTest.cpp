#include "console-sim/SlipFrameReader.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

const OSCBytes stream = {0xC0, 0x01, 0xDB, 0xDC, 0x02, 0xC0, 0xC0, 0xC0, 0x03, 0xC0, 0x04, 0x05, 0xC0};
const std::vector<OSCBytes> frames = {{0x01, 0xDB, 0xDC, 0x02}, {0x03}, {0x04, 0x05}};

TEST(SlipFrameReader, SameFramesHoweverTheStreamIsSplit) {
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SlipFrameReader reader;
        std::vector<OSCBytes> got = reader.feed(OSCByteView(stream.data(), cut));
        for (OSCBytes& frame : reader.feed(OSCByteView(stream.data() + cut, stream.size() - cut))) {
            got.push_back(std::move(frame));
        }
        EXPECT_EQ(got, frames) << "cut at " << cut;
        EXPECT_EQ(reader.pendingSize(), 0u);
    }
    SlipFrameReader reader;
    std::vector<OSCBytes> got;
    for (const std::uint8_t byte : stream) {
        for (OSCBytes& frame : reader.feed(OSCByteView(&byte, 1))) got.push_back(std::move(frame));
    }
    EXPECT_EQ(got, frames);
}

TEST(SlipFrameReader, UnfinishedFrameWaitsForItsEnd) {
    SlipFrameReader reader;
    const OSCBytes part = {0xC0, 0x07, 0x08};
    EXPECT_TRUE(reader.feed(part).empty());
    EXPECT_EQ(reader.pendingSize(), 2u);
    const OSCBytes rest = {0x09, 0xC0};
    EXPECT_EQ(reader.feed(rest), (std::vector<OSCBytes>{{0x07, 0x08, 0x09}}));
}

TEST(SlipFrameReader, OversizedFrameIsDroppedAndTheNextOneReadsFine) {
    SlipFrameReader reader(4);
    const OSCBytes tooLong = {0xC0, 1, 2, 3};
    EXPECT_TRUE(reader.feed(tooLong).empty());
    const OSCBytes more = {4, 5, 6, 7, 8};
    EXPECT_TRUE(reader.feed(more).empty());
    EXPECT_EQ(reader.pendingSize(), 0u) << "a frame without END must not grow the buffer";
    const OSCBytes end = {9, 0xC0, 0x0A, 0xC0};
    EXPECT_EQ(reader.feed(end), (std::vector<OSCBytes>{{0x0A}}));
    EXPECT_EQ(reader.droppedFrames(), 1u);
    const OSCBytes exact = {1, 2, 3, 4, 0xC0};
    EXPECT_EQ(reader.feed(exact), (std::vector<OSCBytes>{{1, 2, 3, 4}}));
}

}  // namespace
}  // namespace lanternwick::sim
