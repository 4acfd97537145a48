#include "console-sim/ConsoleSimulator.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lanternwick::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

OSCMessage commandLine(std::string_view line) { return OSCMessage("/eos/user/0/newcmd", {OSCValue(line)}); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

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
    send(commandLine("Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #"));

    const auto found = send(OSCMessage("/eos/get/cue/2/7"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], OSCMessage("/eos/out/get/cue/2/7", {OSCValue("Intro"), OSCValue(std::int32_t{2}),
                                                            OSCValue("3"), OSCValue("00:00:12:00")}));
    EXPECT_THAT(lines(out.str()).back(), HasSubstr("\"event\":\"reply\""));

    const auto missing = send(OSCMessage("/eos/get/cue/2/8"));
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0], OSCMessage("/eos/out/get/cue/2/8"));

    // A cue entered without fields answers with empty texts, not no values.
    send(commandLine("$ Cue 1 / 12.5 Enter #"));
    const auto bare = send(OSCMessage("//eos/get//cue/1/12.5"));
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0], OSCMessage("/eos/out/get/cue/1/12.5",
                                  {OSCValue(""), OSCValue(std::int32_t{1}), OSCValue(""), OSCValue("")}));

    for (const char* notAQuery : {"/eos/get/cue/x/3", "/eos/get/cue/1", "/eos/get/cue/1/2/3", "/eos/get/cues/1/2"}) {
        EXPECT_TRUE(send(OSCMessage(notAQuery)).empty()) << notAQuery;
        EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unhandled\"")) << notAQuery;
    }
}

TEST_F(ConsoleSimulatorTest, EveryLineFormLandsInTheTable) {
    send(commandLine("$ Cue 1 / 12 Enter #"));
    send(commandLine("$ Cue 1 / 12 Label Intro #"));
    send(commandLine("$ Cue 1 / 12 Time 2 / 3 #"));
    send(commandLine("$ Cue 1 / 12 Timecode 00:00:10:00 #"));
    EXPECT_EQ(simulator.cueTable().find(1, "12"), (SimulatedCue{1, "12", "Intro", "2 / 3", "00:00:10:00"}));

    send(commandLine("$ Cue 1 / 12 Label  #"));
    EXPECT_EQ(simulator.cueTable().find(1, "12")->label, "");

    send(commandLine("$ Cue 3 / 4 Time 5 #"));
    EXPECT_EQ(simulator.cueTable().find(3, "4"), (SimulatedCue{3, "4", "", "5", ""}));

    send(commandLine("$ Delete Cue 1 / 12 Enter #"));
    EXPECT_FALSE(simulator.cueTable().find(1, "12").has_value());
    EXPECT_THAT(out.str(), HasSubstr("\"deleted\":{\"list\":1,\"cue\":\"12\"}"));
    EXPECT_EQ(simulator.cueTable().size(), 1u);
}

TEST_F(ConsoleSimulatorTest, AHashInsideALabelEndsTheCommandThereAsOnTheConsole) {
    send(commandLine("$ Cue 1 / 5 Label Song #2 #"));
    EXPECT_EQ(simulator.cueTable().find(1, "5")->label, "Song");
    const auto printed = lines(out.str());
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_THAT(printed[1], HasSubstr("\"event\":\"executed\""));
    EXPECT_EQ(printed[2], "{\"event\":\"refused\",\"command\":\"2\",\"reason\":\"expected Cue\"}");
}

TEST_F(ConsoleSimulatorTest, UnusableMessagesChangeNothing) {
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue(std::int32_t{1})}));
    send(OSCMessage("/eos/user/0/newcmd"));
    send(OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 1 / 1 Enter #"), OSCValue("x")}));
    send(commandLine("$ Cue 1 / 1 Enter"));
    EXPECT_THAT(out.str(), HasSubstr("\"event\":\"unterminated\""));
    send(commandLine("$ Cue 1 / Go #"));
    EXPECT_THAT(out.str(), HasSubstr("\"event\":\"refused\""));
    send(OSCMessage("/eos/user/0/cmd", {OSCValue("$ Cue 1 / 1 Enter #")}));
    EXPECT_EQ(simulator.cueTable().size(), 0u);
}

TEST_F(ConsoleSimulatorTest, KeyPressesAreReportedAndBundlesUnpacked) {
    send(OSCMessage("/eos/user/0/key/blind"));
    EXPECT_THAT(lines(out.str()), ElementsAre(HasSubstr("\"received\""), "{\"event\":\"key\",\"key\":\"blind\"}"));

    const OSCBundle bundle({OSCPacket(commandLine("$ Cue 1 / 1 Enter #")),
                            OSCPacket(OSCBundle({OSCPacket(OSCMessage("/eos/get/cue/1/1"))}))});
    const auto replies = simulator.handlePacket("peer", OSCPacket(bundle));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].values().size(), 4u);
}

TEST(ConsoleSimulatorDump, DumpFollowsEveryChange) {
    const auto dir = std::filesystem::temp_directory_path() / ("console-sim-dump-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto dump = dir / "cues.json";
    const auto read = [&] {
        std::ifstream in(dump);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::ostringstream out;
    SimulatorLog log(out, SimulatorLog::Format::text);
    ConsoleSimulator simulator(log, dump);
    EXPECT_EQ(read(), "{\"cues\":[]}\n");
    simulator.executeCommandLine("Cue 1 / 2 Time 1 Timecode 00:00:01:00 Label \"A\" #");
    EXPECT_EQ(read(), "{\"cues\":[{\"list\":1,\"cue\":\"2\",\"label\":\"\\\"A\\\"\",\"time\":\"1\","
                      "\"timecode\":\"00:00:01:00\"}]}\n");
    simulator.executeCommandLine("$ Delete Cue 1 / 2 Enter #");
    EXPECT_EQ(read(), "{\"cues\":[]}\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "cues.json.tmp"));
    std::filesystem::remove_all(dir);
}

TEST(SimulatorLogText, ReadableLines) {
    std::ostringstream out;
    SimulatorLog log(out, SimulatorLog::Format::text);
    ConsoleSimulator simulator(log);
    simulator.handleMessage("p", OSCMessage("/eos/user/0/newcmd", {OSCValue("$ Cue 1 / 2 Label Intro #")}));
    EXPECT_EQ(out.str(),
              "<- /eos/user/0/newcmd [\"$ Cue 1 / 2 Label Intro #\"]\n"
              "   executed: $ Cue 1 / 2 Label Intro  => cue 1 / 2 label \"Intro\" time \"\" timecode \"\"\n");
}

}  // namespace
}  // namespace lanternwick::sim
