#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>

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

class MonitorPoll : public ::testing::Test, public testing::MonitorFixture {};

TEST_F(MonitorPoll, RecordsExactlyTheseEvents) {
    using K = EventKind;
    const std::string removed = "File removed|The monitored file no longer exists.";
    // The newest event's summary and details, where the case names them.
    const struct Case { const char* name; std::vector<std::string> steps; std::vector<EventKind> events; std::string newest; }
    cases[] = {
        {"missing at the first poll, then created", {missing, missing, fileA}, {K::created}},
        {"deleted once, then created again", {fileA, missing, missing, fileA}, {K::initial, K::deleted, K::created}},
        {"replaced between ticks", {fileA, fileB}, {K::initial, K::modified}},
        {"rewritten identically", {fileA, fileA, fileA}, {K::initial}},
        {"the same read failure ten times", std::vector<std::string>(10, denied), {K::unreadable},
         "Failed reading file|Permission denied"},
        {"a different read failure", {denied, denied, "!Is a directory"}, {K::unreadable, K::unreadable}},
        {"a failure, then the old content", {fileA, denied, fileA}, {K::initial, K::unreadable}},
        {"a failure, then new content", {fileA, denied, fileB}, {K::initial, K::unreadable, K::modified}},
        {"first readable after missing and failing is initial", {missing, denied, fileA}, {K::unreadable, K::initial}},
        {"suppression survives a disappearance", {denied, missing, denied}, {K::unreadable, K::deleted}, removed},
        {"suppression ends with a good read", {denied, fileA, denied}, {K::unreadable, K::initial, K::unreadable}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files->files.clear();
        makeMonitor();
        for (const std::string& step : c.steps) {
            if (step == missing) {
                files->files.erase(markerPath);
            } else {
                files->write(markerPath, step.front() == '!' ? fail(step.substr(1)) : Result<std::string, std::string>(step));
            }
            monitor->pollOnce();
        }
        EXPECT_EQ(eventKindsOldestFirst(), c.events);
        if (!c.newest.empty()) { EXPECT_EQ(monitor->events()[0].summary + "|" + monitor->events()[0].details, c.newest); }
    }
}

// What the window shows of the file comes from this, so each change must be
// told, also the one no event records (readable again as it was).
TEST_F(MonitorPoll, TheFileVerdictFollowsEachPollAndEachChangeIsTold) {
    using V = FileVerdict::Kind;
    const std::string foreign = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Other/>\n";
    const std::string halfWritten = fileA.substr(0, fileA.find("<Marker") + 10);
    const struct Step { std::string file; V verdict; bool told; std::string reason = {}; } steps[] = {
        {missing, V::missing, true},         {missing, V::missing, false},
        {fileA, V::markerFile, true},        {denied, V::unreadable, true, "Permission denied"},
        {denied, V::unreadable, false, "Permission denied"},
        {fileA, V::markerFile, true},        {foreign, V::notAMarkerFile, true},
        {foreign, V::notAMarkerFile, false}, {halfWritten, V::markerFile, true},
        {fileB, V::markerFile, false},
    };
    makeMonitor();
    EXPECT_EQ(monitor->fileVerdict().kind, V::notLookedAt);
    int told = 0;
    monitor->addObserver([&](MonitorField field) { told += field == MonitorField::fileVerdict; });
    for (const Step& step : steps) {
        SCOPED_TRACE(step.file.substr(0, 20));
        told = 0;
        if (step.file == missing) {
            files->files.erase(markerPath);
        } else {
            files->write(markerPath, step.file.front() == '!' ? fail(step.file.substr(1))
                                                              : Result<std::string, std::string>(step.file));
        }
        monitor->pollOnce();
        EXPECT_EQ(monitor->fileVerdict(), (FileVerdict{step.verdict, step.reason}));
        EXPECT_EQ(told, step.told ? 1 : 0);
    }
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
    settings->setBool("optUpdateOnConnect", true);
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
    link->sent.clear();
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

// Held lines may only give way to a full update that will really be sent.
TEST_F(MonitorPoll, HeldLinesGiveWayOnlyToAnUpdateOfAFileThatReadsAndParses) {
    makeMonitor();
    const auto replaces = [this] { return link->callbacks.replacesHeldWithFullUpdate(); };
    files->write(markerPath, fileA);
    EXPECT_FALSE(replaces()) << "update on connect is off";
    monitor->setOptUpdateOnConnect(true);
    EXPECT_TRUE(replaces());
    files->write(markerPath, std::string("<Tempolane><Marker"));
    EXPECT_FALSE(replaces());
    files->write(markerPath, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist/>"));
    EXPECT_FALSE(replaces()) << "another kind of file";
    files->write(markerPath, fail(std::string("Permission denied")));
    EXPECT_FALSE(replaces());

    files->write(markerPath, fileA);
    EXPECT_TRUE(replaces());
    files->write(markerPath, fail(std::string("Permission denied")));
    link->sent.clear();
    link->callbacks.onConnectionEstablished();
    EXPECT_FALSE(link->sent.empty()) << "the update the held lines gave way to still goes out";
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
    EXPECT_THAT(link->sent, ElementsAre("cmd $ Cue 1 / 1 Time 4 #", "cmd $ Delete Cue 1 / 2 Enter #"));
}

// The marker comes back (an undo) while its cue's deletion is being asked
// about: the cue the nested poll has just entered again must not be deleted.
TEST_F(MonitorPoll, CuesTheFileUsesAgainWhileADeletionIsAskedAreNeitherDeletedNorAskedAbout) {
    makeMonitor();
    monitor->setOptDeleteCues(true);
    const std::string all = markerFileText({{.cue = "1"}, {.cue = "2"}, {.cue = "3"}});
    poll(all);
    prompt->whileOpen = [this, all] { poll(all); };
    prompt->answers = {{true, false}, {true, false}};
    link->sent.clear();
    poll(markerFileText({{.cue = "1"}}));
    EXPECT_EQ(prompt->questions.size(), 1u) << "cue 3 came back before its turn";
    EXPECT_THAT(link->sent, ElementsAre("cmd $ Cue 1 / 2 Enter #", "cmd $ Cue 1 / 2 Timecode 00:00:00:00 #",
                                        "cmd $ Cue 1 / 3 Enter #", "cmd $ Cue 1 / 3 Timecode 00:00:00:00 #"));
}

// The real file system: a folder the user may no longer search, then a file
// they may not read, then the file really gone. Returns what went wrong.
std::string permissionFaults(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    testing::MonitorFixture rig;
    const fs::path path = folder / "Lighting.xml";
    rig.settings->setString("tempolaneFilePath", path.string());
    auto d = rig.dependencies();
    d.fileSystem = std::make_shared<LocalFileSystem>();
    const auto monitor = LightingFileMonitor::create(std::move(d));
    std::ofstream(path) << fileA;
    monitor->pollOnce();
    fs::permissions(folder, fs::perms::none);
    monitor->pollOnce();
    fs::permissions(folder, fs::perms::owner_all);
    monitor->pollOnce();
    fs::permissions(path, fs::perms::none);
    monitor->pollOnce();
    fs::remove(path);
    monitor->pollOnce();
    std::string seen;
    for (auto it = monitor->events().rbegin(); it != monitor->events().rend(); ++it) {
        seen += std::string(displayName(it->kind)) + ": " + (it->kind == EventKind::initial ? "" : it->details) + "\n";
    }
    const std::string expected = "Initial Snapshot: \nRead Error: Permission denied\nRead Error: Permission denied\n"
                                 "Deleted: The monitored file no longer exists.\n";
    return seen == expected ? "" : "events:\n" + seen;
}

// chmod does not stop root, so as root the walk runs in a child process that
// has become the unprivileged user "nobody" first.
TEST(MonitorPermissions, ANameTheUserMayNotReadIsAReadErrorAndOnlyAGoneFileIsRemoved) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-denied-XXXXXX").string();
    const std::filesystem::path folder = ::mkdtemp(pattern.data());
    if (::geteuid() != 0) {
        EXPECT_EQ(permissionFaults(folder), "");
        std::filesystem::remove_all(folder);
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    ASSERT_EQ(::chown(folder.c_str(), uid, gid), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                std::cerr << "could not become nobody\n";
                std::exit(2);
            }
            const std::string faults = permissionFaults(folder);
            std::filesystem::remove_all(folder);
            std::cerr << faults;
            std::exit(faults.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::filesystem::remove_all(folder);
}

// An editor or a sync tool writes something else at the marker path for a
// moment: well-formed XML, or markers without the header.
TEST_F(MonitorPoll, AFileWithoutTheHeaderIsNoShowWhateverTheDeletionPolicy) {
    const std::string show = markerFileText({{.cue = "1", .fade = "2"}, {.cue = "2", .fade = "2"}});
    const std::string edited = markerFileText({{.cue = "1", .fade = "2"}, {.cue = "2", .fade = "5"}});
    const std::string foreign = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict/></plist>\n";
    const std::string headless = show.substr(show.find('\n') + 1);
    using P = CueDeletionPromptPolicy;
    for (const P policy : {P::askEveryTime, P::autoYes, P::autoNo}) {
        for (const std::string& other : {foreign, headless}) {
            for (const bool goneBetween : {false, true}) {
                SCOPED_TRACE(::testing::Message() << static_cast<int>(policy) << (other == foreign ? " foreign" : " headless")
                                                << (goneBetween ? " after a gap" : ""));
                files->files.clear();
                makeMonitor();
                monitor->setOptDeleteCues(true);
                monitor->setCueDeletionPromptPolicy(policy);
                prompt->questions.clear();
                prompt->answers = {{true, true}, {true, true}};
                poll(show);
                link->sent.clear();
                if (goneBetween) {
                    files->files.erase(markerPath);
                    monitor->pollOnce();
                }
                poll(other);
                EXPECT_THAT(link->sent, IsEmpty());
                EXPECT_THAT(monitor->events().front().details, ::testing::HasSubstr(std::string(notAMarkerFileNote)));
                poll(edited);
                EXPECT_THAT(link->sent, ElementsAre("cmd $ Cue 1 / 2 Time 5 #")) << "only what really changed";
                EXPECT_THAT(prompt->questions, IsEmpty());
            }
        }
    }
}

// An update on connect the file did not allow is owed to that connection and
// sent by the first poll that reads and parses the file.
TEST_F(MonitorPoll, AnUpdateOnConnectTheFileDidNotAllowIsSentOnceItReadsAndParses) {
    const std::string full = "cmd Cue 1 / 1 Time 2 Timecode 00:00:10:00 #";
    const std::string garbled = "<Tempolane><Marker";
    // Steps: a file state as in RecordsExactlyTheseEvents, or "up" (a
    // connection comes up), "down" (it is lost), "off" (the option is cleared);
    // then the update lines sent by the whole sequence.
    const struct Case { const char* name; std::vector<std::string> steps; std::size_t updates; }
    cases[] = {
        {"readable at connect", {fileA, "up", fileA}, 1},
        {"missing at connect, then written back", {fileA, missing, "up", missing, fileA, fileA}, 1},
        {"unreadable at connect, then the same content readable", {fileA, denied, "up", denied, fileA}, 1},
        {"half written at connect, then complete", {fileA, garbled, "up", garbled, fileB}, 1},
        {"a lost connection cancels what it owed", {missing, "up", "down", fileA}, 0},
        {"a new connection owes its own", {missing, "up", "down", "up", fileA}, 1},
        {"each connection is owed one update", {missing, "up", fileA, "down", missing, "up", fileA}, 2},
        {"the option cleared before the file is back", {missing, "up", "off", fileA}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files->files.clear();
        makeMonitor();
        monitor->setOptUpdateOnConnect(true);
        for (const std::string& step : c.steps) {
            if (step == "up") {
                link->callbacks.onConnectionStateChanged(true);
                link->callbacks.onConnectionEstablished();
            } else if (step == "down") {
                link->callbacks.onConnectionStateChanged(false);
            } else if (step == "off") {
                monitor->setOptUpdateOnConnect(false);
            } else {
                if (step == missing) {
                    files->files.erase(markerPath);
                } else {
                    files->write(markerPath, step.front() == '!' ? fail(step.substr(1)) : Result<std::string, std::string>(step));
                }
                monitor->pollOnce();
            }
        }
        const auto updates = std::count_if(link->sent.begin(), link->sent.end(),
                                           [](const std::string& line) { return line.starts_with("cmd Cue "); });
        EXPECT_EQ(static_cast<std::size_t>(updates), c.updates);
        EXPECT_FALSE(monitor->isFullUpdateOwed());
        link->sent.clear();
    }
}

}  // namespace
}  // namespace lanternwick
