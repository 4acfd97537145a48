#include "osc/OSCPacket.h"

namespace lanternwick {

Result<OSCBytes, OSCEncodeError> OSCPacket::rawData() const {
    return std::visit([](const auto& packet) { return packet.rawData(); }, packet_);
}

Result<void, OSCEncodeError> OSCPacket::appendRawData(OSCBytes& out) const {
    return std::visit([&](const auto& packet) { return packet.appendRawData(out); }, packet_);
}

std::string OSCPacket::description() const {
    return std::visit([](const auto& packet) { return packet.description(); }, packet_);
}

}  // namespace lanternwick
