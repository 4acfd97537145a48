#pragma once
// OSCMessage: an address pattern and an ordered list of values. A message
// produced by the decoder keeps the bytes it was read from, so that passing
// it on re-sends exactly those bytes; a message built by the program has
// none. Equality compares address text and values only. An immutable value,
// freely copied and shared between threads.
//
//   OSCMessage command("/eos/user/0/newcmd", {"Go"});
//   auto label = reply.stringArgument(0);   // std::optional<std::string_view>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "osc/OSCAddressPattern.h"
#include "osc/OSCBytes.h"
#include "osc/OSCDecodeError.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCReceivedBytes.h"
#include "osc/OSCValue.h"
#include "support/Result.h"

namespace lanternwick {

class OSCMessage {
public:
    OSCMessage(OSCAddressPattern addressPattern, std::vector<OSCValue> values = {})
        : addressPattern_(std::move(addressPattern)), values_(std::move(values)) {}
    OSCMessage(std::string_view address, std::vector<OSCValue> values = {})
        : OSCMessage(OSCAddressPattern(address), std::move(values)) {}
    OSCMessage(const char* address, std::vector<OSCValue> values = {})
        : OSCMessage(OSCAddressPattern(address), std::move(values)) {}

    // Moves each value in, where a braced list would copy it:
    //   OSCMessage::withValues("/eos/user/0/newcmd", std::move(commandLine))
    template <typename... Values>
    static OSCMessage withValues(OSCAddressPattern addressPattern, Values&&... values) {
        std::vector<OSCValue> list;
        list.reserve(sizeof...(Values));
        (list.emplace_back(std::forward<Values>(values)), ...);
        return OSCMessage(std::move(addressPattern), std::move(list));
    }

    const OSCAddressPattern& addressPattern() const { return addressPattern_; }
    const std::string& address() const { return addressPattern_.rawAddress(); }
    const std::vector<OSCValue>& values() const { return values_; }
    // The bytes this message was decoded from, if it was.
    const std::optional<OSCBytes>& receivedRawData() const;

    // Typed argument reads: nothing when out of range or of another kind.
    std::optional<std::string_view> stringArgument(std::size_t index) const;
    std::optional<std::int32_t> int32Argument(std::size_t index) const;

    // The received bytes when present, else the freshly encoded bytes.
    Result<OSCBytes, OSCEncodeError> rawData() const;
    // Appends rawData() to `out` without an intermediate buffer.
    Result<void, OSCEncodeError> appendRawData(OSCBytes& out) const;

    // Fails on bytes that are not a well-formed message.
    static Result<OSCMessage, OSCDecodeError> decode(OSCByteView bytes,
                                                     OSCStringBytes strings = OSCStringBytes::ascii);
    static Result<OSCMessage, OSCDecodeError> decode(OSCBytes&& bytes,
                                                     OSCStringBytes strings = OSCStringBytes::ascii);

    // OSCMessage("/a", values: ["x", 1])
    std::string description() const;

    friend bool operator==(const OSCMessage& a, const OSCMessage& b) {
        return a.addressPattern_ == b.addressPattern_ && a.values_ == b.values_;
    }

private:
    friend class OSCPacket;
    friend class OSCPacketDecoding;
    struct DecodeTarget {};

public:
    // The empty message the decoder fills; nameable only by the decoder.
    explicit OSCMessage(DecodeTarget) {}

private:

    OSCAddressPattern addressPattern_;
    std::vector<OSCValue> values_;
    OSCReceivedBytes rawData_;
};

}  // namespace lanternwick

// Hashes what equality compares: the address text and the values.
template <>
struct std::hash<lanternwick::OSCMessage> {
    std::size_t operator()(const lanternwick::OSCMessage& message) const noexcept {
        return lanternwick::hashValues(message.address(), message.values());
    }
};
