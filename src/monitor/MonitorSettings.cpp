#include "monitor/MonitorSettings.h"

#include "monitor/SettingsKeys.h"
#include "support/TextRules.h"

namespace lanternwick {

MonitorSettings::MonitorSettings(std::shared_ptr<SettingsStore> store) : store_(std::move(store)) {
    const SettingsStore& settings = *store_;
    const auto storedPath = settings.stringValue(settingsKey::filePath);
    filePath_ = storedPath && !trimmed(*storedPath).empty() ? std::filesystem::path(*storedPath)
                                                            : defaultMarkerFilePath();

    const std::string host = trimmed(settings.stringValue(settingsKey::eosHost).value_or(""));
    eosHost_ = host.empty() ? std::string(defaultEosHost) : host;

    const std::int64_t port = settings.integerValue(settingsKey::eosPort).value_or(0);
    eosPort_ = port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : defaultEosPort;

    eosFraming_ = eosFramingFromSettingText(settings.stringValue(settingsKey::eosFraming).value_or(""));

    optUpdateOnConnect_ = settings.boolValue(settingsKey::optUpdateOnConnect).value_or(false);
    optSyncLabels_ = settings.boolValue(settingsKey::optSyncLabels).value_or(false);
    optDeleteCues_ = settings.boolValue(settingsKey::optDeleteCues).value_or(false);
}

ConsoleEndpoint MonitorSettings::normalisedEndpoint() const {
    std::string host = trimmed(eosHost_);
    if (host.empty()) {
        host = std::string(defaultEosHost);
    }
    return {std::move(host), eosPort_ == 0 ? defaultEosPort : eosPort_};
}

void MonitorSettings::saveEndpoint(const ConsoleEndpoint& endpoint) {
    eosHost_ = endpoint.host;
    eosPort_ = endpoint.port;
    store_->setString(settingsKey::eosHost, endpoint.host);
    store_->setInteger(settingsKey::eosPort, endpoint.port);
}

void MonitorSettings::setFilePath(const std::filesystem::path& path) {
    filePath_ = path;
    store_->setString(settingsKey::filePath, path.string());
}

void MonitorSettings::setEosFraming(EosFraming framing) {
    eosFraming_ = framing;
    store_->setString(settingsKey::eosFraming, settingText(framing));
}

void MonitorSettings::setOptUpdateOnConnect(bool value) {
    optUpdateOnConnect_ = value;
    store_->setBool(settingsKey::optUpdateOnConnect, value);
}

void MonitorSettings::setOptSyncLabels(bool value) {
    optSyncLabels_ = value;
    store_->setBool(settingsKey::optSyncLabels, value);
}

void MonitorSettings::setOptDeleteCues(bool value) {
    optDeleteCues_ = value;
    store_->setBool(settingsKey::optDeleteCues, value);
}

}  // namespace lanternwick
