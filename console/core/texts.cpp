#include "core/texts.h"

#include <QFileInfo>
#include <array>

#include "core/file_names.h"
#include "core/ini_file.h"

namespace orvel {
namespace {

constexpr QChar kGroupMark = QChar(7);

QString storedForm(TextId id, const QString& text) {
    if (id != textAllAbonents)
        return text;
    return QString(kGroupMark) + QLatin1Char(' ') + text + QLatin1Char(' ') + kGroupMark;
}

// The built-in texts in their stored form, made once: putting them back
// shares them instead of converting every text again.
const std::array<QString, kTextCount>& builtInTable() {
    static const std::array<QString, kTextCount> texts = [] {
        std::array<QString, kTextCount> t;
        for (int i = 0; i < kTextCount; ++i)
            t[i] = storedForm(TextId(i), QString::fromUtf8(textDef(TextId(i)).builtIn));
        return t;
    }();
    return texts;
}

std::array<QString, kTextCount>& table() {
    static std::array<QString, kTextCount> texts = builtInTable();
    return texts;
}

// textAllAbonents without its marks, as the language file holds it.
QString plainForm(TextId id) {
    QString t = table()[id];
    if (id == textAllAbonents && t.size() >= 4 && t.front() == kGroupMark &&
        t.back() == kGroupMark) {
        t = t.mid(2, t.size() - 4);
    }
    return t;
}

}  // namespace

const QString& T(TextId id) {
    return table()[size_t(id)];
}

void setText(TextId id, const QString& text) {
    table()[size_t(id)] = storedForm(id, text);
}

void resetTexts() {
    table() = builtInTable();
}

bool LoadLanguage(const QString& path) {
    IniFile ini(path);
    if (!QFileInfo::exists(path) || !ini.load())
        return false;
    // Section and key names are ASCII: looked up as they stand, unconverted.
    for (int i = 0; i < kTextCount; ++i) {
        const TextId id = TextId(i);
        const TextDef& def = textDef(id);
        const QString v = ini.valueOf(def.section, def.key);
        if (v.isEmpty())
            table()[size_t(id)] = builtInTable()[size_t(id)];
        else
            setText(id, v);
    }
    return true;
}

bool writeLanguageFile(const QString& path) {
    IniFile ini(path);
    for (int i = 0; i < kTextCount; ++i) {
        const TextId id = TextId(i);
        const TextDef& def = textDef(id);
        const QString section = QString::fromLatin1(def.section);
        const QString key = QString::fromLatin1(def.key);
        // textNoAbonentsToAlarm also supplies the stopped-run log entry; a
        // file that holds it sets both texts to one, so the template leaves
        // it out and both keep their built-in texts.
        if (QLatin1String(def.key) != QLatin1String("textNoAbonentsToAlarm"))
            ini.setValue(section, key, plainForm(id));
    }
    return ini.save();
}

QString languageFileFromPointer(const QString& pointerFile, const QString& exeDir) {
    IniFile ini(pointerFile);
    if (!QFileInfo::exists(pointerFile) || !ini.load())
        return {};
    const QString name = ini.value(QStringLiteral("Language"), QStringLiteral("File")).trimmed();
    if (name.isEmpty())
        return {};
    const QString path = QFileInfo(name).isAbsolute() ? name : findFileNoCase(exeDir, name);
    return QFileInfo::exists(path) ? path : QString();
}

}  // namespace orvel
