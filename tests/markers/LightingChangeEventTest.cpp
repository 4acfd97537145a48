#include "markers/LightingChangeEvent.h"

#include <gtest/gtest.h>

#include "markers/MarkerDiff.h"

namespace lanternwick {
namespace {

using EventKind = LightingChangeEvent::Kind;

TEST(AnalyzeText, CountsTagsAttributeKeysAndLines) {
    // The declaration, closing tags and <!...> do not count as tags.
    const XMLLikeAnalysis doc =
        analyzeText("<?xml version=\"1\"?>\n<!DOCTYPE T>\n<T x=\"1\"><!-- <Hidden/> -->< M k='v'/><M k=\"w\"/></T>", 0);
    EXPECT_EQ(doc.rootElement, "T");
    EXPECT_EQ(doc.topTagSummary, "M(2), Hidden(1), T(1)");
    EXPECT_EQ(doc.topAttributeKeySummary, "k(2), version(1), x(1)");

    std::string text;
    for (int i = 0; i < 15; ++i) text += "l" + std::to_string(i) + "\r\n";
    const XMLLikeAnalysis lines = analyzeText(text, 0);
    EXPECT_EQ(lines.lineCount, 31);
    EXPECT_EQ(lines.nonEmptyLineCount, 15);
    EXPECT_EQ(lines.preview, "l0\n\nl1\n\nl2\n\nl3\n\nl4\n\nl5\n");  // the first twelve lines
}

TEST(TopSummary, OrdersByCountThenCodePointAndKeepsSix) {
    EXPECT_EQ(topSummary({}), "none");
    EXPECT_EQ(topSummary({"g", "f", "e", "d", "c", "b", "a"}), "a(1), b(1), c(1), d(1), e(1), f(1)");
    EXPECT_EQ(topSummary({"b", "a", "B", "b"}), "b(2), B(1), a(1)");
}

TEST(EventSummary, NamesEachActionKindOnceInOrder) {
    const XMLLikeAnalysis a = analyzeText("<Tempolane>\n</Tempolane>", 5120);
    EXPECT_EQ(eventSummary(EventKind::initial, a, {}), "Initial Snapshot: 5120 bytes, 2 lines, root Tempolane");
    EXPECT_EQ(eventSummary(EventKind::created, analyzeText("", 0), {}), "Created: 0 bytes, 1 lines, root unknown root");
    EXPECT_EQ(eventSummary(EventKind::modified, a, {}), "Modified: no structured actions found");
    using K = LightingAction::Kind;
    std::vector<LightingAction> actions;
    for (const K kind : {K::markerAdded, K::fadeChanged, K::fadeChanged, K::manualCueIDChanged, K::unknown}) {
        actions.push_back({.kind = kind});
    }
    EXPECT_EQ(eventSummary(EventKind::modified, a, actions),
              "Modified: 5 action(s) [Fade Changed, ManualCueID Changed, Marker Added, Unrecognized Change]");
}

TEST(LineChangeText, ComparesLinesByPositionAndCountsGraphemes) {
    const struct Case { const char* before; const char* after; const char* text; } cases[] = {
        {"a\nb", "a\nc\nb", "Estimated changed lines: 2, character delta: 2."},
        {"", "a\r\nb", "Estimated changed lines: 2, character delta: 3."},  // CR LF: three lines, one character
        {"abc\ndef", "abc", "Estimated changed lines: 1, character delta: -4."},
        {"caf\u00E9", "cafe\u0301", "Estimated changed lines: 0, character delta: 0."},
    };
    for (const Case& c : cases) EXPECT_EQ(lineChangeText(c.before, c.after), c.text) << c.after;
    EXPECT_EQ(lineChangeText(std::nullopt, "x"), "Baseline snapshot captured.");
}

TEST(EventDetails, MarkerCountsAndParserNoteFollowTheDiff) {
    const std::string before = "<T><!-- a --><Marker TrackName=\"1/ A\" Label=\"x\"/></T>";
    const std::string after = "<T><!-- b --><Marker TrackName=\"1/ A\" Label=\"x\"/></T>";
    const XMLLikeAnalysis analysis = analyzeText(after, 0);
    EXPECT_EQ(eventDetails(analysis, before, diffMarkers(before, after, EventKind::modified)),
              "Estimated changed lines: 1, character delta: 0.\n"
              "Markers: 1 -> 1\n"
              "Top tags: Marker(1), T(1)\n"
              "Attribute keys: Label(1), TrackName(1)");
    EXPECT_EQ(eventDetails(analysis, std::nullopt, diffMarkers(std::nullopt, after, EventKind::initial)),
              "Baseline snapshot captured.\nMarkers now: 1\nTop tags: Marker(1), T(1)\n"
              "Attribute keys: Label(1), TrackName(1)");

    const XMLLikeAnalysis broken = analyzeText("<x>", 3);
    EXPECT_EQ(eventDetails(broken, "<x/>", diffMarkers(std::string("<x/>"), "<x>", EventKind::modified)),
              "Estimated changed lines: 1, character delta: -1.\nMarkers: n/a\nTop tags: x(1)\n"
              "Attribute keys: none\nParser note: Current file XML parsing failed.");
}

}  // namespace
}  // namespace lanternwick
