#include "core/ini_file.h"

#include <SimpleIni.h>
#include <QFile>
#include <algorithm>
#include <cctype>
#include <list>
#include <string>

#include "core/cp1251.h"
#include "core/safe_file.h"
#include "core/texts.h"

namespace orvel {

struct IniFile::Impl {
    CSimpleIniA ini{/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false};
};

namespace {

std::string bytes(const QString& s) {
    return cp1251::encode(s).toStdString();
}

QString unquoted(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return cp1251::decode(s);
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)), d_(std::make_unique<Impl>()) {
    d_->ini.SetSpaces(false);
}

IniFile::~IniFile() = default;

bool IniFile::load() {
    d_->ini.Reset();
    error_.clear();
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = file.errorString();
        return false;
    }
    // Read in pieces up to one past the limit rather than trust the size: a
    // device or a growing file may report another.
    QByteArray data;
    data.reserve(qsizetype(std::clamp<qint64>(file.size(), 0, kMaxBytes)));
    char piece[16384];
    for (;;) {
        const qint64 n = file.read(piece, sizeof piece);
        if (n < 0) {
            error_ = file.errorString();
            return false;
        }
        if (n == 0)
            break;
        data.append(piece, qsizetype(n));
        if (data.size() > kMaxBytes) {
            error_ = T(textIniFileTooLarge).arg(kMaxBytes / (1024 * 1024));
            return false;
        }
    }
    if (d_->ini.LoadData(data.constData(), size_t(data.size())) < 0) {
        error_ = file.errorString();
        return false;
    }
    return true;
}

bool IniFile::save() const {
    std::string out;
    if (d_->ini.Save(out, /*addSignature=*/false) < 0)
        return false;
    return writeFileSafely(path_, QByteArray(out.data(), qsizetype(out.size())));
}

bool IniFile::contains(const QString& section, const QString& key) const {
    return d_->ini.GetValue(bytes(section).c_str(), bytes(key).c_str(), nullptr) != nullptr;
}

// The profile functions drop blanks around a value and one pair of double
// quotes around it; a value that must keep its blanks is written quoted.
QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
    const char* v = d_->ini.GetValue(bytes(section).c_str(), bytes(key).c_str(), nullptr);
    return v ? unquoted(v) : fallback;
}

QString IniFile::valueOf(const char* section, const char* key) const {
    const char* v = d_->ini.GetValue(section, key, nullptr);
    return v ? unquoted(v) : QString();
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    std::string v = bytes(value);
    const bool quote = !v.empty() && (std::isspace(static_cast<unsigned char>(v.front())) ||
                                      std::isspace(static_cast<unsigned char>(v.back())) ||
                                      (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    if (quote)
        v = '"' + v + '"';
    d_->ini.SetValue(bytes(section).c_str(), bytes(key).c_str(), v.c_str());
}

void IniFile::addSection(const QString& section) {
    d_->ini.SetValue(bytes(section).c_str(), nullptr, nullptr);
}

bool IniFile::removeKey(const QString& section, const QString& key) {
    return d_->ini.Delete(bytes(section).c_str(), bytes(key).c_str());
}

bool IniFile::removeSection(const QString& section) {
    return d_->ini.Delete(bytes(section).c_str(), nullptr);
}

QStringList IniFile::sections() const {
    CSimpleIniA::TNamesDepend names;
    d_->ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    QStringList out;
    for (const auto& n : names)
        out << cp1251::decode(std::string_view(n.pItem));
    return out;
}

QList<std::pair<QString, QString>> IniFile::entries(const QString& section) const {
    QList<std::pair<QString, QString>> out;
    const std::string sec = bytes(section);
    CSimpleIniA::TNamesDepend keys;
    if (!d_->ini.GetAllKeys(sec.c_str(), keys))
        return out;
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& k : keys) {
        const char* v = d_->ini.GetValue(sec.c_str(), k.pItem, "");
        out.append({cp1251::decode(std::string_view(k.pItem)), unquoted(v)});
    }
    return out;
}

}  // namespace orvel
