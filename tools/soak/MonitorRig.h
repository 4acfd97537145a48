#pragma once
// MonitorRig: one LightingFileMonitor with its real Eos client, a marker
// file in a fresh temporary folder, settings in memory and a deletion prompt
// that always says yes, all driven by a manual-clock run loop on the calling
// thread. Polls are run by the owner (poll), so nothing depends on timing but
// the loopback connection itself. Owned by one thread.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "eos/CueDeletionPrompt.h"
#include "markers/LightingChangeEvent.h"
#include "monitor/LightingFileMonitor.h"
#include "monitor/SettingsStore.h"
#include "support/RunLoopMainQueue.h"

namespace lanternwick::soak {

class YesPrompt final : public CueDeletionPrompt {
public:
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override {
        ++asked;
        return {true, false};
    }
    int asked = 0;
};

struct RigOptions {
    bool updateOnConnect = true;
    bool syncLabels = true;
    bool deleteCues = true;
};

class MonitorRig {
public:
    explicit MonitorRig(std::uint16_t port, RigOptions options = {});
    ~MonitorRig();

    MonitorRig(const MonitorRig&) = delete;
    MonitorRig& operator=(const MonitorRig&) = delete;

    // Creates the monitor (which reads the settings) and starts it; the
    // start polls once and connects.
    void start();

    void write(std::string_view text) const;
    // Written beside the file and renamed over it, as editors save.
    void replaceAtomically(std::string_view text) const;

    void poll();
    // Runs what the client's threads have handed to the main queue for the
    // given real time, then moves the manual clock on by as much.
    void settle(std::chrono::milliseconds duration = std::chrono::milliseconds(100));
    bool waitConnected(bool connected = true);
    // Keeps the main queue running until the condition holds (it may read
    // state of other threads).
    bool runUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = std::chrono::seconds(5));

    std::vector<LightingChangeEvent::Kind> eventKinds() const;
    // Command lines sent so far, oldest first.
    std::vector<std::string> sentLines() const;

    std::filesystem::path folder;
    std::filesystem::path file;
    std::shared_ptr<RunLoopMainQueue> queue = std::make_shared<RunLoopMainQueue>(RunLoopMainQueue::ClockMode::manual);
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::shared_ptr<YesPrompt> prompt = std::make_shared<YesPrompt>();
    std::shared_ptr<LightingFileMonitor> monitor;
};

}  // namespace lanternwick::soak
