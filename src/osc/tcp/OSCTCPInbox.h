#pragma once
// OSCTCPInbox: the receive side of one OSCTCPClient, between the socket's
// reads and the deliveries. It puts frames back together across reads,
// keeps complete frames undecoded until there is room for them, and decodes
// them one at a time into shared packets, strings with any byte but NUL, as
// a console's labels need not be ASCII (OSCStringBytes). A packet's memory
// counts against the shared OSCTCPReceiveBacklog from decoding until the
// last reference to it is gone, that is until the last of its messages has
// been delivered.
// The inbox is owned by the client and used only on its queue; the backlog
// is thread-safe, as the references die wherever deliveries run.
// Limits: the backlog counts the received bytes of each packet plus an
// estimate of what its decoded values and deliveries take (see
// packetFootprint). A packet is decoded only while the backlog is below its
// limit, so at most the limit plus one packet is held; the caller neither
// decodes nor reads more until the backlog has fallen below half the limit.
// Undecoded frames are at most what one read brought plus one partial
// frame of at most maximumFrameBytes (see OSCTCPFrameAssembler).

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "osc/OSCBytes.h"
#include "osc/OSCPacket.h"
#include "osc/tcp/OSCTCPFrameAssembler.h"
#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {

class OSCTCPReceiveBacklog {
public:
    explicit OSCTCPReceiveBacklog(std::size_t limit) : limit_(limit) {}

    std::size_t limit() const { return limit_; }
    std::size_t bytes() const;

    void charge(std::size_t bytes);
    // May be called from any thread; runs a waiting onRoom on it once the
    // backlog falls below half the limit.
    void release(std::size_t bytes);
    // True when the backlog is at its limit; `onRoom` then runs once, as soon
    // as it has fallen below half (replacing any earlier waiter). Checking
    // and waiting are one step, so a release cannot slip in between.
    bool waitIfFull(std::function<void()> onRoom);

private:
    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::size_t bytes_ = 0;
    std::function<void()> onRoom_;
};

class OSCTCPInbox {
public:
    using PacketRef = std::shared_ptr<const OSCPacket>;

    // What a delivered message costs besides its values: the packet record,
    // the delivery task and its place in the consumer's queue.
    static constexpr std::size_t deliveryOverheadBytes = 256;

    OSCTCPInbox(OSCTCPFramingMode mode, std::size_t maximumFrameBytes, std::size_t backlogLimit);

    // Takes one read's bytes. When the stream lost its framing (an oversized
    // length header) and the connection must close: the size that header
    // announced. The frames before that point still wait to be decoded.
    std::optional<std::size_t> append(OSCByteView chunk);
    // The connection ended: a partial frame is unframed as it stands.
    void finish();
    // A new connection: a partial frame of the old one is dropped; complete
    // frames still wait their turn.
    void reset();

    bool hasWaitingFrames() const { return !frames_.empty(); }
    std::size_t waitingFrameBytes() const { return waitingBytes_; }
    std::size_t pendingPartialBytes() const { return assembler_.pendingBytes(); }

    // Decodes waiting frames until one gives a packet, charges the packet
    // to the backlog and returns it; null when no frame is left. Frames that
    // do not decode are dropped. Does not look at the backlog: that is the
    // caller's waitIfFull.
    PacketRef next();

    const std::shared_ptr<OSCTCPReceiveBacklog>& backlog() const { return backlog_; }

private:
    void take(std::vector<OSCBytes> packets);

    OSCTCPFrameAssembler assembler_;
    std::deque<OSCBytes> frames_;
    std::size_t waitingBytes_ = 0;
    std::shared_ptr<OSCTCPReceiveBacklog> backlog_;
};

// The received bytes plus what the decoded values and the deliveries of a
// packet take on the heap, roughly.
std::size_t packetFootprint(const OSCPacket& packet, std::size_t receivedBytes);

}  // namespace lanternwick
