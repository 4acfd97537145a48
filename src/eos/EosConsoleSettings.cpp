#include "eos/EosConsoleSettings.h"

namespace lanternwick {

std::string_view settingText(EosFraming framing) {
    return framing == EosFraming::packetLength ? "length" : "slip";
}

EosFraming eosFramingFromSettingText(std::string_view text) {
    return text == "length" ? EosFraming::packetLength : EosFraming::slip;
}

std::string_view displayName(EosFraming framing) {
    return framing == EosFraming::packetLength ? "Packet length (OSC 1.0)" : "SLIP (OSC 1.1)";
}

OSCTCPFramingMode transportFraming(EosFraming framing) {
    return framing == EosFraming::packetLength ? OSCTCPFramingMode::osc1_0 : OSCTCPFramingMode::osc1_1;
}

}  // namespace lanternwick
