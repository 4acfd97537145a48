#include "osc/tcp/OSCTCPFraming.h"

#include <cstring>
#include <limits>

namespace lanternwick {

// Counts the escapes first so that the output is sized exactly once and
// written through a pointer: this runs for every command sent.
OSCBytes slipEncode(OSCByteView packet) {
    std::size_t escapes = 0;
    for (const std::uint8_t byte : packet) {
        escapes += (byte == slip::END) | (byte == slip::ESC);
    }
    OSCBytes out(packet.size() + escapes + 2);
    std::uint8_t* p = out.data();
    *p++ = slip::END;
    if (escapes == 0) {
        if (!packet.empty()) {
            std::memcpy(p, packet.data(), packet.size());
        }
        p += packet.size();
    } else {
        for (const std::uint8_t byte : packet) {
            if (byte == slip::ESC) {
                *p++ = slip::ESC;
                *p++ = slip::ESC_ESC;
            } else if (byte == slip::END) {
                *p++ = slip::ESC;
                *p++ = slip::ESC_END;
            } else {
                *p++ = byte;
            }
        }
    }
    *p = slip::END;
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
