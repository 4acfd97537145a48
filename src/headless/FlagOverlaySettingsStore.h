#pragma once
// FlagOverlaySettingsStore: a SettingsStore that answers from command-line
// flags first and from the underlying store for everything else. Writes to
// a key a flag overrides are dropped, so a run with flags never changes the
// saved settings; other writes pass through. Borrows the underlying store,
// which must outlive it. Main thread only, like the store it wraps.

#include <map>
#include <string>

#include "monitor/SettingsStore.h"

namespace lanternwick {

class FlagOverlaySettingsStore final : public SettingsStore {
public:
    FlagOverlaySettingsStore(SettingsStore& base, std::map<std::string, Value, std::less<>> overrides);

    std::optional<Value> value(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<std::int64_t> integerValue(std::string_view key) const override;
    std::optional<bool> boolValue(std::string_view key) const override;

    void setString(std::string_view key, std::string_view value) override;
    void setInteger(std::string_view key, std::int64_t value) override;
    void setBool(std::string_view key, bool value) override;
    void remove(std::string_view key) override;

private:
    const Value* overridden(std::string_view key) const;

    SettingsStore& base_;
    std::map<std::string, Value, std::less<>> overrides_;
};

}  // namespace lanternwick
