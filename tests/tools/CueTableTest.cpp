#include "console-sim/CueTable.h"

#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using Kind = ConsoleCommand::Kind;

TEST(CueTable, EnteringKeepsFieldsAndDeletingRemovesOnlyThatCue) {
    CueTable table;
    table.apply({Kind::setCueFields, 1, "12", "3", std::nullopt, "Intro"});
    table.apply({Kind::enterCue, 1, "12"});
    table.apply({Kind::enterCue, 2, "12"});
    EXPECT_EQ(table.find(1, "12"), (SimulatedCue{1, "12", "Intro", "3", ""}));
    EXPECT_FALSE(table.apply({Kind::deleteCue, 2, "12"}).has_value());
    table.apply({Kind::deleteCue, 3, "12"});
    EXPECT_FALSE(table.find(2, "12").has_value());
    EXPECT_EQ(table.size(), 1u);
}

TEST(CueTable, ConsoleOrderIsNumericWithinAList) {
    CueTable table;
    for (const char* number : {"10", "2", "abc", "2.5", "1"}) table.apply({Kind::enterCue, 1, number});
    table.apply({Kind::enterCue, 0, "99"});
    std::vector<std::string> order;
    for (const SimulatedCue& cue : table.cues()) order.push_back(std::to_string(cue.cueList) + "/" + cue.cueNumber);
    EXPECT_EQ(order, (std::vector<std::string>{"0/99", "1/1", "1/2", "1/2.5", "1/10", "1/abc"}));
    // The console reads 2 and 2.0 as the same cue.
    EXPECT_EQ(table.find(1, "2.0")->cueNumber, "2");
}

TEST(CueTable, JSONEscapesHostileText) {
    CueTable table;
    table.apply({Kind::setCueFields, 1, "5", "1", "00:00:01:00", "say \"hi\"\\\n\x01 ☃"});
    EXPECT_EQ(table.toJSON(),
              "{\"cues\":[{\"list\":1,\"cue\":\"5\",\"label\":\"say \\\"hi\\\"\\\\\\n\\u0001 ☃\","
              "\"time\":\"1\",\"timecode\":\"00:00:01:00\"}]}");
    EXPECT_EQ(CueTable().toJSON(), "{\"cues\":[]}");
}

}  // namespace
}  // namespace lanternwick::sim
