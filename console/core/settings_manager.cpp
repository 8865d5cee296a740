#include "core/settings_manager.h"

#include <sys/stat.h>
#include <time.h>
#include <QFile>
#include <algorithm>
#include <optional>

#include "core/ini_file.h"
#include "core/safe_file.h"

namespace orvel {
namespace {

constexpr int kMaxValueChars = 1024;

// What tells a changed file from the one read: any writer, ours (a new file
// renamed over) or an editor's (in place, a new time of change), alters one.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec changed{};   // modification
    timespec statusAt{};  // status change
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
               statusAt.tv_sec == o.statusAt.tv_sec && statusAt.tv_nsec == o.statusAt.tv_nsec;
    }
};

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// File times advance in clock ticks: a file changed in place within the
// tick of the read would keep its stamp. A stamp this recent is not trusted;
// such a file is read again until it has settled.
bool settled(const std::optional<FileStamp>& stamp) {
    if (!stamp)
        return true;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto ms = [](const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    return ms(now) - std::max(ms(stamp->changed), ms(stamp->statusAt)) > 100;
}

}  // namespace

// The file as last read and its stamp then; `ini` is null until a read
// succeeded or after the file changed.
struct SettingsManager::Cache {
    std::unique_ptr<IniFile> ini;
    std::optional<FileStamp> stamp;
    bool trusted = false;  // the stamp had settled when the file was read

    // The file's current content, parsed only when it changed since; null
    // when it cannot be read (`error` says why).
    IniFile* current(const QString& path, QString* error = nullptr) {
        const std::optional<FileStamp> now = stampOf(path);
        if (ini && trusted && ini->path() == path && stamp == now)
            return ini.get();
        const bool steady = settled(now);
        auto fresh = std::make_unique<IniFile>(path);
        if (!fresh->load()) {
            if (error)
                *error = fresh->errorString();
            ini.reset();
            return nullptr;
        }
        ini = std::move(fresh);
        stamp = now;
        trusted = steady;
        return ini.get();
    }

    // After our own save the parsed content is the file's, but its stamp is
    // too recent to be trusted: the next read parses it again.
    void saved() { trusted = false; }
};

SettingsManager::SettingsManager(QString path)
    : path_(std::move(path)), cache_(std::make_unique<Cache>()) {}

SettingsManager::~SettingsManager() = default;

SettingsManager::SettingsManager(const SettingsManager& other)
    : path_(other.path_), cache_(std::make_unique<Cache>()) {}

SettingsManager& SettingsManager::operator=(const SettingsManager& other) {
    if (this != &other) {
        std::scoped_lock lock(mutex_, other.mutex_);
        path_ = other.path_;
        cache_ = std::make_unique<Cache>();
    }
    return *this;
}

void SettingsManager::setPath(QString path) {
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
    cache_ = std::make_unique<Cache>();
}

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
    std::lock_guard lock(mutex_);
    const IniFile* ini = cache_->current(path_);
    if (!ini)
        return def;
    const QString v = ini->value(section, key).left(maxChars);
    return v.isEmpty() ? def : v;
}

void SettingsManager::writeValue(const QString& section, const QString& key, const QString& value) {
    std::lock_guard lock(mutex_);
    QString error;
    IniFile* ini = cache_->current(path_, &error);
    if (!ini) {
        writeFailed(path_, error);  // never overwrite a file we could not read
        return;
    }
    ini->setValue(section, key, value);
    if (ini->save())
        cache_->saved();
    else
        cache_->ini.reset();  // the file keeps its old content: read it again
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
    std::lock_guard lock(mutex_);
    const IniFile* ini = cache_->current(path_);
    if (!ini)
        return false;
    properties = ini->entries(objectSection(id, index));
    return !properties.isEmpty();
}

void SettingsManager::WriteObjectSettings(TSettingsID id, int index,
                                          const PropertyList& properties) {
    std::lock_guard lock(mutex_);
    QString error;
    IniFile* ini = cache_->current(path_, &error);
    if (!ini) {
        writeFailed(path_, error);
        return;
    }
    const QString section = objectSection(id, index);
    for (const auto& [key, value] : properties)
        ini->setValue(section, key, value);
    if (ini->save())
        cache_->saved();
    else
        cache_->ini.reset();
}

}  // namespace orvel
