#include "console-sim/StreamFrameReader.h"

namespace lanternwick::sim {

namespace {
constexpr std::size_t headerSize = 4;

std::size_t frameSize(const std::uint8_t* bytes) {
    return (std::size_t{bytes[0]} << 24) | (std::size_t{bytes[1]} << 16) | (std::size_t{bytes[2]} << 8) |
           std::size_t{bytes[3]};
}
}  // namespace

StreamFrameReader::StreamFrameReader(const OSCTCPFramingMode mode, const std::size_t maximumFrameSize)
    : mode_(mode), maximumFrameSize_(maximumFrameSize), slip_(maximumFrameSize) {}

StreamFrameReader::Output StreamFrameReader::feed(const OSCByteView bytes) {
    Output out;
    if (ended_) return out;
    if (mode_ == OSCTCPFramingMode::osc1_0) {
        feedLength(bytes, out);
    } else {
        for (const OSCBytes& frame : slip_.feed(bytes)) {
            auto packets = slipDecode(frame);
            if (!packets) {
                out.unreadable = packets.error().description();
                break;
            }
            for (OSCBytes& packet : *packets) out.packets.push_back(std::move(packet));
        }
        if (out.unreadable.empty() && slip_.droppedFrames() > 0) out.unreadable = "frame over 1 MiB";
    }
    ended_ = !out.unreadable.empty();
    return out;
}

void StreamFrameReader::feedLength(const OSCByteView bytes, Output& out) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (pending_.size() - at >= headerSize) {
        const std::size_t size = frameSize(pending_.data() + at);
        if (size > maximumFrameSize_) {
            out.unreadable = "frame over 1 MiB";
            pending_.clear();
            return;
        }
        if (pending_.size() - at - headerSize < size) break;
        const auto from = pending_.begin() + static_cast<std::ptrdiff_t>(at + headerSize);
        out.packets.emplace_back(from, from + static_cast<std::ptrdiff_t>(size));
        at += headerSize + size;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace lanternwick::sim
