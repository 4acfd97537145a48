#pragma once
// MonitorLogs: the monitor's four logs, newest first: the change events
// (1,000 newest), the messages received from and sent to the console and the
// outcomes of its traffic (200 newest each). Every text an entry keeps is
// capped at keptTextLimit bytes as it is recorded, so the logs stop growing
// once they are full, whatever the file or the console sends. Telling
// observers stays with the monitor. Not thread-safe; the main thread only.

#include <cstddef>
#include <vector>

#include "eos/OSCLogMessages.h"
#include "eos/SyncOutcome.h"
#include "markers/LightingChangeEvent.h"

namespace lanternwick {

class MonitorLogs {
public:
    static constexpr std::size_t messageLogLimit = 200;
    static constexpr std::size_t eventLogLimit = 1000;

    const std::vector<LightingChangeEvent>& events() const { return events_; }
    const std::vector<IncomingOSCMessage>& incomingOSCMessages() const { return incomingOSCMessages_; }
    const std::vector<OutgoingOSCMessage>& outgoingOSCMessages() const { return outgoingOSCMessages_; }
    const std::vector<SyncOutcome>& outcomes() const { return outcomes_; }

    void recordEvent(LightingChangeEvent event);
    void appendIncomingMessage(const IncomingOSCMessage& message);
    void appendOutgoingMessage(const OutgoingOSCMessage& message);
    void recordOutcome(const SyncOutcome& outcome);

private:
    std::vector<LightingChangeEvent> events_;
    std::vector<IncomingOSCMessage> incomingOSCMessages_;
    std::vector<OutgoingOSCMessage> outgoingOSCMessages_;
    std::vector<SyncOutcome> outcomes_;
};

}  // namespace lanternwick
