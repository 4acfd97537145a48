#include "markers/LightingMarker.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "markers/MarkerTestSupport.h"

namespace lanternwick {
namespace {

using testing::markerElement;
using testing::markerFile;
using testing::MarkerFields;

LightingMarker fromTrack(std::string_view track) {
    return markerFromAttributes(0, {{"TrackName", std::string(track)}});
}

TEST(MarkerFromAttributes, ReadsEveryFieldAndTheTrackNameTokens) {
    const LightingMarker m = markerFromAttributes(
        4, {{"MarkerTypeName", "Cue"}, {"TrackName", "Main 2/ 01:00:10:15"}, {"Position", "12.5"},
            {"Label", " Intro "}, {"Fade", "1e3"}, {"FadeOut", ""}, {"ManualCueID", "7"}, {"Other", "x"}});
    EXPECT_EQ(m.index, 4);
    EXPECT_EQ(m.markerTypeName, "Cue");
    EXPECT_EQ(m.cueList, 2);
    EXPECT_EQ(m.timeCodeOffset, "01:00:10:15");
    EXPECT_DOUBLE_EQ(m.timeCodeOffsetSeconds, 3610.5);
    EXPECT_EQ(m.position, 12.5);
    EXPECT_EQ(m.label, " Intro ");  // raw texts are kept untrimmed
    EXPECT_EQ(m.fade, 1000.0);
    EXPECT_FALSE(m.fadeOut.has_value());
    EXPECT_EQ(m.manualCueID, "7");

    const LightingMarker empty = markerFromAttributes(0, {});
    EXPECT_EQ(empty.trackName, "");
    EXPECT_EQ(empty.timeCodeOffset, "0");
    EXPECT_FALSE(empty.cueList.has_value());
    EXPECT_FALSE(empty.position.has_value());
}

TEST(MarkerFromAttributes, CueListTokenNeedsBoundaryDigitsSlashAndSpace) {
    EXPECT_EQ(fromTrack("1/ Lights").cueList, 1);
    EXPECT_EQ(fromTrack("Lights 007/ x").cueList, 7);
    EXPECT_EQ(fromTrack("A 3/ B 4/ C").cueList, 3);  // first token wins
    EXPECT_EQ(fromTrack("Main\t5/\nx").cueList, 5);
    EXPECT_FALSE(fromTrack("12/Lights").cueList.has_value());
    EXPECT_FALSE(fromTrack("Lights 3/").cueList.has_value());
    EXPECT_FALSE(fromTrack("1234/ X").cueList.has_value());
    EXPECT_FALSE(fromTrack("x1/ X").cueList.has_value());
    EXPECT_FALSE(fromTrack("\u0661/ X").cueList.has_value());  // ARABIC-INDIC ONE is not an ASCII digit
}

TEST(TimeCodeSeconds, RangesAndForms) {
    EXPECT_EQ(timeCodeSeconds(" 0\n"), 0.0);
    EXPECT_EQ(timeCodeSeconds("100:00:00:00"), 360000.0);  // hours are unbounded
    EXPECT_DOUBLE_EQ(*timeCodeSeconds("00:00:00:29"), 29.0 / 30.0);
    EXPECT_EQ(timeCodeSeconds("00::00:01:00"), 1.0);  // empty pieces are dropped
    EXPECT_EQ(timeCodeSeconds("+1:+0:0:0"), 3600.0);
    EXPECT_FALSE(timeCodeSeconds("-1:00:00:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("00:60:00:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("00:00:60:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("00:00:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("00:00:00:00:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("00:00:0a:00").has_value());
    EXPECT_FALSE(timeCodeSeconds("").has_value());
    EXPECT_FALSE(timeCodeSeconds("0.0").has_value());
}

TEST(MarkerFromAttributes, PositionUsesTheStrictNumberRule) {
    EXPECT_EQ(markerFromAttributes(0, {{"Position", "12.5"}}).position, 12.5);
    EXPECT_FALSE(markerFromAttributes(0, {{"Position", " 12.5"}}).position.has_value());
    EXPECT_FALSE(markerFromAttributes(0, {{"Position", "12.5 "}}).position.has_value());
    EXPECT_FALSE(markerFromAttributes(0, {{"Position", ""}}).position.has_value());
}

TEST(ParseMarkers, DroppedMarkersStillUseUpTheirIndex) {
    const auto markers = parseMarkers(markerFile(
        "<Marker TrackName=\"Audio\"/><Group><Marker TrackName=\"1/ Lights\" Label=\"a &amp; b\"/></Group>"));
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 1u);
    EXPECT_EQ(markers->front().index, 1);
    EXPECT_EQ(markers->front().cueList, 1);
    EXPECT_EQ(markers->front().label, "a & b");
}

TEST(ParseMarkers, OnlyRealMarkerElementsCount) {
    const auto markers = parseMarkers(markerFile(
        "<x:Marker xmlns:x=\"urn:x\" TrackName=\"1/ A\"/>\n"
        "<marker TrackName=\"1/ A\"/>\n"
        "<!-- <Marker TrackName=\"1/ A\"/> -->\n"
        "<Notes><![CDATA[<Marker TrackName=\"1/ A\"/>]]></Notes>\n"
        "<?Marker TrackName=\"1/ A\"?>\n"
        "<Marker Junk=\"1\" ManualCueID=\"5\" TrackName=\"2/ B\"/>\n"));
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 1u);
    EXPECT_EQ(markers->front().index, 0);
    EXPECT_EQ(markers->front().cueList, 2);
    EXPECT_EQ(markers->front().manualCueID, "5");
}

TEST(ParseMarkers, WellFormedWithoutMarkersIsEmptyButMalformedIsAbsent) {
    EXPECT_EQ(parseMarkers(markerFile("<Other/>")), std::vector<LightingMarker>{});
    EXPECT_FALSE(parseMarkers(markerFile(markerElement({})) + "<Marker TrackName=\"1/ x\">").has_value());
    EXPECT_FALSE(parseMarkers("<Tempolane><Marker TrackName=\"1/ x\"/>").has_value());  // unclosed root
    EXPECT_FALSE(parseMarkers("").has_value());
    EXPECT_FALSE(parseMarkers("not xml").has_value());
    EXPECT_FALSE(parseMarkers("<a><Marker TrackName=\"1/ x\" TrackName=\"2/ y\"/></a>").has_value());
    const std::string whole = markerFile(markerElement({}));
    for (std::size_t cut = 0; cut < whole.size() - 1; cut += 7) {
        EXPECT_FALSE(parseMarkers(whole.substr(0, cut)).has_value()) << cut;
    }
}

TEST(ParseMarkers, AttributeValuesArriveNormalisedAndDeclaredEncodingIsIgnored) {
    const auto markers =
        parseMarkers("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><T><Marker TrackName=\"1/&#10;A\" "
                     "Label=\"caf\u00E9\tx\"/></T>");
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 1u);
    EXPECT_EQ(markers->front().cueList, 1);      // a character reference keeps its line feed
    EXPECT_EQ(markers->front().label, "caf\u00E9 x");  // a literal tab is normalised to a space
}

TEST(ParseMarkers, InvalidUtf8IsMalformedUntilDecoded) {
    const std::string bytes = markerFile("<Marker TrackName=\"1/ A\" Label=\"bad\xFF\"/>");
    EXPECT_FALSE(parseMarkers(bytes).has_value());
}

TEST(ParseMarkers, EntityExpansionBombIsRefusedWithinAFewMegabytes) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        const std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
        doc += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) doc += "&" + previous + ";";
        doc += "\">";
    }
    doc += "]><T><Marker TrackName=\"1/ A\" Label=\"&lol9;\"/>&lol9;</T>";

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_FALSE(parseMarkers(doc).has_value());
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024);  // kilobytes
}

TEST(ParseMarkers, ExternalEntitiesAreNeverRead) {
    const auto dir = std::filesystem::temp_directory_path() / ("lanternwick-ext-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto external = dir / "external.xml";
    std::ofstream(external) << "<Marker TrackName=\"9/ Secret\" Label=\"secret\"/>";
    const std::string uri = "file://" + external.string();

    const auto inContent = parseMarkers("<!DOCTYPE T [<!ENTITY ext SYSTEM \"" + uri +
                                        "\">]><T><Marker TrackName=\"1/ A\"/>&ext;</T>");
    if (inContent) {
        ASSERT_EQ(inContent->size(), 1u);
        EXPECT_EQ(inContent->front().cueList, 1);
    }
    const auto inAttribute = parseMarkers("<!DOCTYPE T [<!ENTITY ext SYSTEM \"" + uri +
                                          "\">]><T><Marker TrackName=\"1/ A\" Label=\"&ext;\"/></T>");
    if (inAttribute) {
        for (const auto& m : *inAttribute) EXPECT_EQ(m.label.find("secret"), std::string::npos);
    }
    const auto parameter = parseMarkers("<!DOCTYPE T [<!ENTITY % p SYSTEM \"" + uri + "\"> %p;]><T/>");
    if (parameter) {
        EXPECT_TRUE(parameter->empty());
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lanternwick
