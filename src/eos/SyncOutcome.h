#pragma once
// SyncOutcome: what became of one decision about console traffic. Every line
// for the console leaves one (sent, held while the console is away, or
// dropped, with the reason), and so does every command the diff called for
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

#include "support/Uuid.h"

namespace lanternwick {

enum class LineFate { sent, held, dropped };
// "sent", "held", "dropped"
std::string_view displayName(LineFate fate);

// One command line (or bare address, text empty) for the console.
struct LineOutcome {
    std::string address;
    std::string text;
    LineFate fate = LineFate::sent;
    // Why it was held or dropped; empty when sent.
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

enum class LinkState { notConnected, connecting, connected };
// "not connected", "connecting", "connected"
std::string_view displayName(LinkState state);

// The console link as the user sees it: its state, why it is down (the
// socket's error text, empty when there is none) and how many lines wait for
// it.
struct LinkStatus {
    LinkState state = LinkState::notConnected;
    std::string reason;
    std::size_t heldLines = 0;

    friend bool operator==(const LinkStatus&, const LinkStatus&) = default;
};
// "connected", "connecting", "not connected" or "not connected (reason)",
// then " · N held" when lines wait.
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

// A deletion question and its answer.
struct DeletionQuestion {
    std::int64_t list = 0;
    std::string cue;
    bool confirmed = false;
    bool doNotAskAgain = false;

    friend bool operator==(const DeletionQuestion&, const DeletionQuestion&) = default;
};

struct SyncOutcome {
    using Detail = std::variant<LineOutcome, SkippedCommand, ConnectionChange, ReceivedReply, DeletionQuestion>;

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
