#pragma once
// Helpers for the monitor tests: marker file texts, a file system whose
// files and read failures the test sets, and a fixture that builds a monitor
// on a manual-clock main queue with a recording console link.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/RecordingEosLink.h"
#include "common/ScriptedDeletionPrompt.h"
#include "monitor/FileSystem.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::testing {

// Field texts go into the file unescaped: keep them free of markup.
struct MarkerSpec {
    std::string cue;
    std::string label;
    std::string position = "0";
    std::string fade;
    std::string track = "Lights 1/ Main";
};

inline std::string markerFileText(const std::vector<MarkerSpec>& markers) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Tempolane xmlns:xml=\"http://www.w3.org/XML/1998/namespace\" "
                       "major_vers=\"5\" minor_vers=\"2\" bug_vers=\"0\">\n";
    for (const auto& m : markers) {
        text += "  <Marker MarkerTypeName=\"Cue\" TrackName=\"" + m.track + "\" Position=\"" + m.position + "\" Label=\"" +
                m.label + "\" Fade=\"" + m.fade + "\" FadeOut=\"-1\" ManualCueID=\"" + m.cue + "\"/>\n";
    }
    return text + "</Tempolane>\n";
}

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
    MonitorFixture() { settings->setString("tempolaneFilePath", markerPath.string()); }

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
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<ScriptedDeletionPrompt> prompt = std::make_shared<ScriptedDeletionPrompt>();
    std::shared_ptr<FakeFileSystem> files = std::make_shared<FakeFileSystem>();
    std::shared_ptr<RecordingEosLink> link = std::make_shared<RecordingEosLink>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::testing
