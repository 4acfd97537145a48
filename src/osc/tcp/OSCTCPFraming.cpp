#include "osc/tcp/OSCTCPFraming.h"

#include <cstring>
#include <limits>

namespace lanternwick {

namespace {

constexpr std::uint64_t byteOnes = 0x0101010101010101u;
constexpr std::uint64_t byteHighs = 0x8080808080808080u;

bool hasByte(std::uint64_t word, std::uint8_t byte) {
    const std::uint64_t x = word ^ (byteOnes * byte);
    return ((x - byteOnes) & ~x & byteHighs) != 0;
}

// Offset of the first END or ESC, or the size when there is none. Eight
// bytes at a time: a command line almost never holds either byte.
std::size_t firstSpecialByte(OSCByteView packet) {
    const std::size_t n = packet.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, packet.data() + i, 8);
        if ((word & byteHighs) != 0 && (hasByte(word, slip::END) || hasByte(word, slip::ESC))) {
            break;
        }
    }
    for (; i < n; ++i) {
        if (packet[i] == slip::END || packet[i] == slip::ESC) {
            return i;
        }
    }
    return n;
}

}  // namespace

// Sizes the output exactly once and copies the bytes before the first byte
// that needs escaping in one go: this runs for every command sent.
OSCBytes slipEncode(OSCByteView packet) {
    const std::size_t plain = firstSpecialByte(packet);
    std::size_t escapes = 0;
    for (std::size_t i = plain; i < packet.size(); ++i) {
        escapes += (packet[i] == slip::END) | (packet[i] == slip::ESC);
    }
    OSCBytes out;
    out.reserve(packet.size() + escapes + 2);
    out.push_back(slip::END);
    out.insert(out.end(), packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(plain));
    for (std::size_t i = plain; i < packet.size(); ++i) {
        const std::uint8_t byte = packet[i];
        if (byte == slip::ESC) {
            out.push_back(slip::ESC);
            out.push_back(slip::ESC_ESC);
        } else if (byte == slip::END) {
            out.push_back(slip::ESC);
            out.push_back(slip::ESC_END);
        } else {
            out.push_back(byte);
        }
    }
    out.push_back(slip::END);
    return out;
}

// Copies each run of ordinary bytes in one go; only END and ESC need a
// decision of their own.
Result<std::vector<OSCBytes>, OSCTCPSLIPDecodingError> slipDecode(OSCByteView chunk) {
    using Error = OSCTCPSLIPDecodingError;
    std::vector<OSCBytes> packets;
    OSCBytes current;
    bool escaping = false;
    const std::size_t n = chunk.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t byte = chunk[i];
        if (escaping) {
            if (byte == slip::ESC_END) {
                current.push_back(slip::END);
            } else if (byte == slip::ESC_ESC) {
                current.push_back(slip::ESC);
            } else if (byte == slip::ESC) {
                return fail(Error{Error::Kind::doubleEscapeBytes});
            } else {
                return fail(Error{Error::Kind::missingEscapedCharacter});
            }
            escaping = false;
            ++i;
        } else if (byte == slip::END) {
            if (!current.empty()) {
                packets.push_back(std::move(current));
                current = OSCBytes();
            }
            ++i;
        } else if (byte == slip::ESC) {
            escaping = true;
            ++i;
        } else {
            std::size_t j = i + 1;
            while (j < n && chunk[j] != slip::END && chunk[j] != slip::ESC) {
                ++j;
            }
            current.insert(current.end(), chunk.begin() + static_cast<std::ptrdiff_t>(i),
                           chunk.begin() + static_cast<std::ptrdiff_t>(j));
            i = j;
        }
    }
    if (escaping) {
        return fail(Error{Error::Kind::missingEscapedCharacter});
    }
    if (!current.empty()) {
        packets.push_back(std::move(current));
    }
    return packets;
}

Result<OSCBytes, OSCEncodeError> lengthHeaderEncode(OSCByteView packet) {
    if (packet.size() > std::numeric_limits<std::uint32_t>::max()) {
        return fail(OSCEncodeError::general("Packet of " + std::to_string(packet.size()) +
                                            " bytes is too long for a 32-bit length header."));
    }
    const auto length = static_cast<std::uint32_t>(packet.size());
    OSCBytes out;
    out.reserve(packet.size() + 4);
    out.push_back(static_cast<std::uint8_t>(length >> 24));
    out.push_back(static_cast<std::uint8_t>(length >> 16));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

Result<std::vector<OSCBytes>, OSCTCPPacketLengthHeaderDecodingError> lengthHeaderDecode(OSCByteView chunk) {
    std::vector<OSCBytes> packets;
    std::size_t p = 0;
    while (p < chunk.size()) {
        if (chunk.size() - p < 4) {
            return fail(OSCTCPPacketLengthHeaderDecodingError{});
        }
        const std::size_t n = (std::size_t{chunk[p]} << 24) | (std::size_t{chunk[p + 1]} << 16) |
                              (std::size_t{chunk[p + 2]} << 8) | chunk[p + 3];
        p += 4;
        if (chunk.size() - p < n) {
            return fail(OSCTCPPacketLengthHeaderDecodingError{});
        }
        packets.emplace_back(chunk.begin() + static_cast<std::ptrdiff_t>(p),
                             chunk.begin() + static_cast<std::ptrdiff_t>(p + n));
        p += n;
    }
    return packets;
}

}  // namespace lanternwick
