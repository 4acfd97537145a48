#include "headless/HeadlessReporter.h"

#include <algorithm>

namespace lanternwick {

namespace {

// The entries newer than `last`, oldest first. The logs keep the newest entry
// at the front; when `last` has already dropped off a bounded log, every
// entry is new.
template <typename Entry>
std::vector<const Entry*> newerThan(const std::vector<Entry>& log, const std::optional<Uuid>& last) {
    auto end = log.end();
    if (last) end = std::find_if(log.begin(), log.end(), [&](const Entry& e) { return e.id == *last; });
    std::vector<const Entry*> fresh;
    for (auto it = log.begin(); it != end; ++it) fresh.push_back(&*it);
    std::reverse(fresh.begin(), fresh.end());
    return fresh;
}

}  // namespace

std::string headlessEventText(const LightingChangeEvent& event) {
    // Summaries of events with content already open with the kind's name.
    const std::string prefix = std::string(displayName(event.kind)) + ": ";
    std::string text = (event.summary.starts_with(prefix) ? event.summary : prefix + event.summary) + "\n";
    std::string_view details = event.details;
    while (!details.empty()) {
        const std::size_t end = details.find('\n');
        text += "    " + std::string(details.substr(0, end)) + "\n";
        if (end == std::string_view::npos) break;
        details.remove_prefix(end + 1);
    }
    return text;
}

HeadlessReporter::HeadlessReporter(LightingFileMonitor& monitor, std::ostream& out)
    : monitor_(monitor), out_(out), observer_(monitor.addObserver([this](MonitorField field) { report(field); })) {
    if (!monitor_.events().empty()) lastEvent_ = monitor_.events().front().id;
    if (!monitor_.outgoingOSCMessages().empty()) lastOutgoing_ = monitor_.outgoingOSCMessages().front().id;
    if (!monitor_.incomingOSCMessages().empty()) lastIncoming_ = monitor_.incomingOSCMessages().front().id;
    connected_ = monitor_.isEosConnected();
}

HeadlessReporter::~HeadlessReporter() { monitor_.removeObserver(observer_); }

void HeadlessReporter::report(const MonitorField field) {
    switch (field) {
    case MonitorField::events: reportEvents(); break;
    case MonitorField::outgoingOSCMessages: reportOutgoing(); break;
    case MonitorField::incomingOSCMessages: reportIncoming(); break;
    case MonitorField::isEosConnected: reportConnection(); break;
    default: return;
    }
    out_.flush();
}

void HeadlessReporter::reportEvents() {
    for (const LightingChangeEvent* event : newerThan(monitor_.events(), lastEvent_)) {
        out_ << headlessEventText(*event);
        lastEvent_ = event->id;
    }
}

void HeadlessReporter::reportOutgoing() {
    for (const OutgoingOSCMessage* message : newerThan(monitor_.outgoingOSCMessages(), lastOutgoing_)) {
        out_ << "-> " << message->address << " " << message->valuesText << "\n";
        lastOutgoing_ = message->id;
    }
}

void HeadlessReporter::reportIncoming() {
    for (const IncomingOSCMessage* message : newerThan(monitor_.incomingOSCMessages(), lastIncoming_)) {
        out_ << "<- " << message->address << " " << message->valuesText << "\n";
        lastIncoming_ = message->id;
    }
}

void HeadlessReporter::reportConnection() {
    if (monitor_.isEosConnected() == connected_) return;
    connected_ = monitor_.isEosConnected();
    if (connected_) {
        out_ << "console connected (" << monitor_.eosHost() << ":" << monitor_.eosPort() << ")\n";
    } else {
        out_ << "console disconnected\n";
    }
}

}  // namespace lanternwick
