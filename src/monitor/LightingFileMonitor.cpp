#include "monitor/LightingFileMonitor.h"

#include <utility>
#include <variant>

#include "eos/CueSync.h"
#include "eos/EosConsoleSettings.h"
#include "eos/EosOSCClient.h"
#include "markers/LightingMarker.h"
#include "support/SerialQueue.h"

namespace lanternwick {
namespace {

template <typename Queue>
void scheduleTick(Queue queue, CancelHandle handle, MainQueue::Duration period,
                  std::chrono::steady_clock::time_point due, std::function<void()> tick,
                  std::function<std::chrono::steady_clock::time_point()> now) {
    const auto delay = due - now();
    queue->asyncAfter(delay, [queue, handle, period, due, tick = std::move(tick), now = std::move(now)]() mutable {
        if (handle.isCancelled()) {
            return;
        }
        tick();
        scheduleTick(queue, handle, period, due + period, std::move(tick), std::move(now));
    });
}

PollTimerFactory monitorQueueTimer(const SerialQueue& monitorQueue) {
    return [monitorQueue](MainQueue::Duration period, std::function<void()> tick) {
        auto queue = std::make_shared<SerialQueue>(monitorQueue);
        CancelHandle handle;
        const auto now = [] { return std::chrono::steady_clock::now(); };
        scheduleTick(queue, handle, period, now() + period, std::move(tick), now);
        return handle;
    };
}

}  // namespace

PollTimerFactory pollTimerOn(std::shared_ptr<MainQueue> queue) {
    // The ticks wait inside the queue itself, so they hold it only weakly.
    const std::weak_ptr<MainQueue> weakQueue = queue;
    return [weakQueue](MainQueue::Duration period, std::function<void()> tick) {
        CancelHandle handle;
        // The period is counted from each tick's own start; on a queue driven
        // by a manual clock that is exactly the deadline.
        auto state = std::make_shared<std::function<void()>>();
        *state = [weakQueue, handle, period, tick, weakState = std::weak_ptr(state)] {
            const auto queue = weakQueue.lock();
            if (!queue || handle.isCancelled()) {
                return;
            }
            tick();
            if (auto again = weakState.lock()) {
                queue->asyncAfter(period, [again] { (*again)(); });
            }
        };
        if (const auto queue = weakQueue.lock()) {
            queue->asyncAfter(period, [state] { (*state)(); });
        }
        return handle;
    };
}

std::shared_ptr<LightingFileMonitor> LightingFileMonitor::create(LightingFileMonitorDependencies dependencies) {
    auto monitor = std::make_shared<LightingFileMonitor>(Passkey{}, std::move(dependencies));
    monitor->wireLink();
    return monitor;
}

namespace {

std::shared_ptr<SettingsStore> storeOrInMemory(std::shared_ptr<SettingsStore>& store) {
    if (!store) {
        store = std::make_shared<InMemorySettingsStore>();
    }
    return store;
}

}  // namespace

LightingFileMonitor::LightingFileMonitor(Passkey, LightingFileMonitorDependencies dependencies)
    : dependencies_(std::move(dependencies)), settings_(storeOrInMemory(dependencies_.settings)) {
    if (!dependencies_.fileSystem) {
        dependencies_.fileSystem = std::make_shared<LocalFileSystem>();
    }
    if (!dependencies_.eosLink) {
        dependencies_.eosLink = EosOSCClient::create(dependencies_.mainQueue);
    }
    const SerialQueue monitorQueue("tempolane.monitor");
    if (!dependencies_.pollTimer) {
        dependencies_.pollTimer = monitorQueueTimer(monitorQueue);
    }
    if (!dependencies_.fileWatcher) {
        dependencies_.fileWatcher = platformFileWatcher(monitorQueue);
    }
    dependencies_.eosLink->configure(settings_.eosHost(), settings_.eosPort(), false);
    dependencies_.eosLink->setFraming(settings_.eosFraming(), false);
}

LightingFileMonitor::~LightingFileMonitor() {
    if (connectionSettingsWorkItem_) {
        connectionSettingsWorkItem_->cancel();
    }
    if (timer_) {
        timer_->cancel();
    }
}

void LightingFileMonitor::wireLink() {
    const std::weak_ptr<LightingFileMonitor> weak = weak_from_this();
    EosLinkCallbacks callbacks;
    callbacks.onIncomingCueMessage = [weak](const IncomingOSCMessage& message) {
        if (const auto self = weak.lock()) {
            self->appendIncomingMessage(message);
        }
    };
    callbacks.onOutgoingMessage = [weak](const OutgoingOSCMessage& message) {
        if (const auto self = weak.lock()) {
            self->appendOutgoingMessage(message);
        }
    };
    callbacks.onConnectionStateChanged = [weak](bool connected) {
        if (const auto self = weak.lock()) {
            // What a connection owed ends with it; the next one owes its own.
            if (!connected) {
                self->fullUpdateOwed_ = false;
            }
            self->setEosConnected(connected);
        }
    };
    callbacks.onOutcome = [weak](const SyncOutcome& outcome) {
        if (const auto self = weak.lock()) {
            self->recordOutcome(outcome);
        }
    };
    callbacks.onLinkStatusChanged = [weak](const LinkStatus& status) {
        if (const auto self = weak.lock()) {
            self->setEosLinkStatus(status);
        }
    };
    // Only an update that will be sent may replace what is held: with a file
    // that cannot be read or parsed just now, the held lines go out instead.
    // The markers read here are the ones the update sends, so a file that
    // turns unreadable in between cannot leave the held lines replaced by
    // nothing.
    callbacks.replacesHeldWithFullUpdate = [weak] {
        const auto self = weak.lock();
        if (!self || !self->settings_.optUpdateOnConnect()) {
            return false;
        }
        self->markersForFullUpdate_ = self->currentFileMarkers();
        return self->markersForFullUpdate_.has_value();
    };
    callbacks.onConnectionEstablished = [weak] {
        if (const auto self = weak.lock(); self && self->settings_.optUpdateOnConnect()) {
            self->updateAllCuesInEos();
        }
    };
    dependencies_.eosLink->setCallbacks(std::move(callbacks));
}

void LightingFileMonitor::startMonitoring() {
    if (timer_) {
        return;
    }
    if (connectionSettingsWorkItem_) {
        connectionSettingsWorkItem_->cancel();
        connectionSettingsWorkItem_.reset();
    }
    applyConnectionSettings();
    dependencies_.eosLink->connect();
    watchFile();
    pollOnce();
    const std::weak_ptr<LightingFileMonitor> weak = weak_from_this();
    const std::weak_ptr<MainQueue> weakMainQueue = dependencies_.mainQueue;
    timer_ = dependencies_.pollTimer(pollPeriod, [weak, weakMainQueue] {
        const auto mainQueue = weakMainQueue.lock();
        if (weak.expired() || !mainQueue) {
            return;
        }
        mainQueue->async([weak] {
            if (const auto self = weak.lock()) {
                self->pollOnce();
            }
        });
    });
}

void LightingFileMonitor::pollOnce() {
    const FileVerdict verdictBefore = snapshot_.verdict();
    FileLook look = snapshot_.look(*dependencies_.fileSystem, settings_.filePath());
    // The snapshot has moved on before anyone is told, because the deletion
    // question may run a nested event loop in which the next poll runs.
    if (look.event) {
        recordEvent(std::move(*look.event));
    }
    if (snapshot_.verdict() != verdictBefore) {
        notify(MonitorField::fileVerdict);
    }
    // The owed update goes first: it is what the connection should have
    // started with, and the diff's deletion question may let other polls run.
    if (fullUpdateOwed_ && look.markersCurrent) {
        sendOwedFullUpdate(snapshot_.markers());
    }
    if (look.consoleDiff) {
        applyDiffToEos(look.isInitialSnapshot, *look.consoleDiff);
    }
}

Result<void, TempolaneFileValidationError> LightingFileMonitor::selectFile(const std::filesystem::path& url) {
    if (url == settings_.filePath()) {
        return {};
    }
    const auto bytes = dependencies_.fileSystem->readFile(url);
    if (!bytes) {
        return fail(TempolaneFileValidationError::unreadableFile(bytes.error()));
    }
    if (auto valid = validateMarkerBytes(*bytes); !valid) {
        return fail(valid.error());
    }
    settings_.setFilePath(url);
    // Forgotten before anyone hears of the new path, so nobody reads the old
    // file's verdict as the new one's; the poll below tells the new one.
    snapshot_.reset();
    notify(MonitorField::fileURL);
    if (isMonitoring()) {
        watchFile();
    }
    pollOnce();
    return {};
}

// Set up before the poll that follows it, so that no save falls between the two.
void LightingFileMonitor::watchFile() {
    const std::weak_ptr<LightingFileMonitor> weak = weak_from_this();
    auto onChange = coalescedPost(dependencies_.mainQueue, [weak] {
        if (const auto self = weak.lock()) {
            self->pollOnce();
        }
    });
    FileWatchStart start = dependencies_.fileWatcher(settings_.filePath(), std::move(onChange));
    fileWatch_ = std::move(start.watch);
    if (start.unavailable != fileWatchNote_) {
        fileWatchNote_ = std::move(start.unavailable);
        notify(MonitorField::fileWatchNote);
    }
}

void LightingFileMonitor::resetSnapshot() {
    const FileVerdict verdictBefore = snapshot_.verdict();
    snapshot_.reset();
    if (snapshot_.verdict() != verdictBefore) {
        notify(MonitorField::fileVerdict);
    }
}

void LightingFileMonitor::recordEvent(LightingChangeEvent event) {
    logs_.recordEvent(std::move(event));
    notify(MonitorField::events);
}

void LightingFileMonitor::appendIncomingMessage(const IncomingOSCMessage& message) {
    logs_.appendIncomingMessage(message);
    notify(MonitorField::incomingOSCMessages);
}

void LightingFileMonitor::appendOutgoingMessage(const OutgoingOSCMessage& message) {
    logs_.appendOutgoingMessage(message);
    notify(MonitorField::outgoingOSCMessages);
}

void LightingFileMonitor::recordOutcome(const SyncOutcome& outcome) {
    logs_.recordOutcome(outcome);
    notify(MonitorField::outcomes);
}

void LightingFileMonitor::setEosHost(std::string host) {
    settings_.setEosHost(std::move(host));
    notify(MonitorField::eosHost);
    scheduleConnectionSettingsApply();
}

void LightingFileMonitor::setEosPort(std::uint16_t port) {
    settings_.setEosPort(port);
    notify(MonitorField::eosPort);
    scheduleConnectionSettingsApply();
}

void LightingFileMonitor::setEosFraming(EosFraming framing) {
    settings_.setEosFraming(framing);
    notify(MonitorField::eosFraming);
    dependencies_.eosLink->setFraming(framing, isMonitoring());
}

void LightingFileMonitor::setOptUpdateOnConnect(bool value) {
    settings_.setOptUpdateOnConnect(value);
    notify(MonitorField::optUpdateOnConnect);
}

void LightingFileMonitor::setOptSyncLabels(bool value) {
    settings_.setOptSyncLabels(value);
    notify(MonitorField::optSyncLabels);
}

void LightingFileMonitor::setOptDeleteCues(bool value) {
    settings_.setOptDeleteCues(value);
    notify(MonitorField::optDeleteCues);
}

void LightingFileMonitor::setCueDeletionPromptPolicy(CueDeletionPromptPolicy policy) {
    cueDeletionPromptPolicy_ = policy;
    notify(MonitorField::cueDeletionPromptPolicy);
}

void LightingFileMonitor::setEosConnected(bool connected) {
    isEosConnected_ = connected;
    notify(MonitorField::isEosConnected);
}

void LightingFileMonitor::setEosLinkStatus(const LinkStatus& status) {
    if (eosLinkStatus_ == status) {
        return;
    }
    eosLinkStatus_ = status;
    notify(MonitorField::eosLinkStatus);
}

void LightingFileMonitor::scheduleConnectionSettingsApply() {
    if (isApplyingConnectionSettings_) {
        return;
    }
    if (connectionSettingsWorkItem_) {
        connectionSettingsWorkItem_->cancel();
    }
    const std::weak_ptr<LightingFileMonitor> weak = weak_from_this();
    connectionSettingsWorkItem_ = dependencies_.mainQueue->asyncAfter(connectionSettingsDelay, [weak] {
        if (const auto self = weak.lock()) {
            self->connectionSettingsWorkItem_.reset();
            self->applyConnectionSettings();
        }
    });
}

void LightingFileMonitor::applyConnectionSettings() {
    const ConsoleEndpoint endpoint = settings_.normalisedEndpoint();

    isApplyingConnectionSettings_ = true;
    if (settings_.eosHost() != endpoint.host) {
        setEosHost(endpoint.host);
    }
    if (settings_.eosPort() != endpoint.port) {
        setEosPort(endpoint.port);
    }
    isApplyingConnectionSettings_ = false;

    settings_.saveEndpoint(endpoint);
    dependencies_.eosLink->configure(endpoint.host, endpoint.port, isMonitoring());
}

void LightingFileMonitor::applyDiffToEos(bool isInitialSnapshot, const MarkerDiff& diff) {
    CueSyncContext context;
    context.optUpdateOnConnect = [this] { return settings_.optUpdateOnConnect(); };
    context.optSyncLabels = [this] { return settings_.optSyncLabels(); };
    context.optDeleteCues = [this] { return settings_.optDeleteCues(); };
    context.policy.read = [this] { return cueDeletionPromptPolicy_; };
    context.policy.write = [this](CueDeletionPromptPolicy policy) { setCueDeletionPromptPolicy(policy); };
    context.prompt = dependencies_.deletionPrompt;
    context.skipped = [this](SkippedCommand skipped) { recordOutcome(makeOutcome(std::move(skipped))); };
    context.asked = [this](DeletionQuestion question) { recordOutcome(makeOutcome(std::move(question))); };
    // The cues of the file, gathered once per snapshot: a show that loses
    // thousands of markers at once asks this for each of them.
    struct CuesInFile {
        std::optional<std::uint64_t> snapshot;
        std::unordered_set<std::string> keys;
    };
    context.markersInFile = [this]() -> const std::vector<LightingMarker>* {
        return snapshot_.markers() ? &*snapshot_.markers() : nullptr;
    };
    context.cueInFile = [this, cues = std::make_shared<CuesInFile>()](std::int64_t list, std::string_view cue) {
        if (cues->snapshot != snapshot_.generation()) {
            const ParsedMarkers& markers = snapshot_.markers();
            cues->keys = markers ? consoleCueKeys(*markers) : std::unordered_set<std::string>();
            cues->snapshot = snapshot_.generation();
        }
        return cues->keys.contains(consoleCueKey(list, cue));
    };
    // Keeps the link alive should a nested event loop inside the question drop the monitor.
    const std::shared_ptr<EosLink> link = dependencies_.eosLink;
    lanternwick::applyDiffToEos(isInitialSnapshot, diff, *link, context);
}

ParsedMarkers LightingFileMonitor::currentFileMarkers() const {
    return readMarkersNow(*dependencies_.fileSystem, settings_.filePath());
}

void LightingFileMonitor::updateAllCuesInEos() {
    ParsedMarkers markers = std::exchange(markersForFullUpdate_, std::nullopt);
    if (!markers) {
        markers = currentFileMarkers();
    }
    // A file caught missing or half written (a delete-then-create save, a
    // sync tool replacing it) must not cost a restarted console its show:
    // the update waits for the file instead.
    fullUpdateOwed_ = !markers;
    if (markers) {
        sendFullUpdate(*markers);
    }
}

void LightingFileMonitor::sendOwedFullUpdate(const ParsedMarkers& markers) {
    if (!markers) {
        return;
    }
    fullUpdateOwed_ = false;
    if (settings_.optUpdateOnConnect() && isEosConnected_) {
        sendFullUpdate(*markers);
    }
}

void LightingFileMonitor::sendFullUpdate(const std::vector<LightingMarker>& markers) {
    const auto skipped = [this](SkippedCommand skipped) { recordOutcome(makeOutcome(std::move(skipped))); };
    for (const auto& line : fullCueLinesFor(markers, settings_.optSyncLabels(), skipped)) {
        dependencies_.eosLink->sendCommandLine(line);
    }
}

LightingFileMonitor::ObserverId LightingFileMonitor::addObserver(Observer observer) {
    const ObserverId id = nextObserverId_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void LightingFileMonitor::removeObserver(ObserverId id) { observers_.erase(id); }

void LightingFileMonitor::notify(MonitorField field) {
    // A copy, so an observer may add or remove observers while being told.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        if (observers_.count(id) != 0) {
            observer(field);
        }
    }
}

}  // namespace lanternwick
