#include "markers/LightingMarker.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace lanternwick {
namespace {

TEST(MarkerFromAttributes, ReadsEveryFieldAndTheTrackNameTokens) {
    const LightingMarker m = markerFromAttributes(
        4, {{"MarkerTypeName", "Cue"}, {"TrackName", "Main 2/ 01:00:10:15"}, {"Position", "12.5"},
            {"Label", " Intro "}, {"Fade", "1e3"}, {"FadeOut", ""}, {"ManualCueID", "7"}, {"Other", "x"}});
    // Raw texts are kept untrimmed.
    EXPECT_EQ(m, (LightingMarker{4, "Cue", "Main 2/ 01:00:10:15", 2, "01:00:10:15", 3610.5, "12.5", " Intro ", "1e3", "",
                                 "7", 12.5, 1000.0, std::nullopt}));
    // Numbers are read from the raw text, not from a trimmed copy.
    EXPECT_FALSE(markerFromAttributes(0, {{"Position", " 12.5"}}).position.has_value());
    EXPECT_EQ(markerFromAttributes(0, {}).timeCodeOffset, "0");
}

TEST(MarkerFromAttributes, CueListTokenNeedsBoundaryDigitsSlashAndSpace) {
    const struct Case { const char* track; std::optional<std::int64_t> list; } cases[] = {
        {"1/ Lights", 1}, {"Lights 007/ x", 7}, {"A 3/ B 4/ C", 3}, {"Main\t5/\nx", 5},
        {"12/Lights", {}}, {"Lights 3/", {}}, {"1234/ X", {}}, {"x1/ X", {}},
        {"\u0661/ X", {}},  // ARABIC-INDIC ONE is not an ASCII digit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(markerFromAttributes(0, {{"TrackName", c.track}}).cueList, c.list) << c.track;
    }
}

TEST(TimeCodeSeconds, RangesAndForms) {
    const struct Case { const char* text; std::optional<double> seconds; } cases[] = {
        {" 0\n", 0.0}, {"100:00:00:00", 360000.0}, {"00:00:00:29", 29.0 / 30.0},
        {"00::00:01:00", 1.0},  // empty pieces are dropped
        {"+1:+0:0:0", 3600.0}, {"+-0:00:00:00", {}}, {"++1:00:00:00", {}}, {"-1:00:00:00", {}}, {"00:60:00:00", {}}, {"00:00:60:00", {}},
        {"00:00:00:30", {}}, {"00:00:00", {}}, {"00:00:00:00:00", {}}, {"00:00:0a:00", {}}, {"", {}}, {"0.0", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(timeCodeSeconds(c.text), c.seconds) << c.text;
}

TEST(ParseMarkers, OnlyRealMarkerElementsWithACueListCountButEveryOneUsesAnIndex) {
    // The declared encoding is ignored: the text is UTF-8.
    const auto markers = parseMarkers(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><T><Marker TrackName=\"Audio\"/>\n"
        "<x:Marker xmlns:x=\"urn:x\" TrackName=\"1/ A\"/><marker TrackName=\"1/ A\"/>\n"
        "<!-- <Marker TrackName=\"1/ A\"/> --><?Marker TrackName=\"1/ A\"?>\n"
        "<Notes><![CDATA[<Marker TrackName=\"1/ A\"/>]]></Notes>\n"
        "<G><Marker Junk=\"1\" ManualCueID=\"5\" TrackName=\"2/&#10;B\" Label=\"caf\u00E9\tx &amp; b\"/></G></T>");
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 1u);
    EXPECT_EQ(markers->front().index, 1);
    EXPECT_EQ(markers->front().cueList, 2);  // a character reference keeps its line feed
    EXPECT_EQ(markers->front().manualCueID, "5");
    EXPECT_EQ(markers->front().label, "caf\u00E9 x & b");  // a literal tab is normalised to a space
}

TEST(ParseMarkers, WellFormedWithoutMarkersIsEmptyButMalformedIsAbsent) {
    EXPECT_EQ(parseMarkers("<T><Other/></T>"), std::vector<LightingMarker>{});
    for (const char* text : {"", "not xml", "<T><Marker TrackName=\"1/ x\"/>", "<T/><Marker TrackName=\"1/ x\"/>",
                             "<a><Marker TrackName=\"1/ x\" TrackName=\"2/ y\"/></a>"}) {
        EXPECT_FALSE(parseMarkers(text).has_value()) << text;
    }
    const std::string whole = "<?xml version=\"1.0\"?>\n<T>\n<Marker TrackName=\"1/ x\" Label=\"a\"/>\n</T>\n";
    for (std::size_t cut = 0; cut < whole.size() - 1; ++cut) {
        EXPECT_FALSE(parseMarkers(whole.substr(0, cut)).has_value()) << cut;
    }
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
    std::ofstream(dir / "external.xml") << "<Marker TrackName=\"9/ Secret\" Label=\"secret\"/>";
    // The entity is skipped: no handler for external entities is installed.
    const auto markers = parseMarkers("<!DOCTYPE T [<!ENTITY ext SYSTEM \"file://" + (dir / "external.xml").string() +
                                      "\">]><T><Marker TrackName=\"1/ A\"/>&ext;</T>");
    ASSERT_TRUE(markers.has_value());
    ASSERT_EQ(markers->size(), 1u);
    EXPECT_EQ(markers->front().cueList, 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lanternwick
