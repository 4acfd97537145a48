#pragma once
// QSettingsStore: the monitor's settings on QSettings, the platform's native
// per-user store (an INI file under ~/.config on Linux, the defaults database
// on macOS, the registry on Windows). main() creates it once, after the
// organisation and application names are set, and owns it for the run.
// GUI thread (or the headless runner's thread) only.
//
// Native backends differ in what they keep: the INI file stores text only, so
// after a restart a stored integer or boolean comes back as a string. Reads
// therefore take the stored text at its word: "true"/"false" are booleans and
// a text of decimal digits is also an integer. Every write is flushed at once,
// because the headless runner has no Qt event loop to flush it later.

#include <memory>

#include <QString>

#include "monitor/SettingsStore.h"

class QSettings;

namespace lanternwick {

class QSettingsStore final : public SettingsStore {
public:
    // The application's own store, named after the QCoreApplication names.
    QSettingsStore();
    // A store in the given INI file; for tests and for running from a
    // scratch configuration.
    explicit QSettingsStore(const QString& iniFilePath);
    ~QSettingsStore() override;

    std::optional<Value> value(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<std::int64_t> integerValue(std::string_view key) const override;
    std::optional<bool> boolValue(std::string_view key) const override;

    void setString(std::string_view key, std::string_view value) override;
    void setInteger(std::string_view key, std::int64_t value) override;
    void setBool(std::string_view key, bool value) override;
    void remove(std::string_view key) override;

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace lanternwick
