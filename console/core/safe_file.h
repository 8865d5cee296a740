#pragma once
// Every file the program writes goes through here. A whole file is written
// beside its name, flushed to the disk and renamed over the old one, so a
// failed write (a full disk, an input/output error) leaves the old file as
// it was. Failures go to one reporter: the operator program shows them in a
// message dialog, the headless runner prints them and ends with a status of
// its own. Tests make chosen writes fail through the fault hook.

#include <QByteArray>
#include <QString>
#include <functional>

namespace orvel {

// Writes `bytes` as the file `path` (aside, flushed, renamed).
// `ownerOnly`: the file is readable by its owner alone, from its first byte.
bool writeFileSafely(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                     bool ownerOnly = false);

// For writers that make the file themselves (a zip library, a table being
// rebuilt): the name to write to, beside `path`.
QString asidePathFor(const QString& path);
// Flushes `aside` to the disk and renames it over `path`; on failure `path`
// is left as it was and the aside file removed (or kept, for a copy the
// operator may still want).
bool commitAside(const QString& aside, const QString& path, QString* error = nullptr,
                 bool keepAsideOnFailure = false);

// Appends `bytes` to the file `path` whole or not at all: a short write is
// cut off again, so a log of fixed-size records never holds half a record.
bool appendSafely(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// For writers that change a file in place (a table's record, a log's
// appended record): false when a test makes this write fail (reported as
// a failure). The writer reports its own failures with writeFailed and its
// successes with writeSucceeded.
bool writeAllowed(const QString& path, QString* error = nullptr);
void writeFailed(const QString& path, const QString& error);
void writeSucceeded(const QString& path);

// Why a system call failed, in the program's language for the causes an
// operator meets (a full disk, no rights, a read-only disk), in the system's
// own words for the rest.
QString systemErrorText(int err);

// Told once about a file that cannot be written, and again only after it
// was written successfully in between (a run that cannot save its progress
// after every call says so once, not after every call).
using WriteFailureReporter = std::function<void(const QString& path, const QString& error)>;
void setWriteFailureReporter(WriteFailureReporter reporter);
// Failed writes since the start (each one, reported or not).
int writeFailureCount();

// Tests: asked before every write; true makes it fail as a full disk does.
using WriteFaultHook = std::function<bool(const QString& path)>;
void setWriteFaultHook(WriteFaultHook hook);

}  // namespace orvel
