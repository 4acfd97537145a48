#include "headless/FlagOverlaySettingsStore.h"

namespace lanternwick {

FlagOverlaySettingsStore::FlagOverlaySettingsStore(SettingsStore& base,
                                                   std::map<std::string, Value, std::less<>> overrides,
                                                   Writes writes)
    : base_(base), overrides_(std::move(overrides)), writes_(writes) {}

const SettingsStore::Value* FlagOverlaySettingsStore::overridden(const std::string_view key) const {
    if (const auto it = overrides_.find(key); it != overrides_.end()) return &it->second;
    if (const auto it = keptWrites_.find(key); it != keptWrites_.end()) return &it->second;
    return nullptr;
}

bool FlagOverlaySettingsStore::passesThrough(const std::string_view key, const Value& value) {
    if (overrides_.contains(key)) return false;
    if (writes_ == Writes::passThrough) return true;
    keptRemovals_.erase(std::string(key));
    keptWrites_.insert_or_assign(std::string(key), value);
    return false;
}

std::optional<SettingsStore::Value> FlagOverlaySettingsStore::value(const std::string_view key) const {
    if (const Value* flag = overridden(key)) return *flag;
    if (keptRemovals_.contains(key)) return std::nullopt;
    return base_.value(key);
}

std::optional<std::string> FlagOverlaySettingsStore::stringValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return keptRemovals_.contains(key) ? std::nullopt : base_.stringValue(key);
    if (const auto* text = std::get_if<std::string>(flag)) return *text;
    if (const auto* number = std::get_if<std::int64_t>(flag)) return std::to_string(*number);
    return std::nullopt;
}

std::optional<std::int64_t> FlagOverlaySettingsStore::integerValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return keptRemovals_.contains(key) ? std::nullopt : base_.integerValue(key);
    if (const auto* number = std::get_if<std::int64_t>(flag)) return *number;
    return std::nullopt;
}

std::optional<bool> FlagOverlaySettingsStore::boolValue(const std::string_view key) const {
    const Value* flag = overridden(key);
    if (!flag) return keptRemovals_.contains(key) ? std::nullopt : base_.boolValue(key);
    if (const auto* boolean = std::get_if<bool>(flag)) return *boolean;
    return std::nullopt;
}

void FlagOverlaySettingsStore::setString(const std::string_view key, const std::string_view value) {
    if (passesThrough(key, std::string(value))) base_.setString(key, value);
}

void FlagOverlaySettingsStore::setInteger(const std::string_view key, const std::int64_t value) {
    if (passesThrough(key, value)) base_.setInteger(key, value);
}

void FlagOverlaySettingsStore::setBool(const std::string_view key, const bool value) {
    if (passesThrough(key, value)) base_.setBool(key, value);
}

void FlagOverlaySettingsStore::remove(const std::string_view key) {
    if (overrides_.contains(key)) return;
    if (writes_ == Writes::passThrough) {
        base_.remove(key);
        return;
    }
    keptWrites_.erase(std::string(key));
    keptRemovals_.emplace(key);
}

}  // namespace lanternwick
