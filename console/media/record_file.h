#pragma once
// The recorder's wave file: a 58-byte header (RIFF, an 18-byte format
// record, a "fact" chunk with the sample count, the data chunk) written as
// zeros when recording starts and filled in from the file size when it
// stops, so that an interrupted recording leaves a file whose size still
// tells how much was recorded. Every write goes through the shared writer:
// the file is made aside and renamed, buffers are appended whole or not at
// all, and a failure is reported once. A buffer that could not be written
// (a full disk) is kept and written with the next one that can be, so a
// passing failure loses nothing of the recording.

#include <QByteArray>
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
    // reason in `error`; the old file is then left as it was.
    bool create(const QString& path, QString* error);
    // Writes the bytes after those kept from failed writes. False when they
    // could not all reach the file: they are kept (unsavedBytes()) and the
    // reason is in error(). False at once when the file was never created.
    bool append(const char* bytes, qint64 size);
    // Writes what is kept, fills in the header and closes. False when part
    // of the recording is not in the file (the header then describes the
    // part that is).
    bool finish();

    bool isOpen() const { return open_; }
    // The file could not be created: nothing of this recording is in it.
    bool failed() const { return failed_; }
    QString error() const { return error_; }
    // Recorded bytes in the file and bytes still waiting to be written.
    qint64 dataBytes() const { return dataBytes_; }
    qint64 unsavedBytes() const { return pending_.size(); }

private:
    bool writePending();
    bool writeHeader();

    QString path_;
    bool open_ = false;
    qint64 dataBytes_ = 0;
    QByteArray pending_;
    bool failed_ = false;
    QString error_;
};

// Writes samples as a message file: aside, then renamed over `path`.
bool saveMessageWav(const QString& path, const std::vector<int16_t>& samples, QString* error);

}  // namespace orvel
