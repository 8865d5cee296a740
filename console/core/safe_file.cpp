#include "core/safe_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/texts.h"

namespace orvel {

namespace {

struct State {
    std::mutex mutex;
    WriteFailureReporter reporter;
    WriteFaultHook hook;
    QSet<QString> failing;  // reported and not written since
};

State& state() {
    static State s;
    return s;
}

std::atomic<int> g_failures{0};

QString diskFullText() {
    return systemErrorText(ENOSPC);
}

// Qt's file classes say why in their own words; the system's error number,
// where the failed call left one, says it in the program's language.
QString whyFailed(const QFileDevice& f, int err) {
    return err != 0 ? systemErrorText(err) : f.errorString();
}

bool injected(const QString& path) {
    std::lock_guard lock(state().mutex);
    return state().hook && state().hook(path);
}

bool fail(const QString& path, const QString& why, QString* error) {
    if (error)
        *error = why;
    writeFailed(path, why);
    return false;
}

}  // namespace

void writeFailed(const QString& path, const QString& error) {
    ++g_failures;
    WriteFailureReporter reporter;
    {
        std::lock_guard lock(state().mutex);
        if (state().failing.contains(path))
            return;
        state().failing.insert(path);
        reporter = state().reporter;
    }
    if (reporter)
        reporter(path, error);
}

void writeSucceeded(const QString& path) {
    std::lock_guard lock(state().mutex);
    state().failing.remove(path);
}

bool writeAllowed(const QString& path, QString* error) {
    if (!injected(path))
        return true;
    return fail(path, diskFullText(), error);
}

bool writeFileSafely(const QString& path, const QByteArray& bytes, QString* error, bool ownerOnly) {
    QSaveFile f(path);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly))
        return fail(path, whyFailed(f, errno), error);
    if (ownerOnly)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    errno = 0;
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        const QString why = whyFailed(f, errno);
        f.cancelWriting();
        return fail(path, why, error);
    }
    // On the disk before the rename: after a power cut the name holds the
    // old bytes or the new ones, never an empty file.
    if (::fsync(f.handle()) != 0) {
        const QString why = systemErrorText(errno);
        f.cancelWriting();
        return fail(path, why, error);
    }
    if (injected(path)) {
        f.cancelWriting();
        return fail(path, diskFullText(), error);
    }
    errno = 0;
    if (!f.commit())
        return fail(path, whyFailed(f, errno), error);
    writeSucceeded(path);
    return true;
}

bool appendSafely(const QString& path, const QByteArray& bytes, QString* error) {
    if (injected(path))
        return fail(path, diskFullText(), error);
    // Unbuffered: a buffered file would write the rest of a failed append
    // again when closed, after it was cut back.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(path, systemErrorText(errno), error);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    qsizetype done = 0;
    int why = before < 0 ? errno : 0;
    while (why == 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            why = n < 0 ? errno : ENOSPC;
        else
            done += n;
    }
    if (why != 0 && before >= 0 && ::ftruncate(fd, before) != 0)
        why = errno;  // the stray bytes stay; the failure is told all the same
    ::close(fd);
    if (why != 0)
        return fail(path, systemErrorText(why), error);
    writeSucceeded(path);
    return true;
}

QString asidePathFor(const QString& path) {
    const QFileInfo info(path);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".aside");
}

bool commitAside(const QString& aside, const QString& path, QString* error,
                 bool keepAsideOnFailure) {
    const QByteArray asideName = QFile::encodeName(aside);
    QString why;
    const int fd = ::open(asideName.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
        why = systemErrorText(errno);
    if (fd >= 0)
        ::close(fd);
    if (why.isEmpty() && injected(path))
        why = diskFullText();
    if (why.isEmpty() &&
        std::rename(asideName.constData(), QFile::encodeName(path).constData()) != 0)
        why = systemErrorText(errno);
    if (!why.isEmpty()) {
        if (!keepAsideOnFailure)
            QFile::remove(aside);
        return fail(path, why, error);
    }
    writeSucceeded(path);
    return true;
}

QString systemErrorText(int err) {
    switch (err) {
        case ENOSPC:
            return T(textDiskFull);
        case EDQUOT:
            return T(textDiskQuotaExceeded);
        case EACCES:
        case EPERM:
            return T(textNoAccessRights);
        case EROFS:
            return T(textReadOnlyDisk);
        case EIO:
            return T(textInputOutputError);
        case ENOENT:
            return T(textNoSuchFolder);
        case EFBIG:
            return T(textFileTooBigForDisk);
        case EMFILE:
        case ENFILE:
            return T(textTooManyOpenFiles);
        case ENOMEM:
            return T(textOutOfMemory);
        default:
            return QString::fromLocal8Bit(std::strerror(err));
    }
}

void setWriteFailureReporter(WriteFailureReporter reporter) {
    std::lock_guard lock(state().mutex);
    state().reporter = std::move(reporter);
    state().failing.clear();
}

int writeFailureCount() {
    return g_failures.load();
}

void setWriteFaultHook(WriteFaultHook hook) {
    std::lock_guard lock(state().mutex);
    state().hook = std::move(hook);
}

}  // namespace orvel
