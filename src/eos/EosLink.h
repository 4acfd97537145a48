#pragma once
// EosLink: what the monitor needs from its console connection. EosOSCClient
// is the real one; tests substitute a recorder. The cue operations compose
// their command line (EosCommands.h) and hand it to sendCommandLine, so every
// link spells the lines the same way.
// Owned by the monitor; main thread only. Callbacks are called on the main
// thread, never from inside configure or a send of another thread.

#include <cstdint>
#include <functional>
#include <string_view>

#include "eos/EosConsoleSettings.h"
#include "eos/OSCLogMessages.h"
#include "eos/SyncOutcome.h"

namespace lanternwick {

struct EosLinkCallbacks {
    std::function<void(const IncomingOSCMessage&)> onIncomingCueMessage;
    std::function<void(const OutgoingOSCMessage&)> onOutgoingMessage;
    std::function<void()> onConnectionEstablished;
    std::function<void(bool)> onConnectionStateChanged;
    // Every line's fate, every connection change and every cue reply.
    std::function<void(const SyncOutcome&)> onOutcome;
    // The link's state as the user sees it, each time it or the number of
    // held lines changes.
    std::function<void(const LinkStatus&)> onLinkStatusChanged;
    // Asked when a connection comes up with lines held: true when the full
    // update of the file is about to follow, which replaces every held line
    // but the deletions.
    std::function<bool()> replacesHeldWithFullUpdate;
};

class EosLink {
public:
    virtual ~EosLink() = default;

    virtual void configure(std::string_view host, std::uint16_t port, bool reconnect) = 0;
    // The OSC TCP framing of the next connection; like an address change, a
    // different framing reconnects at once when `reconnect` is set.
    virtual void setFraming(EosFraming framing, bool reconnect) {
        (void)framing;
        (void)reconnect;
    }
    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual void sendAddress(std::string_view address) = 0;
    virtual void sendCommandLine(std::string_view text) = 0;
    virtual void setCallbacks(EosLinkCallbacks callbacks) = 0;

    // Each sends nothing when its line cannot be built (blank or unusable cue
    // or value).
    void enterCue(std::int64_t list, std::string_view cue);
    void setCueTime(std::int64_t list, std::string_view cue, std::string_view value);
    void setCueTimecode(std::int64_t list, std::string_view cue, std::string_view value);
    void setCueLabel(std::int64_t list, std::string_view cue, std::string_view label);
};

}  // namespace lanternwick
