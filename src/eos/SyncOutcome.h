#pragma once
// SyncOutcome: what became of one decision about console traffic. Every line
// for the console leaves one (sent; confirmed once the console has answered
// a ping sent after it; held while the console is away, waiting for the
// first connection of the run, replaced by a newer line, dropped or skipped,
// with the reason), and so does every command the diff called for
// that was not composed (skipped, with the reason in plain words), every
// connection change, every cue reply and every deletion question. The window's
// activity view and the headless output show them; the monitor keeps the 200
// newest beside its message logs. Plain values, copied freely; made on the
// main thread where the decision is taken.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/Uuid.h"

namespace lanternwick {

// waiting: held before the run's first connection, which is normal at start.
// replaced: a held line that a newer one (or the full update) made needless.
// skipped: a line that can never fit the transport's write queue.
enum class LineFate { sent, held, waiting, replaced, dropped, skipped };
// "sent", "held", "waiting", "replaced", "dropped", "skipped"
std::string_view displayName(LineFate fate);

// One command line (or bare address, text empty) for the console.
struct LineOutcome {
    std::string address;
    std::string text;
    LineFate fate = LineFate::sent;
    // Why it was not sent; empty when sent.
    std::string reason;

    friend bool operator==(const LineOutcome&, const LineOutcome&) = default;
};

// A command the diff called for that was not composed.
struct SkippedCommand {
    std::int64_t list = 0;
    // The cue as the file gives it, trimmed.
    std::string cue;
    // Which command: "enter", "label", "time", "fade-out", "timecode", "delete", "query".
    std::string what;
    std::string reason;

    friend bool operator==(const SkippedCommand&, const SkippedCommand&) = default;
};

// connecting lasts until the console has answered on the connection, not
// just until TCP is up; noAnswer is a peer that accepted but never answered.
enum class LinkState { notConnected, connecting, connected, noAnswer };
// "not connected", "connecting", "connected", "no answer"
std::string_view displayName(LinkState state);

// The console link as the user sees it: its state, why it is down (the
// socket's error text or what to check, empty when there is none) and how
// many lines wait for it.
struct LinkStatus {
    LinkState state = LinkState::notConnected;
    std::string reason;
    std::size_t heldLines = 0;

    friend bool operator==(const LinkStatus&, const LinkStatus&) = default;
};
// "connected", "connecting", "no answer", "not connected" or
// "not connected (reason)", then " · N held" when lines wait.
std::string linkStatusText(const LinkStatus& status);

struct ConnectionChange {
    LinkStatus status;
    std::string host;
    std::uint16_t port = 0;

    friend bool operator==(const ConnectionChange&, const ConnectionChange&) = default;
};

// A cue reply. The fields after the values come from the address and from
// the documented positions of the base cue's list; each is absent when the
// reply does not carry it (the six-piece form carries list and cue only).
struct ReceivedReply {
    std::string address;
    std::string valuesText;
    std::optional<std::int64_t> list;
    std::optional<std::string> cue;
    std::optional<std::int64_t> part;
    std::optional<std::string> label;
    std::optional<std::int64_t> upTimeMs;
    std::optional<std::string> timecode;
    // Values of a split reply that had not come when it was reported.
    std::size_t missingValues = 0;

    friend bool operator==(const ReceivedReply&, const ReceivedReply&) = default;
};

// The console answered a ping: the `lines` written before it on that
// connection (and not confirmed by an earlier answer) have reached it.
struct DeliveryConfirmed {
    std::size_t lines = 0;
    // From the ping's sending to its answer.
    std::int64_t latencyMs = 0;
    // The ids of the newest confirmed lines' "sent" outcomes, at most
    // confirmedIdLimit: views mark those; older ones have left every log.
    std::vector<Uuid> sentOutcomes;
    static constexpr std::size_t confirmedIdLimit = 200;

    friend bool operator==(const DeliveryConfirmed&, const DeliveryConfirmed&) = default;
};

// A deletion question and its answer.
struct DeletionQuestion {
    std::int64_t list = 0;
    std::string cue;
    bool confirmed = false;
    bool doNotAskAgain = false;

    friend bool operator==(const DeletionQuestion&, const DeletionQuestion&) = default;
};

struct SyncOutcome {
    using Detail = std::variant<LineOutcome, SkippedCommand, ConnectionChange, ReceivedReply, DeletionQuestion,
                                DeliveryConfirmed>;

    Uuid id;
    std::chrono::system_clock::time_point timestamp;
    Detail detail;
};

// A fresh id and the current time.
SyncOutcome makeOutcome(SyncOutcome::Detail detail);

// The reasons a command is skipped, as the user reads them.
namespace skipReason {
inline constexpr std::string_view zeroCue = "cue id is 0";
inline constexpr std::string_view notACueNumber = "cue id is not a console cue number";
inline constexpr std::string_view labelSyncOff = "label sync is off";
inline constexpr std::string_view fadeNotATime = "fade is not a console time";
inline constexpr std::string_view fadeOutNotATime = "fade-out is not a console time; the fade goes alone";
inline constexpr std::string_view positionNotATime = "position is not a time in seconds";
inline constexpr std::string_view deletionOff = "cue deletion is off";
inline constexpr std::string_view deletionDeclined = "deletion declined";
inline constexpr std::string_view cueInFileAgain = "the file uses the cue again";
inline constexpr std::string_view noTerminal = "no terminal to ask (start with --assume-yes to delete)";
}  // namespace skipReason

}  // namespace lanternwick
