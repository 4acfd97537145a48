// Any bytes given to the packet decoder: it must never crash, and whatever it
// accepts must survive being built afresh, encoded and decoded again without
// changing (the bytes a program would send for the same content are stable).
// The received bytes themselves are kept verbatim by every decoded packet,
// also when a peer's strings are read with any byte but NUL, which accepts
// whatever the strict reading does, as the same content.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "osc/OSCPacket.h"

namespace lanternwick {
namespace {

// The same content with no memory of the bytes it came from, so encoding it
// exercises the encoder instead of replaying the input.
OSCPacket rebuilt(const OSCPacket& packet) {
    if (const OSCMessage* message = packet.message()) {
        return OSCMessage(message->addressPattern(), message->values());
    }
    const OSCBundle& bundle = *packet.bundle();
    std::vector<OSCPacket> elements;
    elements.reserve(bundle.elements().size());
    for (const OSCPacket& element : bundle.elements()) {
        elements.push_back(rebuilt(element));
    }
    return OSCBundle(std::move(elements), bundle.timeTag());
}

const std::optional<OSCBytes>& receivedBytes(const OSCPacket& packet) {
    return packet.message() ? packet.message()->receivedRawData() : packet.bundle()->receivedRawData();
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    using fuzz::require;
    const OSCByteView input(data, size);
    const auto decoded = OSCPacket::decode(input);
    const auto lenient = OSCPacket::decode(input, OSCStringBytes::anyButNul);
    if (lenient.ok() && lenient.value().has_value()) {
        const auto replayed = lenient.value()->rawData();
        require(replayed.ok() && OSCBytes(input.begin(), input.end()) == replayed.value(),
                "a peer's packet re-sends the received bytes");
    }
    if (!decoded.ok() || !decoded.value().has_value()) {
        return 0;
    }
    // Compared as encoded, since a NaN is not equal to itself.
    require(lenient.ok() && lenient.value().has_value() &&
                rebuilt(*lenient.value()).rawData().value() == rebuilt(*decoded.value()).rawData().value(),
            "reading any byte but NUL accepts the same content");
    const OSCPacket& packet = *decoded.value();
    const auto& received = receivedBytes(packet);
    require(received.has_value() && OSCBytes(input.begin(), input.end()) == *received,
            "a decoded packet keeps exactly the bytes it was read from");
    const auto replayed = packet.rawData();
    require(replayed.ok() && replayed.value() == *received, "a decoded packet re-sends the received bytes");

    const auto encoded = rebuilt(packet).rawData();
    require(encoded.ok(), "an accepted packet can be encoded again");
    const auto again = OSCPacket::decode(OSCByteView(encoded.value()));
    require(again.ok() && again.value().has_value(), "the re-encoded bytes decode");
    require(again.value()->type() == packet.type(), "re-decoding keeps message or bundle");
    const auto reencoded = rebuilt(*again.value()).rawData();
    require(reencoded.ok() && reencoded.value() == encoded.value(), "encoding the decoded content is stable");
    return 0;
}
