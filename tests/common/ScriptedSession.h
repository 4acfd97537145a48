#pragma once
// A short programming session played into a monitor on a recording link, for
// the tests of what a person is shown of it: the activity window and the
// headless output. The outcomes are the ones the console client and the cue
// sync report, made here by hand in a plausible order. The clock is manual
// and there is no poll timer: the session polls where it edits the file.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/MarkerFileText.h"
#include "common/RecordingEosLink.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::testing {

class ScriptedSession {
public:
    // The default watcher watches the scratch folder; noFileWatcher() plays a
    // folder whose saves are not reported.
    explicit ScriptedSession(FileWatcherFactory fileWatcher = nullptr) {
        std::filesystem::create_directories(folder);
        writeFade("2");
        settings->setString("tempolaneFilePath", file.string());
        settings->setBool("optSyncLabels", true);
        settings->setBool("optDeleteCues", true);
        monitor = LightingFileMonitor::create({
            .mainQueue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual),
            .settings = settings,
            .deletionPrompt = nullptr,
            .fileSystem = nullptr,
            .eosLink = link,
            .pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); },
            .fileWatcher = std::move(fileWatcher),
        });
    }
    ~ScriptedSession() { std::filesystem::remove_all(folder); }

    void report(SyncOutcome::Detail detail) const { link->callbacks.onOutcome(makeOutcome(std::move(detail))); }
    void linkBecomes(LinkState state, const std::string& reason = {}, std::size_t held = 0) const {
        link->callbacks.onLinkStatusChanged({state, reason, held});
        report(ConnectionChange{{state, reason, held}, "127.0.0.1", 8555});
    }

    // The start, a console that refuses twice and then comes, a line held and
    // sent, a fade edited in the file, a skipped command, a reply, a
    // question, a line with hostile bytes dropped, and the connection lost.
    void play() const {
        monitor->startMonitoring();
        linkBecomes(LinkState::connecting);
        linkBecomes(LinkState::notConnected, "Connection refused");
        linkBecomes(LinkState::connecting);
        linkBecomes(LinkState::notConnected, "Connection refused");
        report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::held, "not connected"});
        linkBecomes(LinkState::notConnected, "Connection refused", 1);
        linkBecomes(LinkState::connected);
        report(LineOutcome{"/eos/user/0/key/blind", "", LineFate::sent, ""});
        report(LineOutcome{command, "Cue 1 / 5 Time 3 #", LineFate::sent, ""});
        writeFade("3");
        monitor->pollOnce();
        report(SkippedCommand{1, "0", "enter", std::string(skipReason::zeroCue)});
        report(ReceivedReply{"/eos/out/get/cue/1/5/0/list/0/30", "4, uid-5, Intro\x1b, 3000", 1, "5", 0, "Intro\x1b",
                             3000, "00:00:10:00"});
        report(DeletionQuestion{1, "7", false, true});
        report(LineOutcome{command, "Cue 1 / 6 Label Red\x1b[31m\xff #", LineFate::dropped, "write queue full"});
        linkBecomes(LinkState::notConnected, "Connection reset by peer");
    }

    void writeFade(const char* fade) const {
        std::ofstream(file, std::ios::binary) << markerFileText({{.cue = "5", .label = "Intro", .fade = fade}});
    }

    const std::string command = "/eos/user/0/newcmd";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lanternwick-session-" + std::to_string(::getpid()));
    const std::filesystem::path file = folder / "Lighting.xml";
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<RecordingEosLink> link = std::make_shared<RecordingEosLink>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::testing
