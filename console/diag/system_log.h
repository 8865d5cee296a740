#pragma once
// The system log: one line of Windows-1251 text per notable event, ended by a
// single carriage return. Once the file grows past 100 KiB it is cut to its
// newer half, whole entries only.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <mutex>

namespace orvel {

inline constexpr qint64 kSystemLogLimit = 102400;
inline constexpr int kSystemLogOperatorWidth = 20;
inline constexpr int kSystemLogMaxMessage = 80;

class TSystemLog {
public:
    explicit TSystemLog(QString path = QString());

    void setPath(QString path);
    QString path() const;
    // The logged-in operator; empty before login (20 zero bytes are written).
    void setOperatorName(const QString& name);
    // For tests: where "now" comes from.
    void setClock(std::function<QDateTime()> clock);

    // Appends one entry; failures are silent. Safe from any thread.
    void WriteSystemLog(const QString& message, int level);

    // The bytes of one entry, CR included.
    QByteArray formatEntry(const QString& message, int level, const QDateTime& when) const;
    // A message longer than 80 characters becomes its first 3 characters,
    // "..." and its last 70.
    static QString shortenMessage(const QString& message);

private:
    void trimIfNeeded();

    mutable std::mutex mutex_;
    QString path_;
    QByteArray pending_;  // entries not yet on disk
    QByteArray operator_;
    std::function<QDateTime()> clock_;
};

// The program's one system log, configured at start-up.
TSystemLog& systemLog();
inline void WriteSystemLog(const QString& message, int level) {
    systemLog().WriteSystemLog(message, level);
}

}  // namespace orvel
