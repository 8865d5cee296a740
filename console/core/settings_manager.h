#pragma once
// The settings store: one ini file, read and written one value at a time so
// that every change reaches the disk at once. Values travel as variants; the
// type of the default tells how a stored text is read back. The file is parsed
// again only when it changed on the disk: the line settings alone are
// thousands of reads at start.

#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>
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
    ~SettingsManager();
    // A copy reads the same file through a cache of its own.
    SettingsManager(const SettingsManager& other);
    SettingsManager& operator=(const SettingsManager& other);

    const QString& path() const { return path_; }
    void setPath(QString path);

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
    // A file that cannot be read (or is too large to be a settings file) is
    // left as it is and the failure reported like any failed write.
    void writeValue(const QString& section, const QString& key, const QString& value);

    // Reads a stored text as the default's type: booleans accept "True",
    // "False" or an integer (0 is false); a text that does not convert gives
    // the default.
    static QVariant convert(const QString& stored, const QVariant& defaultValue);
    static QString toText(const QVariant& value);

private:
    struct Cache;
    QVariant read(const QString& key, const QVariant& defaultValue) const;
    QString path_;
    mutable std::mutex mutex_;
    std::unique_ptr<Cache> cache_;
};

}  // namespace orvel
