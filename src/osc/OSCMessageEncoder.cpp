#include "osc/OSCMessageEncoder.h"

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "support/Overloaded.h"

namespace lanternwick {
namespace {

// Strings and the address always get 1 to 4 zero bytes.
std::size_t terminatedLength(std::size_t length) { return length + (4 - length % 4); }
// Blobs get 0 to 3, as OSC 1.0 peers expect.
std::size_t alignedLength(std::size_t length) { return (length + 3) & ~std::size_t{3}; }

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v >> 32));
    put32(p + 4, static_cast<std::uint32_t>(v));
}

// Sizes first, then writes into zero-filled room, so padding needs no code
// and the output is allocated once. Strings that need ICU are converted in
// the sizing pass and kept for the writing pass.
class Writer {
public:
    Result<void, OSCEncodeError> measure(std::span<const OSCValue> values) {
        for (const auto& value : values) {
            auto measured = measure(value);
            if (!measured) {
                return measured;
            }
        }
        return {};
    }

    std::size_t tagCount = 0;
    std::size_t payloadSize = 0;

    void write(std::span<const OSCValue> values, std::uint8_t*& tags, std::uint8_t*& payload) {
        for (const auto& value : values) {
            write(value, tags, payload);
        }
    }

private:
    Result<void, OSCEncodeError> measure(const OSCValue& value) {
        ++tagCount;
        return std::visit(
            Overloaded{
                [&](std::int32_t) -> Result<void, OSCEncodeError> { payloadSize += 4; return {}; },
                [&](float) -> Result<void, OSCEncodeError> { payloadSize += 4; return {}; },
                [&](const std::string& s) -> Result<void, OSCEncodeError> { measureText(s); return {}; },
                [&](const OSCBlob& b) -> Result<void, OSCEncodeError> {
                    if (b.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
                        return fail(OSCEncodeError::valueEncodingError(
                            "Blob of " + std::to_string(b.size()) + " bytes is longer than 2147483647 bytes."));
                    }
                    payloadSize += 4 + alignedLength(b.size());
                    return {};
                },
                [&](bool) -> Result<void, OSCEncodeError> { return {}; },
                [&](const ASCIICharacter&) -> Result<void, OSCEncodeError> { payloadSize += 4; return {}; },
                [&](double) -> Result<void, OSCEncodeError> { payloadSize += 8; return {}; },
                [&](std::int64_t) -> Result<void, OSCEncodeError> { payloadSize += 8; return {}; },
                [&](const OSCImpulseValue&) -> Result<void, OSCEncodeError> { return {}; },
                [&](const OSCMIDIValue&) -> Result<void, OSCEncodeError> { payloadSize += 4; return {}; },
                [&](const OSCNullValue&) -> Result<void, OSCEncodeError> { return {}; },
                [&](const OSCStringAltValue& s) -> Result<void, OSCEncodeError> {
                    measureText(s.string);
                    return {};
                },
                [&](const OSCTimeTag&) -> Result<void, OSCEncodeError> { payloadSize += 8; return {}; },
                [&](const OSCArrayValue& a) -> Result<void, OSCEncodeError> {
                    ++tagCount;
                    return measure(a.elements);
                },
            },
            value.storage());
    }

    void measureText(const std::string& text) {
        if (isPrintableASCII(text)) {
            payloadSize += terminatedLength(text.size());
        } else {
            converted_.push_back(convertToPrintableASCII(text));
            payloadSize += terminatedLength(converted_.back().size());
        }
    }

    void writeText(const std::string& text, std::uint8_t*& payload) {
        const bool asIs = converted_.empty() || isPrintableASCII(text);
        const std::string_view bytes = asIs ? std::string_view(text) : std::string_view(converted_[nextConverted_++]);
        std::memcpy(payload, bytes.data(), bytes.size());
        payload += terminatedLength(bytes.size());
    }

    void write(const OSCValue& value, std::uint8_t*& tags, std::uint8_t*& payload) {
        std::visit(Overloaded{
                       [&](std::int32_t v) {
                           *tags++ = 'i';
                           put32(payload, static_cast<std::uint32_t>(v));
                           payload += 4;
                       },
                       [&](float v) {
                           *tags++ = 'f';
                           put32(payload, std::bit_cast<std::uint32_t>(v));
                           payload += 4;
                       },
                       [&](const std::string& s) {
                           *tags++ = 's';
                           writeText(s, payload);
                       },
                       [&](const OSCBlob& b) {
                           *tags++ = 'b';
                           put32(payload, static_cast<std::uint32_t>(b.size()));
                           if (!b.empty()) {
                               std::memcpy(payload + 4, b.data(), b.size());
                           }
                           payload += 4 + alignedLength(b.size());
                       },
                       [&](bool v) { *tags++ = v ? 'T' : 'F'; },
                       [&](const ASCIICharacter& c) {
                           *tags++ = 'c';
                           // A hand-made character may hold any code; the wire
                           // carries only what the character rule yields.
                           put32(payload, c.asciiValue <= 0x7F
                                              ? c.asciiValue
                                              : ASCIICharacter::fromCharacter(c.characterValue).asciiValue);
                           payload += 4;
                       },
                       [&](double v) {
                           *tags++ = 'd';
                           put64(payload, std::bit_cast<std::uint64_t>(v));
                           payload += 8;
                       },
                       [&](std::int64_t v) {
                           *tags++ = 'h';
                           put64(payload, static_cast<std::uint64_t>(v));
                           payload += 8;
                       },
                       [&](const OSCImpulseValue&) { *tags++ = 'I'; },
                       [&](const OSCMIDIValue& m) {
                           *tags++ = 'm';
                           payload[0] = m.portID;
                           payload[1] = m.status;
                           payload[2] = m.data1;
                           payload[3] = m.data2;
                           payload += 4;
                       },
                       [&](const OSCNullValue&) { *tags++ = 'N'; },
                       [&](const OSCStringAltValue& s) {
                           *tags++ = 'S';
                           writeText(s.string, payload);
                       },
                       [&](const OSCTimeTag& t) {
                           *tags++ = 't';
                           put64(payload, t.rawValue);
                           payload += 8;
                       },
                       [&](const OSCArrayValue& a) {
                           *tags++ = '[';
                           write(a.elements, tags, payload);
                           *tags++ = ']';
                       },
                   },
                   value.storage());
    }

    std::vector<std::string> converted_;
    std::size_t nextConverted_ = 0;
};

}  // namespace

Result<void, OSCEncodeError> OSCMessageEncoder::append(std::string_view addressBytes,
                                                       std::span<const OSCValue> values, OSCBytes& out) {
    Writer writer;
    if (auto measured = writer.measure(values); !measured) {
        return measured;
    }
    const std::size_t addressSize = terminatedLength(addressBytes.size());
    const std::size_t tagsSize = terminatedLength(writer.tagCount + 1);
    const std::size_t start = out.size();
    out.resize(start + addressSize + tagsSize + writer.payloadSize);

    std::uint8_t* p = out.data() + start;
    std::memcpy(p, addressBytes.data(), addressBytes.size());
    std::uint8_t* tags = p + addressSize;
    *tags++ = ',';
    std::uint8_t* payload = p + addressSize + tagsSize;
    writer.write(values, tags, payload);
    return {};
}

}  // namespace lanternwick
