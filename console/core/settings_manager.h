#pragma once
// The settings store: one ini file, read and written one value at a time so
// that every change reaches the disk at once. Values travel as variants; the
// type of the default tells how a stored text is read back.

#include <QString>
#include <QVariant>
#include <utility>

#include "core/settings_id.h"

namespace orvel {

inline constexpr char kSettingsSection[] = "ID_SETTINGS";

// The property/value pairs of one object setting (a font, for example), in the
// order they were written.
using PropertyList = QList<std::pair<QString, QString>>;

class SettingsManager {
public:
    // Until start-up fixes the path the store works on a relative "Settings.ini".
    explicit SettingsManager(QString path = QStringLiteral("Settings.ini"));

    const QString& path() const { return path_; }
    void setPath(QString path) { path_ = std::move(path); }

    QVariant ReadSetting(TSettingsID id, const QVariant& defaultValue) const;
    void WriteSetting(TSettingsID id, const QVariant& value);
    QVariant ReadIndexedSetting(TSettingsID id, int index, const QVariant& defaultValue) const;
    void WriteIndexedSetting(TSettingsID id, int index, const QVariant& value);
    // index < 0: the section is the bare identifier name.
    bool ReadObjectSettings(TSettingsID id, int index, PropertyList& properties) const;
    void WriteObjectSettings(TSettingsID id, int index, const PropertyList& properties);

    // Typed shorthands over ReadSetting / ReadIndexedSetting.
    int readInt(TSettingsID id, int def) const { return ReadSetting(id, def).toInt(); }
    bool readBool(TSettingsID id, bool def) const { return ReadSetting(id, def).toBool(); }
    QString readString(TSettingsID id, const QString& def) const {
        return ReadSetting(id, def).toString();
    }
    int readIndexedInt(TSettingsID id, int index, int def) const {
        return ReadIndexedSetting(id, index, def).toInt();
    }

    // Any section and key of the same file (window placement, "DEVELOPER").
    QString readValue(const QString& section, const QString& key, const QString& def,
                      int maxChars = 1024) const;
    void writeValue(const QString& section, const QString& key, const QString& value);

    // Reads a stored text as the default's type: booleans accept "True",
    // "False" or an integer (0 is false); a text that does not convert gives
    // the default.
    static QVariant convert(const QString& stored, const QVariant& defaultValue);
    static QString toText(const QVariant& value);

private:
    QVariant read(const QString& key, const QVariant& defaultValue) const;
    QString path_;
};

}  // namespace orvel
