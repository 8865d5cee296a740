#pragma once
// TDVRWavePlayer: plays a PCM wave file through the sound output with a
// position that can be read and moved, for the recorder's position bar.
// Widget-free. The data chunk is read whole when the file is opened and SDL
// pulls it from its own audio thread; every operation and the pull hold the
// player's mutex.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <mutex>
#include <vector>

#include "media/riff_explorer.h"

namespace orvel {

class TDVRWavePlayer {
public:
    enum State : int { kError = -1, kClose = 0, kOpen = 1, kPlay = 2, kStop = 3 };

    TDVRWavePlayer() = default;
    ~TDVRWavePlayer();
    TDVRWavePlayer(const TDVRWavePlayer&) = delete;
    TDVRWavePlayer& operator=(const TDVRWavePlayer&) = delete;

    // 0, or nonzero with ErrorText() set. The state becomes "Open".
    int OpenWave(const QString& fileName);
    // Starts or resumes output from the current position; does nothing once
    // the position has reached the end. False when the output failed.
    bool Play();
    // Output stops and the position goes back to the start: state "Stop".
    void StopAndRewind();
    // Moves to a position in milliseconds, on a whole sample frame; output
    // goes on when it was playing.
    void SeekTo(uint32_t ms);
    void CloseWave();

    State state() const;
    QString StateName() const;
    uint32_t Position() const;
    QString PositionText() const;
    uint32_t Duration() const { return info_.durationMs; }
    QString ErrorText() const { return error_; }
    const TWaveInfo& info() const { return info_; }
    // Up to `count` samples (first channel, as 16-bit values) from the
    // current position, for drawing what is being heard.
    std::vector<int16_t> samplesAtPosition(int count) const;

    static QString stateName(int state);
    // "hh:mm:ss.t", tenths truncated.
    static QString positionText(uint32_t ms);

private:
    static void pull(void* self, uint8_t* stream, int length);
    void closeLocked();
    uint32_t positionLocked() const;

    mutable std::mutex mutex_;
    TWaveInfo info_;
    QByteArray data_;
    qint64 readPos_ = 0;  // bytes of data handed to the output
    State state_ = kClose;
    uint32_t device_ = 0;
    bool subsystem_ = false;
    uint8_t silence_ = 0;
    QString error_;
};

}  // namespace orvel
