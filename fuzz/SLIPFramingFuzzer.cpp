// SLIP framing: arbitrary bytes given to the unframer must not crash it, and
// any list of packets encoded and concatenated must unframe to the same
// packets (empty ones vanish, as the framing cannot carry them).

#include <cstddef>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "osc/tcp/OSCTCPFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    using fuzz::require;

    const auto raw = slipDecode(OSCByteView(data, size));
    if (raw.ok()) {
        for (const OSCBytes& frame : raw.value()) {
            require(!frame.empty(), "no empty frame is reported");
            const auto single = slipDecode(OSCByteView(slipEncode(frame)));
            require(single.ok() && single.value().size() == 1 && single.value()[0] == frame,
                    "every unframed packet frames and unframes to itself");
        }
    }

    FuzzedDataProvider provider(data, size);
    std::vector<OSCBytes> packets;
    OSCBytes stream;
    while (provider.remaining_bytes() > 0) {
        const std::size_t length = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
        OSCBytes packet = provider.ConsumeBytes<std::uint8_t>(length);
        const OSCBytes framed = slipEncode(packet);
        require(framed.size() >= 2 && framed.front() == slip::END && framed.back() == slip::END,
                "a frame starts and ends with END");
        for (std::size_t i = 1; i + 1 < framed.size(); ++i) {
            require(framed[i] != slip::END, "END never appears inside a frame");
        }
        stream.insert(stream.end(), framed.begin(), framed.end());
        if (!packet.empty()) {
            packets.push_back(std::move(packet));
        }
    }
    const auto decoded = slipDecode(OSCByteView(stream));
    require(decoded.ok(), "a stream of encoded frames always decodes");
    require(decoded.value() == packets, "the frames come back in order and unchanged");
    return 0;
}
