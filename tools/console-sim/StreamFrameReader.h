#pragma once
// StreamFrameReader: the OSC packets of one connection's byte stream in
// either framing, however the stream was split into reads. SLIP frames are
// cut at END bytes (SlipFrameReader) and unstuffed; a packet-length frame is
// its 4-byte big-endian size and that many bytes. A frame that cannot be
// read (bad SLIP escapes, or either kind over the size limit, 1 MiB) ends the
// stream: the console closes such a connection, so the reader reports why
// and takes nothing more. One reader per connection, used from the
// connection's thread only.

#include <cstddef>
#include <string>
#include <vector>

#include "console-sim/SlipFrameReader.h"
#include "osc/OSCBytes.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick::sim {

class StreamFrameReader {
public:
    struct Output {
        std::vector<OSCBytes> packets;
        // Why the stream cannot be read any further; empty while it can.
        std::string unreadable;
    };

    explicit StreamFrameReader(OSCTCPFramingMode mode,
                               std::size_t maximumFrameSize = SlipFrameReader::defaultMaximumFrameSize);

    Output feed(OSCByteView bytes);

private:
    void feedLength(OSCByteView bytes, Output& out);

    OSCTCPFramingMode mode_;
    std::size_t maximumFrameSize_;
    SlipFrameReader slip_;
    OSCBytes pending_;
    bool ended_ = false;
};

}  // namespace lanternwick::sim
