#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "monitor/MonitorTestSupport.h"

namespace lanternwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EventKind = LightingChangeEvent::Kind;
using testing::MarkerSpec;
using testing::markerFileText;

// What the file looks like at one poll.
struct FileStep {
    enum class State { missing, content, readError } state;
    std::string text;
};

FileStep missing() { return {FileStep::State::missing, {}}; }
FileStep content(std::string text) { return {FileStep::State::content, std::move(text)}; }
FileStep readError(std::string text) { return {FileStep::State::readError, std::move(text)}; }

struct PollCase {
    std::string name;
    std::vector<FileStep> steps;
    std::vector<EventKind> events;
};

void PrintTo(const PollCase& c, std::ostream* os) { *os << c.name; }

const std::string fileA = markerFileText({{.cue = "1", .label = "Intro", .position = "10", .fade = "2"}});
const std::string fileB = markerFileText({{.cue = "1", .label = "Intro", .position = "10", .fade = "3"}});

class MonitorPollTable : public ::testing::TestWithParam<PollCase>, public testing::MonitorFixture {};

TEST_P(MonitorPollTable, RecordsExactlyTheseEvents) {
    makeMonitor();
    for (const auto& step : GetParam().steps) {
        switch (step.state) {
        case FileStep::State::missing:
            files->remove(markerPath);
            break;
        case FileStep::State::content:
            files->write(markerPath, step.text);
            break;
        case FileStep::State::readError:
            files->write(markerPath, "");
            files->breakReads(markerPath, step.text);
            break;
        }
        monitor->pollOnce();
    }
    EXPECT_EQ(eventKindsOldestFirst(), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    DecisionTable, MonitorPollTable,
    ::testing::Values(
        PollCase{"PresentAtFirstPoll", {content(fileA)}, {EventKind::initial}},
        PollCase{"MissingAtFirstPollThenCreated", {missing(), missing(), content(fileA)}, {EventKind::created}},
        PollCase{"DeletedOnceThenQuiet", {content(fileA), missing(), missing(), missing()},
                 {EventKind::initial, EventKind::deleted}},
        PollCase{"DeletedAndRecreatedBetweenTicksDifferent", {content(fileA), content(fileB)},
                 {EventKind::initial, EventKind::modified}},
        PollCase{"RewrittenIdentically", {content(fileA), content(fileA), content(fileA)}, {EventKind::initial}},
        PollCase{"SameReadFailureTenTimes",
                 std::vector<FileStep>(10, readError("Permission denied")), {EventKind::unreadable}},
        PollCase{"DifferentReadFailure",
                 {readError("Permission denied"), readError("Permission denied"), readError("Is a directory")},
                 {EventKind::unreadable, EventKind::unreadable}},
        PollCase{"FailureThenOldContent", {content(fileA), readError("Permission denied"), content(fileA)},
                 {EventKind::initial, EventKind::unreadable}},
        PollCase{"FailureThenNewContent", {content(fileA), readError("Permission denied"), content(fileB)},
                 {EventKind::initial, EventKind::unreadable, EventKind::modified}},
        PollCase{"FirstReadableAfterFailuresIsInitial", {readError("Permission denied"), content(fileA)},
                 {EventKind::unreadable, EventKind::initial}},
        PollCase{"FailureAfterMissingThenReadableIsInitial",
                 {missing(), readError("Permission denied"), content(fileA)},
                 {EventKind::unreadable, EventKind::initial}},
        PollCase{"SuppressionSurvivesDisappearance",
                 {readError("Permission denied"), missing(), readError("Permission denied")},
                 {EventKind::unreadable, EventKind::deleted}},
        PollCase{"SuppressionEndsAfterSuccessfulRead",
                 {readError("Permission denied"), content(fileA), readError("Permission denied")},
                 {EventKind::unreadable, EventKind::initial, EventKind::unreadable}},
        PollCase{"ReappearsAfterDeletionAsCreated", {content(fileA), missing(), content(fileA)},
                 {EventKind::initial, EventKind::deleted, EventKind::created}},
        PollCase{"InvalidUTF8StillAnEvent", {content("<a>\xff\xfe</a>")}, {EventKind::initial}}),
    [](const ::testing::TestParamInfo<PollCase>& info) { return info.param.name; });

class MonitorPoll : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorPoll, EventTextsForDeletionAndReadFailure) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->pollOnce();
    files->breakReads(markerPath, "Permission denied");
    monitor->pollOnce();
    files->remove(markerPath);
    monitor->pollOnce();
    const auto& events = monitor->events();
    ASSERT_EQ(events.size(), 3U);
    EXPECT_EQ(events[0].kind, EventKind::deleted);
    EXPECT_EQ(events[0].summary, "File removed");
    EXPECT_EQ(events[0].details, "The monitored file no longer exists.");
    EXPECT_THAT(events[0].actions, IsEmpty());
    EXPECT_EQ(events[1].summary, "Failed reading file");
    EXPECT_EQ(events[1].details, "Permission denied");
    EXPECT_NE(events[0].id, events[1].id);
    EXPECT_LE(events[1].timestamp, events[0].timestamp);
}

TEST_F(MonitorPoll, InvalidBytesBecomeReplacementCharacters) {
    makeMonitor();
    files->write(markerPath, markerFileText({{.cue = "1", .label = "Caf\xff"}}));
    monitor->pollOnce();
    files->write(markerPath, markerFileText({{.cue = "1", .label = "Cafe"}}));
    monitor->pollOnce();
    ASSERT_EQ(monitor->events().size(), 2U);
    ASSERT_EQ(monitor->events()[0].actions.size(), 1U);
    EXPECT_EQ(monitor->events()[0].actions[0].summary, "\"Caf\xef\xbf\xbd\" -> \"Cafe\"");
}

TEST_F(MonitorPoll, ModifiedEventCarriesTheDiffAndSendsItsCommands) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->pollOnce();
    files->write(markerPath, fileB);
    monitor->pollOnce();
    ASSERT_EQ(monitor->events().size(), 2U);
    const auto& modified = monitor->events()[0];
    ASSERT_EQ(modified.actions.size(), 1U);
    EXPECT_EQ(modified.actions[0].kind, LightingAction::Kind::fadeChanged);
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Cue 1 / 1 Time 3 #"));
}

TEST_F(MonitorPoll, FirstSnapshotQueriesCuesOnlyWithUpdateOnConnect) {
    const std::string twoCues = markerFileText({{.cue = "12"}, {.cue = "4", .track = "Side 2/ x"}});
    makeMonitor();
    files->write(markerPath, twoCues);
    monitor->pollOnce();
    EXPECT_THAT(takeSent(), IsEmpty());

    monitor->setOptUpdateOnConnect(true);
    files->remove(markerPath);
    monitor->pollOnce();
    files->write(markerPath, twoCues);
    monitor->pollOnce();
    EXPECT_EQ(monitor->events()[0].kind, EventKind::created);
    EXPECT_THAT(takeSent(), ElementsAre("/eos/get/cue/1/12", "/eos/get/cue/2/4"));

    files->write(markerPath, twoCues + " ");
    monitor->pollOnce();
    EXPECT_EQ(monitor->events()[0].kind, EventKind::modified);
    EXPECT_THAT(takeSent(), IsEmpty());
}

TEST_F(MonitorPoll, HalfWrittenReadDoesNotLoseTheEditsOfThatSave) {
    makeMonitor();
    monitor->setOptSyncLabels(true);
    const std::string good = markerFileText({{.cue = "1", .label = "Intro", .fade = "2"}, {.cue = "2", .label = "Verse"}});
    const std::string edited =
        markerFileText({{.cue = "1", .label = "Intro", .fade = "5"}, {.cue = "2", .label = "Chorus"}});
    files->write(markerPath, good);
    monitor->pollOnce();
    files->write(markerPath, edited.substr(0, edited.size() / 2));
    monitor->pollOnce();
    EXPECT_THAT(takeSent(), IsEmpty());
    ASSERT_EQ(monitor->events().size(), 2U);
    EXPECT_EQ(monitor->events()[0].actions.at(0).summary, "Unable to parse new XML content");

    // A second partial read must not repeat the event either.
    monitor->pollOnce();
    EXPECT_EQ(monitor->events().size(), 2U);

    files->write(markerPath, edited);
    monitor->pollOnce();
    ASSERT_EQ(monitor->events().size(), 3U);
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Cue 1 / 1 Time 5 #", "cmd $ Cue 1 / 2 Label Chorus #"));
}

TEST_F(MonitorPoll, UnparsablePreviousTextStillReportsAsBefore) {
    makeMonitor();
    files->write(markerPath, "<Tempolane><Marker");
    monitor->pollOnce();
    files->write(markerPath, fileA);
    monitor->pollOnce();
    ASSERT_EQ(monitor->events().size(), 2U);
    EXPECT_EQ(monitor->events()[0].actions.at(0).summary, "Unable to parse previous XML snapshot");
    EXPECT_THAT(takeSent(), IsEmpty());
}

TEST_F(MonitorPoll, StartMonitoringPollsNowThenEverySecond) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    EXPECT_EQ(files->readCount, 1);
    EXPECT_EQ(link->connectCount, 1);
    EXPECT_TRUE(monitor->isMonitoring());

    queue->advance(999ms);
    EXPECT_EQ(files->readCount, 1);
    queue->advance(1ms);
    EXPECT_EQ(files->readCount, 2);

    files->write(markerPath, fileB);
    queue->advance(1s);
    EXPECT_THAT(eventKindsOldestFirst(), ElementsAre(EventKind::initial, EventKind::modified));
    queue->advance(7s);
    EXPECT_EQ(files->readCount, 10);
}

TEST_F(MonitorPoll, SecondStartDoesNothing) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    const auto configures = link->configures.size();
    monitor->startMonitoring();
    EXPECT_EQ(files->readCount, 1);
    EXPECT_EQ(link->connectCount, 1);
    EXPECT_EQ(link->configures.size(), configures);
    queue->advance(3s);
    EXPECT_EQ(files->readCount, 4);
}

TEST_F(MonitorPoll, NothingRunsOnceTheMonitorIsGone) {
    makeMonitor();
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    monitor->setEosHost("10.0.0.9");
    const std::weak_ptr<LightingFileMonitor> weak = monitor;
    monitor.reset();
    EXPECT_TRUE(weak.expired());
    const auto configures = link->configures.size();
    queue->advance(5s);
    EXPECT_EQ(files->readCount, 1);
    EXPECT_EQ(link->configures.size(), configures);
    // Callbacks the link still holds do nothing either.
    link->callbacks.onConnectionStateChanged(true);
    link->callbacks.onConnectionEstablished();
    link->callbacks.onOutgoingMessage({});
    EXPECT_THAT(link->sent, IsEmpty());
}

TEST_F(MonitorPoll, TickQueuedBeforeDestructionDoesNotPoll) {
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.settings = settings;
    dependencies.fileSystem = files;
    dependencies.eosLink = link;
    std::function<void()> tick;
    dependencies.pollTimer = [&tick](MainQueue::Duration, std::function<void()> onTick) {
        tick = std::move(onTick);
        return CancelHandle{};
    };
    monitor = LightingFileMonitor::create(std::move(dependencies));
    files->write(markerPath, fileA);
    monitor->startMonitoring();
    tick();
    monitor.reset();
    queue->runFor(0s);
    EXPECT_EQ(files->readCount, 1);
}

TEST_F(MonitorPoll, NestedPollWhileDeletionQuestionIsOpenDoesNotRepeatTheChange) {
    makeMonitor();
    monitor->setOptDeleteCues(true);
    files->write(markerPath, markerFileText({{.cue = "1", .fade = "1"}, {.cue = "2", .label = "Gone"}}));
    monitor->pollOnce();
    files->write(markerPath, markerFileText({{.cue = "1", .fade = "4"}}));
    prompt->whileOpen = [this] { monitor->pollOnce(); };
    prompt->answers = {{true, false}};
    monitor->pollOnce();
    EXPECT_EQ(monitor->events().size(), 2U);
    EXPECT_THAT(prompt->questions, ElementsAre("Delete Cue 1/2 from Eos?"));
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Cue 1 / 1 Time 4 #", "cmd $ Delete Cue 1 / 2 Enter #"));
}

TEST_F(MonitorPoll, DeletionPolicyLastsForTheRun) {
    makeMonitor();
    monitor->setOptDeleteCues(true);
    files->write(markerPath, markerFileText({{.cue = "1"}, {.cue = "2", .label = "a"}, {.cue = "3", .label = "b"}}));
    monitor->pollOnce();
    files->write(markerPath, markerFileText({{.cue = "1"}}));
    prompt->answers = {{true, true}};
    monitor->pollOnce();
    EXPECT_EQ(monitor->cueDeletionPromptPolicy(), CueDeletionPromptPolicy::autoYes);
    EXPECT_EQ(prompt->questions.size(), 1U);
    EXPECT_THAT(takeSent(), ElementsAre("cmd $ Delete Cue 1 / 2 Enter #", "cmd $ Delete Cue 1 / 3 Enter #"));
}

}  // namespace
}  // namespace lanternwick
