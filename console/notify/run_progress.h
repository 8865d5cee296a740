#pragma once
// The progress of a run kept on disk, so that nothing is lost when the
// program dies mid-run: after every call the attempts and results of the
// marked subscribers and the run's settings are saved atomically beside the
// line-state logs; a later start continues from there without calling again
// anyone already notified.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace orvel {

class TUserList;

struct TProgressEntry {
    int32_t id = 0;
    int32_t attempts = 0;
    int32_t result = 0;
    qint64 lastEnd = 0;
    qint64 notifiedAt = 0;
    uint8_t flags = 0;
    int32_t interrupted = 0;  // calls cut by an earlier end of the program
    // In a call when saved: if the program ends there, the call's result
    // never arrives and the next start counts it as interrupted.
    bool inCall = false;
};

struct TRunProgress {
    QString scheme;  // the scheme file the run came from, may be empty
    QString messageFile;
    int maxAttempts = 5;
    double pause = 0;
    int timeLimit = 0;
    QStringList groups;
    QDateTime start;
    std::vector<TProgressEntry> entries;  // the marked subscribers, in list order

    // Takes the marked subscribers' run fields from the list.
    void capture(const TUserList& list);
    // Marks exactly the recorded subscribers (by ID) and restores their run
    // fields; nobody is in a call. A call that was in progress when the
    // progress was saved is not an attempt: its result never came, so it
    // is counted as interrupted instead. Returns how many were found.
    int apply(TUserList& list) const;
    int notifiedCount() const;
    // A call's result reaches the line-state log a moment before the
    // progress that books it is saved: a cut in between leaves the call "in
    // progress" here although its result is in the log. The log decides:
    // such a call is booked with the result the log gives (`list` names the
    // entries). Returns how many calls were taken from the log.
    int reconcile(const QString& lineLogPath, const TUserList& list);

    QByteArray toBytes() const;
    // Nothing for a file that is not a progress file; bad lines are skipped.
    static std::optional<TRunProgress> fromBytes(const QByteArray& bytes);
};

// "<program dir>/Log/run.progress".
QString progressPath(const QString& programDir);
// Written aside, flushed to the disk, then renamed over the old one.
bool saveProgress(const QString& path, const TRunProgress& progress);
std::optional<TRunProgress> loadProgress(const QString& path);
// Moves an unfinished run that is not continued out of the way, keeping it:
// "run-<its start as yyyyMMdd_hhmmss>.progress" beside it (a number added
// when that name is taken). The new path, or empty with `error` set.
QString keepProgressAside(const QString& path, const QDateTime& start, QString* error = nullptr);

}  // namespace orvel
