#include "osc/OSCValueDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "osc/OSCPacket.h"
#include "osc/OSCSerialization.h"

namespace lanternwick {
namespace {

constexpr std::string_view notEnoughChunkBytes = "Not enough bytes in 4-byte aligned null-terminated data chunk.";
constexpr std::string_view chunkNotTerminated =
    "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected.";
constexpr std::string_view notASCII =
    "Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. Non-ASCII "
    "characters may be present or the data is malformed.";
constexpr std::string_view blobSizeUnreadable =
    "Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk.";
constexpr std::string_view blobTooLong = "Encoded blob chunk length is greater than the available data length.";
constexpr std::string_view blobPaddingNotZero =
    "Expected 4-byte null terminated data but expected null bytes were not found.";
constexpr std::string_view blobPaddingMissing = "Not enough bytes in 4-byte aligned null-terminated blob data chunk.";
constexpr std::string_view characterUnreadable =
    "Character value couldn't be read. Could not form a Unicode scalar from the value.";

// The size field is 32 bits, but this layer has always refused blobs larger
// than fit a UDP datagram; received blobs are small control payloads.
constexpr std::int32_t maximumBlobSize = 65506;

std::uint32_t get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint64_t get64(const std::uint8_t* p) { return (std::uint64_t{get32(p)} << 32) | get32(p + 4); }

OSCDecodeError malformed(std::string_view text) { return OSCDecodeError::malformed(std::string(text)); }

}  // namespace


OSCDecodeError OSCValueDecoder::chunkError(ChunkProblem problem) {
    switch (problem) {
    case ChunkProblem::tooShort: return malformed(notEnoughChunkBytes);
    case ChunkProblem::notTerminated: return malformed(chunkNotTerminated);
    case ChunkProblem::notASCII: return malformed(notASCII);
    case ChunkProblem::none: break;
    }
    return OSCDecodeError::internalInconsistency("No chunk problem to report.");
}

Result<OSCByteView, OSCDecodeError> OSCValueDecoder::readTerminatedAlignedChunk() {
    std::string_view content;
    if (const auto problem = scanChunk(content, false); problem != ChunkProblem::none) {
        return fail(chunkError(problem));
    }
    return OSCByteView(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
}

Result<std::string_view, OSCDecodeError> OSCValueDecoder::readASCIIStringView() {
    std::string_view content;
    if (const auto problem = scanChunk(content, true); problem != ChunkProblem::none) {
        return fail(chunkError(problem));
    }
    return content;
}

Result<std::string, OSCDecodeError> OSCValueDecoder::readASCIIString() {
    const auto text = readASCIIStringView();
    if (!text) {
        return fail(text.error());
    }
    return std::string(*text);
}

Result<std::int32_t, OSCDecodeError> OSCValueDecoder::readInt32() {
    if (remaining() < 4) {
        return fail(malformed("Not enough bytes while reading Int32 data chunk."));
    }
    const auto v = static_cast<std::int32_t>(get32(data_.data() + pos_));
    pos_ += 4;
    return v;
}

Result<float, OSCDecodeError> OSCValueDecoder::readFloat32() {
    if (remaining() < 4) {
        return fail(malformed("Not enough bytes while reading Float32 data chunk."));
    }
    const auto v = std::bit_cast<float>(get32(data_.data() + pos_));
    pos_ += 4;
    return v;
}

Result<double, OSCDecodeError> OSCValueDecoder::readDouble() {
    if (remaining() < 8) {
        return fail(malformed("Not enough bytes while reading Double data chunk."));
    }
    const auto v = std::bit_cast<double>(get64(data_.data() + pos_));
    pos_ += 8;
    return v;
}

Result<std::int64_t, OSCDecodeError> OSCValueDecoder::readInt64() {
    if (remaining() < 8) {
        return fail(malformed("Not enough bytes while reading Int64 data chunk."));
    }
    const auto v = static_cast<std::int64_t>(get64(data_.data() + pos_));
    pos_ += 8;
    return v;
}

Result<std::uint64_t, OSCDecodeError> OSCValueDecoder::readUInt64() {
    if (remaining() < 8) {
        return fail(malformed("Not enough bytes while reading UInt64 data chunk."));
    }
    const auto v = get64(data_.data() + pos_);
    pos_ += 8;
    return v;
}

Result<OSCByteView, OSCDecodeError> OSCValueDecoder::readBytes(std::int64_t count) {
    if (count < 0) {
        return fail(OSCDecodeError::internalInconsistency("Negative byte count requested while parsing data: " +
                                                          std::to_string(count)));
    }
    const std::size_t r = remaining();
    if (static_cast<std::uint64_t>(count) > r) {
        return fail(OSCDecodeError::malformed(
            "Not enough bytes remain in data stream while parsing data. Attempted to read " + std::to_string(count) +
            " bytes but only " + std::to_string(r) + " bytes remain."));
    }
    const OSCByteView bytes(data_.data() + pos_, static_cast<std::size_t>(count));
    pos_ += static_cast<std::size_t>(count);
    return bytes;
}

Result<void, OSCDecodeError> OSCValueDecoder::advance(std::int64_t count) {
    if (count < 0) {
        return fail(OSCDecodeError::internalInconsistency("Negative byte count requested while parsing data: " +
                                                          std::to_string(count)));
    }
    const std::size_t r = remaining();
    if (static_cast<std::uint64_t>(count) > r) {
        return fail(OSCDecodeError::malformed(
            "Attempted to advance byte read position past end of available bytes. " + std::to_string(r) +
            " bytes remain but " + std::to_string(count) + " were advanced."));
    }
    pos_ += static_cast<std::size_t>(count);
    return {};
}

Result<OSCBlob, OSCDecodeError> OSCValueDecoder::readBlob() {
    const auto size = readInt32();
    if (!size || *size > maximumBlobSize) {
        return fail(malformed(blobSizeUnreadable));
    }
    if (*size < 0 || static_cast<std::size_t>(*size) > remaining()) {
        return fail(malformed(blobTooLong));
    }
    const auto length = static_cast<std::size_t>(*size);
    const std::uint8_t* start = data_.data() + pos_;
    OSCBlob blob(start, start + length);
    pos_ += length;
    // OSC 1.0 padding: 0 to 3 zero bytes. An older writer's fourth zero byte
    // after a whole-word blob in last position is simply left over, and
    // left-over bytes after the last argument are ignored.
    const std::size_t padding = (4 - length % 4) % 4;
    if (padding > remaining()) {
        return fail(malformed(blobPaddingMissing));
    }
    for (std::size_t i = 0; i < padding; ++i) {
        if (data_[pos_ + i] != 0) {
            return fail(malformed(blobPaddingNotZero));
        }
    }
    pos_ += padding;
    return blob;
}

namespace {

template <typename T>
Result<std::size_t, OSCDecodeError> appended(Result<T, OSCDecodeError> read, std::vector<OSCValue>& values) {
    if (!read) {
        return fail(read.error());
    }
    values.emplace_back(std::move(read).value());
    return std::size_t{1};
}

}  // namespace

// The core kinds that need no more than one read are decoded here directly.
// They come first in the registry and never decline, so whatever else is
// registered, they are what the registry would pick; anything else, and
// every failure, goes through decodeValue for the full rules and texts.
Result<void, OSCDecodeError> OSCValueDecoder::decodeValues(std::span<const char> tags, std::vector<OSCValue>& values) {
    for (std::size_t i = 0; i < tags.size();) {
        const char c = tags[i];
        switch (c) {
        case ',':
        case '\0':
            reproducible_ = reproducible_ && i == 0 && c == ',';
            ++i;
            continue;
        case 'i':
            if (remaining() >= 4) {
                values.emplace_back(static_cast<std::int32_t>(get32(data_.data() + pos_)));
                pos_ += 4;
                ++i;
                continue;
            }
            break;
        case 'f':
            reproducible_ = false;
            if (remaining() >= 4) {
                values.emplace_back(std::bit_cast<float>(get32(data_.data() + pos_)));
                pos_ += 4;
                ++i;
                continue;
            }
            break;
        case 's': {
            // Printable only matters while the message may still be reproducible.
            std::string_view text;
            bool printable = false;
            const auto problem = reproducible_ ? scanChunk<true>(text, stringsASCII_, &printable)
                                               : scanChunk<false>(text, stringsASCII_);
            if (problem == ChunkProblem::none) {
                reproducible_ = reproducible_ && printable;
                values.emplace_back(text);
                ++i;
                continue;
            }
            break;
        }
        case 'T':
        case 'F': values.emplace_back(c == 'T'); ++i; continue;
        default: break;
        }
        reproducible_ = false;
        const auto used = decodeValue(tags, i, values);
        if (!used) {
            return fail(used.error());
        }
        i += *used;
    }
    return {};
}

Result<std::size_t, OSCDecodeError> OSCValueDecoder::decodeValue(std::span<const char> tags, std::size_t index,
                                                                 std::vector<OSCValue>& values, std::size_t depth) {
    const char c = tags[index];
    const auto candidates = (context_ ? *context_ : OSCSerialization::shared()).candidates(c);
    if (candidates.empty()) {
        return fail(OSCDecodeError::malformed("No concrete type found to decode OSC type tag: " + std::string(1, c)));
    }
    for (const OSCValueKindEntry* entry : candidates) {
        if (entry->coreKind) {
            switch (*entry->coreKind) {
            case OSCValueKind::int32:
                if (remaining() >= 4) {
                    values.emplace_back(static_cast<std::int32_t>(get32(data_.data() + pos_)));
                    pos_ += 4;
                    return std::size_t{1};
                }
                return appended(readInt32(), values);
            case OSCValueKind::float32: return appended(readFloat32(), values);
            case OSCValueKind::string:
            case OSCValueKind::stringAlt: {
                std::string_view text;
                if (const auto problem = scanChunk(text, stringsASCII_); problem != ChunkProblem::none) {
                    return fail(chunkError(problem));
                }
                if (*entry->coreKind == OSCValueKind::string) {
                    values.emplace_back(text);
                } else {
                    values.emplace_back(OSCStringAltValue{std::string(text)});
                }
                return std::size_t{1};
            }
            case OSCValueKind::blob: return appended(readBlob(), values);
            case OSCValueKind::boolean:
                if (c != 'T' && c != 'F') {
                    return fail(OSCDecodeError::unexpectedType(c));
                }
                values.emplace_back(c == 'T');
                return std::size_t{1};
            case OSCValueKind::character: {
                const auto code = readInt32();
                if (!code) {
                    return fail(code.error());
                }
                const auto character = ASCIICharacter::fromCode(static_cast<std::uint32_t>(*code));
                if (*code < 0 || !character) {
                    return fail(malformed(characterUnreadable));
                }
                values.emplace_back(*character);
                return std::size_t{1};
            }
            case OSCValueKind::float64: return appended(readDouble(), values);
            case OSCValueKind::int64: return appended(readInt64(), values);
            case OSCValueKind::impulse: values.emplace_back(OSCImpulseValue{}); return std::size_t{1};
            case OSCValueKind::midi: {
                const auto bytes = readBytes(4);
                if (!bytes) {
                    return fail(bytes.error());
                }
                const auto& b = *bytes;
                values.emplace_back(OSCMIDIValue{b[0], b[1], b[2], b[3]});
                return std::size_t{1};
            }
            case OSCValueKind::null: values.emplace_back(OSCNullValue{}); return std::size_t{1};
            case OSCValueKind::timeTag: {
                const auto raw = readUInt64();
                if (!raw) {
                    return fail(raw.error());
                }
                values.emplace_back(OSCTimeTag{0, *raw});
                return std::size_t{1};
            }
            case OSCValueKind::array: {
                if (c != '[') {
                    continue;
                }
                if (depth >= OSCPacket::maximumNestingDepth) {
                    return fail(OSCDecodeError::malformed("Arrays are nested more than " +
                                                          std::to_string(OSCPacket::maximumNestingDepth) +
                                                          " levels deep."));
                }
                const auto inner = tags.subspan(index + 1);
                std::vector<OSCValue> elements;
                for (std::size_t k = 0; k < inner.size();) {
                    if (inner[k] == ']') {
                        values.emplace_back(OSCArrayValue(std::move(elements)));
                        return k + 2;
                    }
                    const auto used = decodeValue(inner, k, elements, depth + 1);
                    if (!used) {
                        return used;
                    }
                    k += *used;
                }
                return fail(OSCDecodeError::malformed("Array termination tag ']' was not found."));
            }
            }
            continue;
        }
        if (const auto* decode = std::get_if<OSCValueStaticTagDecoder>(&entry->decoder)) {
            return appended((*decode)(*this), values);
        }
        if (const auto* decode = std::get_if<OSCValueVariableTagDecoder>(&entry->decoder)) {
            return appended((*decode)(c, *this), values);
        }
        if (const auto* decode = std::get_if<OSCValueVariadicTagDecoder>(&entry->decoder)) {
            auto decoded = (*decode)(tags.subspan(index), *this);
            if (!decoded) {
                return fail(decoded.error());
            }
            if (decoded->has_value()) {
                values.push_back(std::move((*decoded)->second));
                return (*decoded)->first;
            }
            continue;
        }
        return fail(OSCDecodeError::malformed("No decoder is implemented for OSC type tag: " + std::string(1, c)));
    }
    return fail(OSCDecodeError::internalInconsistency(
        "No decoder found to decode OSC type tag: " + std::string(1, c) +
        ". Only the static, variable and variadic tag decoders of this OSC layer can be used."));
}

}  // namespace lanternwick
