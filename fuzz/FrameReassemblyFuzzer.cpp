// SLIP frame reassembly across TCP reads: one byte stream, cut into reads at
// places the fuzzer picks, must give the same frames as the stream in one
// read, and those must be exactly the stream's END-delimited pieces that are
// non-empty and within the size limit. A small limit makes the dropping of
// oversized frames reachable.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "console-sim/SlipFrameReader.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {
namespace {

struct ExpectedFrames {
    std::vector<OSCBytes> frames;
    std::size_t dropped = 0;
};

ExpectedFrames framesOf(const OSCBytes& stream, const std::size_t limit) {
    ExpectedFrames expected;
    auto from = stream.begin();
    while (true) {
        const auto end = std::find(from, stream.end(), slip::END);
        const auto length = static_cast<std::size_t>(end - from);
        if (length > limit) {
            ++expected.dropped;
        }
        if (end == stream.end()) {
            break;
        }
        if (length > 0 && length <= limit) {
            expected.frames.emplace_back(from, end);
        }
        from = end + 1;
    }
    return expected;
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    using fuzz::require;
    FuzzedDataProvider provider(data, size);
    const std::size_t limit = provider.ConsumeIntegralInRange<std::size_t>(1, 48);
    const std::size_t splitSeed = provider.ConsumeIntegral<std::uint32_t>();
    const OSCBytes stream = provider.ConsumeRemainingBytes<std::uint8_t>();

    sim::SlipFrameReader whole(limit);
    const std::vector<OSCBytes> wholeFrames = whole.feed(OSCByteView(stream));

    sim::SlipFrameReader pieces(limit);
    std::vector<OSCBytes> pieceFrames;
    std::size_t position = 0;
    std::size_t state = splitSeed | 1;
    while (position < stream.size()) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::size_t length = std::min<std::size_t>((state >> 33) % 9, stream.size() - position);
        auto frames = pieces.feed(OSCByteView(stream).subspan(position, length));
        pieceFrames.insert(pieceFrames.end(), frames.begin(), frames.end());
        position += length;
        require(pieces.pendingSize() <= limit, "a partial frame never outgrows the limit");
    }

    require(wholeFrames == pieceFrames, "the frames do not depend on how the stream was split");
    require(whole.droppedFrames() == pieces.droppedFrames(), "the same frames are dropped however it is split");
    const auto expected = framesOf(stream, limit);
    require(wholeFrames == expected.frames, "the frames are the stream's delimited pieces within the limit");
    require(whole.droppedFrames() == expected.dropped, "every oversized piece counts as dropped once");
    return 0;
}
