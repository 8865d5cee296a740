#include "notify/notify_scheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>

#include "core/cp1251.h"
#include "core/safe_file.h"
#include "core/texts.h"

namespace orvel {

namespace {
constexpr int kMessageOffset = 0;
constexpr int kSecondNameOffset = 255;
constexpr int kTextField = 255;
constexpr int kAttemptsOffset = 512;
constexpr int kPauseOffset = 516;
constexpr int kGroupsOffset = 520;
constexpr int kGroupSlot = 256;
constexpr int kSortOffset = 13320;
constexpr int kLimitOffset = 13324;

int32_t readI32(const QByteArray& r, int at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(r[at + i]);
    return int32_t(v);
}
void writeI32(QByteArray& r, int at, int32_t value) {
    const auto v = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        r[at + i] = char((v >> (8 * i)) & 0xFF);
}
// Length byte + characters; a length beyond the field is cut to the field.
QString readText(const QByteArray& r, int at, int field) {
    const int len = qMin(int(uint8_t(r[at])), field - 1);
    return cp1251::decode(std::string_view(r.constData() + at + 1, size_t(len)));
}
void writeText(QByteArray& r, int at, int field, const QString& text) {
    QByteArray b = cp1251::encode(text).left(field - 1);
    r[at] = char(b.size());
    std::memcpy(r.data() + at + 1, b.constData(), size_t(b.size()));
}
}  // namespace

bool isValidGroupName(const QString& name) {
    return !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(QChar(0));
}

TNotifyScheme TNotifyScheme::fromBytes(const QByteArray& bytes) {
    QByteArray r = bytes.left(kSchemeRecordSize);
    r.append(QByteArray(kSchemeRecordSize - r.size(), '\0'));
    TNotifyScheme s;
    s.messageFile = readText(r, kMessageOffset, kTextField);
    s.attempts = qBound(1, readI32(r, kAttemptsOffset), kSchemeMaxAttempts);
    float pause;
    std::memcpy(&pause, r.constData() + kPauseOffset, 4);
    if (!std::isfinite(pause) || pause < 0)
        pause = 0;
    s.pause = float(std::min<double>(pause, kSchemeMaxPause));
    for (int g = 0; g < kSchemeMaxGroups; ++g) {
        const QString name = readText(r, kGroupsOffset + g * kGroupSlot, kGroupSlot);
        if (name.isEmpty())
            break;
        if (isValidGroupName(name))
            s.groups << name;
    }
    s.sortIndex = qMax(0, readI32(r, kSortOffset));
    s.timeLimit = qMin(int(uint16_t(readI32(r, kLimitOffset) & 0xFFFF)), kSchemeMaxTimeLimit);
    return s;
}

QByteArray TNotifyScheme::toBytes() const {
    QByteArray r(kSchemeRecordSize, '\0');
    writeText(r, kMessageOffset, kTextField, messageFile);
    writeText(r, kSecondNameOffset, kTextField, QString());
    writeI32(r, kAttemptsOffset, attempts);
    std::memcpy(r.data() + kPauseOffset, &pause, 4);
    int slot = 0;
    for (const QString& g : groups) {
        if (slot >= kSchemeMaxGroups)
            break;
        if (!isValidGroupName(g))
            continue;
        writeText(r, kGroupsOffset + slot * kGroupSlot, kGroupSlot, g);
        ++slot;
    }
    writeI32(r, kSortOffset, sortIndex);
    writeI32(r, kLimitOffset, timeLimit);
    return r;
}

std::optional<TNotifyScheme> TNotifyScheme::load(const QString& path, const QString& programDir) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    TNotifyScheme s = fromBytes(f.read(kSchemeRecordSize));
    if (!programDir.isEmpty())
        s.messageFile = resolvedMessagePath(s.messageFile, programDir);
    return s;
}

bool TNotifyScheme::save(const QString& path, const QString& programDir) const {
    TNotifyScheme stored = *this;
    if (!programDir.isEmpty())
        stored.messageFile = storedMessagePath(messageFile, programDir);
    return writeFileSafely(path, stored.toBytes());
}

QString storedMessagePath(const QString& path, const QString& programDir) {
    if (path.isEmpty() || programDir.isEmpty() || QDir::isRelativePath(path))
        return path;
    const QString dir = QDir::cleanPath(QDir(programDir).absolutePath());
    const QString file = QDir::cleanPath(path);
    if (!file.startsWith(dir + QLatin1Char('/')))
        return path;
    return file.mid(dir.size() + 1);
}

QString resolvedMessagePath(const QString& stored, const QString& programDir) {
    if (stored.isEmpty() || programDir.isEmpty())
        return stored;
    if (!QDir::isRelativePath(stored))
        return stored;
    QString relative = stored;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir(programDir).absoluteFilePath(relative));
}

QString schemeName(const QString& path) {
    QString name = QFileInfo(path).fileName();
    const int at = name.indexOf(QLatin1String(".sch"));
    if (at >= 0)
        name.remove(at, 4);
    return name;
}

QString timeLimitCaption(int minutes) {
    if (minutes <= 0)
        return T(textUnlimited);
    if (minutes < 60)
        return QString::number(minutes) + QStringLiteral(" ") + T(textMinutesF) +
               QStringLiteral(".");
    return QString::number(minutes / 60) + QStringLiteral(" ") + T(textHoursF) +
           QStringLiteral(".  ") + QString::number(minutes % 60) + QStringLiteral(" ") +
           T(textMinutesF) + QStringLiteral(".");
}

}  // namespace orvel
