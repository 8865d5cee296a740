#pragma once
// The product word and the names formed from it, plus case-insensitive lookup
// of the program's fixed file names (the files come from a system where
// letter case of file names does not matter).

#include <QString>

namespace orvel {

inline constexpr char kProductWord[] = "ORVEL";

struct ProductNames {
    QString word = QString::fromLatin1(kProductWord);
    // Log file names change only when branding supplied the word.
    bool branded = false;

    QString registryKey() const { return QStringLiteral("SOFTWARE\\") + word; }
    QString settingsFileName() const { return word + QStringLiteral(".ini"); }
    QString operatorsFileName() const { return word + QStringLiteral("Users.dat"); }
    QString systemLogFileName() const {
        return branded ? word + QStringLiteral("Sys.log") : QStringLiteral("OrvelSys.log");
    }
    QString lineLibraryLogFileName() const {
        return branded ? word + QStringLiteral("Dll.log") : QStringLiteral("OrvelDll.log");
    }
    static QString helpFileName() { return QStringLiteral("orvel.hlp"); }
};

// dir + "/" + the entry of `dir` whose name equals `name` ignoring case; when
// none exists, dir + "/" + name as given.
QString findFileNoCase(const QString& dir, const QString& name);

// Removes trailing path delimiters ("/" and "\"), keeping a lone root "/".
QString withoutTrailingDelimiter(QString path);

}  // namespace orvel
