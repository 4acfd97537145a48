#pragma once
// Stream framing for OSC over TCP, as pure functions on bytes: SLIP (OSC 1.1;
// END before and after every packet, as the console's "SLIP (v1.1) mode"
// expects) and the 32-bit big-endian length header (OSC 1.0). Each decode
// call works on one chunk and keeps nothing: a packet split across two chunks
// is not reassembled. Any thread.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "osc/OSCBytes.h"
#include "osc/OSCEncodeError.h"
#include "support/Result.h"

namespace lanternwick {

enum class OSCTCPFramingMode { osc1_0, osc1_1, none };

// The selectable modes; `none` is reserved and never chosen.
inline constexpr std::array<OSCTCPFramingMode, 2> allOSCTCPFramingModes{OSCTCPFramingMode::osc1_0,
                                                                        OSCTCPFramingMode::osc1_1};

namespace slip {
inline constexpr std::uint8_t END = 0xC0;
inline constexpr std::uint8_t ESC = 0xDB;
inline constexpr std::uint8_t ESC_END = 0xDC;
inline constexpr std::uint8_t ESC_ESC = 0xDD;
}  // namespace slip

struct OSCTCPSLIPDecodingError {
    enum class Kind { doubleEscapeBytes, missingEscapedCharacter };
    Kind kind = Kind::missingEscapedCharacter;

    std::string description() const {
        return kind == Kind::doubleEscapeBytes
                   ? "SLIP packet data is malformed. Double escape bytes encountered."
                   : "SLIP packet data is malformed. Encountered an escape byte but missing subsequent escaped character.";
    }
    friend bool operator==(const OSCTCPSLIPDecodingError&, const OSCTCPSLIPDecodingError&) = default;
};

struct OSCTCPPacketLengthHeaderDecodingError {
    enum class Kind { notEnoughBytes };
    Kind kind = Kind::notEnoughBytes;

    std::string description() const { return "Note enough bytes."; }
    friend bool operator==(const OSCTCPPacketLengthHeaderDecodingError&,
                           const OSCTCPPacketLengthHeaderDecodingError&) = default;
};

// END, the packet with END and ESC escaped, END.
OSCBytes slipEncode(OSCByteView packet);
// Every non-empty packet in the chunk, including a trailing one that no END
// closed. An escape error discards the whole chunk.
Result<std::vector<OSCBytes>, OSCTCPSLIPDecodingError> slipDecode(OSCByteView chunk);

// Fails (OSCEncodeError general) for a packet of 2^32 bytes or more.
Result<OSCBytes, OSCEncodeError> lengthHeaderEncode(OSCByteView packet);
Result<std::vector<OSCBytes>, OSCTCPPacketLengthHeaderDecodingError> lengthHeaderDecode(OSCByteView chunk);

}  // namespace lanternwick
