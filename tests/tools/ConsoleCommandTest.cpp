#include "console-sim/ConsoleCommand.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using Kind = ConsoleCommand::Kind;
using std::nullopt;

TEST(CommandLineSplit, EachHashEndsOneCommand) {
    EXPECT_EQ(splitCommandLine("$ Cue 1 / 2 Label Song #2 #"), (CommandLinePieces{{"$ Cue 1 / 2 Label Song", "2"}, ""}));
    EXPECT_EQ(splitCommandLine("# # Cue 1 / 2 Enter # Cue 1"), (CommandLinePieces{{"Cue 1 / 2 Enter"}, "Cue 1"}));
    EXPECT_EQ(splitCommandLine(""), (CommandLinePieces{}));
}

TEST(ConsoleCommandParse, EveryFormLanternwickSends) {
    const struct {
        std::string_view text;
        ConsoleCommand expected;
    } cases[] = {
        {"$ Cue 1 / 12.5 Enter", {Kind::enterCue, 1, "12.5", nullopt, nullopt, nullopt}},
        {"Cue -2/abc Enter", {Kind::enterCue, -2, "abc", nullopt, nullopt, nullopt}},
        {"Delete Cue 004 / 9 Enter", {Kind::deleteCue, 4, "9", nullopt, nullopt, nullopt}},
        {"$ Cue 1 / 12 Time 2 / 3", {Kind::setCueFields, 1, "12", "2 / 3", nullopt, nullopt}},
        {"$ Cue 1 / 12 Timecode 00:01:15:15", {Kind::setCueFields, 1, "12", nullopt, "00:01:15:15", nullopt}},
        // An empty label is sent as the keyword and two blanks, and clears it.
        {"$ Cue 1 / 12 Label  ", {Kind::setCueFields, 1, "12", nullopt, nullopt, ""}},
        {"Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro", {Kind::setCueFields, 2, "7", "3", "00:00:12:00", "Intro"}},
    };
    for (const auto& c : cases) {
        const auto result = parseConsoleCommand(c.text);
        ASSERT_TRUE(result.ok()) << c.text << ": " << result.error().reason;
        EXPECT_EQ(result.value(), c.expected) << c.text;
    }
}

TEST(ConsoleCommandParse, HostileLabelsStayLabels) {
    for (const std::string label : {"Time 5 Timecode 00:00:01:00", "Label", "Delete Cue 1 / 2 Enter", "\"quoted\" 'too'",
                                    "$ Cue 9 / 9 Enter", "Grüße — ☃", "inner   blanks  kept"}) {
        const auto plain = parseConsoleCommand("$ Cue 1 / 5 Label " + label);
        ASSERT_TRUE(plain.ok()) << label;
        EXPECT_EQ(plain.value(), (ConsoleCommand{Kind::setCueFields, 1, "5", nullopt, nullopt, label}));
        const auto update = parseConsoleCommand("Cue 1 / 5 Time 1 Timecode 00:00:01:00 Label " + label);
        ASSERT_TRUE(update.ok()) << label;
        EXPECT_EQ(update.value(), (ConsoleCommand{Kind::setCueFields, 1, "5", "1", "00:00:01:00", label}));
    }
}

TEST(ConsoleCommandParse, MalformedCommandsAreRefusedWithTheirText) {
    for (const std::string_view text :
         {"", "$", "Cue / 2 Enter", "Cue x / 2 Enter", "Cue 1 2 Enter", "Cue 1 / Enter", "Cue 1 / / Enter", "Cue 1 / 2",
          "Cue 1 / 2 Go", "Cue 1 / 2/3 Enter", "Cue 1 / 2 Time   ", "Cue 1 / 2 Timecode",
          "Cue 1 / 2 Timecode 00:00:01:00 Time 3", "Cue 1 / 2 Timex 3", "Cue 1 / 2 Enter now", "Cue1 / 2 Enter",
          "Delete Cue 1 / 2", "Delete Cue 1 / 2 Label x", "Go To Cue 1 / 2", "Cue 99999999999999999999 / 2 Enter", "2"}) {
        const auto result = parseConsoleCommand(text);
        ASSERT_FALSE(result.ok()) << "accepted: " << text;
        EXPECT_EQ(result.error().command, text);
        EXPECT_FALSE(result.error().reason.empty());
    }
}

}  // namespace
}  // namespace lanternwick::sim
