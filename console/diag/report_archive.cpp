#include "diag/report_archive.h"

#include <zip.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "core/file_names.h"
#include "core/safe_file.h"

namespace orvel {
namespace {

constexpr zip_uint32_t kDeflateLevel = 9;

struct ProgressState {
    const std::function<void(double)>* progress;
};

void onProgress(zip_t*, double share, void* ud) {
    const auto* state = static_cast<ProgressState*>(ud);
    if (state->progress && *state->progress)
        (*state->progress)(share);
}

QString zipError(zip_t* za) {
    return QString::fromLocal8Bit(zip_strerror(za));
}

}  // namespace

QString storedPath(const QString& programDir, const QString& file) {
    const QString abs = QFileInfo(file).absoluteFilePath();
    const QString base = QDir(programDir).absolutePath();
    const QString rel = QDir(base).relativeFilePath(abs);
    if (!rel.startsWith(QStringLiteral("..")) && !QDir::isAbsolutePath(rel))
        return rel;
    QString out = abs;
    while (out.startsWith(QLatin1Char('/')))
        out.remove(0, 1);
    return out;
}

QList<ArchiveEntry> reportArchiveEntries(const QString& programDir, const QString& sysInfo,
                                         const QString& systemLog, const QString& libraryLog,
                                         const QString& settingsFile) {
    QList<ArchiveEntry> entries;
    QStringList seen;
    auto add = [&](const QString& file) {
        const QFileInfo fi(file);
        if (file.isEmpty() || !fi.isFile())
            return;
        const QString abs = fi.absoluteFilePath();
        if (seen.contains(abs))
            return;
        seen << abs;
        entries.append({abs, storedPath(programDir, abs)});
    };
    for (const QString& f : {sysInfo, systemLog, libraryLog, settingsFile})
        add(f);
    const QString dump = findFileNoCase(programDir, QStringLiteral("dump"));
    if (QFileInfo(dump).isDir()) {
        QStringList files;
        QDirIterator it(dump, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        std::sort(files.begin(), files.end());
        for (const QString& f : files)
            add(f);
    }
    return entries;
}

bool writeReportArchive(const QString& zipPath, const QList<ArchiveEntry>& entries,
                        const std::function<void(double)>& progress, QString* error) {
    // Made beside its name and renamed into place: a failed archive never
    // replaces the one already there.
    const QString aside = asidePathFor(zipPath);
    QFile::remove(aside);
    int code = 0;
    zip_t* za = zip_open(QFile::encodeName(aside).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        if (error)
            *error = QString::fromLocal8Bit(zip_error_strerror(&e));
        zip_error_fini(&e);
        return false;
    }
    for (const ArchiveEntry& entry : entries) {
        zip_source_t* src = zip_source_file(za, QFile::encodeName(entry.source).constData(), 0, -1);
        const QByteArray name = entry.stored.toUtf8();
        const zip_int64_t index =
            src ? zip_file_add(za, name.constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (src)
                zip_source_free(src);
            if (error)
                *error = entry.source + QStringLiteral(": ") + zipError(za);
            zip_discard(za);
            return false;
        }
        zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_DEFLATE, kDeflateLevel);
    }
    ProgressState state{&progress};
    zip_register_progress_callback_with_state(za, 0.01, onProgress, nullptr, &state);
    // libzip writes the archive aside and renames it into place here.
    if (zip_close(za) != 0) {
        if (error)
            *error = zipError(za);
        zip_discard(za);
        QFile::remove(aside);
        writeFailed(zipPath, error ? *error : QString());
        return false;
    }
    if (entries.isEmpty()) {
        // libzip leaves no file for an empty archive; the report still has one.
        static const char kEmptyZip[22] = {'P', 'K', 5, 6};
        return writeFileSafely(zipPath, QByteArray(kEmptyZip, sizeof kEmptyZip), error);
    }
    return commitAside(aside, zipPath, error);
}

}  // namespace orvel
