#pragma once
// The line-state log of one notification run: a binary file of fixed 92-byte
// records, one per change of state of a line.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>

namespace orvel {

inline constexpr int kLineStateRecordSize = 92;

// One record as the program fills it; strings are cut to their field sizes.
struct TLineStateRecord {
    int32_t line = 0;
    int32_t state = 0;
    QString time;    // up to 8 characters
    QString number;  // up to 30
    QString name;    // up to 40

    // Little-endian, length-prefixed Windows-1251 strings, unused bytes zero.
    QByteArray toBytes() const;
    // Reads 92 bytes; a length byte beyond its field is clamped to the field.
    static TLineStateRecord fromBytes(const char* bytes);
};

// Text of a line state code; codes outside -1..17 give "Unknown <code>".
QString lineStateText(int code);

class TLineStateLog {
public:
    explicit TLineStateLog(QString programDir = QString());

    void setProgramDir(QString dir);
    // Fixes the run's file: Log/<yyyymmdd_hhnnss_zzz>.log under the program
    // directory, named after the run's start.
    void startRun(const QDateTime& start);
    QString currentFile() const;
    static QString fileNameFor(const QDateTime& start);

    // Appends one record. A record that cannot be written (a full disk) is
    // kept and written before the next one. Safe from any thread.
    bool WriteLineState(int line, const TLineStateRecord& record);
    int pendingRecords() const;

private:
    mutable std::mutex mutex_;
    QString programDir_;
    QString file_;
    QByteArray pending_;  // whole records not yet on disk
};

}  // namespace orvel
