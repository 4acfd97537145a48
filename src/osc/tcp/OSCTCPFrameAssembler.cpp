#include "osc/tcp/OSCTCPFrameAssembler.h"

#include <algorithm>

namespace lanternwick {

namespace {

std::uint32_t readBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

}  // namespace

OSCTCPFrameAssembler::OSCTCPFrameAssembler(OSCTCPFramingMode mode, std::size_t maximumFrameBytes)
    : mode_(mode), maximumFrameBytes_(maximumFrameBytes) {}

OSCTCPFrameAssembler::Output OSCTCPFrameAssembler::append(OSCByteView chunk) {
    Output out;
    switch (mode_) {
    case OSCTCPFramingMode::osc1_1: appendSLIP(chunk, out); break;
    case OSCTCPFramingMode::osc1_0: appendLengthHeader(chunk, out); break;
    case OSCTCPFramingMode::none:
        if (!chunk.empty()) out.packets.emplace_back(chunk.begin(), chunk.end());
        break;
    }
    return out;
}

void OSCTCPFrameAssembler::takeSLIPFrame(OSCByteView frame, Output& out) {
    auto decoded = slipDecode(frame);
    if (!decoded) return;
    for (auto& packet : *decoded) out.packets.push_back(std::move(packet));
}

void OSCTCPFrameAssembler::appendSLIP(OSCByteView chunk, Output& out) {
    std::size_t start = 0;
    while (start < chunk.size()) {
        const auto endAt = std::find(chunk.begin() + static_cast<long>(start), chunk.end(), slip::END);
        const auto end = static_cast<std::size_t>(endAt - chunk.begin());
        const OSCByteView piece = chunk.subspan(start, end - start);
        const bool complete = end < chunk.size();

        if (!discardingUntilEnd_ && pending_.size() + piece.size() > maximumFrameBytes_) {
            pending_.clear();
            discardingUntilEnd_ = true;
        }
        if (complete) {
            if (!discardingUntilEnd_) {
                if (pending_.empty()) {
                    takeSLIPFrame(piece, out);
                } else {
                    pending_.insert(pending_.end(), piece.begin(), piece.end());
                    takeSLIPFrame(pending_, out);
                    pending_.clear();
                }
            }
            discardingUntilEnd_ = false;
            start = end + 1;
        } else {
            if (!discardingUntilEnd_) pending_.insert(pending_.end(), piece.begin(), piece.end());
            start = chunk.size();
        }
    }
}

void OSCTCPFrameAssembler::appendLengthHeader(OSCByteView chunk, Output& out) {
    pending_.insert(pending_.end(), chunk.begin(), chunk.end());
    std::size_t complete = 0;
    while (pending_.size() - complete >= 4) {
        const std::size_t length = readBigEndian32(pending_.data() + complete);
        if (length > maximumFrameBytes_) {
            out.mustClose = true;
            out.refusedFrameBytes = length;
            break;
        }
        if (pending_.size() - complete - 4 < length) break;
        complete += 4 + length;
    }
    if (complete > 0) {
        auto decoded = lengthHeaderDecode(OSCByteView(pending_.data(), complete));
        if (decoded) out.packets = std::move(decoded).value();
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(complete));
    }
    if (out.mustClose) pending_.clear();
}

std::vector<OSCBytes> OSCTCPFrameAssembler::finish() {
    std::vector<OSCBytes> packets;
    if (!pending_.empty() && !discardingUntilEnd_) {
        switch (mode_) {
        case OSCTCPFramingMode::osc1_1:
            if (auto decoded = slipDecode(pending_)) packets = std::move(decoded).value();
            break;
        case OSCTCPFramingMode::osc1_0:
            if (auto decoded = lengthHeaderDecode(pending_)) packets = std::move(decoded).value();
            break;
        case OSCTCPFramingMode::none: break;
        }
    }
    reset();
    return packets;
}

void OSCTCPFrameAssembler::reset() {
    pending_.clear();
    discardingUntilEnd_ = false;
}

}  // namespace lanternwick
