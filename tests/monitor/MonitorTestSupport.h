#pragma once
// Helpers for the monitor tests: a file system whose
// files and read failures the test sets, and a fixture that builds a monitor
// on a manual-clock main queue with a recording console link.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/MarkerFileText.h"
#include "common/RecordingEosLink.h"
#include "common/ScriptedDeletionPrompt.h"
#include "monitor/FileSystem.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::testing {

class FakeFileSystem final : public FileSystem {
public:
    struct Entry {
        std::string content;
        std::optional<std::string> readError;
    };

    bool fileExists(const std::filesystem::path& path) const override { return files.count(path) != 0; }

    Result<std::string, std::string> readFile(const std::filesystem::path& path) const override {
        ++readCount;
        const auto found = files.find(path);
        if (found == files.end()) return fail(std::string("No such file or directory"));
        if (found->second.readError) return fail(*found->second.readError);
        return found->second.content;
    }

    void write(const std::filesystem::path& path, std::string content) { files[path] = Entry{std::move(content), {}}; }
    void breakReads(const std::filesystem::path& path, std::string error) { files[path].readError = std::move(error); }

    std::map<std::filesystem::path, Entry> files;
    mutable int readCount = 0;
};

class MonitorFixture {
public:
    explicit MonitorFixture(RunLoopMainQueue::ClockMode clock = RunLoopMainQueue::ClockMode::manual)
        : queue(std::make_shared<RunLoopMainQueue>(clock)) {
        settings->setString("tempolaneFilePath", markerPath.string());
    }

    LightingFileMonitorDependencies dependencies() {
        LightingFileMonitorDependencies d;
        d.mainQueue = queue;
        d.settings = settings;
        d.deletionPrompt = prompt;
        d.fileSystem = files;
        d.eosLink = link;
        d.pollTimer = pollTimerOn(queue);
        return d;
    }
    void makeMonitor() { monitor = LightingFileMonitor::create(dependencies()); }
    void poll(const std::string& text) {
        files->write(markerPath, text);
        monitor->pollOnce();
    }

    std::vector<LightingChangeEvent::Kind> eventKindsOldestFirst() const {
        std::vector<LightingChangeEvent::Kind> kinds;
        for (auto it = monitor->events().rbegin(); it != monitor->events().rend(); ++it) kinds.push_back(it->kind);
        return kinds;
    }
    std::vector<std::string> takeSent() { return std::exchange(link->sent, {}); }

    const std::filesystem::path markerPath = "/show/Lighting.xml";
    std::shared_ptr<RunLoopMainQueue> queue;
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<ScriptedDeletionPrompt> prompt = std::make_shared<ScriptedDeletionPrompt>();
    std::shared_ptr<FakeFileSystem> files = std::make_shared<FakeFileSystem>();
    std::shared_ptr<RecordingEosLink> link = std::make_shared<RecordingEosLink>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::testing
