#pragma once
// The developer report's archive: a standard ZIP file, deflated at the
// highest level, each file stored under its path.

#include <QList>
#include <QString>
#include <functional>

namespace orvel {

struct ArchiveEntry {
    QString source;  // file on disk
    QString stored;  // its path inside the archive
};

// The path a file is stored under: relative to the program directory when it
// lies below it, otherwise its absolute path without the leading "/".
QString storedPath(const QString& programDir, const QString& file);

// The report's files in their order: the system information text, the system
// log, the line library's log, the settings file, then every file below
// "dump" in the program directory (subdirectories included, in name order).
// Files that do not exist are left out.
QList<ArchiveEntry> reportArchiveEntries(const QString& programDir, const QString& sysInfo,
                                         const QString& systemLog, const QString& libraryLog,
                                         const QString& settingsFile);

// Replaces `zipPath` by a new archive of `entries`. `progress` gets the share
// done (0..1) while the files are compressed. False with `error` set when the
// archive could not be made (no archive is left behind then).
bool writeReportArchive(const QString& zipPath, const QList<ArchiveEntry>& entries,
                        const std::function<void(double)>& progress, QString* error);

}  // namespace orvel
