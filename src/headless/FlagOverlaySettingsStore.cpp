#include "headless/FlagOverlaySettingsStore.h"

namespace lanternwick {

FlagOverlaySettingsStore::FlagOverlaySettingsStore(SettingsStore& base,
                                                   std::map<std::string, Value, std::less<>> overrides)
    : base_(base), overrides_(std::move(overrides)) {}

const SettingsStore::Value* FlagOverlaySettingsStore::overridden(const std::string_view key) const {
    const auto it = overrides_.find(key);
    return it == overrides_.end() ? nullptr : &it->second;
}

std::optional<SettingsStore::Value> FlagOverlaySettingsStore::value(const std::string_view key) const {
    if (const Value* flag = overridden(key)) return *flag;
    return base_.value(key);
}

std::optional<std::string> FlagOverlaySettingsStore::stringValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return base_.stringValue(key);
    if (const auto* text = std::get_if<std::string>(flag)) return *text;
    if (const auto* number = std::get_if<std::int64_t>(flag)) return std::to_string(*number);
    return std::nullopt;
}

std::optional<std::int64_t> FlagOverlaySettingsStore::integerValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return base_.integerValue(key);
    if (const auto* number = std::get_if<std::int64_t>(flag)) return *number;
    return std::nullopt;
}

std::optional<bool> FlagOverlaySettingsStore::boolValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return base_.boolValue(key);
    if (const auto* boolean = std::get_if<bool>(flag)) return *boolean;
    return std::nullopt;
}

void FlagOverlaySettingsStore::setString(const std::string_view key, const std::string_view value) {
    if (!overridden(key)) base_.setString(key, value);
}

void FlagOverlaySettingsStore::setInteger(const std::string_view key, const std::int64_t value) {
    if (!overridden(key)) base_.setInteger(key, value);
}

void FlagOverlaySettingsStore::setBool(const std::string_view key, const bool value) {
    if (!overridden(key)) base_.setBool(key, value);
}

void FlagOverlaySettingsStore::remove(const std::string_view key) {
    if (!overridden(key)) base_.remove(key);
}

}  // namespace lanternwick
