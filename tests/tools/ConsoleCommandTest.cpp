#include "console-sim/ConsoleCommand.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using Kind = ConsoleCommand::Kind;

ConsoleCommand parsed(std::string_view text) {
    const auto result = parseConsoleCommand(text);
    EXPECT_TRUE(result.ok()) << text << ": " << (result.ok() ? "" : result.error().reason);
    return result.ok() ? result.value() : ConsoleCommand{};
}

ConsoleCommand cue(Kind kind, std::int64_t list, std::string number) {
    ConsoleCommand command;
    command.kind = kind;
    command.cueList = list;
    command.cueNumber = std::move(number);
    return command;
}

TEST(CommandLineSplit, EachHashEndsOneCommand) {
    EXPECT_EQ(splitCommandLine("$ Cue 1 / 2 Enter #"), (CommandLinePieces{{"$ Cue 1 / 2 Enter"}, ""}));
    EXPECT_EQ(splitCommandLine("$ Cue 1 / 2 Label Song #2 #"),
              (CommandLinePieces{{"$ Cue 1 / 2 Label Song", "2"}, ""}));
    EXPECT_EQ(splitCommandLine("# # Cue 1 / 2 Enter # Cue 1"),
              (CommandLinePieces{{"Cue 1 / 2 Enter"}, "Cue 1"}));
    EXPECT_EQ(splitCommandLine("Cue 1 / 2 Enter"), (CommandLinePieces{{}, "Cue 1 / 2 Enter"}));
    EXPECT_EQ(splitCommandLine(""), (CommandLinePieces{}));
}

TEST(ConsoleCommandParse, EnterAndDelete) {
    EXPECT_EQ(parsed("$ Cue 1 / 12.5 Enter"), cue(Kind::enterCue, 1, "12.5"));
    EXPECT_EQ(parsed("Cue 3/7 Enter"), cue(Kind::enterCue, 3, "7"));
    EXPECT_EQ(parsed("$ Cue -2 / abc Enter"), cue(Kind::enterCue, -2, "abc"));
    EXPECT_EQ(parsed("$ Delete Cue 1 / 12.5 Enter"), cue(Kind::deleteCue, 1, "12.5"));
    EXPECT_EQ(parsed("Delete Cue 004 / 9 Enter"), cue(Kind::deleteCue, 4, "9"));
}

TEST(ConsoleCommandParse, SingleFieldLines) {
    ConsoleCommand time = cue(Kind::setCueFields, 1, "12");
    time.time = "3";
    EXPECT_EQ(parsed("$ Cue 1 / 12 Time 3"), time);

    ConsoleCommand split = cue(Kind::setCueFields, 1, "12");
    split.time = "2 / 3";
    EXPECT_EQ(parsed("$ Cue 1 / 12 Time 2 / 3"), split);

    ConsoleCommand timecode = cue(Kind::setCueFields, 1, "12");
    timecode.timecode = "00:01:15:15";
    EXPECT_EQ(parsed("$ Cue 1 / 12 Timecode 00:01:15:15"), timecode);

    ConsoleCommand label = cue(Kind::setCueFields, 1, "12");
    label.label = "Intro";
    EXPECT_EQ(parsed("$ Cue 1 / 12 Label Intro"), label);
}

TEST(ConsoleCommandParse, EmptyLabelClears) {
    // Lanternwick sends an empty label as the keyword followed by two blanks.
    for (const std::string_view text : {"$ Cue 1 / 12 Label  ", "$ Cue 1 / 12 Label"}) {
        const ConsoleCommand command = parsed(text);
        ASSERT_TRUE(command.label.has_value()) << text;
        EXPECT_EQ(*command.label, "") << text;
        EXPECT_FALSE(command.time.has_value());
    }
}

TEST(ConsoleCommandParse, UpdateLineSetsEverythingAtOnce) {
    ConsoleCommand full = cue(Kind::setCueFields, 2, "7");
    full.time = "3";
    full.timecode = "00:00:12:00";
    full.label = "Intro";
    EXPECT_EQ(parsed("Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro"), full);

    ConsoleCommand noLabel = cue(Kind::setCueFields, 2, "7");
    noLabel.time = "2 / 5";
    noLabel.timecode = "00:00:00:00";
    EXPECT_EQ(parsed("Cue 2 / 7 Time 2 / 5 Timecode 00:00:00:00"), noLabel);
}

TEST(ConsoleCommandParse, HostileLabelsStayLabels) {
    const std::string_view labels[] = {
        "Time 5 Timecode 00:00:01:00", "Label", "Delete Cue 1 / 2 Enter", "\"quoted\" 'too'",
        "a / b", "$ Cue 9 / 9 Enter", "Grüße — ☃", "Labels and Timecodes", "   inner   blanks  kept",
    };
    for (const std::string_view label : labels) {
        const std::string line = "$ Cue 1 / 5 Label " + std::string(label);
        const ConsoleCommand command = parsed(line);
        EXPECT_EQ(command.kind, Kind::setCueFields) << line;
        EXPECT_EQ(command.cueNumber, "5") << line;
        ASSERT_TRUE(command.label.has_value()) << line;
        const std::string expected = label.front() == ' ' ? "inner   blanks  kept" : std::string(label);
        EXPECT_EQ(*command.label, expected) << line;
        EXPECT_FALSE(command.time.has_value()) << line;
        EXPECT_FALSE(command.timecode.has_value()) << line;

        const std::string update = "Cue 1 / 5 Time 1 Timecode 00:00:01:00 Label " + std::string(label);
        const ConsoleCommand updated = parsed(update);
        EXPECT_EQ(updated.time, "1") << update;
        EXPECT_EQ(updated.timecode, "00:00:01:00") << update;
        EXPECT_EQ(updated.label, expected) << update;
    }
}

TEST(ConsoleCommandParse, MalformedCommandsAreRefusedWithTheirText) {
    const std::string_view malformed[] = {
        "",
        "$",
        "Cue",
        "Cue / 2 Enter",
        "Cue x / 2 Enter",
        "Cue 1 2 Enter",
        "Cue 1 / Enter",
        "Cue 1 / / Enter",
        "Cue 1 / 2",
        "Cue 1 / 2 Go",
        "Cue 1 / 2/3 Enter",
        "Cue 1 / 2 Time",
        "Cue 1 / 2 Time   ",
        "Cue 1 / 2 Timecode",
        "Cue 1 / 2 Timecode 00:00:01:00 Time 3",
        "Cue 1 / 2 Timex 3",
        "Cue 1 / 2 Enter now",
        "Cue1 / 2 Enter",
        "Delete Cue 1 / 2",
        "Delete Cue 1 / 2 Label x",
        "Delete 1 / 2 Enter",
        "Go To Cue 1 / 2",
        "Cue 99999999999999999999 / 2 Enter",
        "2",
    };
    for (const std::string_view text : malformed) {
        const auto result = parseConsoleCommand(text);
        EXPECT_FALSE(result.ok()) << "accepted: " << text;
        if (!result.ok()) {
            EXPECT_EQ(result.error().command, text);
            EXPECT_FALSE(result.error().reason.empty());
        }
    }
}

}  // namespace
}  // namespace lanternwick::sim
