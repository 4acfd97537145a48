#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "monitor/MonitorTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EventKind = LightingChangeEvent::Kind;
using testing::markerFileText;

const std::string fileA = markerFileText({{.cue = "1", .label = "Intro", .position = "10", .fade = "2"}});
const std::string fileB = markerFileText({{.cue = "1", .label = "Intro", .position = "10", .fade = "3"}});
// What the file is at one poll: its text, "missing", or "!" and a read error.
const std::string missing = "missing";
const std::string denied = "!Permission denied";

struct PollCase {
    std::string name;
    std::vector<std::string> steps;
    std::vector<EventKind> events;
};

class MonitorPollTable : public ::testing::TestWithParam<PollCase>, public testing::MonitorFixture {};

TEST_P(MonitorPollTable, RecordsExactlyTheseEvents) {
    makeMonitor();
    for (const auto& step : GetParam().steps) {
        if (step == missing) {
            files->files.erase(markerPath);
        } else {
            files->write(markerPath, step);
            if (step.front() == '!') files->breakReads(markerPath, step.substr(1));
        }
        monitor->pollOnce();
    }
    EXPECT_EQ(eventKindsOldestFirst(), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    DecisionTable, MonitorPollTable,
    ::testing::Values(
        PollCase{"MissingAtFirstPollThenCreated", {missing, missing, fileA}, {EventKind::created}},
        PollCase{"DeletedOnceThenCreatedAgain", {fileA, missing, missing, fileA},
                 {EventKind::initial, EventKind::deleted, EventKind::created}},
        PollCase{"ReplacedBetweenTicks", {fileA, fileB}, {EventKind::initial, EventKind::modified}},
        PollCase{"RewrittenIdentically", {fileA, fileA, fileA}, {EventKind::initial}},
        PollCase{"SameReadFailureTenTimes", std::vector<std::string>(10, denied), {EventKind::unreadable}},
        PollCase{"DifferentReadFailure", {denied, denied, "!Is a directory"}, {EventKind::unreadable, EventKind::unreadable}},
        PollCase{"FailureThenOldContent", {fileA, denied, fileA}, {EventKind::initial, EventKind::unreadable}},
        PollCase{"FailureThenNewContent", {fileA, denied, fileB},
                 {EventKind::initial, EventKind::unreadable, EventKind::modified}},
        PollCase{"FirstReadableAfterMissingAndFailureIsInitial", {missing, denied, fileA},
                 {EventKind::unreadable, EventKind::initial}},
        PollCase{"SuppressionSurvivesDisappearance", {denied, missing, denied},
                 {EventKind::unreadable, EventKind::deleted}},
        PollCase{"SuppressionEndsAfterSuccessfulRead", {denied, fileA, denied},
                 {EventKind::unreadable, EventKind::initial, EventKind::unreadable}}),
    [](const ::testing::TestParamInfo<PollCase>& info) { return info.param.name; });

class MonitorPoll : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorPoll, EventTextsForDeletionAndReadFailure) {
    makeMonitor();
    poll(fileA);
    files->breakReads(markerPath, "Permission denied");
    monitor->pollOnce();
    files->files.erase(markerPath);
    monitor->pollOnce();
    const auto& events = monitor->events();
    ASSERT_EQ(events.size(), 3U);
    EXPECT_EQ(events[0].summary + "|" + events[0].details, "File removed|The monitored file no longer exists.");
    EXPECT_EQ(events[1].summary + "|" + events[1].details, "Failed reading file|Permission denied");
    EXPECT_LE(events[1].timestamp, events[0].timestamp);
}

TEST_F(MonitorPoll, HalfWrittenReadKeepsTheLastGoodTextAsTheBase) {
    makeMonitor();
    monitor->setOptSyncLabels(true);
    const std::string edited = markerFileText({{.cue = "1", .label = "Intro", .fade = "5"}, {.cue = "2", .label = "Chorus"}});
    poll(markerFileText({{.cue = "1", .label = "Intro", .fade = "2"}, {.cue = "2", .label = "Verse"}}));
    poll(edited.substr(0, edited.size() / 2));
    EXPECT_EQ(monitor->events()[0].actions.at(0).summary, "Unable to parse new XML content");
    // A second partial read must not repeat the event either.
    monitor->pollOnce();
    EXPECT_EQ(monitor->events().size(), 2U);
    EXPECT_THAT(takeSent(), IsEmpty());

    poll(edited);
    ASSERT_EQ(monitor->events().size(), 3U);
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Cue 1 / 1 Time 5 #", "cmd $ Cue 1 / 2 Label Chorus #"));
}

TEST_F(MonitorPoll, StartMonitoringPollsNowThenEverySecondAndOnlyOnce) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    monitor->startMonitoring();
    EXPECT_EQ(files->readCount, 1);
    EXPECT_EQ(link->connectCount, 1);
    queue->advance(999ms);
    EXPECT_EQ(files->readCount, 1);
    queue->advance(1ms);
    EXPECT_EQ(files->readCount, 2);
    files->write(markerPath, fileB);
    queue->advance(8s);
    EXPECT_EQ(files->readCount, 10);
    EXPECT_THAT(eventKindsOldestFirst(), ElementsAre(EventKind::initial, EventKind::modified));
}

TEST_F(MonitorPoll, NothingRunsOnceTheMonitorIsGoneNotEvenATickQueuedBefore) {
    auto d = dependencies();
    std::function<void()> tick;
    d.pollTimer = [&tick](MainQueue::Duration, std::function<void()> onTick) {
        tick = std::move(onTick);
        return CancelHandle{};
    };
    monitor = LightingFileMonitor::create(std::move(d));
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    monitor->setEosHost("10.0.0.9");
    tick();
    const auto configures = link->configures.size();
    const std::weak_ptr<LightingFileMonitor> weak = std::exchange(monitor, nullptr);
    EXPECT_TRUE(weak.expired());
    queue->advance(5s);
    tick();
    EXPECT_EQ(files->readCount, 1);
    EXPECT_EQ(link->configures.size(), configures);
    // Callbacks the link still holds do nothing either.
    link->callbacks.onConnectionStateChanged(true);
    link->callbacks.onConnectionEstablished();
    EXPECT_THAT(link->sent, IsEmpty());
}

TEST_F(MonitorPoll, NestedPollWhileTheDeletionQuestionIsOpenDoesNotRepeatTheChange) {
    makeMonitor();
    monitor->setOptDeleteCues(true);
    poll(markerFileText({{.cue = "1", .fade = "1"}, {.cue = "2", .label = "Gone"}}));
    prompt->whileOpen = [this] { monitor->pollOnce(); };
    prompt->answers = {{true, false}};
    poll(markerFileText({{.cue = "1", .fade = "4"}}));
    EXPECT_EQ(monitor->events().size(), 2U);
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/2 from Eos?"));
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Cue 1 / 1 Time 4 #", "cmd $ Delete Cue 1 / 2 Enter #"));
}

}  // namespace
}  // namespace lanternwick
