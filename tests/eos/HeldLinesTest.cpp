#include "eos/HeldLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lanternwick {
namespace {

const std::string cmd = "/eos/user/0/newcmd";

HeldLine line(const char* text) { return {cmd, text}; }
HeldLine query(const char* address) { return {address, ""}; }

std::vector<std::string> texts(const std::vector<HeldLine>& lines) {
    std::vector<std::string> out;
    for (const HeldLine& l : lines) out.push_back(l.text.empty() ? l.address : l.text);
    return out;
}

TEST(HeldLines, NewerLinesReplaceOlderOnesOfTheSameCueAndPartAndDeletionsClearTheirCue) {
    struct Case {
        const char* name;
        std::vector<HeldLine> held;
        std::vector<std::string> kept;
        std::size_t replaced = 0;
    };
    const Case cases[] = {
        {"different parts and cues all stay, in order",
         {line("$ Cue 1 / 5 Enter #"), line("$ Cue 1 / 5 Time 2 #"), line("$ Cue 2 / 5 Time 2 #"),
          line("$ Cue 1 / 5 Timecode 00:00:01:00 #"), line("$ Cue 1 / 5 Label A #")},
         {"$ Cue 1 / 5 Enter #", "$ Cue 1 / 5 Time 2 #", "$ Cue 2 / 5 Time 2 #", "$ Cue 1 / 5 Timecode 00:00:01:00 #",
          "$ Cue 1 / 5 Label A #"},
         0},
        {"a newer time replaces the older one and takes its turn at the end",
         {line("$ Cue 1 / 5 Time 2 #"), line("$ Cue 1 / 6 Label B #"), line("$ Cue 1 / 5.0 Time 3 #")},
         {"$ Cue 1 / 6 Label B #", "$ Cue 1 / 5.0 Time 3 #"},
         1},
        {"a deletion removes everything held for its cue before it, queries included",
         {line("$ Cue 1 / 5 Enter #"), query("/eos/get/cue/1/5"), line("$ Cue 1 / 6 Enter #"),
          line("$ Cue 1 / 05 Label A #"), line("$ Delete Cue 1 / 5 Enter #")},
         {"$ Cue 1 / 6 Enter #", "$ Delete Cue 1 / 5 Enter #"},
         3},
        {"a cue entered again after its deletion comes after it",
         {line("$ Delete Cue 1 / 5 Enter #"), line("$ Cue 1 / 5 Enter #"), line("$ Delete Cue 1 / 5 Enter #"),
          line("$ Cue 1 / 5 Enter #")},
         {"$ Delete Cue 1 / 5 Enter #", "$ Cue 1 / 5 Enter #"},
         2},
        {"queries and full lines replace their own kind",
         {query("/eos/get/cue/1/5"), line("Cue 1 / 5 Time 1 Timecode 00:00:00:00 #"), query("/eos/get/cue/1/5"),
          line("Cue 1 / 5 Time 2 Timecode 00:00:00:00 #")},
         {"/eos/get/cue/1/5", "Cue 1 / 5 Time 2 Timecode 00:00:00:00 #"},
         2},
        {"lines of no cue are kept as they come",
         {line("Go #"), line("Go #"), query("/eos/user/0/key/blind")},
         {"Go #", "Go #", "/eos/user/0/key/blind"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeldLines held;
        std::size_t replaced = 0;
        for (const HeldLine& l : c.held) {
            const auto result = held.hold(l);
            EXPECT_TRUE(result.dropped.empty());
            replaced += result.replaced.size();
        }
        EXPECT_EQ(replaced, c.replaced) << "every line that leaves is reported as replaced";
        EXPECT_EQ(held.size(), c.kept.size());
        EXPECT_EQ(texts(held.takeAll()), c.kept);
        EXPECT_TRUE(held.empty());
    }
}

TEST(HeldLines, TheOldestGoPastTheLimitAndLinesPutBackInFrontYieldToNewerOnes) {
    HeldLines held;
    std::size_t dropped = 0;
    for (std::size_t cue = 1; cue <= HeldLines::limit + 3; ++cue) {
        dropped += held.hold({cmd, "$ Cue 1 / " + std::to_string(cue) + " Enter #"}).dropped.size();
    }
    EXPECT_EQ(dropped, 3U);
    EXPECT_EQ(held.size(), HeldLines::limit);
    EXPECT_EQ(held.takeAll().front().text, "$ Cue 1 / 4 Enter #");

    held.hold(line("$ Cue 1 / 5 Time 3 #"));
    held.hold(line("$ Delete Cue 1 / 7 Enter #"));
    const auto back =
        held.holdInFront({line("$ Cue 1 / 5 Time 2 #"), line("$ Cue 1 / 7 Enter #"), line("$ Cue 1 / 8 Enter #")});
    EXPECT_EQ(texts(back.replaced), (std::vector<std::string>{"$ Cue 1 / 5 Time 2 #", "$ Cue 1 / 7 Enter #"}));
    EXPECT_EQ(texts(held.takeAll()),
              (std::vector<std::string>{"$ Cue 1 / 8 Enter #", "$ Cue 1 / 5 Time 3 #", "$ Delete Cue 1 / 7 Enter #"}));
}

}  // namespace
}  // namespace lanternwick
