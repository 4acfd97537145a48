#include "markers/LightingChangeEvent.h"

#include <gtest/gtest.h>

#include "markers/MarkerDiff.h"
#include "markers/MarkerTestSupport.h"

namespace lanternwick {
namespace {

using EventKind = LightingChangeEvent::Kind;

LightingAction actionOf(LightingAction::Kind kind) {
    LightingAction action;
    action.kind = kind;
    return action;
}

TEST(AnalyzeText, CountsTagsAndAttributeKeys) {
    const XMLLikeAnalysis a = analyzeText("<a x=\"1\"><b y=\"2\"/><b y='3'/></a>", 33);
    EXPECT_EQ(a.rootElement, "a");
    EXPECT_EQ(a.topTagSummary, "b(2), a(1)");
    EXPECT_EQ(a.topAttributeKeySummary, "y(2), x(1)");
    EXPECT_EQ(a.byteCount, 33);
    EXPECT_EQ(a.lineCount, 1);

    const XMLLikeAnalysis doc = analyzeText(testing::markerFile("<!-- <Hidden/> -->\n< Marker Label=\"x\"/>\n"), 0);
    EXPECT_EQ(doc.rootElement, "Tempolane");  // the declaration, closing tags and comments do not count
    EXPECT_EQ(doc.topTagSummary, "Hidden(1), Marker(1), Tempolane(1)");
    EXPECT_EQ(doc.topAttributeKeySummary,
              "Label(1), bug_vers(1), encoding(1), major_vers(1), minor_vers(1), version(1)");
}

TEST(AnalyzeText, PreviewIsTheFirstTwelveLines) {
    std::string text;
    for (int i = 0; i < 15; ++i) text += "l" + std::to_string(i) + "\r\n";
    const XMLLikeAnalysis a = analyzeText(text, 0);
    EXPECT_EQ(a.lineCount, 31);
    EXPECT_EQ(a.preview, "l0\n\nl1\n\nl2\n\nl3\n\nl4\n\nl5\n");
    EXPECT_EQ(analyzeText("a\nb", 0).preview, "a\nb");
}

TEST(TopSummary, OrdersByCountThenCodePointAndKeepsSix) {
    EXPECT_EQ(topSummary({}), "none");
    EXPECT_EQ(topSummary({"g", "f", "e", "d", "c", "b", "a"}), "a(1), b(1), c(1), d(1), e(1), f(1)");
    EXPECT_EQ(topSummary({"b", "a", "B", "b"}), "b(2), B(1), a(1)");
    EXPECT_EQ(topSummary({"Marker", "Marker", "Tempolane"}), "Marker(2), Tempolane(1)");
}

TEST(EventSummary, NamesActionKindsOrCounts) {
    const XMLLikeAnalysis a = analyzeText("<Tempolane>\n</Tempolane>", 5120);
    EXPECT_EQ(eventSummary(EventKind::initial, a, {}), "Initial Snapshot: 5120 bytes, 2 lines, root Tempolane");
    EXPECT_EQ(eventSummary(EventKind::modified, a, {}), "Modified: no structured actions found");
    using K = LightingAction::Kind;
    EXPECT_EQ(eventSummary(EventKind::modified, a, {actionOf(K::fadeChanged), actionOf(K::fadeChanged)}),
              "Modified: 2 action(s) [Fade Changed]");
    EXPECT_EQ(eventSummary(EventKind::modified, a,
                           {actionOf(K::markerAdded), actionOf(K::fadeChanged), actionOf(K::fadeChanged),
                            actionOf(K::manualCueIDChanged), actionOf(K::unknown)}),
              "Modified: 5 action(s) [Fade Changed, ManualCueID Changed, Marker Added, Unrecognized Change]");
}

TEST(LineChangeText, ComparesLinesByPositionAndCountsGraphemes) {
    EXPECT_EQ(lineChangeText(std::nullopt, "x"), "Baseline snapshot captured.");
    EXPECT_EQ(lineChangeText("a\nb", "a\nc\nb"), "Estimated changed lines: 2, character delta: 2.");
    // CR LF: three lines, one character.
    EXPECT_EQ(lineChangeText("", "a\r\nb"), "Estimated changed lines: 2, character delta: 3.");
    EXPECT_EQ(lineChangeText("abc\ndef", "abc"), "Estimated changed lines: 1, character delta: -4.");
    EXPECT_EQ(lineChangeText("caf\u00E9", "cafe\u0301"), "Estimated changed lines: 0, character delta: 0.");
    EXPECT_EQ(lineChangeText("x", "x"), "Estimated changed lines: 0, character delta: 0.");
}

TEST(EventDetails, CommentOnlyChangeInFiveMarkerFile) {
    std::string body;
    for (int i = 1; i <= 5; ++i) {
        testing::MarkerFields fields;
        fields.cue = std::to_string(i);
        body += testing::markerElement(fields);
    }
    const std::string before = testing::markerFile("<!-- a -->\n" + body);
    const std::string after = testing::markerFile("<!-- b -->\n" + body);
    const XMLLikeAnalysis analysis = analyzeText(after, static_cast<std::int64_t>(after.size()));
    const MarkerDiff diff = diffMarkers(before, after, EventKind::modified);
    EXPECT_EQ(eventSummary(EventKind::modified, analysis, diff.actions), "Modified: no structured actions found");
    EXPECT_EQ(eventDetails(analysis, before, diff),
              "Estimated changed lines: 1, character delta: 0.\n"
              "Markers: 5 -> 5\n"
              "Top tags: Marker(5), Tempolane(1)\n"
              "Attribute keys: Fade(5), FadeOut(5), Label(5), ManualCueID(5), MarkerTypeName(5), Position(5)");
}

TEST(EventDetails, MarkerLineAndParserNoteFollowTheDiff) {
    const XMLLikeAnalysis analysis = analyzeText("<x/>", 4);
    MarkerDiff firstSnapshot;
    firstSnapshot.newCount = 3;
    EXPECT_EQ(eventDetails(analysis, std::nullopt, firstSnapshot),
              "Baseline snapshot captured.\nMarkers now: 3\nTop tags: x(1)\nAttribute keys: none");
    EXPECT_EQ(eventDetails(analysis, std::nullopt, MarkerDiff{}),
              "Baseline snapshot captured.\nMarkers: n/a\nTop tags: x(1)\nAttribute keys: none");

    const MarkerDiff broken = diffMarkers(std::string("<x/>"), "<x>", EventKind::modified);
    EXPECT_EQ(eventDetails(analysis, "<x/>", broken),
              "Estimated changed lines: 0, character delta: 0.\nMarkers: n/a\nTop tags: x(1)\n"
              "Attribute keys: none\nParser note: Current file XML parsing failed.");
}

}  // namespace
}  // namespace lanternwick
