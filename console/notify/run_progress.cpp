#include "notify/run_progress.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <algorithm>

#include "data/user_list.h"

namespace orvel {

namespace {
constexpr char kMagic[] = "ORVEL-RUN-PROGRESS 1";
constexpr qsizetype kMaxFileBytes = 256 * 1024 * 1024;
}  // namespace

void TRunProgress::capture(const TUserList& list) {
    entries.clear();
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (s.mark)
            entries.push_back(
                {s.id, s.attempts, s.lastState, s.lastStateTime, s.notifyTime, s.flags});
    }
}

int TRunProgress::apply(TUserList& list) const {
    QHash<int32_t, const TProgressEntry*> byId;
    for (const auto& e : entries)
        byId.insert(e.id, &e);
    int found = 0;
    for (int k = 0; k < list.Count(); ++k) {
        TUserListItem& s = *list.Item(k);
        const auto it = byId.constFind(s.id);
        s.inCall = 0;
        if (it == byId.constEnd()) {
            s.mark = 0;
            continue;
        }
        const TProgressEntry& e = **it;
        s.mark = 1;
        s.attempts = qMax(0, e.attempts);
        s.lastState = e.result;
        s.lastStateTime = e.lastEnd;
        s.notifyTime = e.notifiedAt;
        s.flags = e.flags;
        ++found;
    }
    return found;
}

int TRunProgress::notifiedCount() const {
    int n = 0;
    for (const auto& e : entries)
        n += e.result == 14;
    return n;
}

QByteArray TRunProgress::toBytes() const {
    QByteArray out;
    out.reserve(qsizetype(64 + entries.size() * 40));
    out += kMagic;
    out += '\n';
    const auto kv = [&](const char* key, const QString& value) {
        out += key;
        out += '=';
        out += value.toUtf8().replace('\n', ' ');
        out += '\n';
    };
    kv("scheme", scheme);
    kv("message", messageFile);
    kv("attempts", QString::number(maxAttempts));
    kv("pause", QString::number(pause, 'g', 10));
    kv("limit", QString::number(timeLimit));
    kv("groups", groups.join(QLatin1Char('\t')));
    kv("start", QString::number(start.toMSecsSinceEpoch()));
    out += "entries\n";
    for (const auto& e : entries) {
        out += QByteArray::number(e.id) + '\t' + QByteArray::number(e.attempts) + '\t' +
               QByteArray::number(e.result) + '\t' + QByteArray::number(e.lastEnd) + '\t' +
               QByteArray::number(e.notifiedAt) + '\t' + QByteArray::number(e.flags) + '\n';
    }
    out += "end\n";
    return out;
}

std::optional<TRunProgress> TRunProgress::fromBytes(const QByteArray& bytes) {
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines[0] != kMagic)
        return std::nullopt;
    TRunProgress p;
    bool inEntries = false, ended = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line == "end") {
            ended = true;
            break;
        }
        if (inEntries) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() != 6)
                continue;
            bool ok[6];
            TProgressEntry e{f[0].toInt(&ok[0]),      f[1].toInt(&ok[1]),
                             f[2].toInt(&ok[2]),      f[3].toLongLong(&ok[3]),
                             f[4].toLongLong(&ok[4]), uint8_t(f[5].toUInt(&ok[5]))};
            if (std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
                p.entries.push_back(e);
            continue;
        }
        if (line == "entries") {
            inEntries = true;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1));
        if (key == "scheme")
            p.scheme = value;
        else if (key == "message")
            p.messageFile = value;
        else if (key == "attempts")
            p.maxAttempts = qMax(1, value.toInt());
        else if (key == "pause")
            p.pause = qBound(0.0, value.toDouble(), 240.0);
        else if (key == "limit")
            p.timeLimit = qBound(0, value.toInt(), 300);
        else if (key == "groups")
            p.groups = value.isEmpty() ? QStringList() : value.split(QLatin1Char('\t'));
        else if (key == "start")
            p.start = QDateTime::fromMSecsSinceEpoch(value.toLongLong());
    }
    // A file cut short was not written by saveProgress (it renames whole
    // files only): refuse it rather than continue from half a list.
    if (!ended)
        return std::nullopt;
    return p;
}

QString progressPath(const QString& programDir) {
    return programDir + QStringLiteral("/Log/run.progress");
}

bool saveProgress(const QString& path, const TRunProgress& progress) {
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(progress.toBytes());
    if (!f.flush() || ::fsync(f.handle()) != 0) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

std::optional<TRunProgress> loadProgress(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return std::nullopt;
    return TRunProgress::fromBytes(f.readAll());
}

QString keepProgressAside(const QString& path, const QDateTime& start, QString* error) {
    const QFileInfo info(path);
    const QString stamp = (start.isValid() ? start : info.lastModified())
                              .toString(QStringLiteral("yyyyMMdd_hhmmss"));
    QString target;
    for (int n = 0; n < 1000; ++n) {
        target = info.dir().filePath(QStringLiteral("run-") + stamp +
                                     (n ? QStringLiteral("-%1").arg(n) : QString()) +
                                     QStringLiteral(".progress"));
        if (!QFileInfo::exists(target))
            break;
    }
    QFile f(path);
    if (!f.rename(target)) {
        if (error)
            *error = f.errorString();
        return QString();
    }
    return target;
}

}  // namespace orvel
