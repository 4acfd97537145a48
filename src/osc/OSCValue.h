#pragma once
// OSCValue: one argument of an OSC message, one of the fourteen core kinds
// (OSCValueKind, in registry order). Text strings hold UTF-8 text and are
// converted to printable ASCII when written; a string read from a peer with
// OSCStringBytes::anyButNul holds its bytes as they came, valid UTF-8 or not. The extra number types (8/16-bit,
// unsigned, platform integers, long double) are accepted through the
// factories below, which widen them to a core kind and refuse values that the
// kind cannot hold; decoding only ever produces core kinds. A plain,
// immutable-by-convention value, freely copied and shared between threads.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "osc/ASCIIString.h"
#include "osc/OSCBytes.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCTimeTag.h"
#include "osc/OSCValueToken.h"
#include "support/Result.h"

namespace lanternwick {

class OSCValue;

enum class OSCValueKind {
    int32, float32, string, blob, boolean, character, float64, int64, impulse, midi, null,
    stringAlt, timeTag, array,
};

struct OSCImpulseValue {
    friend bool operator==(const OSCImpulseValue&, const OSCImpulseValue&) = default;
};

struct OSCNullValue {
    friend bool operator==(const OSCNullValue&, const OSCNullValue&) = default;
};

struct OSCMIDIValue {
    std::uint8_t portID = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    // "MIDI(portID: 0x01, status: 0x90, data1: 0x3C, data2: 0x7F)"
    std::string description() const;

    friend bool operator==(const OSCMIDIValue&, const OSCMIDIValue&) = default;
};

struct OSCStringAltValue {
    std::string string;
    friend bool operator==(const OSCStringAltValue&, const OSCStringAltValue&) = default;
};

struct OSCArrayValue {
    std::vector<OSCValue> elements;

    OSCArrayValue();
    explicit OSCArrayValue(std::vector<OSCValue> elements);
    OSCArrayValue(const OSCArrayValue&);
    OSCArrayValue(OSCArrayValue&&) noexcept;
    OSCArrayValue& operator=(const OSCArrayValue&);
    OSCArrayValue& operator=(OSCArrayValue&&) noexcept;
    ~OSCArrayValue();

    friend bool operator==(const OSCArrayValue&, const OSCArrayValue&);
};

using OSCBlob = OSCBytes;

class OSCValue {
public:
    using Storage = std::variant<std::int32_t, float, std::string, OSCBlob, bool, ASCIICharacter, double,
                                 std::int64_t, OSCImpulseValue, OSCMIDIValue, OSCNullValue,
                                 OSCStringAltValue, OSCTimeTag, OSCArrayValue>;

    OSCValue(std::int32_t v) : storage_(v) {}
    OSCValue(float v) : storage_(v) {}
    OSCValue(std::string v) : storage_(std::move(v)) {}
    OSCValue(std::string_view v) : storage_(std::in_place_type<std::string>, v) {}
    OSCValue(const char* v) : storage_(std::in_place_type<std::string>, v) {}
    OSCValue(OSCBlob v) : storage_(std::move(v)) {}
    OSCValue(bool v) : storage_(v) {}
    OSCValue(ASCIICharacter v) : storage_(v) {}
    OSCValue(double v) : storage_(v) {}
    OSCValue(std::int64_t v) : storage_(v) {}
    OSCValue(OSCImpulseValue v) : storage_(v) {}
    OSCValue(OSCMIDIValue v) : storage_(v) {}
    OSCValue(OSCNullValue v) : storage_(v) {}
    OSCValue(OSCStringAltValue v) : storage_(std::move(v)) {}
    OSCValue(OSCTimeTag v) : storage_(v) {}
    // A char would be promoted to an int32 argument, a pointer would become a
    // boolean and a null pointer would throw: say ASCIICharacter or text.
    OSCValue(char) = delete;
    OSCValue(std::nullptr_t) = delete;
    template <typename T>
        requires(!std::is_same_v<std::remove_cv_t<T>, char>)
    OSCValue(T*) = delete;
    OSCValue(OSCArrayValue v) : storage_(std::move(v)) {}

    // The extra number types. Narrow types widen; the others are refused
    // (valueEncodingError) when out of range instead of being truncated.
    static OSCValue fromInt8(std::int8_t v) { return OSCValue(std::int32_t{v}); }
    static OSCValue fromInt16(std::int16_t v) { return OSCValue(std::int32_t{v}); }
    static OSCValue fromUInt8(std::uint8_t v) { return OSCValue(std::int32_t{v}); }
    static OSCValue fromUInt16(std::uint16_t v) { return OSCValue(std::int32_t{v}); }
    static OSCValue fromUInt32(std::uint32_t v) { return OSCValue(std::int64_t{v}); }
    // A platform integer is written as `i` and must fit 32 bits.
    static Result<OSCValue, OSCEncodeError> fromPlatformInteger(std::int64_t v);
    // Unsigned 64-bit values are written as `h` and must be at most 2^63 - 1.
    static Result<OSCValue, OSCEncodeError> fromUInt64(std::uint64_t v);
    static OSCValue fromLongDouble(long double v) { return OSCValue(static_cast<double>(v)); }

    OSCValueKind kind() const { return static_cast<OSCValueKind>(storage_.index()); }
    OSCValueToken token() const;
    const Storage& storage() const { return storage_; }

    template <typename T>
    const T* getIf() const { return std::get_if<T>(&storage_); }

    // Typed reads: nothing when the value is of another kind.
    std::optional<std::string_view> asString() const;
    std::optional<std::int32_t> asInt32() const;
    std::optional<std::int64_t> asInt64() const;
    std::optional<float> asFloat32() const;
    std::optional<double> asDouble() const;
    std::optional<bool> asBool() const;
    const OSCBlob* asBlob() const { return getIf<OSCBlob>(); }
    const OSCArrayValue* asArray() const { return getIf<OSCArrayValue>(); }

    // The value's ordinary text: strings as they are, numbers in decimal,
    // booleans "true"/"false", the records' own descriptions.
    std::string plainText() const;
    // As plainText, but text strings (plain and alternative) in double
    // quotes; used inside list forms.
    std::string listText() const;

    // Equal values hash equally (floats by bit pattern, so 0.0 and -0.0,
    // which compare equal, are the one exception).
    std::size_t hash() const;

    friend bool operator==(const OSCValue&, const OSCValue&) = default;

private:
    Storage storage_;
};

// Hash of an address and its values, as a message hashes.
std::size_t hashValues(std::string_view address, const std::vector<OSCValue>& values);

// "[" + listText of each value joined by ", " + "]"
std::string listDescription(const std::vector<OSCValue>& values);

}  // namespace lanternwick

template <>
struct std::hash<lanternwick::OSCValue> {
    std::size_t operator()(const lanternwick::OSCValue& value) const noexcept { return value.hash(); }
};
