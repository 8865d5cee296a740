#include "media/record_file.h"

#include <QtEndian>

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
    failed_ = false;
    error_.clear();
    dataBytes_ = 0;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file_.write(QByteArray(kRecordHeaderBytes, '\0')) != kRecordHeaderBytes) {
        error_ = file_.errorString();
        file_.close();
        failed_ = true;
        if (error != nullptr)
            *error = error_;
        return false;
    }
    return true;
}

bool TRecordFile::append(const char* bytes, qint64 size) {
    if (!file_.isOpen() || failed_)
        return false;
    if (file_.write(bytes, size) != size) {
        failed_ = true;
        error_ = file_.errorString();
        return false;
    }
    dataBytes_ += size;
    return true;
}

bool TRecordFile::finish() {
    if (!file_.isOpen())
        return !failed_;
    // The header follows the size the file really has.
    const qint64 size = file_.size();
    const uint32_t data = size > kRecordHeaderBytes ? uint32_t(size - kRecordHeaderBytes) : 0;
    bool ok =
        file_.flush() && file_.seek(0) && file_.write(recordHeader(data)) == kRecordHeaderBytes;
    if (!ok && !failed_) {
        failed_ = true;
        error_ = file_.errorString();
    }
    file_.close();
    return ok && !failed_;
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
