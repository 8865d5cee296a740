#pragma once
// TWaveCapture: records 16 kHz, 16-bit mono from the default sound input
// into the recorder's temporary file. SDL delivers the input on its own audio
// thread; it fills two half-second buffers in turn and hands each full one
// over. The owner's thread writes them to the file when it polls
// (takeFilled), as the recorder window does on its display timer. Buffers
// not yet full when recording stops are dropped, so a recording is a whole
// number of half-seconds.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <mutex>

#include "media/record_file.h"

namespace orvel {

class TWaveCapture {
public:
    static constexpr int kBufferBytes = kRecordBytesPerSecond / 2;

    TWaveCapture() = default;
    ~TWaveCapture();
    TWaveCapture(const TWaveCapture&) = delete;
    TWaveCapture& operator=(const TWaveCapture&) = delete;

    // Opens the input and starts. False with the reason (in Russian) when no
    // input opens. When only the file cannot be created recording still
    // starts: fileError() tells why, and nothing is written.
    bool start(const QString& tempFile, QString* error);
    // Writes the buffers filled since the last call to the file. The number
    // of buffers taken.
    int takeFilled();
    // Stops the input, writes what was filled, completes the header.
    void stop();

    bool recording() const { return device_ != 0; }
    // The temporary file could not be created or written: it must not be
    // taken for this recording.
    bool fileFailed() const { return file_.failed(); }
    QString fileError() const { return file_.error(); }
    // Recorded bytes that could not be written to the file (yet): after
    // stop(), the end of the recording that the file lacks.
    qint64 unsavedBytes() const { return file_.unsavedBytes(); }
    // Samples of the buffers taken so far.
    int64_t samplesRecorded() const { return samplesTaken_; }
    // The last buffer taken, for the waveform display.
    const QByteArray& lastBuffer() const { return last_; }
    // Seconds as the time counter shows them.
    static QString counterText(int64_t samples, const QString& minutesWord,
                               const QString& secondsWord);

private:
    static void push(void* self, uint8_t* stream, int length);

    std::mutex mutex_;
    std::array<QByteArray, 2> buffers_;
    int current_ = 0;
    int fill_ = 0;
    std::deque<QByteArray> filled_;
    uint32_t device_ = 0;
    bool subsystem_ = false;
    TRecordFile file_;
    QByteArray last_;
    int64_t samplesTaken_ = 0;
};

}  // namespace orvel
