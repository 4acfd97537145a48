#include "eos/EosCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lanternwick {
namespace {

using std::nullopt;

TEST(EosCommandLines, ExactTextsWithTrimmedCuesAndValues) {
    EXPECT_EQ(enterCueLine(-4, " \t12\n"), "$ Cue -4 / 12 Enter #");
    EXPECT_EQ(cueTimeLine(10, " 5 ", "  2 / 3\n"), "$ Cue 10 / 5 Time 2 / 3 #");
    EXPECT_EQ(deleteCueLine(1, "\u00a012\u2028"), "$ Delete Cue 1 / 12 Enter #");
    EXPECT_EQ(cueQueryAddress(2, " 9 "), "/eos/get/cue/2/9");
    EXPECT_EQ(enterCueLine(7, "012"), "$ Cue 7 / 012 Enter #");
    // A blank label still clears the cue's label.
    EXPECT_EQ(cueLabelLine(1, "5", "   "), "$ Cue 1 / 5 Label  #");
}

TEST(EosCommandLines, BlankOrTerminatorHoldingCuesAndValuesGiveNoLine) {
    for (const char* cue : {"", "  \n", "5#", "5 # Delete Cue 1", "5 Enter Go"}) {
        EXPECT_EQ(enterCueLine(1, cue), nullopt) << cue;
        EXPECT_EQ(cueLabelLine(1, cue, "Intro"), nullopt) << cue;
        EXPECT_EQ(deleteCueLine(1, cue), nullopt) << cue;
        EXPECT_EQ(cueQueryAddress(1, cue), nullopt) << cue;
        EXPECT_EQ(fullCueLine(1, cue, "2", nullopt, nullopt), nullopt) << cue;
    }
    EXPECT_EQ(cueTimeLine(1, "5", " "), nullopt);
    EXPECT_EQ(cueTimeLine(1, "5", "2 # $ Go"), nullopt);
    EXPECT_EQ(cueTimecodeLine(1, "5", "#"), nullopt);
}

TEST(EosCommandLines, HashesAreStrippedFromLabelsSoTheyCannotEndTheLineEarly) {
    EXPECT_EQ(cueLabelLine(1, "5", "Song #2"), "$ Cue 1 / 5 Label Song 2 #");
    EXPECT_EQ(cueLabelLine(1, "5", "A # $ Delete Cue 1 / 1 Enter #"), "$ Cue 1 / 5 Label A  $ Delete Cue 1 / 1 Enter #");
    EXPECT_EQ(cueLabelLine(1, "5", "###"), "$ Cue 1 / 5 Label  #");
    EXPECT_EQ(sanitizedLabel(" # Verse # "), "Verse");
}

TEST(EosCommandLines, FullCueLine) {
    EXPECT_EQ(fullCueLine(2, "7", "3", "00:00:12:00", "Intro"), "Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #");
    EXPECT_EQ(fullCueLine(2, "7", nullopt, nullopt, "  "), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 #");
    // A fade that would smuggle a terminator in counts as no fade.
    EXPECT_EQ(fullCueLine(2, "7", "3 / x#", nullopt, "Song #2"), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 Label Song 2 #");
    EXPECT_EQ(fullCueLine(2, "7", nullopt, nullopt, "#"), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 #");
}

TEST(EosCommandValues, ZeroCuesFadeTextsAndTimecodes) {
    for (const char* zero : {"0", "0.0", "-0", " 0.00 ", "0e5", "+0"}) EXPECT_TRUE(isZeroCue(zero)) << zero;
    for (const char* other : {"0a", "", " ", "0.001", "0x", "- 0"}) EXPECT_FALSE(isZeroCue(other)) << other;

    EXPECT_EQ(fadeTimeText(" 2 ", " 5\n"), "2 / 5");
    EXPECT_EQ(fadeTimeText("2", " -1.0 "), "2") << "a fade-out of -1 means none";
    // Words after a blank would reach the console as commands of their own.
    for (const auto& [fade, fadeOut] : {std::pair{"  ", "3"}, {"2 Enter Go", "-1"}, {"2", "3\tEnter Go"}}) {
        EXPECT_EQ(fadeTimeText(fade, fadeOut), nullopt) << fade << " / " << fadeOut;
    }

    EXPECT_EQ(formatTimecode(0.0166), "00:00:00:00");
    EXPECT_EQ(formatTimecode(1.0 / 60.0), "00:00:00:01") << "half a frame rounds away from zero";
    EXPECT_EQ(formatTimecode(59.99), "00:01:00:00");
    EXPECT_EQ(formatTimecode(100 * 3600 + 1), "100:00:01:00") << "hours are not wrapped";
    for (const double unusable : {-0.001, std::nan(""), std::numeric_limits<double>::infinity(), 1e300,
                                  9223372036854775807.0 / 30.0}) {
        EXPECT_EQ(formatTimecode(unusable), nullopt) << unusable;
    }
    EXPECT_TRUE(formatTimecode(1e15).has_value());

    for (const char* position : {"-1", "", "nan", "12s", "inf", "1e400"}) {
        EXPECT_EQ(timecodeText(position, 0), nullopt) << position;
    }
    EXPECT_EQ(timecodeText(nullopt, 5), nullopt);
}

}  // namespace
}  // namespace lanternwick
