#include "soak/MonitorRig.h"

#include <unistd.h>

#include <fstream>

namespace lanternwick::soak {

MonitorRig::MonitorRig(std::uint16_t port, RigOptions options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lanternwick-soak-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    file = folder / "Lighting.xml";
    settings->setString("tempolaneFilePath", file.string());
    settings->setString("eosHost", "127.0.0.1");
    settings->setInteger("eosPort", port);
    settings->setBool("optUpdateOnConnect", options.updateOnConnect);
    settings->setBool("optSyncLabels", options.syncLabels);
    settings->setBool("optDeleteCues", options.deleteCues);
}

MonitorRig::~MonitorRig() {
    monitor.reset();
    queue->runFor(std::chrono::milliseconds(50));
    std::error_code ignored;
    std::filesystem::permissions(file, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder, ignored);
}

void MonitorRig::start() {
    LightingFileMonitorDependencies dependencies;
    dependencies.mainQueue = queue;
    dependencies.settings = settings;
    dependencies.deletionPrompt = prompt;
    dependencies.pollTimer = [](MainQueue::Duration, std::function<void()>) { return CancelHandle(); };
    dependencies.fileWatcher = noFileWatcher();
    monitor = LightingFileMonitor::create(std::move(dependencies));
    monitor->startMonitoring();
}

void MonitorRig::write(std::string_view text) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

void MonitorRig::replaceAtomically(std::string_view text) const {
    const auto temporary = folder / ".Lighting.xml.swp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::filesystem::rename(temporary, file);
}

void MonitorRig::poll() {
    monitor->pollOnce();
    settle();
}

void MonitorRig::settle(std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    queue->runUntil([until] { return std::chrono::steady_clock::now() >= until; }, duration);
    // The manual clock keeps pace with the wait, so that the link's retry
    // backoff runs as it would in the product.
    queue->advance(duration);
}

bool MonitorRig::waitConnected(bool connected) {
    return queue->runUntil([&] { return monitor->isEosConnected() == connected; }, std::chrono::seconds(5));
}

bool MonitorRig::runUntil(const std::function<bool()>& condition, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        settle(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<LightingChangeEvent::Kind> MonitorRig::eventKinds() const {
    std::vector<LightingChangeEvent::Kind> kinds;
    for (auto it = monitor->events().rbegin(); it != monitor->events().rend(); ++it) {
        kinds.push_back(it->kind);
    }
    return kinds;
}

std::vector<std::string> MonitorRig::sentLines() const {
    std::vector<std::string> lines;
    const auto& log = monitor->outgoingOSCMessages();
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
        if (it->address == "/eos/user/0/newcmd") {
            lines.push_back(it->valuesText);
        }
    }
    return lines;
}

}  // namespace lanternwick::soak
