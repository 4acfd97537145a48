// Length-header framing: arbitrary bytes given to the unframer must not crash
// it, and packets encoded and concatenated must unframe to the same packets,
// empty ones included; a stream cut short by any number of bytes must fail
// instead of inventing a packet.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "osc/tcp/OSCTCPFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    using fuzz::require;

    const auto raw = lengthHeaderDecode(OSCByteView(data, size));
    if (raw.ok()) {
        std::size_t total = 0;
        for (const OSCBytes& packet : raw.value()) {
            total += packet.size() + 4;
        }
        require(total == size, "an accepted chunk is exactly its headers and packets");
    }

    FuzzedDataProvider provider(data, size);
    std::vector<OSCBytes> packets;
    OSCBytes stream;
    while (provider.remaining_bytes() > 0) {
        const std::size_t length = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
        OSCBytes packet = provider.ConsumeBytes<std::uint8_t>(length);
        const auto framed = lengthHeaderEncode(packet);
        require(framed.ok() && framed.value().size() == packet.size() + 4, "a frame is its packet and 4 bytes");
        stream.insert(stream.end(), framed.value().begin(), framed.value().end());
        packets.push_back(std::move(packet));
    }
    const auto decoded = lengthHeaderDecode(OSCByteView(stream));
    require(decoded.ok() && decoded.value() == packets, "the packets come back in order and unchanged");
    if (!stream.empty() && !packets.empty() && !packets.back().empty()) {
        const auto cut = lengthHeaderDecode(OSCByteView(stream).first(stream.size() - 1));
        require(!cut.ok(), "a stream missing its last byte is refused");
    }
    return 0;
}
