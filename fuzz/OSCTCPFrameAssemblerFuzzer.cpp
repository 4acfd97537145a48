// The OSC TCP client's frame reassembly, fed one stream in reads of sizes the
// fuzzer picks. In both framings the packets (and a request to close) must
// not depend on how the stream was split. For SLIP they must be exactly what
// unframing each END-delimited piece within the limit gives; and a list of
// packets framed and concatenated must come back unchanged in either mode.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "osc/tcp/OSCTCPFrameAssembler.h"

namespace lanternwick {
namespace {

using fuzz::require;

struct Assembled {
    std::vector<OSCBytes> packets;
    bool mustClose = false;
};

Assembled assemble(OSCTCPFramingMode mode, std::size_t limit, const OSCBytes& stream, std::size_t splitSeed) {
    OSCTCPFrameAssembler assembler(mode, limit);
    Assembled result;
    std::size_t position = 0;
    std::size_t state = splitSeed | 1;
    while (position < stream.size() && !result.mustClose) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::size_t length =
            splitSeed == 0 ? stream.size() : std::min<std::size_t>((state >> 33) % 11, stream.size() - position);
        auto out = assembler.append(OSCByteView(stream).subspan(position, length));
        result.packets.insert(result.packets.end(), out.packets.begin(), out.packets.end());
        result.mustClose = out.mustClose;
        position += length;
        require(assembler.pendingBytes() <= limit + 4 || mode == OSCTCPFramingMode::osc1_0,
                "a partial SLIP frame never outgrows the limit");
    }
    return result;
}

std::vector<OSCBytes> slipReference(const OSCBytes& stream, std::size_t limit) {
    std::vector<OSCBytes> packets;
    auto from = stream.begin();
    while (true) {
        const auto end = std::find(from, stream.end(), slip::END);
        if (end == stream.end()) {
            return packets;
        }
        if (static_cast<std::size_t>(end - from) <= limit) {
            if (auto decoded = slipDecode(OSCByteView(&*from, static_cast<std::size_t>(end - from)))) {
                packets.insert(packets.end(), decoded->begin(), decoded->end());
            }
        }
        from = end + 1;
    }
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    FuzzedDataProvider provider(data, size);
    const auto mode = provider.ConsumeBool() ? OSCTCPFramingMode::osc1_1 : OSCTCPFramingMode::osc1_0;
    const std::size_t limit = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::size_t splitSeed = provider.ConsumeIntegralInRange<std::uint32_t>(1, 0xffffffff);

    if (provider.ConsumeBool()) {
        const OSCBytes stream = provider.ConsumeRemainingBytes<std::uint8_t>();
        const Assembled whole = assemble(mode, limit, stream, 0);
        const Assembled pieces = assemble(mode, limit, stream, splitSeed);
        require(whole.packets == pieces.packets && whole.mustClose == pieces.mustClose,
                "reassembly does not depend on how the stream was split");
        if (mode == OSCTCPFramingMode::osc1_1) {
            require(!whole.mustClose, "SLIP never needs the connection closed");
            require(whole.packets == slipReference(stream, limit), "SLIP packets are the unframed pieces");
        }
        return 0;
    }

    std::vector<OSCBytes> packets;
    OSCBytes stream;
    while (provider.remaining_bytes() > 0) {
        OSCBytes packet = provider.ConsumeBytes<std::uint8_t>(provider.ConsumeIntegralInRange<std::size_t>(0, 32));
        const OSCBytes framed = mode == OSCTCPFramingMode::osc1_1 ? slipEncode(packet) : lengthHeaderEncode(packet).value();
        stream.insert(stream.end(), framed.begin(), framed.end());
        if (!packet.empty() || mode == OSCTCPFramingMode::osc1_0) {
            packets.push_back(std::move(packet));
        }
    }
    const Assembled pieces = assemble(mode, 2 * 32 + 2, stream, splitSeed);
    require(!pieces.mustClose && pieces.packets == packets, "framed packets come back unchanged in order");
    return 0;
}
