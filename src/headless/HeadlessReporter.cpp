#include "headless/HeadlessReporter.h"

#include <algorithm>
#include <vector>

#include "monitor/NewerEntries.h"

namespace lanternwick {

namespace {

// The time opens the first line of a record; the lines after it are indented
// by its width, so the records stand out.
std::string timedLines(std::chrono::system_clock::time_point time, std::string_view lines) {
    const std::string stamp = localClockText(time) + " ";
    const std::string indent(stamp.size(), ' ');
    std::string text;
    bool first = true;
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        text += first ? stamp : indent;
        text += lines.substr(0, end);
        text += '\n';
        first = false;
        if (end == std::string_view::npos) break;
        lines.remove_prefix(end + 1);
    }
    return text;
}

}  // namespace

HeadlessReporter::HeadlessReporter(LightingFileMonitor& monitor, std::ostream& out, std::ostream& err,
                                   Format format)
    : HeadlessReporter(monitor, std::make_unique<StreamRecordOutput>(out, err), nullptr, format) {}

HeadlessReporter::HeadlessReporter(LightingFileMonitor& monitor, RecordOutput& output, Format format)
    : HeadlessReporter(monitor, nullptr, &output, format) {}

HeadlessReporter::HeadlessReporter(LightingFileMonitor& monitor, std::unique_ptr<RecordOutput> own,
                                   RecordOutput* output, Format format)
    : monitor_(monitor),
      ownOutput_(std::move(own)),
      output_(output ? *output : *ownOutput_),
      format_(format),
      observer_(monitor.addObserver([this](MonitorField field) { report(field); })) {
    if (!monitor_.events().empty()) lastEvent_ = monitor_.events().front().id;
    if (!monitor_.outcomes().empty()) lastOutcome_ = monitor_.outcomes().front().id;
}

HeadlessReporter::~HeadlessReporter() { monitor_.removeObserver(observer_); }

void HeadlessReporter::report(const MonitorField field) {
    switch (field) {
    case MonitorField::events: reportEvents(); break;
    case MonitorField::outcomes: reportOutcomes(); break;
    default: return;
    }
}

void HeadlessReporter::reportEvents() {
    for (const LightingChangeEvent* event : newerThan(monitor_.events(), lastEvent_)) {
        reportEvent(*event);
        lastEvent_ = event->id;
    }
}

void HeadlessReporter::reportOutcomes() {
    for (const SyncOutcome* outcome : newerThan(monitor_.outcomes(), lastOutcome_)) {
        reportOutcome(*outcome);
        lastOutcome_ = outcome->id;
    }
}

void HeadlessReporter::reportEvent(const LightingChangeEvent& event) {
    output_.record(format_ == Format::json ? eventJsonLine(event)
                                           : timedLines(event.timestamp, headlessEventText(event)));
    warnAboutFile(event);
}

void HeadlessReporter::reportOutcome(const SyncOutcome& outcome) {
    output_.record(format_ == Format::json ? outcomeJsonLine(outcome)
                                           : timedLines(outcome.timestamp, headlessOutcomeText(outcome.detail)));
    if (const auto* change = std::get_if<ConnectionChange>(&outcome.detail)) warnAboutConnection(*change);
}

void HeadlessReporter::warnAboutFile(const LightingChangeEvent& event) {
    if (event.kind != LightingChangeEvent::Kind::deleted && event.kind != LightingChangeEvent::Kind::unreadable) {
        return;
    }
    std::string warning = "lanternwick: " + printableText(monitor_.fileURL().string()) + ": " +
                          printableText(event.summary);
    if (!event.details.empty()) warning += ": " + printableText(event.details);
    output_.note(warning);
}

void HeadlessReporter::warnAboutConnection(const ConnectionChange& change) {
    if (change.status.state == LinkState::connected) {
        lastConnectionWarning_.reset();
        return;
    }
    // A console that stays away is retried every few seconds; saying so once
    // is enough for standard error.
    if (change.status.reason.empty()) return;
    if (change.status.state != LinkState::notConnected && change.status.state != LinkState::noAnswer) return;
    // The no-answer reason names the console's address itself.
    const std::string warning =
        change.status.state == LinkState::noAnswer
            ? "lanternwick: " + printableText(change.status.reason)
            : "lanternwick: not connected to " + printableText(change.host) + ":" + std::to_string(change.port) +
                  " (" + printableText(change.status.reason) + ")";
    if (warning == lastConnectionWarning_) return;
    lastConnectionWarning_ = warning;
    output_.note(warning);
}

}  // namespace lanternwick
