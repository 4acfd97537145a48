#include "console-sim/SlipFrameReader.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

TEST(SlipFrameReader, SameFramesHoweverTheStreamIsSplit) {
    const OSCBytes stream = {0xC0, 0x01, 0xDB, 0xDC, 0x02, 0xC0, 0xC0, 0xC0, 0x03, 0xC0, 0x04, 0x05, 0xC0};
    const std::vector<OSCBytes> frames = {{0x01, 0xDB, 0xDC, 0x02}, {0x03}, {0x04, 0x05}};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SlipFrameReader reader;
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
    SlipFrameReader reader(4);
    EXPECT_TRUE(reader.feed(OSCBytes{0xC0, 1, 2, 3}).empty());
    EXPECT_TRUE(reader.feed(OSCBytes{4, 5, 6, 7, 8}).empty());
    EXPECT_EQ(reader.pendingSize(), 0u) << "a frame without END must not grow the buffer";
    EXPECT_EQ(reader.feed(OSCBytes{9, 0xC0, 0x0A, 0xC0}), (std::vector<OSCBytes>{{0x0A}}));
    EXPECT_EQ(reader.droppedFrames(), 1u);
    EXPECT_EQ(reader.feed(OSCBytes{1, 2, 3, 4, 0xC0}), (std::vector<OSCBytes>{{1, 2, 3, 4}}));
}

}  // namespace
}  // namespace lanternwick::sim
