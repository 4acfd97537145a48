#pragma once
// FlagOverlaySettingsStore: a SettingsStore that answers from command-line
// flags first and from the underlying store for everything else. Writes to
// a key a flag overrides are dropped, so a run with flags never changes the
// saved settings. Other writes pass through (the window, where the user
// edits the settings), or, with Writes::keptForRun (the terminal mode, which
// has only flags to edit with), stay in memory and are read back for the
// rest of the run, so nothing of such a run reaches the saved settings.
// Borrows the underlying store, which must outlive it. Main thread only,
// like the store it wraps.

#include <map>
#include <set>
#include <string>

#include "monitor/SettingsStore.h"

namespace lanternwick {

class FlagOverlaySettingsStore final : public SettingsStore {
public:
    enum class Writes { passThrough, keptForRun };

    FlagOverlaySettingsStore(SettingsStore& base, std::map<std::string, Value, std::less<>> overrides,
                             Writes writes = Writes::passThrough);

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
    // False when the write was kept out of the underlying store.
    bool passesThrough(std::string_view key, const Value& value);

    SettingsStore& base_;
    std::map<std::string, Value, std::less<>> overrides_;
    Writes writes_;
    std::map<std::string, Value, std::less<>> keptWrites_;
    std::set<std::string, std::less<>> keptRemovals_;
};

}  // namespace lanternwick
