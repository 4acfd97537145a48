#pragma once
// OSCTCPFrameAssembler: puts the frames of one TCP connection back together
// across reads, since TCP keeps no boundaries. Bytes after the last complete
// frame wait for the next chunk; a SLIP frame is complete at its END byte, a
// length-header frame once all its bytes are there. Each complete frame is
// unframed on its own, so a malformed one is dropped without its neighbours.
// Owned by one OSCTCPClient and used only on its queue.
// Limits: at most `maximumFrameBytes` wait. A longer SLIP frame is dropped
// and the stream resynchronises at the next END; a longer length-header frame
// cannot be skipped reliably, so the assembler asks for the connection to be
// closed.

#include <cstddef>
#include <vector>

#include "osc/OSCBytes.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {

class OSCTCPFrameAssembler {
public:
    struct Output {
        std::vector<OSCBytes> packets;
        bool mustClose = false;
        // With mustClose: the size the refused length header announced.
        std::size_t refusedFrameBytes = 0;
    };

    explicit OSCTCPFrameAssembler(OSCTCPFramingMode mode, std::size_t maximumFrameBytes);

    Output append(OSCByteView chunk);
    // The connection closed: what is still pending is unframed as the
    // per-chunk functions would (a SLIP tail without END still counts), and
    // the assembler starts afresh.
    std::vector<OSCBytes> finish();
    void reset();

    std::size_t pendingBytes() const { return pending_.size(); }

private:
    void appendSLIP(OSCByteView chunk, Output& out);
    void appendLengthHeader(OSCByteView chunk, Output& out);
    void takeSLIPFrame(OSCByteView frame, Output& out);

    OSCTCPFramingMode mode_;
    std::size_t maximumFrameBytes_;
    OSCBytes pending_;
    bool discardingUntilEnd_ = false;
};

}  // namespace lanternwick
