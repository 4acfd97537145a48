#include "monitor/SettingsStore.h"

#include "support/IntegerText.h"

namespace lanternwick {

std::optional<SettingsStore::Value> InMemorySettingsStore::value(std::string_view key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> InMemorySettingsStore::stringValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return std::nullopt;
    }
    if (const auto* text = std::get_if<std::string>(&*stored)) {
        return *text;
    }
    if (const auto* number = std::get_if<std::int64_t>(&*stored)) {
        return std::to_string(*number);
    }
    return std::nullopt;
}

std::optional<std::int64_t> InMemorySettingsStore::integerValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return std::nullopt;
    }
    if (const auto* number = std::get_if<std::int64_t>(&*stored)) {
        return *number;
    }
    if (const auto* flag = std::get_if<bool>(&*stored)) {
        return *flag ? 1 : 0;
    }
    const auto& text = std::get<std::string>(*stored);
    return parseInteger<std::int64_t>(text);
}

std::optional<bool> InMemorySettingsStore::boolValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return std::nullopt;
    }
    if (const auto* flag = std::get_if<bool>(&*stored)) {
        return *flag;
    }
    return std::nullopt;
}

void InMemorySettingsStore::setString(std::string_view key, std::string_view value) {
    values_.insert_or_assign(std::string(key), Value(std::string(value)));
    ++writeCount_;
}

void InMemorySettingsStore::setInteger(std::string_view key, std::int64_t value) {
    values_.insert_or_assign(std::string(key), Value(value));
    ++writeCount_;
}

void InMemorySettingsStore::setBool(std::string_view key, bool value) {
    values_.insert_or_assign(std::string(key), Value(value));
    ++writeCount_;
}

void InMemorySettingsStore::remove(std::string_view key) {
    const auto found = values_.find(key);
    if (found != values_.end()) {
        values_.erase(found);
        ++writeCount_;
    }
}

}  // namespace lanternwick
