#include "monitor/MonitorLogs.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

template <typename Entry>
void prependBounded(std::vector<Entry>& log, Entry entry, std::size_t limit) {
    if (log.size() >= limit) {
        log.resize(limit - 1);
    }
    log.insert(log.begin(), std::move(entry));
}

// The longest text cappedText gives ("…", " (", up to 20 digits, " more
// bytes)" after the cut): the client caps a reply's values text as it renders
// it, and capping that again would count the wrong bytes.
constexpr std::size_t keptTextMost = keptTextLimit + 3 + 2 + 20 + 12;

void cap(std::string& text) {
    if (text.size() > keptTextMost) {
        text = cappedText(text);
    }
}

void cap(std::optional<std::string>& text) {
    if (text) cap(*text);
}

template <typename Message>
Message keptMessage(Message message) {
    cap(message.address);
    cap(message.valuesText);
    return message;
}

SyncOutcome keptOutcome(SyncOutcome outcome) {
    struct Capper {
        void operator()(LineOutcome& line) const {
            cap(line.address);
            cap(line.text);
            cap(line.reason);
        }
        void operator()(SkippedCommand& skipped) const {
            cap(skipped.cue);
            cap(skipped.reason);
        }
        void operator()(ConnectionChange& change) const {
            cap(change.status.reason);
            cap(change.host);
        }
        void operator()(ReceivedReply& reply) const {
            cap(reply.address);
            cap(reply.valuesText);
            cap(reply.cue);
            cap(reply.label);
            cap(reply.timecode);
        }
        void operator()(DeletionQuestion& question) const { cap(question.cue); }
        void operator()(DeliveryConfirmed&) const {}
    };
    std::visit(Capper{}, outcome.detail);
    return outcome;
}

}  // namespace

void MonitorLogs::recordEvent(LightingChangeEvent event) {
    prependBounded(events_, keptEvent(std::move(event)), eventLogLimit);
}

void MonitorLogs::appendIncomingMessage(const IncomingOSCMessage& message) {
    IncomingOSCMessage kept = keptMessage(message);
    cap(kept.cueNumber);
    cap(kept.label);
    cap(kept.timecode);
    prependBounded(incomingOSCMessages_, std::move(kept), messageLogLimit);
}

void MonitorLogs::appendOutgoingMessage(const OutgoingOSCMessage& message) {
    prependBounded(outgoingOSCMessages_, keptMessage(message), messageLogLimit);
}

void MonitorLogs::recordOutcome(const SyncOutcome& outcome) {
    prependBounded(outcomes_, keptOutcome(outcome), messageLogLimit);
}

}  // namespace lanternwick
