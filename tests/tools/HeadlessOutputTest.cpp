// What the headless run prints: one scripted session in text and in JSON
// Lines, the escaping of hostile texts, and the time stamps.

#include <cstdlib>
#include <ctime>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "common/ScriptedSession.h"
#include "headless/HeadlessRecordFormat.h"
#include "headless/HeadlessReporter.h"

namespace lanternwick {
namespace {

using namespace std::string_view_literals;

struct Printed {
    std::string out;
    std::string err;
};

// The scripted session, then the marker file removed.
Printed printSession(HeadlessReporter::Format format) {
    const testing::ScriptedSession session;
    std::ostringstream out;
    std::ostringstream err;
    HeadlessReporter reporter(*session.monitor, out, err, format);
    session.play();
    std::filesystem::remove(session.file);
    session.monitor->pollOnce();
    return {out.str(), std::regex_replace(err.str(), std::regex(session.folder.string()), "FOLDER")};
}

std::string maskedText(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(^\d\d:\d\d:\d\d\.\d\d\d )", std::regex::multiline), "hh:mm:ss.mmm ");
}

std::string maskedJson(const std::string& text) {
    const std::string timed = std::regex_replace(
        text, std::regex(R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d\d\d[+-]\d\d:\d\d")"), R"("time":"T")");
    return std::regex_replace(timed, std::regex(R"("id":"[0-9a-f-]{36}")"), R"("id":"I")");
}

TEST(HeadlessOutput, AScriptedSessionAsText) {
    const Printed printed = printSession(HeadlessReporter::Format::text);
    EXPECT_EQ(maskedText(printed.out),
              "hh:mm:ss.mmm Initial Snapshot: 281 bytes, 5 lines, root Tempolane\n"
              "                 Baseline snapshot captured.\n"
              "                 Markers now: 1\n"
              "                 Top tags: Marker(1), Tempolane(1)\n"
              "                 Attribute keys: Fade(1), FadeOut(1), Label(1), ManualCueID(1), MarkerTypeName(1), Position(1)\n"
              "hh:mm:ss.mmm == connecting to 127.0.0.1:8555\n"
              "hh:mm:ss.mmm == not connected to 127.0.0.1:8555 (Connection refused)\n"
              "hh:mm:ss.mmm == connecting to 127.0.0.1:8555\n"
              "hh:mm:ss.mmm == not connected to 127.0.0.1:8555 (Connection refused)\n"
              "hh:mm:ss.mmm .. held /eos/user/0/newcmd Cue 1 / 5 Time 3 #\n"
              "hh:mm:ss.mmm == not connected to 127.0.0.1:8555 (Connection refused) \u00b7 1 held\n"
              "hh:mm:ss.mmm == connected to 127.0.0.1:8555\n"
              "hh:mm:ss.mmm -> sent /eos/user/0/key/blind\n"
              "hh:mm:ss.mmm -> sent /eos/user/0/newcmd Cue 1 / 5 Time 3 #\n"
              "hh:mm:ss.mmm Modified: 1 action(s) [Fade Changed]\n"
              "                 Estimated changed lines: 1, character delta: 0.\n"
              "                 Markers: 1 -> 1\n"
              "                 Top tags: Marker(1), Tempolane(1)\n"
              "                 Attribute keys: Fade(1), FadeOut(1), Label(1), ManualCueID(1), MarkerTypeName(1), Position(1)\n"
              "hh:mm:ss.mmm !! skipped cue 1/0 enter: cue id is 0\n"
              "hh:mm:ss.mmm <- cue 1/5: label Intro\\x1b, time 3 s, timecode 00:00:10:00\n"
              "hh:mm:ss.mmm ?? Delete Cue 1/7 from Eos? no, do not ask again\n"
              "hh:mm:ss.mmm !! dropped /eos/user/0/newcmd Cue 1 / 6 Label Red\\x1b[31m\ufffd # (write queue full)\n"
              "hh:mm:ss.mmm == not connected to 127.0.0.1:8555 (Connection reset by peer)\n"
              "hh:mm:ss.mmm Deleted: File removed\n"
              "                 The monitored file no longer exists.\n");
    // A failure that only repeats the last one is said once.
    EXPECT_EQ(printed.err,
              "lanternwick: not connected to 127.0.0.1:8555 (Connection refused)\n"
              "lanternwick: not connected to 127.0.0.1:8555 (Connection reset by peer)\n"
              "lanternwick: FOLDER/Lighting.xml: File removed: The monitored file no longer exists.\n");
}

TEST(HeadlessOutput, TheSameSessionAsJSONLines) {
    const Printed printed = printSession(HeadlessReporter::Format::json);
    const std::string details =
        R"~("details":"Baseline snapshot captured.\nMarkers now: 1\nTop tags: Marker(1), Tempolane(1)\nAttribute keys: )~"
        R"~(Fade(1), FadeOut(1), Label(1), ManualCueID(1), MarkerTypeName(1), Position(1)"})~";
    const std::string modifiedDetails =
        R"~("details":"Estimated changed lines: 1, character delta: 0.\nMarkers: 1 -> 1\nTop tags: Marker(1), Tempolane(1)\n)~"
        R"~(Attribute keys: Fade(1), FadeOut(1), Label(1), ManualCueID(1), MarkerTypeName(1), Position(1)"})~";
    const std::string head = R"({"time":"T","type":)";
    const std::string link = R"(,"id":"I","state":)";
    const std::string where = R"(,"host":"127.0.0.1","port":8555})";
    const std::string command = R"(,"id":"I","address":"/eos/user/0/newcmd","text":"Cue 1 / )";
    EXPECT_EQ(maskedJson(printed.out),
              head + R"("event","id":"I","kind":"initial","summary":"Initial Snapshot: 281 bytes, 5 lines, root Tempolane",)" + details + "\n" +
              head + R"("connection")" + link + R"("connecting","reason":"","held":0)" + where + "\n" +
              head + R"("connection")" + link + R"("notConnected","reason":"Connection refused","held":0)" + where + "\n" +
              head + R"("connection")" + link + R"("connecting","reason":"","held":0)" + where + "\n" +
              head + R"("connection")" + link + R"("notConnected","reason":"Connection refused","held":0)" + where + "\n" +
              head + R"("line")" + command + R"(5 Time 3 #","fate":"held","reason":"not connected"})" + "\n" +
              head + R"("connection")" + link + R"("notConnected","reason":"Connection refused","held":1)" + where + "\n" +
              head + R"("connection")" + link + R"("connected","reason":"","held":0)" + where + "\n" +
              head + R"("line","id":"I","address":"/eos/user/0/key/blind","text":"","fate":"sent"})" + "\n" +
              head + R"("line")" + command + R"(5 Time 3 #","fate":"sent"})" + "\n" +
              head + R"("event","id":"I","kind":"modified","summary":"Modified: 1 action(s) [Fade Changed]",)" + modifiedDetails + "\n" +
              head + R"("skipped","id":"I","list":1,"cue":"0","what":"enter","reason":"cue id is 0"})" + "\n" +
              head + R"("received","id":"I","address":"/eos/out/get/cue/1/5/0/list/0/30","values":"4, uid-5, Intro\u001b, 3000",)"
                     R"("list":1,"cue":"5","part":0,"label":"Intro\u001b","upTimeMs":3000,"timecode":"00:00:10:00",)"
                     R"("missingValues":0})" + "\n" +
              head + R"("question","id":"I","list":1,"cue":"7","confirmed":false,"doNotAskAgain":true})" + "\n" +
              head + R"("line")" + command + "6 Label Red\\u001b[31m\ufffd #\",\"fate\":\"dropped\",\"reason\":\"write queue full\"}\n" +
              head + R"("connection")" + link + R"("notConnected","reason":"Connection reset by peer","held":0)" + where + "\n" +
              head + R"("event","id":"I","kind":"deleted","summary":"File removed","details":"The monitored file no longer exists."})" + "\n");
    EXPECT_EQ(printed.err.find("{"), std::string::npos) << "standard error stays plain text";
}

TEST(HeadlessOutput, JSONStringsAreValidWhateverTheBytes) {
    const struct {
        std::string_view raw;
        std::string_view json;
    } cases[] = {
        {"plain", R"("plain")"},
        {"quote \" and \\ backslash", R"("quote \" and \\ backslash")"},
        {"nul\0tab\tcr\rlf\n\x7f"sv, R"("nul\u0000tab\tcr\rlf\n\u007f")"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xad", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xad\""},
        {"line\xe2\x80\xa8sep\xe2\x80\xa9", R"("line\u2028sep\u2029")"},
        // Ill-formed: a stray continuation, a cut sequence, an overlong
        // slash, a surrogate, a code point past U+10FFFF, a lone lead byte.
        {"\x80", "\"\xef\xbf\xbd\""},
        {"\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"a\xf0", "\"a\xef\xbf\xbd\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jsonString(c.raw), c.json) << c.json;
    }
    EXPECT_EQ(printableText("tab\there\x1b[2J\xc2\x9b"), "tab\\x09here\\x1b[2J\\x9b");
}

// The zone is the process's; each row sets TZ and puts it back afterwards.
TEST(HeadlessOutput, TimesAreLocalWithMillisecondsAndTheZonesOffset) {
    using namespace std::chrono;
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    const struct {
        const char* zone;
        system_clock::time_point time;
        const char* clock;
        const char* rfc3339;
    } cases[] = {
        {"UTC0", system_clock::time_point(milliseconds(1714572123481)), "14:02:03.481", "2024-05-01T14:02:03.481+00:00"},
        {"<+0530>-5:30", system_clock::time_point(milliseconds(1714572123007)), "19:32:03.007",
         "2024-05-01T19:32:03.007+05:30"},
        {"<-0330>3:30", system_clock::time_point(milliseconds(1714572123999)), "10:32:03.999",
         "2024-05-01T10:32:03.999-03:30"},
        // Before 1970 the milliseconds still count forwards within the second.
        {"UTC0", system_clock::time_point(milliseconds(-1)), "23:59:59.999", "1969-12-31T23:59:59.999+00:00"},
    };
    for (const auto& c : cases) {
        ::setenv("TZ", c.zone, 1);
        ::tzset();
        EXPECT_EQ(localClockText(c.time), c.clock) << c.zone;
        EXPECT_EQ(rfc3339Text(c.time), c.rfc3339) << c.zone;
    }
    if (saved) {
        ::setenv("TZ", previous.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace
}  // namespace lanternwick

namespace lanternwick {
namespace {

// The delivery records: a confirmation, the no-answer state, and the fates a
// line can have besides sent, held and dropped.
TEST(HeadlessOutput, ConfirmationsNoAnswerAndTheOtherFates) {
    const std::string command = "/eos/user/0/newcmd";
    const struct {
        SyncOutcome::Detail detail;
        std::string text;
        std::string jsonTail;
    } cases[] = {
        {DeliveryConfirmed{3, 12, {}}, "ok 3 confirmed (12 ms)", R"("type":"confirmed","id":"I","lines":3,"latencyMs":12})"},
        {ConnectionChange{{LinkState::noAnswer, "no answer from Eos on 10.0.0.9:3032: is this", 2}, "10.0.0.9", 3032},
         "== no answer from Eos on 10.0.0.9:3032: is this \u00b7 2 held",
         R"("state":"noAnswer","reason":"no answer from Eos on 10.0.0.9:3032: is this","held":2,"host":"10.0.0.9","port":3032})"},
        {LineOutcome{command, "Cue 1 / 5 Enter #", LineFate::waiting, "not connected"},
         ".. waiting /eos/user/0/newcmd Cue 1 / 5 Enter #", R"("fate":"waiting","reason":"not connected"})"},
        {LineOutcome{command, "Cue 1 / 5 Time 2 #", LineFate::replaced, "replaced by a newer line for the same cue"},
         ".. replaced /eos/user/0/newcmd Cue 1 / 5 Time 2 #",
         R"("fate":"replaced","reason":"replaced by a newer line for the same cue"})"},
        {LineOutcome{command, "Cue 1 / 5 Label xxx #", LineFate::skipped, "5000050 bytes, more than"},
         "!! skipped /eos/user/0/newcmd Cue 1 / 5 Label xxx # (5000050 bytes, more than)",
         R"("fate":"skipped","reason":"5000050 bytes, more than"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(headlessOutcomeText(c.detail), c.text);
        const std::string json = maskedJson(outcomeJsonLine(makeOutcome(c.detail)));
        EXPECT_TRUE(json.ends_with(c.jsonTail + "\n")) << json;
    }
}

}  // namespace
}  // namespace lanternwick
