#pragma once
// MonitorHarness: one LightingFileMonitor with its real Eos client, a marker
// file in a fresh temporary folder, settings in memory and a deletion prompt
// that always says yes, all driven by a manual-clock run loop on the test
// thread. Polls are run by the test (pollOnce), so nothing depends on timing
// but the loopback connection itself. Owned by one test.

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "eos/CueDeletionPrompt.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::faults {

class YesPrompt final : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override {
        ++asked;
        return {true, false};
    }
    int asked = 0;
};

struct HarnessOptions {
    bool updateOnConnect = true;
    bool syncLabels = true;
    bool deleteCues = true;
};

class MonitorHarness {
public:
    MonitorHarness(std::uint16_t port, HarnessOptions options = {}) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-faults-XXXXXX").string();
        folder = mkdtemp(pattern.data());
        file = folder / "Lighting.xml";
        settings->setString("tempolaneFilePath", file.string());
        settings->setString("eosHost", "127.0.0.1");
        settings->setInteger("eosPort", port);
        settings->setBool("optUpdateOnConnect", options.updateOnConnect);
        settings->setBool("optSyncLabels", options.syncLabels);
        settings->setBool("optDeleteCues", options.deleteCues);
    }

    ~MonitorHarness() {
        monitor.reset();
        queue->runFor(std::chrono::milliseconds(50));
        std::error_code ignored;
        std::filesystem::permissions(file, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(folder, ignored);
    }

    // Creates the monitor (which reads the settings) and starts it; the
    // start polls once and connects.
    void start() {
        LightingFileMonitorDependencies dependencies;
        dependencies.mainQueue = queue;
        dependencies.settings = settings;
        dependencies.deletionPrompt = prompt;
        dependencies.pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); };
        monitor = LightingFileMonitor::create(std::move(dependencies));
        monitor->setCueDeletionPromptPolicy(CueDeletionPromptPolicy::askEveryTime);
        monitor->startMonitoring();
    }

    void write(std::string_view text) const {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Written beside the file and renamed over it, as editors save.
    void replaceAtomically(std::string_view text) const {
        const auto temporary = folder / ".Lighting.xml.swp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << text;
        }
        std::filesystem::rename(temporary, file);
    }

    void poll() {
        monitor->pollOnce();
        settle();
    }
    // Runs what the client's threads have handed to the main queue so far.
    void settle(std::chrono::milliseconds duration = std::chrono::milliseconds(100)) {
        const auto until = std::chrono::steady_clock::now() + duration;
        queue->runUntil([until] { return std::chrono::steady_clock::now() >= until; }, duration);
    }
    bool waitConnected(bool connected = true) {
        return queue->runUntil([&] { return monitor->isEosConnected() == connected; }, std::chrono::seconds(5));
    }
    // Keeps the main queue running until the condition holds (read on any thread).
    bool runUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            settle(std::chrono::milliseconds(10));
        }
        return true;
    }

    std::vector<LightingChangeEvent::Kind> eventKinds() const {
        std::vector<LightingChangeEvent::Kind> kinds;
        for (auto it = monitor->events().rbegin(); it != monitor->events().rend(); ++it) {
            kinds.push_back(it->kind);
        }
        return kinds;
    }
    // Command lines sent so far, oldest first.
    std::vector<std::string> sentLines() const {
        std::vector<std::string> lines;
        const auto& log = monitor->outgoingOSCMessages();
        for (auto it = log.rbegin(); it != log.rend(); ++it) {
            if (it->address == "/eos/user/0/newcmd") {
                lines.push_back(it->valuesText);
            }
        }
        return lines;
    }

    std::filesystem::path folder;
    std::filesystem::path file;
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<YesPrompt> prompt = std::make_shared<YesPrompt>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::faults
