#pragma once
// OSCPacket: a message or a bundle, and the entry points for decoding
// received bytes. Decoding is strict: the first problem ends it with one
// OSCDecodeError. Arrays and bundles nested deeper than
// `OSCPacket::maximumNestingDepth` are refused as malformed, so that a small
// hostile packet cannot exhaust the stack; received blobs over 65,506 bytes
// are refused too. String arguments are ASCII unless the caller reads a
// peer's strings with any byte but NUL (OSCStringBytes). Pure functions, any
// thread.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

#include "osc/OSCBundle.h"
#include "osc/OSCBytes.h"
#include "osc/OSCDecodeError.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCMessage.h"
#include "support/Result.h"

namespace lanternwick {

enum class OSCPacketType { message, bundle };

class OSCPacket {
public:
    static constexpr std::size_t maximumNestingDepth = 32;

    OSCPacket(OSCMessage message) : packet_(std::move(message)) {}
    OSCPacket(OSCBundle bundle) : packet_(std::move(bundle)) {}

    OSCPacketType type() const { return packet_.index() == 0 ? OSCPacketType::message : OSCPacketType::bundle; }
    const OSCMessage* message() const { return std::get_if<OSCMessage>(&packet_); }
    const OSCBundle* bundle() const { return std::get_if<OSCBundle>(&packet_); }

    Result<OSCBytes, OSCEncodeError> rawData() const;
    Result<void, OSCEncodeError> appendRawData(OSCBytes& out) const;
    std::string description() const;

    // A bundle when the bytes start with "#bundle\0", a message when they
    // start with "/", otherwise nothing (not an error).
    static Result<std::optional<OSCPacket>, OSCDecodeError> decode(OSCByteView bytes,
                                                                   OSCStringBytes strings = OSCStringBytes::ascii);
    static Result<std::optional<OSCPacket>, OSCDecodeError> decode(OSCBytes&& bytes,
                                                                   OSCStringBytes strings = OSCStringBytes::ascii);

    friend bool operator==(const OSCPacket&, const OSCPacket&) = default;

private:
    friend class OSCPacketDecoding;
    struct DecodeTarget {};

public:
    // Holds the empty message the decoder fills; nameable only by the decoder.
    explicit OSCPacket(DecodeTarget) : packet_(std::in_place_type<OSCMessage>, OSCMessage::DecodeTarget{}) {}

private:

    std::variant<OSCMessage, OSCBundle> packet_;
};

}  // namespace lanternwick
