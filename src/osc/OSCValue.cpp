#include "osc/OSCValue.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <limits>
#include <system_error>

#include "osc/OSCValueToken.h"
#include "support/Overloaded.h"

namespace lanternwick {
namespace {

// Shortest text that reads back as the same number, with ".0" on whole
// numbers so that a float never looks like an integer in the logs.
template <typename Float>
std::string floatText(Float value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find_first_of(".eEn") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string hexByte(std::uint8_t b) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(b));
    return buffer;
}

std::string characterText(const ASCIICharacter& c) { return std::string(1, static_cast<char>(c.asciiValue)); }

}  // namespace

OSCArrayValue::OSCArrayValue() = default;
OSCArrayValue::OSCArrayValue(std::vector<OSCValue> elements) : elements(std::move(elements)) {}
OSCArrayValue::OSCArrayValue(const OSCArrayValue&) = default;
OSCArrayValue::OSCArrayValue(OSCArrayValue&&) noexcept = default;
OSCArrayValue& OSCArrayValue::operator=(const OSCArrayValue&) = default;
OSCArrayValue& OSCArrayValue::operator=(OSCArrayValue&&) noexcept = default;
OSCArrayValue::~OSCArrayValue() = default;

bool operator==(const OSCArrayValue& a, const OSCArrayValue& b) { return a.elements == b.elements; }

std::string OSCMIDIValue::description() const {
    return "MIDI(portID: " + hexByte(portID) + ", status: " + hexByte(status) + ", data1: " + hexByte(data1) +
           ", data2: " + hexByte(data2) + ")";
}

Result<OSCValue, OSCEncodeError> OSCValue::fromPlatformInteger(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        return fail(OSCEncodeError::valueEncodingError("Integer " + std::to_string(v) +
                                                       " does not fit a 32-bit OSC integer."));
    }
    return OSCValue(static_cast<std::int32_t>(v));
}

Result<OSCValue, OSCEncodeError> OSCValue::fromUInt64(std::uint64_t v) {
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return fail(OSCEncodeError::valueEncodingError("Unsigned integer " + std::to_string(v) +
                                                       " does not fit a 64-bit OSC integer."));
    }
    return OSCValue(static_cast<std::int64_t>(v));
}

OSCValueToken OSCValue::token() const {
    switch (kind()) {
    case OSCValueKind::int32: return OSCValueToken::int32;
    case OSCValueKind::float32: return OSCValueToken::float32;
    case OSCValueKind::string: return OSCValueToken::string;
    case OSCValueKind::blob: return OSCValueToken::blob;
    case OSCValueKind::boolean: return OSCValueToken::boolean;
    case OSCValueKind::character: return OSCValueToken::character;
    case OSCValueKind::float64: return OSCValueToken::float64;
    case OSCValueKind::int64: return OSCValueToken::int64;
    case OSCValueKind::impulse: return OSCValueToken::impulse;
    case OSCValueKind::midi: return OSCValueToken::midi;
    case OSCValueKind::null: return OSCValueToken::null;
    case OSCValueKind::stringAlt: return OSCValueToken::stringAlt;
    case OSCValueKind::timeTag: return OSCValueToken::timeTag;
    case OSCValueKind::array: return OSCValueToken::array;
    }
    return OSCValueToken::null;
}

std::optional<std::string_view> OSCValue::asString() const {
    if (const auto* s = getIf<std::string>()) {
        return std::string_view(*s);
    }
    return std::nullopt;
}

std::optional<std::int32_t> OSCValue::asInt32() const {
    if (const auto* v = getIf<std::int32_t>()) {
        return *v;
    }
    return std::nullopt;
}

std::optional<std::int64_t> OSCValue::asInt64() const {
    if (const auto* v = getIf<std::int64_t>()) {
        return *v;
    }
    return std::nullopt;
}

std::optional<float> OSCValue::asFloat32() const {
    if (const auto* v = getIf<float>()) {
        return *v;
    }
    return std::nullopt;
}

std::optional<double> OSCValue::asDouble() const {
    if (const auto* v = getIf<double>()) {
        return *v;
    }
    return std::nullopt;
}

std::optional<bool> OSCValue::asBool() const {
    if (const auto* v = getIf<bool>()) {
        return *v;
    }
    return std::nullopt;
}

std::string OSCValue::plainText() const {
    return std::visit(Overloaded{
                          [](std::int32_t v) { return std::to_string(v); },
                          [](float v) { return floatText(v); },
                          [](const std::string& v) { return v; },
                          [](const OSCBlob& v) { return std::to_string(v.size()) + " bytes"; },
                          [](bool v) { return std::string(v ? "true" : "false"); },
                          [](const ASCIICharacter& v) { return characterText(v); },
                          [](double v) { return floatText(v); },
                          [](std::int64_t v) { return std::to_string(v); },
                          [](const OSCImpulseValue&) { return std::string("Impulse"); },
                          [](const OSCMIDIValue& v) { return v.description(); },
                          [](const OSCNullValue&) { return std::string("Null"); },
                          [](const OSCStringAltValue& v) { return v.string; },
                          [](const OSCTimeTag& v) { return v.description(); },
                          [](const OSCArrayValue& v) { return listDescription(v.elements); },
                      },
                      storage_);
}

std::string OSCValue::listText() const {
    if (const auto* s = getIf<std::string>()) {
        return "\"" + *s + "\"";
    }
    if (const auto* s = getIf<OSCStringAltValue>()) {
        return "\"" + s->string + "\"";
    }
    return plainText();
}

namespace {

std::size_t combine(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

std::size_t hashBytes(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

}  // namespace

std::size_t OSCValue::hash() const {
    const std::size_t kindHash = storage_.index();
    const std::size_t valueHash = std::visit(
        Overloaded{
            [](std::int32_t v) { return std::hash<std::int32_t>{}(v); },
            [](float v) { return std::hash<std::uint32_t>{}(std::bit_cast<std::uint32_t>(v)); },
            [](const std::string& v) { return hashBytes(v); },
            [](const OSCBlob& v) {
                return hashBytes(std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
            },
            [](bool v) { return std::hash<bool>{}(v); },
            [](const ASCIICharacter& v) { return std::hash<std::uint8_t>{}(v.asciiValue); },
            [](double v) { return std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(v)); },
            [](std::int64_t v) { return std::hash<std::int64_t>{}(v); },
            [](const OSCImpulseValue&) { return std::size_t{0}; },
            [](const OSCMIDIValue& v) {
                return std::hash<std::uint32_t>{}(std::uint32_t{v.portID} << 24 | std::uint32_t{v.status} << 16 |
                                                  std::uint32_t{v.data1} << 8 | v.data2);
            },
            [](const OSCNullValue&) { return std::size_t{0}; },
            [](const OSCStringAltValue& v) { return hashBytes(v.string); },
            [](const OSCTimeTag& v) { return std::hash<OSCTimeTag>{}(v); },
            [](const OSCArrayValue& v) {
                std::size_t seed = v.elements.size();
                for (const auto& element : v.elements) {
                    seed = combine(seed, element.hash());
                }
                return seed;
            },
        },
        storage_);
    return combine(kindHash, valueHash);
}

std::size_t hashValues(std::string_view address, const std::vector<OSCValue>& values) {
    std::size_t seed = hashBytes(address);
    for (const auto& value : values) {
        seed = combine(seed, value.hash());
    }
    return seed;
}

std::string listDescription(const std::vector<OSCValue>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += values[i].listText();
    }
    return text + "]";
}

std::string_view tokenName(OSCValueToken token) {
    static constexpr std::string_view names[] = {
        "blob", "float32", "int32", "string", "array", "bool", "character", "double", "int64", "impulse", "midi",
        "null", "stringAlt", "timeTag", "number", "numberOrBool",
        "blobOptional", "float32Optional", "int32Optional", "stringOptional", "arrayOptional", "boolOptional",
        "characterOptional", "doubleOptional", "int64Optional", "impulseOptional", "midiOptional",
        "nullOptional", "stringAltOptional", "timeTagOptional", "numberOptional", "numberOrBoolOptional",
    };
    return names[static_cast<std::size_t>(token)];
}

}  // namespace lanternwick
