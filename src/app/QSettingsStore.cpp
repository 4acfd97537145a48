#include "app/QSettingsStore.h"

#include <QSettings>

#include "support/IntegerText.h"

namespace lanternwick {
namespace {

QString keyOf(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

SettingsStore::Value readingOfText(std::string text) {
    if (text == "true") {
        return true;
    }
    if (text == "false") {
        return false;
    }
    if (const auto integer = parseInteger<std::int64_t>(text)) {
        return *integer;
    }
    return text;
}

}  // namespace

QSettingsStore::QSettingsStore() : settings_(std::make_unique<QSettings>()) {}

QSettingsStore::QSettingsStore(const QString& iniFilePath)
    : settings_(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() = default;

std::optional<SettingsStore::Value> QSettingsStore::value(std::string_view key) const {
    const QVariant stored = settings_->value(keyOf(key));
    if (!stored.isValid()) {
        return std::nullopt;
    }
    switch (stored.typeId()) {
    case QMetaType::Bool:
        return stored.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return stored.toLongLong();
    default:
        break;
    }
    if (!stored.canConvert<QString>()) {
        return std::nullopt;
    }
    return readingOfText(stored.toString().toStdString());
}

std::optional<std::string> QSettingsStore::stringValue(std::string_view key) const {
    const QVariant stored = settings_->value(keyOf(key));
    if (!stored.isValid() || stored.typeId() == QMetaType::Bool || !stored.canConvert<QString>()) {
        return std::nullopt;
    }
    std::string text = stored.toString().toStdString();
    // A text the INI file cannot tell from a boolean is one.
    if (stored.typeId() == QMetaType::QString && (text == "true" || text == "false")) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::int64_t> QSettingsStore::integerValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored || !std::holds_alternative<std::int64_t>(*stored)) {
        return std::nullopt;
    }
    return std::get<std::int64_t>(*stored);
}

std::optional<bool> QSettingsStore::boolValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored || !std::holds_alternative<bool>(*stored)) {
        return std::nullopt;
    }
    return std::get<bool>(*stored);
}

void QSettingsStore::setString(std::string_view key, std::string_view value) {
    settings_->setValue(keyOf(key), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    settings_->sync();
}

void QSettingsStore::setInteger(std::string_view key, std::int64_t value) {
    settings_->setValue(keyOf(key), static_cast<qlonglong>(value));
    settings_->sync();
}

void QSettingsStore::setBool(std::string_view key, bool value) {
    settings_->setValue(keyOf(key), value);
    settings_->sync();
}

void QSettingsStore::remove(std::string_view key) {
    settings_->remove(keyOf(key));
    settings_->sync();
}

}  // namespace lanternwick
