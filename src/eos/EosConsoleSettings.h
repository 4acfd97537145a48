#pragma once
// What the product assumes about a console until the user says otherwise:
// its address and the OSC TCP framing it speaks. The one place these
// defaults are written; the monitor, the terminal mode and the window read
// them from here. Plain constants and pure functions, any thread.

#include <cstdint>
#include <string_view>

#include "osc/tcp/OSCTCPFraming.h"

namespace lanternwick {

inline constexpr std::string_view defaultEosHost = "127.0.0.1";
// Saved settings rely on 8555; the console itself listens on 3032 unless
// another port was added in its Show Control setup.
inline constexpr std::uint16_t defaultEosPort = 8555;
inline constexpr std::uint16_t consoleDocumentedPort = 3032;

// SLIP is what earlier versions spoke, so it stays the default; the console's
// own default TCP mode is the packet length header.
enum class EosFraming { slip, packetLength };

// "slip" or "length": the stored setting and the terminal flag's value.
std::string_view settingText(EosFraming framing);
// Anything that is not "length" reads as SLIP.
EosFraming eosFramingFromSettingText(std::string_view text);
// "SLIP (OSC 1.1)" or "Packet length (OSC 1.0)".
std::string_view displayName(EosFraming framing);
OSCTCPFramingMode transportFraming(EosFraming framing);

}  // namespace lanternwick
