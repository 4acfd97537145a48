#include "eos/SyncOutcome.h"

namespace lanternwick {

std::string_view displayName(LineFate fate) {
    switch (fate) {
    case LineFate::sent: return "sent";
    case LineFate::held: return "held";
    case LineFate::waiting: return "waiting";
    case LineFate::replaced: return "replaced";
    case LineFate::dropped: return "dropped";
    case LineFate::skipped: return "skipped";
    }
    return "sent";
}

std::string_view displayName(LinkState state) {
    switch (state) {
    case LinkState::notConnected: return "not connected";
    case LinkState::connecting: return "connecting";
    case LinkState::connected: return "connected";
    case LinkState::noAnswer: return "no answer";
    }
    return "not connected";
}

std::string linkStatusText(const LinkStatus& status) {
    std::string text(displayName(status.state));
    if (status.state == LinkState::notConnected && !status.reason.empty()) {
        text += " (" + status.reason + ")";
    }
    if (status.heldLines > 0) {
        text += " \u00b7 " + std::to_string(status.heldLines) + " held";
    }
    return text;
}

SyncOutcome makeOutcome(SyncOutcome::Detail detail) {
    return SyncOutcome{Uuid::random(), std::chrono::system_clock::now(), std::move(detail)};
}

}  // namespace lanternwick
