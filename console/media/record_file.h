#pragma once
// The recorder's wave file: a 58-byte header (RIFF, an 18-byte format
// record, a "fact" chunk with the sample count, the data chunk) written as
// zeros when recording starts and filled in from the file size when it
// stops, so that an interrupted recording leaves a file whose size still
// tells how much was recorded.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

namespace orvel {

inline constexpr int kRecordRate = 16000;
inline constexpr int kRecordBits = 16;
inline constexpr int kRecordChannels = 1;
inline constexpr int kRecordHeaderBytes = 58;
inline constexpr int kRecordBytesPerSecond = kRecordRate * kRecordChannels * kRecordBits / 8;

// The complete header for `dataBytes` bytes of 16 kHz mono 16-bit samples.
QByteArray recordHeader(uint32_t dataBytes);

class TRecordFile {
public:
    TRecordFile() = default;
    ~TRecordFile() { finish(); }
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;

    // Creates (replaces) the file with a zero header. False with the
    // system's reason in `error`.
    bool create(const QString& path, QString* error);
    // False once a write failed (the reason stays in error()).
    bool append(const char* bytes, qint64 size);
    // Fills in the header and closes. False when the file is damaged.
    bool finish();

    bool isOpen() const { return file_.isOpen(); }
    bool failed() const { return failed_; }
    QString error() const { return error_; }
    qint64 dataBytes() const { return dataBytes_; }

private:
    QFile file_;
    qint64 dataBytes_ = 0;
    bool failed_ = false;
    QString error_;
};

// Writes samples as a message file: aside, then renamed over `path`.
bool saveMessageWav(const QString& path, const std::vector<int16_t>& samples, QString* error);

}  // namespace orvel
