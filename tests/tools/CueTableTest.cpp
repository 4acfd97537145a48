#include "console-sim/CueTable.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

ConsoleCommand command(ConsoleCommand::Kind kind, std::int64_t list, std::string number) {
    ConsoleCommand c;
    c.kind = kind;
    c.cueList = list;
    c.cueNumber = std::move(number);
    return c;
}

ConsoleCommand setFields(std::int64_t list, std::string number, std::optional<std::string> time,
                         std::optional<std::string> timecode, std::optional<std::string> label) {
    ConsoleCommand c = command(ConsoleCommand::Kind::setCueFields, list, std::move(number));
    c.time = std::move(time);
    c.timecode = std::move(timecode);
    c.label = std::move(label);
    return c;
}

TEST(CueTable, FieldsAccumulateAndCreateMissingCues) {
    CueTable table;
    table.apply(command(ConsoleCommand::Kind::enterCue, 1, "12"));
    EXPECT_EQ(table.find(1, "12"), (SimulatedCue{1, "12", "", "", ""}));

    table.apply(setFields(1, "12", "3", std::nullopt, std::nullopt));
    table.apply(setFields(1, "12", std::nullopt, "00:00:10:00", std::nullopt));
    table.apply(setFields(1, "12", std::nullopt, std::nullopt, "Intro"));
    EXPECT_EQ(table.find(1, "12"), (SimulatedCue{1, "12", "Intro", "3", "00:00:10:00"}));

    // Entering an existing cue keeps what it has, as the console does.
    table.apply(command(ConsoleCommand::Kind::enterCue, 1, "12"));
    EXPECT_EQ(table.find(1, "12")->label, "Intro");

    table.apply(setFields(1, "12", std::nullopt, std::nullopt, ""));
    EXPECT_EQ(table.find(1, "12")->label, "");

    const auto created = table.apply(setFields(2, "7", "2 / 5", "00:00:12:00", "Outro"));
    EXPECT_EQ(created, (SimulatedCue{2, "7", "Outro", "2 / 5", "00:00:12:00"}));
    EXPECT_EQ(table.size(), 2u);
}

TEST(CueTable, DeleteRemovesOnlyThatCue) {
    CueTable table;
    table.apply(command(ConsoleCommand::Kind::enterCue, 1, "1"));
    table.apply(command(ConsoleCommand::Kind::enterCue, 2, "1"));
    EXPECT_FALSE(table.apply(command(ConsoleCommand::Kind::deleteCue, 1, "1")).has_value());
    EXPECT_FALSE(table.find(1, "1").has_value());
    EXPECT_TRUE(table.find(2, "1").has_value());
    table.apply(command(ConsoleCommand::Kind::deleteCue, 3, "1"));
    EXPECT_EQ(table.size(), 1u);
}

TEST(CueTable, ConsoleOrderIsNumericWithinAList) {
    CueTable table;
    for (const char* number : {"10", "2", "abc", "2.5", "1"}) {
        table.apply(command(ConsoleCommand::Kind::enterCue, 1, number));
    }
    table.apply(command(ConsoleCommand::Kind::enterCue, 0, "99"));
    std::vector<std::string> order;
    for (const SimulatedCue& cue : table.cues()) order.push_back(std::to_string(cue.cueList) + "/" + cue.cueNumber);
    EXPECT_EQ(order, (std::vector<std::string>{"0/99", "1/1", "1/2", "1/2.5", "1/10", "1/abc"}));
    // The console reads 2 and 2.0 as the same cue.
    EXPECT_EQ(table.find(1, "2.0")->cueNumber, "2");
}

TEST(CueTable, JSONEscapesHostileText) {
    CueTable table;
    table.apply(setFields(1, "5", "1", "00:00:01:00", "say \"hi\"\\\n\x01 ☃"));
    EXPECT_EQ(table.toJSON(),
              "{\"cues\":[{\"list\":1,\"cue\":\"5\",\"label\":\"say \\\"hi\\\"\\\\\\n\\u0001 ☃\","
              "\"time\":\"1\",\"timecode\":\"00:00:01:00\"}]}");
    EXPECT_EQ(CueTable().toJSON(), "{\"cues\":[]}");
}

}  // namespace
}  // namespace lanternwick::sim
