#include "console-sim/ConsoleSimulator.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using ::testing::HasSubstr;

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

TEST_F(ConsoleSimulatorTest, CueQueriesAnswerWithTheCueOrWithNothing) {
    send(commandLine("$ Cue 2 / 7 Enter # $ Cue 2 / 7 Label Intro # $ Cue 2 / 7 Time 2 / 3 #"));
    send(commandLine("$ Cue 2 / 7 Timecode 00:00:12:00 #"));
    EXPECT_EQ(send(OSCMessage("//eos/get//cue/2/7")),
              std::vector{OSCMessage("/eos/out/get/cue/2/7", {OSCValue("Intro"), OSCValue(std::int32_t{2}),
                                                              OSCValue("2 / 3"), OSCValue("00:00:12:00")})});
    EXPECT_EQ(send(OSCMessage("/eos/get/cue/2/8")), std::vector{OSCMessage("/eos/out/get/cue/2/8")});
    send(commandLine("$ Cue 1 / 12.5 Enter #"));
    // A cue entered without fields answers with empty texts, not no values.
    EXPECT_EQ(send(OSCMessage("/eos/get/cue/1/12.5")),
              std::vector{OSCMessage("/eos/out/get/cue/1/12.5",
                                     {OSCValue(""), OSCValue(std::int32_t{1}), OSCValue(""), OSCValue("")})});
    for (const char* notAQuery : {"/eos/get/cue/x/3", "/eos/get/cue/1", "/eos/get/cue/1/2/3", "/eos/get/cues/1/2"}) {
        EXPECT_TRUE(send(OSCMessage(notAQuery)).empty()) << notAQuery;
        EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unhandled\"")) << notAQuery;
    }
    send(commandLine("$ Delete Cue 2 / 7 Enter #"));
    EXPECT_THAT(out.str(), HasSubstr("\"deleted\":{\"list\":2,\"cue\":\"7\"}"));
    EXPECT_EQ(simulator.cueTable().size(), 1u);
}

TEST_F(ConsoleSimulatorTest, AHashInsideALabelEndsTheCommandThereAsOnTheConsole) {
    send(commandLine("$ Cue 1 / 5 Label Song #2 #"));
    EXPECT_EQ(simulator.cueTable().find(1, "5")->label, "Song");
    EXPECT_THAT(out.str(), HasSubstr("{\"event\":\"refused\",\"command\":\"2\",\"reason\":\"expected Cue\"}"));
}

TEST_F(ConsoleSimulatorTest, UnusableMessagesChangeNothing) {
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue(std::int32_t{1})}));
    send(OSCMessage("/eos/user/0/newcmd"));
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 1 / 1 Enter #"), OSCValue("x")}));
    send(OSCMessage("/eos/user/0/cmd", {OSCValue("$ Cue 1 / 1 Enter #")}));
    send(commandLine("$ Cue 1 / 1 Enter"));
    EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unterminated\""));
    EXPECT_EQ(simulator.cueTable().size(), 0u);
}

TEST_F(ConsoleSimulatorTest, KeyPressesAreReportedAndBundlesUnpacked) {
    send(OSCMessage("/eos/user/0/key/blind"));
    EXPECT_THAT(out.str(), HasSubstr("\n{\"event\":\"key\",\"key\":\"blind\"}\n"));
    const OSCBundle bundle({OSCPacket(commandLine("$ Cue 1 / 1 Enter #")),
                            OSCPacket(OSCBundle({OSCPacket(OSCMessage("/eos/get/cue/1/1"))}))});
    const auto replies = simulator.handlePacket("peer", OSCPacket(bundle));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].values().size(), 4u);
}

TEST(ConsoleSimulatorDump, DumpFollowsEveryChangeAndTheTextLogIsReadable) {
    const auto dir = std::filesystem::temp_directory_path() / ("console-sim-dump-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto read = [&] {
        std::ifstream in(dir / "cues.json");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::ostringstream out;
    SimulatorLog log(out, SimulatorLog::Format::text);
    ConsoleSimulator simulator(log, dir / "cues.json");
    EXPECT_EQ(read(), "{\"cues\":[]}\n");
    simulator.handleMessage("p", commandLine("Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A #"));
    EXPECT_EQ(read(), "{\"cues\":[{\"list\":1,\"cue\":\"2\",\"label\":\"A\",\"time\":\"1\","
                      "\"timecode\":\"00:00:01:00\"}]}\n");
    EXPECT_EQ(out.str(), "<- /eos/user/0/newcmd [\"Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A #\"]\n"
                         "   executed: Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label A  => cue 1 / 2 label \"A\" time \"1\" "
                         "timecode \"00:00:01:00\"\n");
    simulator.executeCommandLine("$ Delete Cue 1 / 2 Enter #");
    EXPECT_EQ(read(), "{\"cues\":[]}\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "cues.json.tmp"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lanternwick::sim
