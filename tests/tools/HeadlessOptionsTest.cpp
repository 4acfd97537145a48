#include "headless/HeadlessOptions.h"

#include <gtest/gtest.h>

namespace lanternwick {
namespace {

using Answer = HeadlessOptions::DeletionAnswer;

HeadlessOptions parsed(const std::vector<std::string>& args) {
    const auto result = parseHeadlessArguments(args);
    EXPECT_TRUE(result.ok()) << result.error();
    return result.ok() ? result.value() : HeadlessOptions{};
}

std::string refusal(const std::vector<std::string>& args) {
    const auto result = parseHeadlessArguments(args);
    return result.ok() ? "accepted" : result.error();
}

TEST(HeadlessOptions, EveryFlagInBothSpellings) {
    HeadlessOptions expected;
    expected.file = std::filesystem::path("show/Lighting.xml");
    expected.host = "console.local";
    expected.port = 3032;
    expected.updateOnConnect = expected.syncLabels = expected.deleteCues = true;
    expected.deletionAnswer = Answer::yes;
    EXPECT_EQ(parsed({"--headless", "--file", "show/Lighting.xml", "--host", "console.local", "--port", "3032",
                      "--update-on-connect", "--sync-labels", "--delete-cues", "--assume-yes"}),
              expected);
    EXPECT_EQ(parsed({"--file=show/Lighting.xml", "--host=console.local", "--port=3032", "--delete-cues",
                      "--sync-labels", "--update-on-connect", "--assume-yes"}),
              expected);
    // Nothing given leaves everything to the saved settings.
    EXPECT_EQ(parsed({"--headless"}), HeadlessOptions{});
    EXPECT_EQ(parsed({"--assume-no"}).deletionAnswer, Answer::no);
    EXPECT_EQ(parsed({"--port", "1"}).port, 1);
    EXPECT_EQ(parsed({"--port", "65535"}).port, 65535);
    EXPECT_TRUE(parsed({"--help"}).showHelp);
}

TEST(HeadlessOptions, BadFlagsAreRefusedWithAReason) {
    EXPECT_EQ(refusal({"--verbose"}), "unknown argument: --verbose");
    EXPECT_EQ(refusal({"--assume-yes", "--assume-no"}), "--assume-yes and --assume-no exclude each other");
    EXPECT_EQ(refusal({"--sync-labels=no"}), "--sync-labels takes no value");
    for (const char* port : {"0", "65536", "-1", "80a", "", " 80", "123456"}) {
        EXPECT_NE(refusal({"--port", port}).find("--port needs a port number from 1 to 65535"), std::string::npos) << port;
    }
    EXPECT_NE(refusal({"--port"}).find("--port"), std::string::npos);
    EXPECT_EQ(refusal({"--host", "  "}), "--host needs a host name or address");
    EXPECT_EQ(refusal({"--file="}), "--file needs the path of a marker file");
}

}  // namespace
}  // namespace lanternwick
