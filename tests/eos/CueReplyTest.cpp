#include "eos/CueReply.h"

#include <gtest/gtest.h>

#include "eos/SyncOutcome.h"
#include "osc/OSCMessage.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;

// The base cue's 30 values in their documented order.
std::vector<OSCValue> baseCueValues(std::string label, std::int32_t upMs, std::string timecode) {
    return {std::int32_t{4}, "uid-1", std::move(label), upMs, std::int32_t{0}, std::int32_t{2000},
            std::int32_t{0}, std::int32_t{-1}, std::int32_t{-1}, std::int32_t{-1}, std::int32_t{-1},
            std::int32_t{-1}, std::int32_t{-1}, false, 0.0f, std::int32_t{100}, "", "", "", "",
            std::int32_t{-1}, std::int32_t{-1}, false, std::int32_t{0}, false, std::move(timecode),
            std::int32_t{0}, "", "", false};
}

OSCMessage listMessage(std::string_view cue, std::size_t index, std::size_t count, std::vector<OSCValue> values,
                       int part = 0) {
    const std::string address = "/eos/out/get/cue/1/" + std::string(cue) + "/" + std::to_string(part) + "/list/" +
                                std::to_string(index) + "/" + std::to_string(count);
    return OSCMessage(std::string_view(address), std::move(values));
}

std::vector<OSCValue> slice(const std::vector<OSCValue>& values, std::size_t from, std::size_t to) {
    return {values.begin() + static_cast<std::ptrdiff_t>(from), values.begin() + static_cast<std::ptrdiff_t>(to)};
}

ReceivedReply received(const CueReply& reply) {
    return {reply.address, "v", reply.cueList, reply.cueNumber, reply.part, reply.label, reply.upTimeMs,
            reply.timecode, reply.missingValues};
}

TEST(CueReplyAddress, BothFormsAndTheirNumbers) {
    const struct {
        const char* address;
        std::optional<CueReplyAddress> expected;
    } cases[] = {
        {"/eos/out/get/cue/1/5", CueReplyAddress{1, "5"}},
        {"/eos/out/get/cue/1/5/0/list/0/30", CueReplyAddress{1, "5", 0, 0, 30}},
        {"//eos/out/get/cue/-2/12.5/3/list/17/30/", CueReplyAddress{-2, "12.5", 3, 17, 30}},
        // Still a reply to the cue, but no list to put together.
        {"/eos/out/get/cue/1/5/0/list/30/30", CueReplyAddress{1, "5"}},
        {"/eos/out/get/cue/1/5/0/list/-1/30", CueReplyAddress{1, "5"}},
        {"/eos/out/get/cue/1/5/x/list/0/30", CueReplyAddress{1, "5"}},
        {"/eos/out/get/cue/1/5/0/list/0/99999999999999999999999", CueReplyAddress{1, "5"}},
        {"/eos/out/get/cue/1/5/0/lists/0/30", std::nullopt},
        {"/eos/out/get/cue/1/5/0/list/0", std::nullopt},
        {"/eos/out/get/cue/1/5/0", std::nullopt},
        {"/eos/out/get/cue/x/5/0/list/0/30", std::nullopt},
        {"/eos/out/get/cue/1/1\n12:00 FORGED/0/list/0/30", std::nullopt},
        {"/eos/out/get/cue/1/5 Enter", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseCueReplyAddress(c.address), c.expected) << c.address;
    }
}

TEST(CueReplyText, SecondsAndSummaries) {
    EXPECT_EQ(secondsText(3000), "3 s");
    EXPECT_EQ(secondsText(1500), "1.5 s");
    EXPECT_EQ(secondsText(40), "0.04 s");
    EXPECT_EQ(secondsText(65001), "65.001 s");
    ReceivedReply reply{"/a", "4, uid-1", 1, "5", 0, "Intro", 3000, "00:00:10:00"};
    EXPECT_EQ(cueReplySummary(reply), "cue 1/5: label Intro, time 3 s, timecode 00:00:10:00");
    reply.part = 2;
    reply.label = "";
    reply.upTimeMs.reset();
    reply.missingValues = 12;
    EXPECT_EQ(cueReplySummary(reply), "cue 1/5 part 2: label (empty), timecode 00:00:10:00, 12 values missing");
    reply.label.reset();
    reply.timecode.reset();
    EXPECT_EQ(cueReplySummary(reply), "cue 1/5 part 2: 4, uid-1, 12 values missing");
    EXPECT_EQ(cueReplySummary(ReceivedReply{"/eos/out/get/cue/1/5", "x", 1, "5"}), std::nullopt);
}

class Assembler : public ::testing::Test {
protected:
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    struct Reported : CueReply {
        std::vector<OSCValue> values;
    };
    std::vector<Reported> reports;
    std::shared_ptr<CueReplyAssembler> assembler = CueReplyAssembler::create(
        queue, [this](CueReply reply, const std::vector<OSCValue>& values) { reports.push_back({std::move(reply), values}); });
};

TEST_F(Assembler, AWholeListIsReportedAtOnceWithItsDocumentedFields) {
    const auto values = baseCueValues("Intro", 3000, "00:00:10:00");
    assembler->take(listMessage("5", 0, 30, values));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].values, values);
    EXPECT_EQ(cueReplySummary(received(reports[0])), "cue 1/5: label Intro, time 3 s, timecode 00:00:10:00");
    EXPECT_EQ(reports[0].missingValues, 0u);
    EXPECT_EQ(assembler->pendingCount(), 0u);

    assembler->take(OSCMessage("/eos/out/get/cue/1/5", {OSCValue("old form")}));
    assembler->take(OSCMessage("/eos/out/get/cues/1/5", {OSCValue("not a reply")}));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[1].part.has_value());
    EXPECT_FALSE(reports[1].label.has_value());
}

TEST_F(Assembler, ASplitListIsReportedOnceWholeInWhateverOrderItsPartsCome) {
    const auto values = baseCueValues("A long label", 1500, "01:00:00:00");
    for (const std::vector<std::pair<std::size_t, std::size_t>>& order :
         {std::vector<std::pair<std::size_t, std::size_t>>{{0, 10}, {10, 26}, {26, 30}}, {{26, 30}, {0, 10}, {10, 26}}}) {
        reports.clear();
        for (const auto& [from, to] : order) {
            EXPECT_TRUE(reports.empty());
            assembler->take(listMessage("7", from, 30, slice(values, from, to)));
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].values, values);
        EXPECT_EQ(reports[0].label, "A long label");
        EXPECT_EQ(reports[0].upTimeMs, 1500);
        EXPECT_EQ(reports[0].timecode, "01:00:00:00");
    }
}

TEST_F(Assembler, HalfAReplyIsReportedWithWhatItHasAfterASecond) {
    const auto values = baseCueValues("Half", 2000, "00:00:01:00");
    assembler->take(listMessage("9", 0, 30, slice(values, 0, 12)));
    queue->advance(950ms);
    EXPECT_TRUE(reports.empty()) << "a second to complete";
    queue->advance(400ms);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].missingValues, 18u);
    EXPECT_EQ(reports[0].label, "Half");
    EXPECT_FALSE(reports[0].timecode.has_value());
    // The rest, arriving late, is a reply of its own.
    assembler->take(listMessage("9", 12, 30, slice(values, 12, 30)));
    queue->advance(2s);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].timecode, "00:00:01:00");
    EXPECT_FALSE(reports[1].label.has_value());
}

// What a hostile or broken peer might send: every case ends reported, with
// nothing it did not say.
TEST_F(Assembler, HostileRepliesStayBoundedAndReported) {
    auto wrongTypes = baseCueValues("x", 0, "y");
    wrongTypes[2] = std::int32_t{7};
    wrongTypes[3] = "3000";
    wrongTypes[25] = OSCBlob{1, 2};
    assembler->take(listMessage("1", 0, 30, wrongTypes));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports[0].label || reports[0].upTimeMs || reports[0].timecode);

    // Announcing a million values: no waiting list, no field taken from elsewhere.
    assembler->take(listMessage("2", 5, 1'000'000, baseCueValues("L", 1, "T")));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(assembler->pendingCount(), 0u);

    // Overlapping and overflowing parts keep the first values and the count.
    const auto values = baseCueValues("First", 1000, "TC");
    assembler->take(listMessage("3", 0, 30, slice(values, 0, 20)));
    assembler->take(listMessage("3", 10, 30, baseCueValues("Second", 9, "X")));
    assembler->take(listMessage("3", 20, 30, baseCueValues("Third", 9, "Y")));
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].label, "First");
    EXPECT_EQ(reports[2].values.size(), 30u);
    EXPECT_EQ(reports[2].values[20], OSCValue(std::int32_t{4})) << "the third message's first value lands at 20";

    // A flood of half replies: at most 64 wait, the oldest reported as more come.
    reports.clear();
    for (int cue = 0; cue < 10'000; ++cue) {
        assembler->take(listMessage(std::to_string(cue), 0, 30, {std::int32_t{cue}, "uid", "L"}));
        ASSERT_LE(assembler->pendingCount(), CueReplyAssembler::pendingLimit);
    }
    EXPECT_EQ(reports.size(), 10'000u - CueReplyAssembler::pendingLimit);
    EXPECT_EQ(reports.front().cueNumber, "0");
    queue->advance(1500ms);
    EXPECT_EQ(reports.size(), 10'000u);
    EXPECT_EQ(assembler->pendingCount(), 0u);

    // Big values: the list goes out before it holds more than its budget.
    reports.clear();
    assembler->take(listMessage("4", 0, 30, {std::int32_t{1}, std::string(100'000, 'u')}));
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(Assembler, APartIsReportedWithoutTheBaseCuesFields) {
    assembler->take(listMessage("5", 0, 3, {std::int32_t{1}, "uid", "Part label"}, 2));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].part, 2);
    EXPECT_FALSE(reports[0].label.has_value());
}

}  // namespace
}  // namespace lanternwick
