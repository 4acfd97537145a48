#pragma once
// The names under which the settings are stored. The monitor reads and
// writes them; the terminal mode lays its flags over the same names, so a
// flag and a saved setting can never mean two different things.

#include <string_view>

namespace lanternwick::settingsKey {

inline constexpr std::string_view filePath = "tempolaneFilePath";
inline constexpr std::string_view eosHost = "eosHost";
inline constexpr std::string_view eosPort = "eosPort";
inline constexpr std::string_view optUpdateOnConnect = "optUpdateOnConnect";
inline constexpr std::string_view optSyncLabels = "optSyncLabels";
inline constexpr std::string_view optDeleteCues = "optDeleteCues";
// "slip" or "length" (settingText of EosFraming); anything else reads as SLIP.
inline constexpr std::string_view eosFraming = "eosFraming";

}  // namespace lanternwick::settingsKey
