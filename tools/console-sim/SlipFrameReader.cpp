#include "console-sim/SlipFrameReader.h"

#include <algorithm>

namespace lanternwick::sim {

namespace {
constexpr std::uint8_t slipEnd = 0xC0;
}

SlipFrameReader::SlipFrameReader(const std::size_t maximumFrameSize) : maximumFrameSize_(maximumFrameSize) {}

std::vector<OSCBytes> SlipFrameReader::feed(const OSCByteView bytes) {
    std::vector<OSCBytes> frames;
    auto from = bytes.begin();
    while (from != bytes.end()) {
        const auto end = std::find(from, bytes.end(), slipEnd);
        if (!discarding_) {
            const auto available = static_cast<std::size_t>(end - from);
            if (pending_.size() + available > maximumFrameSize_) {
                discarding_ = true;
                ++droppedFrames_;
                pending_.clear();
                pending_.shrink_to_fit();
            } else {
                pending_.insert(pending_.end(), from, end);
            }
        }
        if (end == bytes.end()) break;
        if (!discarding_ && !pending_.empty()) frames.push_back(std::move(pending_));
        pending_.clear();
        discarding_ = false;
        from = end + 1;
    }
    return frames;
}

}  // namespace lanternwick::sim
