#include "eos/EosCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lanternwick {
namespace {

using std::nullopt;
using std::optional;
using std::string;

TEST(EosCommandLines, ExactTexts) {
    EXPECT_EQ(enterCueLine(1, "12"), "$ Cue 1 / 12 Enter #");
    EXPECT_EQ(cueTimeLine(1, "12.5", "3"), "$ Cue 1 / 12.5 Time 3 #");
    EXPECT_EQ(cueTimecodeLine(2, "7", "00:01:15:15"), "$ Cue 2 / 7 Timecode 00:01:15:15 #");
    EXPECT_EQ(cueLabelLine(1, "4", "Intro"), "$ Cue 1 / 4 Label Intro #");
    EXPECT_EQ(deleteCueLine(3, "12.5"), "$ Delete Cue 3 / 12.5 Enter #");
    EXPECT_EQ(cueQueryAddress(1, "12"), "/eos/get/cue/1/12");
}

TEST(EosCommandLines, ListsInDecimalAndCuesAndValuesTrimmed) {
    EXPECT_EQ(enterCueLine(-4, " \t12\n"), "$ Cue -4 / 12 Enter #");
    EXPECT_EQ(enterCueLine(7, "012"), "$ Cue 7 / 012 Enter #");
    EXPECT_EQ(cueTimeLine(10, " 5 ", "  2 / 3\n"), "$ Cue 10 / 5 Time 2 / 3 #");
    EXPECT_EQ(cueQueryAddress(2, " 9 "), "/eos/get/cue/2/9");
    EXPECT_EQ(deleteCueLine(1, "\u00a012\u2028"), "$ Delete Cue 1 / 12 Enter #");
}

TEST(EosCommandLines, BlankCueOrValueGivesNoLine) {
    EXPECT_EQ(enterCueLine(1, ""), nullopt);
    EXPECT_EQ(enterCueLine(1, "  \n"), nullopt);
    EXPECT_EQ(cueTimeLine(1, "5", " "), nullopt);
    EXPECT_EQ(cueTimeLine(1, " ", "3"), nullopt);
    EXPECT_EQ(cueTimecodeLine(1, "5", ""), nullopt);
    EXPECT_EQ(cueLabelLine(1, "", "Intro"), nullopt);
    EXPECT_EQ(deleteCueLine(1, "   "), nullopt);
    EXPECT_EQ(cueQueryAddress(1, "\t"), nullopt);
}

TEST(EosCommandLines, BlankLabelLeavesTwoBlanksBeforeTerminator) {
    EXPECT_EQ(cueLabelLine(1, "5", ""), "$ Cue 1 / 5 Label  #");
    EXPECT_EQ(cueLabelLine(1, "5", "   "), "$ Cue 1 / 5 Label  #");
}

TEST(EosCommandLines, HostileLabelsCannotEndTheLineEarly) {
    EXPECT_EQ(cueLabelLine(1, "5", "Song #2"), "$ Cue 1 / 5 Label Song 2 #");
    EXPECT_EQ(cueLabelLine(1, "5", "A # $ Delete Cue 1 / 1 Enter #"), "$ Cue 1 / 5 Label A  $ Delete Cue 1 / 1 Enter #");
    EXPECT_EQ(cueLabelLine(1, "5", "###"), "$ Cue 1 / 5 Label  #");
    EXPECT_EQ(sanitizedLabel(" # Verse # "), "Verse");
    const auto line = cueLabelLine(1, "5", "x#y#z");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->find('#'), line->size() - 1);
}

TEST(EosCommandLines, CueOrValueHoldingTerminatorIsUnusable) {
    EXPECT_EQ(enterCueLine(1, "5#"), nullopt);
    EXPECT_EQ(enterCueLine(1, "5 # Delete Cue 1"), nullopt);
    EXPECT_EQ(cueLabelLine(1, "#", "Intro"), nullopt);
    EXPECT_EQ(cueTimeLine(1, "5", "2 # $ Go"), nullopt);
    EXPECT_EQ(cueTimecodeLine(1, "5", "#"), nullopt);
    EXPECT_EQ(deleteCueLine(1, "1#"), nullopt);
    EXPECT_EQ(cueQueryAddress(1, "1#2"), nullopt);
    EXPECT_EQ(fullCueLine(1, "4#", "2", nullopt, nullopt), nullopt);
}

TEST(EosCommandLines, FullCueLine) {
    EXPECT_EQ(fullCueLine(2, "7", "3", "00:00:12:00", "Intro"), "Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #");
    EXPECT_EQ(fullCueLine(2, "7", nullopt, nullopt, "Intro"), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 Label Intro #");
    EXPECT_EQ(fullCueLine(2, "7", "3", "00:00:12:00", nullopt), "Cue 2 / 7 Time 3 Timecode 00:00:12:00 #");
    EXPECT_EQ(fullCueLine(2, "7", "3", "00:00:12:00", "  "), "Cue 2 / 7 Time 3 Timecode 00:00:12:00 #");
    // A fade that would smuggle a terminator in counts as no fade.
    EXPECT_EQ(fullCueLine(2, "7", "3 / x#", nullopt, "Song #2"), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 Label Song 2 #");
    EXPECT_EQ(fullCueLine(2, "7", nullopt, nullopt, "#"), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 #");
}

TEST(ZeroCue, NumbersEqualToZero) {
    for (const char* zero : {"0", "0.0", "00", "-0", " 0.00 ", "0e5", "+0"}) {
        EXPECT_TRUE(isZeroCue(zero)) << zero;
    }
    for (const char* other : {"0a", "abc", "", " ", "0.001", "1", "0x", "- 0"}) {
        EXPECT_FALSE(isZeroCue(other)) << other;
    }
}

TEST(FadeTimeText, FadeAndFadeOut) {
    EXPECT_EQ(fadeTimeText("2", "3"), "2 / 3");
    EXPECT_EQ(fadeTimeText("2", "-1"), "2");
    EXPECT_EQ(fadeTimeText("2", "-1.0"), "2");
    EXPECT_EQ(fadeTimeText("2", " -1 "), "2");
    EXPECT_EQ(fadeTimeText("2", "x"), "2 / x");
    EXPECT_EQ(fadeTimeText(" 2 ", " 5\n"), "2 / 5");
    EXPECT_EQ(fadeTimeText("2", ""), "2");
    EXPECT_EQ(fadeTimeText("2", nullopt), "2");
    EXPECT_EQ(fadeTimeText("", "3"), nullopt);
    EXPECT_EQ(fadeTimeText("  ", "3"), nullopt);
    EXPECT_EQ(fadeTimeText(nullopt, "3"), nullopt);
    EXPECT_EQ(fadeTimeText("abc", "-2"), "abc / -2");
}

TEST(FormatTimecode, FramesAtThirtyPerSecond) {
    EXPECT_EQ(formatTimecode(0), "00:00:00:00");
    EXPECT_EQ(formatTimecode(75.5), "00:01:15:15");
    EXPECT_EQ(formatTimecode(10), "00:00:10:00");
    EXPECT_EQ(formatTimecode(3610.5), "01:00:10:15");
    EXPECT_EQ(formatTimecode(0.0166), "00:00:00:00");
    EXPECT_EQ(formatTimecode(0.0167), "00:00:00:01");
    // Exactly half a frame rounds away from zero.
    EXPECT_EQ(formatTimecode(1.0 / 60.0), "00:00:00:01");
    EXPECT_EQ(formatTimecode(59.99), "00:01:00:00");
    // Hours are not wrapped at 24 and grow past two digits.
    EXPECT_EQ(formatTimecode(100 * 3600 + 1), "100:00:01:00");
    EXPECT_EQ(formatTimecode(25 * 3600), "25:00:00:00");
}

TEST(FormatTimecode, NoTextForUnusableValues) {
    EXPECT_EQ(formatTimecode(-0.001), nullopt);
    EXPECT_EQ(formatTimecode(-1), nullopt);
    EXPECT_EQ(formatTimecode(std::nan("")), nullopt);
    EXPECT_EQ(formatTimecode(std::numeric_limits<double>::infinity()), nullopt);
    EXPECT_EQ(formatTimecode(1e300), nullopt);
    EXPECT_EQ(formatTimecode(9223372036854775807.0 / 30.0), nullopt);
    EXPECT_TRUE(formatTimecode(1e15).has_value());
}

TEST(TimecodeText, PositionPlusOffset) {
    EXPECT_EQ(timecodeText("10", 0), "00:00:10:00");
    EXPECT_EQ(timecodeText(" 12 ", 0), "00:00:12:00");
    EXPECT_EQ(timecodeText("1.5", 3610.5), "01:00:12:00");
    EXPECT_EQ(timecodeText("0", 0), "00:00:00:00");
    EXPECT_EQ(timecodeText("-1", 0), nullopt);
    EXPECT_EQ(timecodeText("", 0), nullopt);
    EXPECT_EQ(timecodeText(nullopt, 5), nullopt);
    EXPECT_EQ(timecodeText("nan", 0), nullopt);
    EXPECT_EQ(timecodeText("12s", 0), nullopt);
    EXPECT_EQ(timecodeText("inf", 0), nullopt);
    EXPECT_EQ(timecodeText("1e400", 0), nullopt);
}

}  // namespace
}  // namespace lanternwick
