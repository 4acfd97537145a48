#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "markers/LightingMarker.h"
#include "markers/TempolaneFileValidationError.h"

namespace lanternwick {
namespace {

std::filesystem::path samplePath() {
    const char* root = std::getenv("LANTERNWICK_SOURCE_DIR");
    return std::filesystem::path(root ? root : ".") / "samples" / "Lighting.xml";
}

// The demo starts from this file, so it must pass the check a user's file
// passes and give the cues the demo talks about.
TEST(SampleMarkerFile, ValidatesAndParsesIntoTwoCueLists) {
    ASSERT_TRUE(validateMarkerFile(samplePath()).ok()) << samplePath();

    std::ifstream in(samplePath(), std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const auto markers = parseMarkers(text);
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 7u) << "the comment marker has no cue list and is dropped";
    EXPECT_EQ(markers->front().cueList, 1);
    EXPECT_EQ(markers->front().manualCueID, "1");
    EXPECT_EQ(markers->back().cueList, 2);
    EXPECT_DOUBLE_EQ(markers->back().timeCodeOffsetSeconds, 3600.0);
    EXPECT_EQ((*markers)[4].label, "Verse & chorus");
}

}  // namespace
}  // namespace lanternwick
