#pragma once
// One Windows-style ini file in Windows-1251: sections in brackets, "key=value"
// lines. Section and key names compare without regard to letter case, as the
// platform's profile functions do. Saving writes a new file beside the old one
// and renames it over, so a crash mid-write keeps the previous content.

#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

namespace orvel {

class IniFile {
public:
    explicit IniFile(QString path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const QString& path() const { return path_; }

    // Reads the file; a missing file gives an empty ini and true. False when
    // the file exists but cannot be read, or is larger than kMaxBytes (a
    // settings or language file is a few hundred kilobytes at most; a larger
    // one would take many times its size in memory and a long time to read).
    bool load();
    // Why the last load failed; empty after a successful one.
    const QString& errorString() const { return error_; }
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;
    bool save() const;

    bool contains(const QString& section, const QString& key) const;
    // The stored text, or `fallback` when the key is absent.
    QString value(const QString& section, const QString& key,
                  const QString& fallback = QString()) const;
    // The same for names given as the file's own bytes (ASCII names of the
    // program's tables); an empty text when the key is absent.
    QString valueOf(const char* section, const char* key) const;
    void setValue(const QString& section, const QString& key, const QString& value);
    void addSection(const QString& section);
    bool removeKey(const QString& section, const QString& key);
    bool removeSection(const QString& section);

    QStringList sections() const;
    // Pairs of a section in file order.
    QList<std::pair<QString, QString>> entries(const QString& section) const;

private:
    struct Impl;
    QString path_;
    QString error_;
    std::unique_ptr<Impl> d_;
};

}  // namespace orvel
