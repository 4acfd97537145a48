#pragma once
// Helpers for the monitor tests: a file system whose files and read failures
// the test sets, and a fixture that builds a monitor on a manual-clock main
// queue with a recording console link.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/MarkerFileText.h"
#include "common/RecordingEosLink.h"
#include "common/ScriptedDeletionPrompt.h"
#include "monitor/LightingFileMonitor.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::testing {

class FakeFileSystem final : public FileSystem {
public:
    bool fileExists(const std::filesystem::path& path) const override { return files.contains(path); }

    Result<std::string, std::string> readFile(const std::filesystem::path& path) const override {
        ++readCount;
        const auto found = files.find(path);
        if (found == files.end()) return fail(std::string("No such file or directory"));
        return found->second;
    }

    // The text, or fail("reason") for a file that is there but cannot be read.
    void write(const std::filesystem::path& path, Result<std::string, std::string> content) {
        files.insert_or_assign(path, std::move(content));
    }

    std::map<std::filesystem::path, Result<std::string, std::string>> files;
    mutable int readCount = 0;
};

// A watcher the test fires by hand through `changed` (the newest watch's).
struct FakeFileWatcher {
    FileWatcherFactory factory() {
        return [this](const std::filesystem::path& file, std::function<void()> onChange) {
            watched.push_back(file);
            changed = std::move(onChange);
            return FileWatchStart{FileWatch([this] { ++stopped; }), unavailable};
        };
    }

    std::vector<std::filesystem::path> watched;
    std::function<void()> changed;
    int stopped = 0;
    std::string unavailable;
};

class MonitorFixture {
public:
    explicit MonitorFixture(RunLoopMainQueue::ClockMode clock = RunLoopMainQueue::ClockMode::manual)
        : queue(std::make_shared<RunLoopMainQueue>(clock)) {
        settings->setString("tempolaneFilePath", markerPath.string());
    }

    LightingFileMonitorDependencies dependencies() {
        return {queue, settings, prompt, files, link, pollTimerOn(queue), watcher->factory()};
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

    const std::filesystem::path markerPath = "/show/Lighting.xml";
    std::shared_ptr<RunLoopMainQueue> queue;
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<ScriptedDeletionPrompt> prompt = std::make_shared<ScriptedDeletionPrompt>();
    std::shared_ptr<FakeFileSystem> files = std::make_shared<FakeFileSystem>();
    std::shared_ptr<RecordingEosLink> link = std::make_shared<RecordingEosLink>();
    std::shared_ptr<FakeFileWatcher> watcher = std::make_shared<FakeFileWatcher>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::testing
