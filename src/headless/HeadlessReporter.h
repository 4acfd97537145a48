#pragma once
// HeadlessReporter: prints what the monitor does, for a terminal or a script:
// one line per change event ("<kind>: <summary>", the details indented
// below), one per sent message ("-> <address> <values>"), one per received
// cue reply ("<- <address> <values>") and one per connection change. Watches
// the monitor through its observer mechanism, oldest entry first, each entry
// once. Owned by the headless run; main thread only; must not outlive the
// monitor (it removes its observer when destroyed).

#include <optional>
#include <ostream>

#include "monitor/LightingFileMonitor.h"

namespace lanternwick {

class HeadlessReporter {
public:
    HeadlessReporter(LightingFileMonitor& monitor, std::ostream& out);
    ~HeadlessReporter();

    HeadlessReporter(const HeadlessReporter&) = delete;
    HeadlessReporter& operator=(const HeadlessReporter&) = delete;

    void report(MonitorField field);

private:
    void reportEvents();
    void reportOutgoing();
    void reportIncoming();
    void reportConnection();

    LightingFileMonitor& monitor_;
    std::ostream& out_;
    LightingFileMonitor::ObserverId observer_;
    std::optional<Uuid> lastEvent_;
    std::optional<Uuid> lastOutgoing_;
    std::optional<Uuid> lastIncoming_;
    bool connected_ = false;
};

// "<display name>: <summary>" (the summary alone when it already starts
// so) and each line of the details indented by four blanks, every line
// ended by a line feed.
std::string headlessEventText(const LightingChangeEvent& event);

}  // namespace lanternwick
