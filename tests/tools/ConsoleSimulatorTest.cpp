// The simulator's command parsing, cue table and message handling, without a socket.

#include "console-sim/ConsoleSimulator.h"

#include "console-sim/ConsoleCommand.h"
#include "console-sim/CueTable.h"
#include "console-sim/CueTableDump.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using ::testing::HasSubstr;
using Kind = ConsoleCommand::Kind;
using std::nullopt;

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
        // Whatever follows the label keyword is the label.
        {"Cue 1 / 5 Time 1 Timecode 00:00:01:00 Label Time 5 Timecode 00:00:02:00",
         {Kind::setCueFields, 1, "5", "1", "00:00:01:00", "Time 5 Timecode 00:00:02:00"}},
        {"Cue 1 / 5 Label Label", {Kind::setCueFields, 1, "5", nullopt, nullopt, "Label"}},
        {"Cue 1 / 5 Label Delete Cue 1 / 2 Enter", {Kind::setCueFields, 1, "5", nullopt, nullopt, "Delete Cue 1 / 2 Enter"}},
        {"Cue 1 / 5 Label $ Cue 9 / 9 Enter", {Kind::setCueFields, 1, "5", nullopt, nullopt, "$ Cue 9 / 9 Enter"}},
        {"Cue 1 / 5 Label \"quoted\" 'too' Grüße — ☃ inner   blanks  kept",
         {Kind::setCueFields, 1, "5", nullopt, nullopt, "\"quoted\" 'too' Grüße — ☃ inner   blanks  kept"}},
    };
    for (const auto& c : cases) {
        const auto result = parseConsoleCommand(c.text);
        ASSERT_TRUE(result.ok()) << c.text << ": " << result.error().reason;
        EXPECT_EQ(result.value(), c.expected) << c.text;
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

OSCMessage commandLine(std::string_view line) { return OSCMessage("/eos/user/0/newcmd", {OSCValue(line)}); }

class ConsoleSimulatorTest : public ::testing::Test {
protected:
    std::ostringstream out;
    SimulatorLog log{out, SimulatorLog::Format::json};
    ConsoleSimulator simulator{log};

    std::vector<OSCMessage> send(const OSCMessage& message) {
        out.str("");
        return simulator.handleMessage("peer", message);
    }
};

TEST_F(ConsoleSimulatorTest, CueQueriesAnswerInTheConsolesListFormOrNotAtAll) {
    send(commandLine("$ Cue 2 / 7 Enter # $ Cue 2 / 7 Label Intro # $ Cue 2 / 7 Time 2 / 3.5 #"));
    send(commandLine("$ Cue 2 / 7 Timecode 00:00:12:00 # $ Cue 1 / 3 Enter #"));
    const auto replies = send(OSCMessage("//eos/get//cue/2/7"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].address(), "/eos/out/get/cue/2/7/0/list/0/30");
    const std::vector<OSCValue>& values = replies[0].values();
    ASSERT_EQ(values.size(), 30u);
    EXPECT_EQ(values[0], OSCValue(std::int32_t{1})) << "the second cue in console order";
    EXPECT_EQ(values[2], OSCValue("Intro"));
    EXPECT_EQ(values[3], OSCValue(std::int32_t{2000}));
    EXPECT_EQ(values[5], OSCValue(std::int32_t{3500}));
    EXPECT_EQ(values[25], OSCValue("00:00:12:00"));
    EXPECT_THAT(out.str(), HasSubstr("\"event\":\"reply\",\"address\":\"/eos/out/get/cue/2/7/0/list/0/30\""));

    EXPECT_TRUE(send(OSCMessage("/eos/get/cue/2/8")).empty()) << "a missing cue gets no answer";
    for (const char* notAQuery : {"/eos/get/cue/x/3", "/eos/get/cue/1", "/eos/get/cue/1/2/3", "/eos/get/cues/1/2"}) {
        EXPECT_TRUE(send(OSCMessage(notAQuery)).empty()) << notAQuery;
        EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unhandled\"")) << notAQuery;
    }
    send(commandLine("$ Delete Cue 2 / 7 Enter #"));
    EXPECT_THAT(out.str(), HasSubstr("\"deleted\":{\"list\":2,\"cue\":\"7\"}"));
    EXPECT_EQ(simulator.cueTable().size(), 1u);
}

TEST(ConsoleSimulatorTimes, UpAndDownFromTheTimeText) {
    const struct {
        std::string_view text;
        std::optional<CueTimes> expected;
    } cases[] = {
        {"3", CueTimes{3000, 3000}},         {"1.5 / 2", CueTimes{1500, 2000}}, {"1:05", CueTimes{65000, 65000}},
        {"1:00:00", CueTimes{3600000, 3600000}}, {"0.25/1:30", CueTimes{250, 90000}}, {"", nullopt},
        {"x", nullopt},  {"1:2:3:4", nullopt}, {"-1", nullopt}, {"1.5:00", nullopt}, {"1 / ", nullopt},
        {"99999999", nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(cueTimes(c.text), c.expected) << c.text;
}

// Each packet within 512 bytes, the index saying where each one starts, and
// the whole list the same as unsplit.
TEST(ConsoleSimulatorReplies, ALongReplyIsSplitAtPacketBoundaries) {
    for (const std::size_t labelSize : {std::size_t{400}, std::size_t{700}}) {
        const SimulatedCue cue{1, "5", std::string(labelSize, 'L'), "3", "00:00:10:00"};
        const std::vector<OSCValue> values = baseCueValues(cue, 0);
        const auto messages = listMessages("/eos/out/get/cue/1/5/0", values);
        ASSERT_GT(messages.size(), 1u) << labelSize;
        std::vector<OSCValue> joined;
        for (const OSCMessage& message : messages) {
            EXPECT_EQ(message.address(), "/eos/out/get/cue/1/5/0/list/" + std::to_string(joined.size()) + "/30");
            const bool oversizedAlone = message.values().size() == 1 && labelSize > 512;
            EXPECT_TRUE(message.rawData()->size() <= 512 || oversizedAlone) << message.address();
            joined.insert(joined.end(), message.values().begin(), message.values().end());
        }
        EXPECT_EQ(joined, values);
    }
    EXPECT_EQ(listMessages("/p", baseCueValues({1, "5", "Intro", "3", ""}, 0)).size(), 1u);
}

TEST_F(ConsoleSimulatorTest, PingsAndVersionAreAnsweredAndPingsNotLogged) {
    const OSCMessage ping("/eos/ping", {OSCValue("probe"), OSCValue(std::int32_t{7})});
    EXPECT_EQ(send(ping), std::vector{OSCMessage("/eos/out/ping", {OSCValue("probe"), OSCValue(std::int32_t{7})})});
    EXPECT_EQ(out.str(), "");
    const auto version = send(OSCMessage("/eos/get/version"));
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].address(), "/eos/out/get/version");
    EXPECT_EQ(version[0].values(), std::vector<OSCValue>{OSCValue("lanternwick-console-sim")});

    ConsoleSimulator silent(log, nullopt, ConsoleBehaviour{.answersPing = false});
    EXPECT_TRUE(silent.handleMessage("peer", ping).empty());
}

// Each "#" ends one command, empty ones are no commands, and what follows
// the last one waits for a "#" that never comes.
TEST_F(ConsoleSimulatorTest, AHashInsideALabelEndsTheCommandThereAsOnTheConsole) {
    send(commandLine("# # $ Cue 1 / 5 Label Song #2 # Cue 1"));
    EXPECT_EQ(simulator.cueTable().find(1, "5")->label, "Song");
    EXPECT_EQ(simulator.cueTable().size(), 1u);
    const std::string refused = "{\"event\":\"refused\",\"command\":\"2\",\"reason\":\"expected Cue\"}";
    EXPECT_THAT(out.str(), HasSubstr(refused));
    EXPECT_EQ(out.str().find("refused"), out.str().rfind("refused")) << out.str();
    EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unterminated\",\"command\":\"Cue 1\"}"));
}

TEST_F(ConsoleSimulatorTest, UnusableMessagesChangeNothing) {
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue(std::int32_t{1})}));
    send(OSCMessage("/eos/user/0/newcmd"));
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 1 / 1 Enter #"), OSCValue("x")}));
    send(OSCMessage("/eos/user/0/cmd", {OSCValue("$ Cue 1 / 1 Enter #")}));
    send(commandLine("$ Cue 1 / 1 Enter"));
    EXPECT_EQ(simulator.cueTable().size(), 0u);
}

TEST_F(ConsoleSimulatorTest, KeyPressesAreReportedAndBundlesUnpacked) {
    send(OSCMessage("/eos/user/0/key/blind"));
    EXPECT_THAT(out.str(), HasSubstr("\n{\"event\":\"key\",\"key\":\"blind\"}\n"));
    const OSCBundle bundle({OSCPacket(commandLine("$ Cue 1 / 1 Enter #")),
                            OSCPacket(OSCBundle({OSCPacket(OSCMessage("/eos/get/cue/1/1"))}))});
    const auto replies = simulator.handlePacket("peer", OSCPacket(bundle));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].values().size(), 30u);
}

class ConsoleSimulatorDump : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string read() const {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "console-sim-dump-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    const std::filesystem::path file = dir / "cues.json";
    asio::io_context io;
    std::ostringstream out;
    SimulatorLog log{out, SimulatorLog::Format::text};
};

TEST_F(ConsoleSimulatorDump, FollowsTheTableAndTheTextLogIsReadable) {
    ConsoleSimulator simulator(log, DumpOptions{file, io.get_executor()});
    EXPECT_EQ(read(), "{\"cues\":[]}\n");
    simulator.handleMessage("p", commandLine("Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A #"));
    io.run();
    EXPECT_EQ(simulator.cueTable().size(), 1u);
    EXPECT_EQ(read(), simulator.cueTable().toJSON() + "\n");
    EXPECT_EQ(out.str(), "<- /eos/user/0/newcmd [\"Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A #\"]\n"
                         "   executed: Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A  => cue 1 / 2 label \"A\" time \"1\" "
                         "timecode \"00:00:01:00\"\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file is left";
}

// Names an attacker could plant beside the dump are never followed.
TEST_F(ConsoleSimulatorDump, APlantedSymlinkIsNotFollowed) {
    const auto victim = dir / "victim";
    std::ofstream(victim) << "precious";
    std::filesystem::create_symlink(victim, dir / "cues.json.tmp");
    std::filesystem::create_symlink(victim, dir / ".cues.json.tmp");
    ConsoleSimulator simulator(log, DumpOptions{file, io.get_executor()});
    simulator.handleMessage("p", commandLine("Cue 1 / 2 Label A #"));
    io.run();
    EXPECT_EQ(read(), simulator.cueTable().toJSON() + "\n");
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "cues.json.tmp"));
    EXPECT_FALSE(std::filesystem::is_symlink(file));
    EXPECT_EQ(replaceFile(dir / "missing-folder" / "x.json", "{}").empty(), false);
}

// 100,000 changes, each its own task as lines arriving from a client are:
// at most one write per interval while they run, and the file ends with the
// last state. A change still waiting for its interval when the dump goes is
// written on the way out.
TEST_F(ConsoleSimulatorDump, WritesAtMostOncePerIntervalAndAlwaysTheLastState) {
    CueTable table;
    const auto change = [&table](int i) {
        table.apply({Kind::setCueFields, 1, std::to_string(i % 1000), nullopt, nullopt, "L" + std::to_string(i)});
    };
    CueTableDump burst(table, log, DumpOptions{file, io.get_executor()});
    for (int i = 0; i < 100'000; ++i) {
        asio::post(io, [&, i] {
            change(i);
            burst.tableChanged();
        });
    }
    const auto start = std::chrono::steady_clock::now();
    io.run();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LE(burst.writeCount(), 2 + elapsed / std::chrono::milliseconds(100));
    EXPECT_EQ(read(), table.toJSON() + "\n");

    {
        CueTableDump leaving(table, log, DumpOptions{file, io.get_executor(), std::chrono::hours(1)});
        change(-1);
        leaving.tableChanged();
        EXPECT_NE(read(), table.toJSON() + "\n") << "within the interval the change waits";
    }
    EXPECT_EQ(read(), table.toJSON() + "\n");
}

}  // namespace
}  // namespace lanternwick::sim
