#include "core/settings_manager.h"

#include "core/ini_file.h"

namespace orvel {
namespace {

constexpr int kMaxValueChars = 1024;

}  // namespace

SettingsManager::SettingsManager(QString path) : path_(std::move(path)) {}

QVariant SettingsManager::convert(const QString& stored, const QVariant& defaultValue) {
    bool ok = false;
    switch (defaultValue.typeId()) {
        case QMetaType::Bool: {
            const QString t = stored.trimmed();
            if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                return true;
            if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                return false;
            const qlonglong n = t.toLongLong(&ok);
            return ok ? QVariant(n != 0) : defaultValue;
        }
        case QMetaType::Int: {
            const int n = stored.trimmed().toInt(&ok);
            return ok ? QVariant(n) : defaultValue;
        }
        case QMetaType::UInt: {
            const uint n = stored.trimmed().toUInt(&ok);
            return ok ? QVariant(n) : defaultValue;
        }
        case QMetaType::LongLong: {
            const qlonglong n = stored.trimmed().toLongLong(&ok);
            return ok ? QVariant(n) : defaultValue;
        }
        default:
            return stored;
    }
}

QString SettingsManager::toText(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return value.toString();
}

QString SettingsManager::readValue(const QString& section, const QString& key, const QString& def,
                                   int maxChars) const {
    IniFile ini(path_);
    if (!ini.load())
        return def;
    const QString v = ini.value(section, key).left(maxChars);
    return v.isEmpty() ? def : v;
}

void SettingsManager::writeValue(const QString& section, const QString& key, const QString& value) {
    IniFile ini(path_);
    if (!ini.load())
        return;  // never overwrite a file we could not read
    ini.setValue(section, key, value);
    ini.save();
}

QVariant SettingsManager::read(const QString& key, const QVariant& defaultValue) const {
    const QString stored =
        readValue(QLatin1String(kSettingsSection), key, QString(), kMaxValueChars);
    if (stored.isEmpty())
        return defaultValue;
    return convert(stored, defaultValue);
}

QVariant SettingsManager::ReadSetting(TSettingsID id, const QVariant& defaultValue) const {
    return read(settingName(id), defaultValue);
}

void SettingsManager::WriteSetting(TSettingsID id, const QVariant& value) {
    writeValue(QLatin1String(kSettingsSection), settingName(id), toText(value));
}

QVariant SettingsManager::ReadIndexedSetting(TSettingsID id, int index,
                                             const QVariant& defaultValue) const {
    return read(indexedSettingName(id, index), defaultValue);
}

void SettingsManager::WriteIndexedSetting(TSettingsID id, int index, const QVariant& value) {
    writeValue(QLatin1String(kSettingsSection), indexedSettingName(id, index), toText(value));
}

namespace {

QString objectSection(TSettingsID id, int index) {
    return index < 0 ? settingName(id) : settingName(id) + QString::number(index);
}

}  // namespace

bool SettingsManager::ReadObjectSettings(TSettingsID id, int index,
                                         PropertyList& properties) const {
    IniFile ini(path_);
    if (!ini.load())
        return false;
    properties = ini.entries(objectSection(id, index));
    return !properties.isEmpty();
}

void SettingsManager::WriteObjectSettings(TSettingsID id, int index,
                                          const PropertyList& properties) {
    IniFile ini(path_);
    if (!ini.load())
        return;
    const QString section = objectSection(id, index);
    for (const auto& [key, value] : properties)
        ini.setValue(section, key, value);
    ini.save();
}

}  // namespace orvel
