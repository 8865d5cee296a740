#include "media/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>

#include "core/safe_file.h"

namespace orvel {

namespace {

void putU32(QByteArray& b, uint32_t v) {
    char raw[4];
    qToLittleEndian(v, raw);
    b.append(raw, 4);
}

void putU16(QByteArray& b, uint16_t v) {
    char raw[2];
    qToLittleEndian(v, raw);
    b.append(raw, 2);
}

constexpr uint16_t kBlockAlign = kRecordChannels * kRecordBits / 8;

}  // namespace

QByteArray recordHeader(uint32_t dataBytes) {
    QByteArray h;
    h.reserve(kRecordHeaderBytes);
    h.append("RIFF");
    putU32(h, dataBytes + kRecordHeaderBytes - 8);
    h.append("WAVEfmt ");
    putU32(h, 18);
    putU16(h, 1);  // PCM
    putU16(h, kRecordChannels);
    putU32(h, kRecordRate);
    putU32(h, kRecordBytesPerSecond);
    putU16(h, kBlockAlign);
    putU16(h, kRecordBits);
    putU16(h, 0);  // no extra format bytes
    h.append("fact");
    putU32(h, 4);
    putU32(h, dataBytes / (kRecordBits / 8));
    h.append("data");
    putU32(h, dataBytes);
    return h;
}

bool TRecordFile::create(const QString& path, QString* error) {
    finish();
    path_ = path;
    failed_ = false;
    error_.clear();
    dataBytes_ = 0;
    pending_.clear();
    if (!writeFileSafely(path, QByteArray(kRecordHeaderBytes, '\0'), &error_)) {
        failed_ = true;
        if (error != nullptr)
            *error = error_;
        return false;
    }
    open_ = true;
    return true;
}

bool TRecordFile::writePending() {
    if (pending_.isEmpty())
        return true;
    if (!appendSafely(path_, pending_, &error_))
        return false;
    dataBytes_ += pending_.size();
    pending_.clear();
    return true;
}

bool TRecordFile::append(const char* bytes, qint64 size) {
    if (!open_)
        return false;
    pending_.append(bytes, size);
    return writePending();
}

// In place: the header's 58 bytes exist from the start, so filling them in
// needs no room on the disk, and a full disk (as the tests make one) does not
// stop it. Other failures are reported as every write's are.
bool TRecordFile::writeHeader() {
    const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = systemErrorText(errno);
        writeFailed(path_, error_);
        return false;
    }
    // The header follows the size the file really has.
    struct stat st {};
    const bool sized = ::fstat(fd, &st) == 0;
    const qint64 size = sized ? qint64(st.st_size) : 0;
    const uint32_t data = size > kRecordHeaderBytes ? uint32_t(size - kRecordHeaderBytes) : 0;
    const QByteArray header = recordHeader(data);
    const bool ok = sized && ::pwrite(fd, header.constData(), size_t(header.size()), 0) ==
                                 ssize_t(header.size());
    if (!ok)
        error_ = systemErrorText(errno);
    ::close(fd);
    if (!ok) {
        writeFailed(path_, error_);
        return false;
    }
    return true;
}

bool TRecordFile::finish() {
    if (!open_)
        return !failed_;
    open_ = false;
    const bool all = writePending();
    const bool header = writeHeader();
    return all && header;
}

bool saveMessageWav(const QString& path, const std::vector<int16_t>& samples, QString* error) {
    const qint64 bytes = qint64(samples.size()) * 2;
    if (bytes > 0xFFFFFFFFll - kRecordHeaderBytes) {
        if (error != nullptr)
            *error = QStringLiteral("файл слишком велик");
        return false;
    }
    QByteArray body(reinterpret_cast<const char*>(samples.data()), bytes);
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        for (qint64 i = 0; i + 1 < bytes; i += 2)
            std::swap(body[i], body[i + 1]);
    }
    return writeFileSafely(path, recordHeader(uint32_t(bytes)) + body, error);
}

}  // namespace orvel
