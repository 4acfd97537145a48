#include "eos/EosCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "common/RecordingEosLink.h"
#include "console-sim/ConsoleCommand.h"
#include "eos/CueSync.h"
#include "markers/ConsoleCue.h"
#include "support/LatinASCII.h"

namespace lanternwick {
namespace {

using std::nullopt;

TEST(EosCommandLines, ExactTextsWithTrimmedCuesAndValues) {
    EXPECT_EQ(enterCueLine(-4, " \t12\n"), "$ Cue -4 / 12 Enter #");
    EXPECT_EQ(cueTimeLine(10, " 5 ", "  2 / 3\n"), "$ Cue 10 / 5 Time 2 / 3 #");
    EXPECT_EQ(cueTimecodeLine(1, "5", "100:00:01:00"), "$ Cue 1 / 5 Timecode 100:00:01:00 #");
    EXPECT_EQ(deleteCueLine(1, "\u00a012\u2028"), "$ Delete Cue 1 / 12 Enter #");
    EXPECT_EQ(cueQueryAddress(2, " 9 "), "/eos/get/cue/2/9");
    EXPECT_EQ(enterCueLine(7, "012"), "$ Cue 7 / 012 Enter #");
    // Fullwidth digits are digits once converted, as the console would receive them.
    EXPECT_EQ(enterCueLine(1, "\uff11\uff12.5"), "$ Cue 1 / 12.5 Enter #");
    // A blank label still clears the cue's label.
    EXPECT_EQ(cueLabelLine(1, "5", "   "), "$ Cue 1 / 5 Label  #");
}

// Each text is judged in the form the console receives: after conversion to ASCII.
TEST(EosCommandLines, CuesAndTimesMustReadAsConsoleNumbersOnTheWire) {
    for (const char* cue : {"", "  \n", "5#", "3\uff03", "7\u00bd", "5/6", "7*", "abc", "-1", ".5", "5.", "1e3",
                            "5 Enter Go", "5 # Delete Cue 1", "1.2.3", "\ufe5f"}) {
        EXPECT_EQ(usableCueText(cue), nullopt) << cue;
        EXPECT_EQ(enterCueLine(1, cue), nullopt) << cue;
        EXPECT_EQ(cueLabelLine(1, cue, "Intro"), nullopt) << cue;
        EXPECT_EQ(deleteCueLine(1, cue), nullopt) << cue;
        EXPECT_EQ(cueQueryAddress(1, cue), nullopt) << cue;
        EXPECT_EQ(fullCueLine(1, cue, "2", nullopt, nullopt), nullopt) << cue;
    }
    for (const char* time : {"3", "2.5", "1:30", "0:01:30.5", " 12:00:00 "}) EXPECT_TRUE(isConsoleTime(wireForm(time)));
    EXPECT_TRUE(isConsoleTime(std::string(32, '9')) && isConsoleCueNumber(std::string(32, '9')));
    EXPECT_FALSE(isConsoleTime(std::string(33, '9')) || isConsoleCueNumber(std::string(33, '9')))
        << "a number text longer than any console number is refused";
    for (const char* time : {"", "1:2:3:4", "3s", "-1", "1:", ":30", "2.5.1", "2 Enter Go", "1\u00bd", "3#"}) {
        EXPECT_FALSE(isConsoleTime(wireForm(time))) << time;
        EXPECT_EQ(cueTimeLine(1, "5", time), nullopt) << time;
    }
    EXPECT_EQ(cueTimecodeLine(1, "5", "00:00:01"), nullopt);
    EXPECT_EQ(cueTimecodeLine(1, "5", "00:00:01:00 #"), nullopt);
}

// Characters that become a hash sign once converted to ASCII are the
// property test's and the end-to-end fault tests' hostile texts.
TEST(EosCommandLines, LabelsKeepTheirWordsButNoTerminatorOrControlCharacter) {
    const std::pair<const char*, const char*> labels[] = {
        {"Song #2", "Song 2"},
        {"Line\nbreak\ttab\u2028end\x7f", "Linebreaktabend"},
        {" Caf\u00e9 d\u00e9j\u00e0 vu ", "Cafe deja vu"},
        {"###", ""},
    };
    for (const auto& [label, wire] : labels) {
        EXPECT_EQ(sanitizedLabel(label), wire) << label;
        EXPECT_EQ(cueLabelLine(1, "5", label), "$ Cue 1 / 5 Label " + std::string(wire) + " #") << label;
    }
}

TEST(EosCommandLines, FullCueLine) {
    EXPECT_EQ(fullCueLine(2, "7", "3", "00:00:12:00", "Intro"), "Cue 2 / 7 Time 3 Timecode 00:00:12:00 Label Intro #");
    EXPECT_EQ(fullCueLine(2, "7", "0", "00:00:00:00", "  "), "Cue 2 / 7 Time 0 Timecode 00:00:00:00 #");
    // A fade or timecode the console could not read is left out rather than overwriting the cue's.
    EXPECT_EQ(fullCueLine(2, "7", "3 / x#", "00:00:01:00", "Song #2"), "Cue 2 / 7 Timecode 00:00:01:00 Label Song 2 #");
    EXPECT_EQ(fullCueLine(2, "7", "1", "1:00 #", nullopt), "Cue 2 / 7 Time 1 #");
    EXPECT_EQ(fullCueLine(2, "7", nullopt, nullopt, "#"), "Cue 2 / 7 #");
}

// An unusable position would otherwise fire the cue at the start of the time code.
TEST(EosCommandLines, FullLineOnConnectLeavesOutAPositionTheConsoleCannotUse) {
    const struct { const char* position; const char* line; std::size_t skipped; } cases[] = {
        {"12", "Cue 2 / 7 Time 3 Timecode 00:00:12:00 #", 0},
        {"", "Cue 2 / 7 Time 3 Timecode 00:00:00:00 #", 0},
        {" \t", "Cue 2 / 7 Time 3 Timecode 00:00:00:00 #", 0},
        {"-5", "Cue 2 / 7 Time 3 #", 0},
        {"1e308", "Cue 2 / 7 Time 3 #", 0},
        {"20s", "Cue 2 / 7 Time 3 #", 1},
    };
    for (const auto& c : cases) {
        std::vector<SkippedCommand> skipped;
        const LightingMarker marker{.cueList = 2, .positionRaw = c.position, .fadeRaw = "3", .manualCueID = "7"};
        const auto lines = fullCueLinesFor({marker}, false, [&](SkippedCommand s) { skipped.push_back(s); });
        EXPECT_EQ(lines, std::vector<std::string>{c.line}) << c.position;
        EXPECT_EQ(skipped.size(), c.skipped) << c.position;
        if (!skipped.empty()) { EXPECT_EQ(skipped[0].what, "timecode"); }
    }
}

TEST(EosCommandLines, KeysReadBackTheCueAndPartOfEveryLine) {
    using Part = CueLineKey::Part;
    const std::string cmd = "/eos/user/0/newcmd";
    EXPECT_EQ(cueLineKey(cmd, *enterCueLine(-2, "03.50")), (CueLineKey{-2, "3.5", Part::enter}));
    EXPECT_EQ(cueLineKey(cmd, *cueTimeLine(1, "3", "2")), (CueLineKey{1, "3", Part::time}));
    EXPECT_EQ(cueLineKey(cmd, *cueTimecodeLine(1, "3.0", "00:00:01:00")), (CueLineKey{1, "3", Part::timecode}));
    EXPECT_EQ(cueLineKey(cmd, *cueLabelLine(1, "3", "Time Label")), (CueLineKey{1, "3", Part::label}));
    EXPECT_EQ(cueLineKey(cmd, *deleteCueLine(1, "3")), (CueLineKey{1, "3", Part::deletion}));
    EXPECT_EQ(cueLineKey(cmd, *fullCueLine(1, "3", "1", nullopt, nullopt)), (CueLineKey{1, "3", Part::full}));
    EXPECT_EQ(cueLineKey(*cueQueryAddress(4, "12"), ""), (CueLineKey{4, "12", Part::query}));
    EXPECT_EQ(cueLineKey("/eos/user/0/key/blind", ""), nullopt);
    EXPECT_EQ(cueLineKey(cmd, "Go #"), nullopt);
}

TEST(EosCommandValues, ZeroCuesFadeTextsAndTimecodes) {
    for (const char* zero : {"0", "0.0", "-0", " 0.00 ", "0e5", "+0", "\uff10"}) EXPECT_TRUE(isZeroCue(zero)) << zero;
    for (const char* other : {"0a", "", " ", "0.001", "0x", "- 0"}) EXPECT_FALSE(isZeroCue(other)) << other;

    struct Fade {
        const char* fade;
        const char* fadeOut;
        std::optional<std::string> text;
        bool fadeOutUsable;
    };
    const Fade fades[] = {
        {" 2 ", " 5\n", "2 / 5", true},
        {"2", " -1.0 ", "2", true},  // a fade-out of -1 means none
        {"1:30", "0:01.5", "1:30 / 0:01.5", true},
        {"  ", "3", nullopt, true},
        {"2 Enter Go", "-1", nullopt, true},
        {"abc", "", nullopt, true},
        // A fade-out the console could not read is left out: the fade goes alone.
        {"2", "3\tEnter Go", "2", false},
        {"3", "Label", "3", false},
        {"3", "x", "3", false},
    };
    for (const auto& f : fades) {
        EXPECT_EQ(fadeTimeText(f.fade, f.fadeOut), f.text) << f.fade << " / " << f.fadeOut;
        EXPECT_EQ(usableFadeOut(f.fadeOut), f.fadeOutUsable) << f.fadeOut;
    }

    EXPECT_EQ(formatTimecode(0.0166), "00:00:00:00");
    EXPECT_EQ(formatTimecode(1.0 / 60.0), "00:00:00:01") << "half a frame rounds away from zero";
    EXPECT_EQ(formatTimecode(59.99), "00:01:00:00");
    EXPECT_EQ(formatTimecode(100 * 3600 + 1), "100:00:01:00") << "hours are not wrapped";
    for (const double unusable : {-0.001, std::nan(""), std::numeric_limits<double>::infinity(), 1e300,
                                  9223372036854775807.0 / 30.0}) {
        EXPECT_EQ(formatTimecode(unusable), nullopt) << unusable;
    }
    EXPECT_TRUE(formatTimecode(1e15).has_value());

    for (const char* position : {"-1", "", "nan", "12s", "inf", "1e400"}) {
        EXPECT_EQ(timecodeText(position, 0), nullopt) << position;
    }
    EXPECT_EQ(timecodeText(nullopt, 5), nullopt);
}

std::string utf8(UChar32 c) {
    char buffer[4];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, c);
    return std::string(buffer, static_cast<std::size_t>(length));
}

// What the console makes of a line, checked by the simulated console's own
// parser: one command, ended by the line's only "#", for the marker's list
// and cue. Returns a description of the fault, empty when there is none.
std::string faultIn(const std::string& line, std::int64_t list, const std::string& cue) {
    if (!isPrintableASCII(line)) return "not printable ASCII: the encoder would change it";
    if (line.find('#') != line.size() - 1) return "not exactly one # at the end";
    const auto pieces = sim::splitCommandLine(line);
    if (pieces.commands.size() != 1 || !pieces.unterminated.empty()) return "not one command";
    const auto command = sim::parseConsoleCommand(pieces.commands[0]);
    if (!command) return "refused: " + command.error().reason;
    if (command->cueList != list || command->cueNumber != wireForm(cue)) return "another cue";
    return {};
}

std::string faultInQuery(const std::string& address, std::int64_t list, const std::string& cue) {
    if (address != "/eos/get/cue/" + std::to_string(list) + "/" + wireForm(cue)) return "another cue";
    if (address.find_first_of("*?[]{}!,# ") != std::string::npos) return "an OSC pattern character";
    if (std::count(address.begin(), address.end(), '/') != 5) return "not five pieces";
    return {};
}

// Every code point, alone and after a digit, in each text field of a marker:
// whatever is sent must be exactly one command for that marker's cue.
TEST(EosCommandLines, EveryCodePointInEveryFieldGivesOnlyCommandsForTheMarkersOwnCue) {
    testing::RecordingEosLink link;
    CueSyncContext context{.optUpdateOnConnect = [] { return true; },
                           .optSyncLabels = [] { return true; },
                           .optDeleteCues = [] { return true; },
                           .policy = {.read = [] { return CueDeletionPromptPolicy::autoYes; }, .write = {}}};
    std::size_t cases = 0;
    std::size_t lines = 0;
    std::vector<std::string> faults;
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        if (U_IS_SURROGATE(c) || (c > 0x3000 && !u_isdefined(c))) continue;
        for (const std::string& text : {utf8(c), "5" + utf8(c)}) {
            using A = LightingAction;
            MarkerDiff diff;
            diff.cueLookupRequests = {{3, text}};
            diff.actions = {
                {.kind = A::Kind::manualCueIDChanged, .newCueList = 3, .newCueID = text, .newLabel = "L",
                 .newFadeTime = "1", .newPosition = "1"},
                {.kind = A::Kind::manualCueIDChanged, .newCueList = 4, .newCueID = "4", .newLabel = text,
                 .newFadeTime = text, .newFadeOutTime = "1", .newPosition = text},
                {.kind = A::Kind::fadeChanged, .newCueList = 5, .newCueID = "5", .newFadeTime = "1",
                 .newFadeOutTime = text},
            };
            diff.deletedCueCandidates = {{3, text}};
            const LightingMarker marker{.cueList = 6, .label = text, .fadeRaw = text, .fadeOutRaw = text,
                                        .manualCueID = "6"};
            link.sent.clear();
            applyDiffToEos(true, diff, link, context);
            for (const std::string& line : fullCueLinesFor({marker, LightingMarker{.cueList = 3, .manualCueID = text}},
                                                           true)) {
                link.sendCommandLine(line);
            }
            ++cases;
            for (const std::string& sent : link.sent) {
                if (!sent.starts_with("cmd ")) {
                    if (auto fault = faultInQuery(sent, 3, text); !fault.empty()) faults.push_back(sent + ": " + fault);
                    continue;
                }
                const std::string line = sent.substr(4);
                ++lines;
                const auto key = cueLineKey("/eos/user/0/newcmd", line);
                const std::string cue = !key ? std::string("?") : key->list == 3 ? text : std::to_string(key->list);
                if (auto fault = key ? faultIn(line, key->list, cue) : "no cue"; !fault.empty()) {
                    faults.push_back(line + ": " + fault);
                }
            }
        }
        if (faults.size() > 20) break;
    }
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
    EXPECT_GT(cases, 200'000U);
    EXPECT_GT(lines, cases * 3);
    RecordProperty("cases", static_cast<int>(cases));
    RecordProperty("lines", static_cast<int>(lines));
}

}  // namespace
}  // namespace lanternwick
