// The OSC TCP client's receive path (reassembly, decoding, the receive
// backlog) fed a hostile stream in reads of sizes the fuzzer picks, with a
// consumer that takes deliveries at a pace the fuzzer picks too. It reads
// the way the client does: only while no frame waits and the backlog has
// room. Memory must stay bounded throughout: the backlog is exactly what the
// undelivered packets cost and never more than its limit plus one packet, no
// packet costs more than 64 bytes per received byte (plus a constant),
// waiting bytes stay within one read plus one frame, and once everything
// has been delivered nothing is left counted and a paused reader was woken.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "osc/tcp/OSCTCPInbox.h"

namespace lanternwick {
namespace {

using fuzz::require;

constexpr std::size_t largestRead = 512;

struct Consumer {
    std::deque<OSCTCPInbox::PacketRef> held;
    std::size_t heldCost = 0;
    std::deque<std::size_t> costs;

    void take(OSCTCPInbox::PacketRef packet, std::size_t cost) {
        held.push_back(std::move(packet));
        costs.push_back(cost);
        heldCost += cost;
    }
    void deliver(std::size_t count) {
        for (; count > 0 && !held.empty(); --count) {
            held.pop_front();
            heldCost -= costs.front();
            costs.pop_front();
        }
    }
};

class ReceivePath {
public:
    ReceivePath(OSCTCPFramingMode mode, std::size_t frameLimit, std::size_t backlogLimit)
        : inbox_(mode, frameLimit, backlogLimit), frameLimit_(frameLimit) {}

    bool wantsBytes() const { return !paused_ && !inbox_.hasWaitingFrames(); }

    void read(OSCByteView chunk) {
        if (closed_) return;
        closed_ = inbox_.append(chunk).has_value();
        require(inbox_.waitingFrameBytes() <= largestRead + frameLimit_ + 4, "waiting frames are one read and one frame");
        require(inbox_.pendingPartialBytes() <= frameLimit_ + 4, "a partial frame stays within the frame limit");
        pump();
    }

    // The client's pump: decode while the backlog has room.
    void pump() {
        const auto& backlog = inbox_.backlog();
        for (;;) {
            woken_ = false;
            paused_ = backlog->waitIfFull([this] { woken_ = true; });
            if (paused_) return;
            const std::size_t before = backlog->bytes();
            auto packet = inbox_.next();
            if (!packet) return;
            const std::size_t cost = backlog->bytes() - before;
            const std::size_t received = packet->rawData()->size();
            require(cost == packetFootprint(*packet, received), "a packet is charged what it costs");
            require(cost <= 64 * received + 1024, "a packet costs at most 64 bytes per received byte");
            largestPacket_ = std::max(largestPacket_, cost);
            consumer_.take(std::move(packet), cost);
            require(backlog->bytes() <= backlog->limit() + largestPacket_, "the backlog passes its limit by one packet at most");
        }
    }

    void deliver(std::size_t count) {
        consumer_.deliver(count);
        const auto& backlog = inbox_.backlog();
        require(backlog->bytes() == consumer_.heldCost, "the backlog is what the undelivered packets cost");
        if (paused_ && backlog->bytes() < backlog->limit() / 2) {
            require(woken_, "a paused reader is woken once the backlog is below half");
            pump();
        }
    }

    void finish() {
        inbox_.finish();
        pump();
        while (!consumer_.held.empty() || inbox_.hasWaitingFrames()) {
            deliver(consumer_.held.size());
            pump();
        }
        require(inbox_.backlog()->bytes() == 0, "nothing is left counted");
    }

private:
    OSCTCPInbox inbox_;
    std::size_t frameLimit_;
    Consumer consumer_;
    std::size_t largestPacket_ = 0;
    bool paused_ = false;
    bool woken_ = false;
    bool closed_ = false;
};

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    FuzzedDataProvider provider(data, size);
    const OSCTCPFramingMode modes[] = {OSCTCPFramingMode::osc1_1, OSCTCPFramingMode::osc1_0, OSCTCPFramingMode::none};
    const auto mode = modes[provider.ConsumeIntegralInRange<int>(0, 2)];
    const std::size_t frameLimit = provider.ConsumeIntegralInRange<std::size_t>(16, 4096);
    const std::size_t backlogLimit = provider.ConsumeIntegralInRange<std::size_t>(64, 64 * 1024);
    ReceivePath path(mode, frameLimit, backlogLimit);

    while (provider.remaining_bytes() > 0) {
        const std::uint8_t step = provider.ConsumeIntegral<std::uint8_t>();
        if (step < 64) {
            path.deliver(step % 8);
        } else if (path.wantsBytes()) {
            const auto length = provider.ConsumeIntegralInRange<std::size_t>(0, largestRead);
            const auto chunk = provider.ConsumeBytes<std::uint8_t>(length);
            path.read(OSCByteView(chunk));
        } else {
            path.deliver(1);
        }
    }
    path.finish();
    return 0;
}
