#pragma once
// LightingFileMonitor: the one controller. It looks at the marker file once a
// second, and at once when the file system reports a save, records a
// LightingChangeEvent for every appearance, disappearance, read failure or
// content change, hands the marker diff to the console, and owns the console
// link, the four bounded logs (MonitorLogs) and the six persisted settings
// (MonitorSettings).
// Bounds: the event log keeps the 1,000 newest events, the message logs and
// the outcome log the 200 newest entries each; every text a log entry keeps
// (an event's summary and details, an action's values, a message's values, a
// line, a cue, a reason) is capped at keptTextLimit bytes (4 KiB, ending
// "… (N more bytes)"), so a long session's memory stops growing once the
// logs are full, whatever the file or the console sends. The console itself
// is sent the values whole.
// Made by create() and held by a shared_ptr; every timer, debounce and link
// callback holds it weakly and does nothing once it is gone. Main thread
// only: every member is called there, and observers are told there, after
// the field has changed.
// Each tick and each reported burst of changes is one look of the file
// snapshot (MarkerFileSnapshot): the whole file read and hashed, parsed and
// diffed only when the fingerprint moved.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eos/CueDeletionPrompt.h"
#include "eos/EosConsoleSettings.h"
#include "eos/EosLink.h"
#include "eos/OSCLogMessages.h"
#include "eos/SyncOutcome.h"
#include "markers/LightingChangeEvent.h"
#include "markers/MarkerDiff.h"
#include "markers/TempolaneFileValidationError.h"
#include "monitor/FileSystem.h"
#include "monitor/FileWatcher.h"
#include "monitor/MarkerFileSnapshot.h"
#include "monitor/MonitorLogs.h"
#include "monitor/MonitorSettings.h"
#include "monitor/SettingsStore.h"
#include "support/Cancellation.h"
#include "support/MainQueue.h"
#include "support/Result.h"

namespace lanternwick {

// The fields observers are told about.
enum class MonitorField {
    events,
    incomingOSCMessages,
    outgoingOSCMessages,
    fileURL,
    eosHost,
    eosPort,
    optUpdateOnConnect,
    optSyncLabels,
    optDeleteCues,
    eosFraming,
    isEosConnected,
    cueDeletionPromptPolicy,
    outcomes,
    eosLinkStatus,
    fileWatchNote,
    fileVerdict,
};

// Starts a repeating tick (first one period from now, then every period) and
// returns the handle that stops it. The tick may run on any thread.
using PollTimerFactory =
    std::function<CancelHandle(MainQueue::Duration period, std::function<void()> tick)>;

struct LightingFileMonitorDependencies {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<CueDeletionPrompt> deletionPrompt;
    // Defaults: the local file system; an EosOSCClient on mainQueue; a
    // timer and the platform's file watcher on the serial queue
    // "tempolane.monitor".
    std::shared_ptr<FileSystem> fileSystem;
    std::shared_ptr<EosLink> eosLink;
    PollTimerFactory pollTimer;
    // Each change it reports runs one pollOnce at once; noFileWatcher()
    // leaves the timer alone.
    FileWatcherFactory fileWatcher;
};

class LightingFileMonitor : public std::enable_shared_from_this<LightingFileMonitor> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using ObserverId = std::uint64_t;
    using Observer = std::function<void(MonitorField)>;

    static constexpr std::size_t messageLogLimit = MonitorLogs::messageLogLimit;
    static constexpr std::size_t eventLogLimit = MonitorLogs::eventLogLimit;
    static constexpr MainQueue::Duration pollPeriod = std::chrono::seconds(1);
    static constexpr MainQueue::Duration connectionSettingsDelay = std::chrono::milliseconds(600);

    // Loads the settings and configures the link (without connecting).
    static std::shared_ptr<LightingFileMonitor> create(LightingFileMonitorDependencies dependencies);
    LightingFileMonitor(Passkey, LightingFileMonitorDependencies dependencies);
    ~LightingFileMonitor();

    LightingFileMonitor(const LightingFileMonitor&) = delete;
    LightingFileMonitor& operator=(const LightingFileMonitor&) = delete;

    // Applies the connection settings, connects, polls once and starts the
    // one-second timer. Later calls do nothing.
    void startMonitoring();
    bool isMonitoring() const { return timer_.has_value(); }
    // Why saves are seen only by the one-second poll, in plain words; empty
    // while the file's folder is watched. Set when monitoring starts and at
    // each file switch.
    const std::string& fileWatchNote() const { return fileWatchNote_; }

    void pollOnce();

    // Switches to another marker file after checking its header; the same
    // file again does nothing at all. A rejected file changes nothing.
    Result<void, TempolaneFileValidationError> selectFile(const std::filesystem::path& url);

    void resetSnapshot();
    // What the last poll found at the path; observers hear of a change as
    // fileVerdict.
    FileVerdict fileVerdict() const { return snapshot_.verdict(); }

    // Newest first, at most eventLogLimit.
    const std::vector<LightingChangeEvent>& events() const { return logs_.events(); }
    const std::vector<IncomingOSCMessage>& incomingOSCMessages() const { return logs_.incomingOSCMessages(); }
    const std::vector<OutgoingOSCMessage>& outgoingOSCMessages() const { return logs_.outgoingOSCMessages(); }
    // What became of each decision about console traffic, newest first, at
    // most messageLogLimit.
    const std::vector<SyncOutcome>& outcomes() const { return logs_.outcomes(); }
    const LinkStatus& eosLinkStatus() const { return eosLinkStatus_; }
    const std::filesystem::path& fileURL() const { return settings_.filePath(); }
    const std::string& eosHost() const { return settings_.eosHost(); }
    std::uint16_t eosPort() const { return settings_.eosPort(); }
    EosFraming eosFraming() const { return settings_.eosFraming(); }
    bool optUpdateOnConnect() const { return settings_.optUpdateOnConnect(); }
    bool optSyncLabels() const { return settings_.optSyncLabels(); }
    bool optDeleteCues() const { return settings_.optDeleteCues(); }
    bool isEosConnected() const { return isEosConnected_; }
    CueDeletionPromptPolicy cueDeletionPromptPolicy() const { return cueDeletionPromptPolicy_; }

    // Host and port edits are applied (normalised, persisted, handed to the
    // link) 0.6 s after the last one.
    void setEosHost(std::string host);
    void setEosPort(std::uint16_t port);
    // Persisted and handed to the link at once; once monitoring, a different
    // framing reconnects.
    void setEosFraming(EosFraming framing);
    // Options are persisted at once and touch nothing else.
    void setOptUpdateOnConnect(bool value);
    void setOptSyncLabels(bool value);
    void setOptDeleteCues(bool value);
    // Lasts for the run; never persisted.
    void setCueDeletionPromptPolicy(CueDeletionPromptPolicy policy);

    ObserverId addObserver(Observer observer);
    void removeObserver(ObserverId id);

    void applyConnectionSettings();
    void applyDiffToEos(bool isInitialSnapshot, const MarkerDiff& diff);
    // Re-reads the file and sends one full cue line per marker with a cue.
    // When the file does not read or parse, the update is owed to the
    // connection and sent by the first poll that reads and parses it.
    void updateAllCuesInEos();
    bool isFullUpdateOwed() const { return fullUpdateOwed_; }

    void appendIncomingMessage(const IncomingOSCMessage& message);
    void appendOutgoingMessage(const OutgoingOSCMessage& message);
    void recordOutcome(const SyncOutcome& outcome);

private:
    void wireLink();
    void scheduleConnectionSettingsApply();
    void recordEvent(LightingChangeEvent event);
    void notify(MonitorField field);
    void setEosConnected(bool connected);
    void setEosLinkStatus(const LinkStatus& status);
    // The markers of the file as it is now, read afresh.
    ParsedMarkers currentFileMarkers() const;
    void sendOwedFullUpdate(const ParsedMarkers& markers);
    void sendFullUpdate(const std::vector<LightingMarker>& markers);
    void watchFile();

    LightingFileMonitorDependencies dependencies_;
    // After dependencies_: it is read from their settings store.
    MonitorSettings settings_;
    MonitorLogs logs_;
    LinkStatus eosLinkStatus_;
    bool isEosConnected_ = false;
    std::optional<CancelHandle> timer_;
    FileWatch fileWatch_;
    std::string fileWatchNote_;
    std::optional<CancelHandle> connectionSettingsWorkItem_;
    bool isApplyingConnectionSettings_ = false;
    MarkerFileSnapshot snapshot_;
    // Read when held lines give way to the full update on connect, and sent
    // by it right after.
    ParsedMarkers markersForFullUpdate_;
    // Set while the current connection waits for the update on connect that
    // the file did not allow when it came up; a lost connection clears it.
    bool fullUpdateOwed_ = false;
    CueDeletionPromptPolicy cueDeletionPromptPolicy_ = CueDeletionPromptPolicy::askEveryTime;
    std::map<ObserverId, Observer> observers_;
    ObserverId nextObserverId_ = 1;
};

// A tick every period on the given main queue itself; what tests with a
// manual clock and single-threaded runners use instead of the monitor queue.
PollTimerFactory pollTimerOn(std::shared_ptr<MainQueue> queue);

}  // namespace lanternwick
