#include "diag/system_log.h"

#include <QFile>
#include <QFileInfo>

#include "core/cp1251.h"
#include "core/safe_file.h"

namespace orvel {

TSystemLog::TSystemLog(QString path)
    : path_(std::move(path)), clock_([] { return QDateTime::currentDateTime(); }) {}

void TSystemLog::setPath(QString path) {
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
}

QString TSystemLog::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

void TSystemLog::setOperatorName(const QString& name) {
    std::lock_guard lock(mutex_);
    operator_ = cp1251::encode(name).left(kSystemLogOperatorWidth);
}

void TSystemLog::setClock(std::function<QDateTime()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

QString TSystemLog::shortenMessage(const QString& message) {
    if (message.size() <= kSystemLogMaxMessage)
        return message;
    return message.left(3) + QStringLiteral("...") + message.right(70);
}

QByteArray TSystemLog::formatEntry(const QString& message, int level, const QDateTime& when) const {
    QByteArray op = operator_;
    op.append(QByteArray(kSystemLogOperatorWidth - op.size(), '\0'));
    QByteArray e;
    e += when.toString(QStringLiteral("dd.MM.yyyy")).toLatin1();
    e += "  ";
    e += when.toString(QStringLiteral("hh:mm:ss")).toLatin1();
    e += " 2 ";
    e += QByteArray::number(level == -1 ? 9 : level);
    e += ' ';
    e += op;
    e += ' ';
    e += cp1251::encode(shortenMessage(message));
    e += '\r';
    return e;
}

void TSystemLog::WriteSystemLog(const QString& message, int level) {
    std::lock_guard lock(mutex_);
    if (path_.isEmpty())
        return;
    // An entry that cannot be written waits for the next one (bounded: a
    // log that stays unwritable must not eat the memory).
    if (pending_.size() < kSystemLogLimit)
        pending_ += formatEntry(message, level, clock_());
    if (!appendSafely(path_, pending_))
        return;
    pending_.clear();
    if (QFileInfo(path_).size() > kSystemLogLimit)
        trimIfNeeded();
}

// Keeps what follows the first carriage return at or after the middle byte.
// When that return is the file's last byte nothing is cut, so the newest
// entry always survives. The newer half is written aside and renamed over the
// log, so a crash while cutting leaves the old log whole.
void TSystemLog::trimIfNeeded() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = file.readAll();
    file.close();
    const qsizetype cr = all.indexOf('\r', all.size() / 2);
    if (cr < 0 || cr + 1 >= all.size())
        return;
    writeFileSafely(path_, all.mid(cr + 1));
}

TSystemLog& systemLog() {
    static TSystemLog log;
    return log;
}

}  // namespace orvel
