#pragma once
// IncomingOSCMessage and OutgoingOSCMessage: the records of the two message
// logs the monitor keeps (cue replies received, messages sent). Built by the
// Eos client on the main thread; plain values, copied freely.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "support/Uuid.h"

namespace lanternwick {

struct IncomingOSCMessage {
    Uuid id;
    std::chrono::system_clock::time_point timestamp;
    std::string address;
    std::string valuesText;
    std::int64_t cueList = 0;
    std::string cueNumber;
    // As the list form of the reply gives them (see CueReply); absent in
    // the six-piece form or when the value at its position is of another kind.
    std::optional<std::int64_t> cuePart;
    std::optional<std::string> label;
    std::optional<std::int64_t> upTimeMs;
    std::optional<std::string> timecode;
    std::size_t missingValues = 0;

    friend bool operator==(const IncomingOSCMessage&, const IncomingOSCMessage&) = default;
};

struct OutgoingOSCMessage {
    Uuid id;
    std::chrono::system_clock::time_point timestamp;
    std::string address;
    std::string valuesText;

    friend bool operator==(const OutgoingOSCMessage&, const OutgoingOSCMessage&) = default;
};

// The valuesText of a message without arguments (or with only empty text).
inline constexpr std::string_view noValuesText = "(no values)";

}  // namespace lanternwick
