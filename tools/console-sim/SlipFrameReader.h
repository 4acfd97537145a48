#pragma once
// SlipFrameReader: cuts a TCP byte stream into SLIP frames, however the
// stream was split into reads. A frame is everything between two END bytes
// (still byte-stuffed: the caller unstuffs it with slipDecode); empty frames
// from back-to-back ENDs are skipped. Frames over the size limit are dropped
// whole, up to their closing END, so a peer that never sends END cannot make
// the buffer grow without bound. One reader per connection, used from the
// connection's thread only.

#include <cstddef>
#include <vector>

#include "osc/OSCBytes.h"

namespace lanternwick::sim {

class SlipFrameReader {
public:
    static constexpr std::size_t defaultMaximumFrameSize = 1 << 20;

    explicit SlipFrameReader(std::size_t maximumFrameSize = defaultMaximumFrameSize);

    // The frames completed by these bytes, in stream order.
    std::vector<OSCBytes> feed(OSCByteView bytes);

    // Bytes of the frame still waiting for its END.
    std::size_t pendingSize() const { return pending_.size(); }
    std::size_t droppedFrames() const { return droppedFrames_; }

private:
    std::size_t maximumFrameSize_;
    OSCBytes pending_;
    bool discarding_ = false;
    std::size_t droppedFrames_ = 0;
};

}  // namespace lanternwick::sim
