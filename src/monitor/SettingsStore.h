#pragma once
// SettingsStore: the per-user key/value store that keeps the monitor's six
// settings between runs. The window backs it with QSettings; tests and the
// headless runner use InMemorySettingsStore.
// Owned by the application; the monitor borrows it for its whole life.
// Called on the main thread only. Write outcomes are not reported: a store
// that cannot persist simply forgets.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lanternwick {

class SettingsStore {
public:
    using Value = std::variant<std::string, std::int64_t, bool>;

    virtual ~SettingsStore() = default;

    // Whatever is stored under the key, in the type it was stored with
    // (a backend that keeps only text returns its best reading of it).
    virtual std::optional<Value> value(std::string_view key) const = 0;

    // The value read as a string: a stored string as is, an integer as its
    // decimal text; absent for a boolean or a missing key.
    virtual std::optional<std::string> stringValue(std::string_view key) const = 0;
    // The value read as an integer: absent when missing or not readable as one.
    virtual std::optional<std::int64_t> integerValue(std::string_view key) const = 0;
    // The value only if it is stored as a boolean.
    virtual std::optional<bool> boolValue(std::string_view key) const = 0;

    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setInteger(std::string_view key, std::int64_t value) = 0;
    virtual void setBool(std::string_view key, bool value) = 0;
    virtual void remove(std::string_view key) = 0;
};

// A store that lives as long as the object; for tests and throwaway runs.
class InMemorySettingsStore final : public SettingsStore {
public:
    std::optional<Value> value(std::string_view key) const override;
    std::optional<std::string> stringValue(std::string_view key) const override;
    std::optional<std::int64_t> integerValue(std::string_view key) const override;
    std::optional<bool> boolValue(std::string_view key) const override;

    void setString(std::string_view key, std::string_view value) override;
    void setInteger(std::string_view key, std::int64_t value) override;
    void setBool(std::string_view key, bool value) override;
    void remove(std::string_view key) override;

    // Number of writes so far, so tests can tell "written again" from "left alone".
    int writeCount() const { return writeCount_; }

private:
    std::map<std::string, Value, std::less<>> values_;
    int writeCount_ = 0;
};

}  // namespace lanternwick
