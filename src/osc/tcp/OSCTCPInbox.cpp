#include "osc/tcp/OSCTCPInbox.h"

#include <optional>
#include <utility>

namespace lanternwick {

namespace {

std::size_t valueFootprint(const OSCValue& value) {
    std::size_t bytes = sizeof(OSCValue);
    if (const auto* text = value.getIf<std::string>()) bytes += text->capacity();
    if (const auto* alt = value.getIf<OSCStringAltValue>()) bytes += alt->string.capacity();
    if (const auto* blob = value.asBlob()) bytes += blob->capacity();
    if (const auto* array = value.asArray()) {
        for (const auto& element : array->elements) bytes += valueFootprint(element);
    }
    return bytes;
}

std::size_t decodedFootprint(const OSCPacket& packet) {
    std::size_t bytes = sizeof(OSCPacket);
    if (const OSCBundle* bundle = packet.bundle()) {
        for (const auto& element : bundle->elements()) bytes += decodedFootprint(element);
    } else if (const OSCMessage* message = packet.message()) {
        bytes += OSCTCPInbox::deliveryOverheadBytes + message->address().capacity();
        for (const auto& value : message->values()) bytes += valueFootprint(value);
    }
    return bytes;
}

// A packet and its charge, given back once the packet's memory is.
struct Charged {
    Charged(OSCPacket p, std::shared_ptr<OSCTCPReceiveBacklog> b) : packet(std::move(p)), backlog(std::move(b)) {}
    ~Charged() {
        packet.reset();
        backlog->release(cost);
    }
    Charged(const Charged&) = delete;
    Charged& operator=(const Charged&) = delete;

    std::optional<OSCPacket> packet;
    std::shared_ptr<OSCTCPReceiveBacklog> backlog;
    std::size_t cost = 0;
};

}  // namespace

std::size_t packetFootprint(const OSCPacket& packet, std::size_t receivedBytes) {
    // The received bytes stand for whatever copies of them the packet keeps.
    return receivedBytes + decodedFootprint(packet);
}

std::size_t OSCTCPReceiveBacklog::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void OSCTCPReceiveBacklog::charge(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    bytes_ += bytes;
}

void OSCTCPReceiveBacklog::release(std::size_t bytes) {
    std::function<void()> onRoom;
    {
        std::lock_guard lock(mutex_);
        bytes_ -= std::min(bytes, bytes_);
        if (onRoom_ && bytes_ < limit_ / 2) onRoom = std::exchange(onRoom_, {});
    }
    if (onRoom) onRoom();
}

bool OSCTCPReceiveBacklog::waitIfFull(std::function<void()> onRoom) {
    std::lock_guard lock(mutex_);
    if (bytes_ < limit_) return false;
    onRoom_ = std::move(onRoom);
    return true;
}

OSCTCPInbox::OSCTCPInbox(OSCTCPFramingMode mode, std::size_t maximumFrameBytes, std::size_t backlogLimit)
    : assembler_(mode, maximumFrameBytes), backlog_(std::make_shared<OSCTCPReceiveBacklog>(backlogLimit)) {}

std::optional<std::size_t> OSCTCPInbox::append(OSCByteView chunk) {
    auto output = assembler_.append(chunk);
    take(std::move(output.packets));
    if (!output.mustClose) return std::nullopt;
    return output.refusedFrameBytes;
}

void OSCTCPInbox::finish() { take(assembler_.finish()); }

void OSCTCPInbox::reset() { assembler_.reset(); }

void OSCTCPInbox::take(std::vector<OSCBytes> packets) {
    for (auto& packet : packets) {
        waitingBytes_ += packet.size();
        frames_.push_back(std::move(packet));
    }
}

OSCTCPInbox::PacketRef OSCTCPInbox::next() {
    while (!frames_.empty()) {
        const OSCBytes frame = std::move(frames_.front());
        frames_.pop_front();
        waitingBytes_ -= frame.size();
        auto decoded = OSCPacket::decode(OSCByteView(frame), OSCStringBytes::anyButNul);
        if (!decoded || !decoded->has_value()) continue;
        auto charged = std::make_shared<Charged>(std::move(**decoded), backlog_);
        charged->cost = packetFootprint(*charged->packet, frame.size());
        backlog_->charge(charged->cost);
        return PacketRef(charged, &*charged->packet);
    }
    return nullptr;
}

}  // namespace lanternwick
