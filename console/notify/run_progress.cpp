#include "notify/run_progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

#include "core/safe_file.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"

namespace orvel {

namespace {
constexpr char kMagic[] = "ORVEL-RUN-PROGRESS 1";
constexpr qsizetype kMaxFileBytes = 256 * 1024 * 1024;
constexpr int32_t kNotified = 14;
constexpr int32_t kMaxInterrupted = 1000000;
}  // namespace

void TRunProgress::capture(const TUserList& list) {
    entries.clear();
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (s.mark)
            entries.push_back({s.id, s.attempts, s.lastState, s.lastStateTime, s.notifyTime,
                               s.flags, s.interrupted, s.inCall != 0});
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
        s.attempts = qMax(0, qMax(0, e.attempts) - (e.inCall ? 1 : 0));
        s.interrupted = qBound(0, e.interrupted, kMaxInterrupted) + (e.inCall ? 1 : 0);
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
        n += e.result == kNotified;
    return n;
}

int TRunProgress::reconcile(const QString& lineLogPath, const TUserList& list) {
    QFile f(lineLogPath);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return 0;
    const QByteArray all = f.readAll();
    QHash<QString, int> callsOf;  // by name as the log keeps it
    QHash<QString, int> lastStateOf;
    for (qsizetype at = 0; at + kLineStateRecordSize <= all.size(); at += kLineStateRecordSize) {
        const TLineStateRecord r = TLineStateRecord::fromBytes(all.constData() + at);
        ++callsOf[r.name];
        lastStateOf[r.name] = r.state;
    }
    QHash<int32_t, QString> nameOf;
    for (int k = 0; k < list.Count(); ++k)
        nameOf.insert(list.Item(k)->id, list.Item(k)->name.toString().left(40));
    // Subscribers of one name share the log's records and are never in a
    // call at the same time: the name's attempts against its records.
    QHash<QString, qint64> attemptsOf;
    for (const auto& e : entries)
        attemptsOf[nameOf.value(e.id)] += qMax(0, e.attempts);
    const qint64 loggedAt = QFileInfo(f).lastModified().toMSecsSinceEpoch();
    int taken = 0;
    for (auto& e : entries) {
        const QString name = nameOf.value(e.id);
        if (!e.inCall || name.isEmpty() || callsOf.value(name) < attemptsOf.value(name))
            continue;
        e.inCall = false;
        e.result = lastStateOf.value(name);
        e.lastEnd = loggedAt;
        ++taken;
        if (e.result != kNotified)
            continue;
        e.notifiedAt = loggedAt;
        for (auto& o : entries)
            if (nameOf.value(o.id) == name)
                o.result = kNotified;
    }
    return taken;
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
               QByteArray::number(e.notifiedAt) + '\t' + QByteArray::number(e.flags) + '\t' +
               QByteArray::number(e.interrupted) + '\t' + QByteArray::number(e.inCall ? 1 : 0) +
               '\n';
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
            // Six fields in files of older versions, eight since calls cut
            // by a crash are told apart.
            const QList<QByteArray> f = line.split('\t');
            if (f.size() != 6 && f.size() != 8)
                continue;
            bool ok[8] = {true, true, true, true, true, true, true, true};
            TProgressEntry e{f[0].toInt(&ok[0]),      f[1].toInt(&ok[1]),
                             f[2].toInt(&ok[2]),      f[3].toLongLong(&ok[3]),
                             f[4].toLongLong(&ok[4]), uint8_t(f[5].toUInt(&ok[5]))};
            if (f.size() == 8) {
                e.interrupted = f[6].toInt(&ok[6]);
                const int inCall = f[7].toInt(&ok[7]);
                ok[7] = ok[7] && (inCall == 0 || inCall == 1);
                e.inCall = inCall == 1;
            }
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
    return writeFileSafely(path, progress.toBytes());
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
