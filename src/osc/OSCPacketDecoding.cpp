// Decoding of received bytes into messages, bundles and packets.

#include <cstring>
#include <string_view>

#include "osc/OSCPacket.h"
#include "osc/OSCValueDecoder.h"

namespace lanternwick {

namespace {

constexpr std::uint8_t bundleHeader[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};

bool startsWithBundleHeader(OSCByteView bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), bundleHeader, 8) == 0;
}

bool startsWithSlash(OSCByteView bytes) { return !bytes.empty() && bytes[0] == '/'; }

OSCDecodeError malformed(std::string_view text) { return OSCDecodeError::malformed(std::string(text)); }

}  // namespace

// Both decoders take the bytes as a view and keep a copy only at the end,
// or take over a buffer the caller no longer needs.
class OSCPacketDecoding {
public:
    // Fills `out`, a fresh DecodeTarget message, where the caller's result
    // keeps it: a received message is never moved.
    static Result<void, OSCDecodeError> messageInto(OSCByteView bytes, OSCBytes* owned, OSCStringBytes strings,
                                                    OSCMessage& out) {
        if (bytes.size() % 4 != 0) {
            return fail(malformed("Length not a multiple of 4 bytes."));
        }
        if (!startsWithSlash(bytes)) {
            return fail(malformed("Does not start with an address pattern."));
        }
        OSCValueDecoder reader(bytes, nullptr, strings);
        std::string_view address;
        if (reader.scanChunk(address, true) != OSCValueDecoder::ChunkProblem::none) {
            return fail(malformed("Address pattern string could not be parsed."));
        }
        std::string_view tagString;
        if (reader.scanChunk(tagString, true) != OSCValueDecoder::ChunkProblem::none) {
            return fail(malformed("Couldn't extract OSC-type chunk."));
        }
        const std::span<const char> tags(tagString.data(), tagString.size());
        // A message that keeps the caller's buffer need not know whether it
        // could be made again.
        reader.reproducible_ = owned == nullptr;
        auto& values = out.values_;
        // The leading comma takes no value.
        values.reserve(!tags.empty() && tags[0] == ',' ? tags.size() - 1 : tags.size());
        if (auto decoded = reader.decodeValues(tags, values); !decoded) {
            return decoded;
        }
        // Already known to be ASCII, so nothing to convert.
        out.addressPattern_.rawAddress_.assign(address);
        if (owned) {
            out.rawData_.keep(std::move(*owned));
        } else if (reader.reproducible_ && !tags.empty() && tags[0] == ',' && reader.remaining() == 0) {
            out.rawData_.keepReproducible();
        } else {
            out.rawData_.keep(OSCBytes(bytes.begin(), bytes.end()));
        }
        return {};
    }

    // Every return is of the one result, so it is built where the caller
    // wants it and never moved.
    static Result<OSCMessage, OSCDecodeError> message(OSCByteView bytes, OSCBytes* owned, OSCStringBytes strings) {
        Result<OSCMessage, OSCDecodeError> result(std::in_place, OSCMessage::DecodeTarget{});
        if (auto filled = messageInto(bytes, owned, strings, result.value()); !filled) {
            result = fail(filled.error());
        }
        return result;
    }

    static Result<std::optional<OSCPacket>, OSCDecodeError> messagePacket(OSCByteView bytes, OSCBytes* owned,
                                                                          OSCStringBytes strings) {
        Result<std::optional<OSCPacket>, OSCDecodeError> result(std::in_place, std::in_place,
                                                                OSCPacket::DecodeTarget{});
        if (auto filled = messageInto(bytes, owned, strings, std::get<OSCMessage>(result.value()->packet_));
            !filled) {
            result = fail(filled.error());
        }
        return result;
    }

    static Result<OSCBundle, OSCDecodeError> bundle(OSCByteView bytes, OSCBytes* owned, OSCStringBytes strings,
                                                    std::size_t depth) {
        const std::size_t n = bytes.size();
        if (n <= 15) {
            return fail(OSCDecodeError::malformed("Data length too short. (Length is " + std::to_string(n) + ")"));
        }
        if (!startsWithBundleHeader(bytes)) {
            return fail(malformed("Bundle header is not present or is malformed."));
        }
        if (depth >= OSCPacket::maximumNestingDepth) {
            return fail(OSCDecodeError::malformed("Bundles are nested more than " +
                                                  std::to_string(OSCPacket::maximumNestingDepth) + " levels deep."));
        }
        OSCValueDecoder reader(bytes.subspan(8));
        const auto rawTimeTag = reader.readUInt64();
        if (!rawTimeTag) {
            return fail(malformed("Could not convert timetag to UInt64."));
        }
        std::vector<OSCPacket> elements;
        for (std::size_t p = 16; p < n;) {
            if (n - p < 4) {
                return fail(malformed("Data bytes ended earlier than expected."));
            }
            OSCValueDecoder sizeReader(bytes.subspan(p, 4));
            const auto size = sizeReader.readInt32();
            if (!size) {
                return fail(malformed("Could not convert element size to Int32."));
            }
            if (*size < 0 || p + 4 + static_cast<std::size_t>(*size) > n) {
                return fail(malformed("Data bytes ended earlier than expected."));
            }
            const auto element = bytes.subspan(p + 4, static_cast<std::size_t>(*size));
            if (startsWithBundleHeader(element)) {
                auto inner = bundle(element, nullptr, strings, depth + 1);
                if (!inner) {
                    return fail(inner.error());
                }
                elements.emplace_back(std::move(inner).value());
            } else if (startsWithSlash(element)) {
                auto inner = message(element, nullptr, strings);
                if (!inner) {
                    return fail(inner.error());
                }
                elements.emplace_back(std::move(inner).value());
            } else {
                return fail(malformed("Unrecognized bundle element encountered."));
            }
            p += 4 + static_cast<std::size_t>(*size);
        }
        OSCBundle result(std::move(elements), OSCTimeTag{0, *rawTimeTag});
        // Every element already gives back its own bytes, so a copy here
        // would hold each nested level's bytes once more.
        if (owned) {
            result.rawData_.keep(std::move(*owned));
        } else {
            result.rawData_.keepReproducible();
        }
        return result;
    }

    static Result<std::optional<OSCPacket>, OSCDecodeError> packet(OSCByteView bytes, OSCBytes* owned,
                                                                   OSCStringBytes strings) {
        if (startsWithBundleHeader(bytes)) {
            auto decoded = bundle(bytes, owned, strings, 0);
            if (!decoded) {
                return fail(decoded.error());
            }
            return std::optional<OSCPacket>(std::move(decoded).value());
        }
        if (startsWithSlash(bytes)) {
            return messagePacket(bytes, owned, strings);
        }
        return std::optional<OSCPacket>();
    }
};

Result<OSCMessage, OSCDecodeError> OSCMessage::decode(OSCByteView bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::message(bytes, nullptr, strings);
}

Result<OSCMessage, OSCDecodeError> OSCMessage::decode(OSCBytes&& bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::message(bytes, &bytes, strings);
}

Result<OSCBundle, OSCDecodeError> OSCBundle::decode(OSCByteView bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::bundle(bytes, nullptr, strings, 0);
}

Result<OSCBundle, OSCDecodeError> OSCBundle::decode(OSCBytes&& bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::bundle(bytes, &bytes, strings, 0);
}

Result<std::optional<OSCPacket>, OSCDecodeError> OSCPacket::decode(OSCByteView bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::packet(bytes, nullptr, strings);
}

Result<std::optional<OSCPacket>, OSCDecodeError> OSCPacket::decode(OSCBytes&& bytes, OSCStringBytes strings) {
    return OSCPacketDecoding::packet(bytes, &bytes, strings);
}

}  // namespace lanternwick
