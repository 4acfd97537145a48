#pragma once
// MonitorSettings: the six settings the monitor keeps across runs (the marker
// file, the console's host, port and framing, and the three options), read
// from a SettingsStore under the names in SettingsKeys.h, with the defaults
// and normalisation applied in one place. The terminal mode lays its flags
// over the same store, so whatever it passes is read here like a saved value.
// Holds the values and writes them back; telling observers and reconnecting
// stay with the monitor. Not thread-safe; the monitor's main thread only.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "eos/EosConsoleSettings.h"
#include "monitor/SettingsStore.h"

namespace lanternwick {

struct ConsoleEndpoint {
    std::string host;
    std::uint16_t port = 0;

    friend bool operator==(const ConsoleEndpoint&, const ConsoleEndpoint&) = default;
};

class MonitorSettings {
public:
    // Reads every setting once. A blank path, a blank host or a port outside
    // 1-65535 reads as the default; so does a value of the wrong kind.
    explicit MonitorSettings(std::shared_ptr<SettingsStore> store);

    const std::filesystem::path& filePath() const { return filePath_; }
    const std::string& eosHost() const { return eosHost_; }
    std::uint16_t eosPort() const { return eosPort_; }
    EosFraming eosFraming() const { return eosFraming_; }
    bool optUpdateOnConnect() const { return optUpdateOnConnect_; }
    bool optSyncLabels() const { return optSyncLabels_; }
    bool optDeleteCues() const { return optDeleteCues_; }

    // Kept as typed and not stored: an edit in progress is saved only once
    // it is applied, normalised, by saveEndpoint.
    void setEosHost(std::string host) { eosHost_ = std::move(host); }
    void setEosPort(std::uint16_t port) { eosPort_ = port; }
    // What the typed host and port stand for: trimmed, blanks and 0 replaced
    // by the defaults. Changes nothing.
    ConsoleEndpoint normalisedEndpoint() const;
    void saveEndpoint(const ConsoleEndpoint& endpoint);

    // Stored at once.
    void setFilePath(const std::filesystem::path& path);
    void setEosFraming(EosFraming framing);
    void setOptUpdateOnConnect(bool value);
    void setOptSyncLabels(bool value);
    void setOptDeleteCues(bool value);

private:
    std::shared_ptr<SettingsStore> store_;
    std::filesystem::path filePath_;
    std::string eosHost_{defaultEosHost};
    std::uint16_t eosPort_ = defaultEosPort;
    EosFraming eosFraming_ = EosFraming::slip;
    bool optUpdateOnConnect_ = false;
    bool optSyncLabels_ = false;
    bool optDeleteCues_ = false;
};

// The user's home directory from the user database (or "/Users/" and the
// login name when it has none), then Documents/Tempolane/Lighting.xml.
std::filesystem::path defaultMarkerFilePath();

}  // namespace lanternwick
