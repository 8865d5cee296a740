#pragma once
// How loud a message is, and whether it will be understood on a telephone
// line: the peak and average (RMS) level in dB below full scale, and the
// share of samples at full scale.
//
// A message is "clipped" when more than 0.1 % of its samples sit at full
// scale: a few such samples are the odd click, more are a voice recorded too
// loud, heard on the line as crackle. It is "too quiet" when its average
// level is below -30 dBFS: the line and the telephone lose another 10..20 dB,
// and a message that quiet is lost in the line noise.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace orvel {

struct TMessageLevels {
    static constexpr double kClippedShare = 0.001;
    static constexpr double kQuietRmsDb = -30.0;
    static constexpr double kSilenceDb = -120.0;  // what an empty message shows

    double peakDb = kSilenceDb;
    double rmsDb = kSilenceDb;
    double clippedShare = 0;
    size_t samples = 0;

    bool clipped() const { return clippedShare > kClippedShare; }
    bool tooQuiet() const { return rmsDb < kQuietRmsDb; }
    // "Пик −3,1 дБ, средний −21,4 дБ".
    QString text() const;
    // Empty when the message is fit to send; otherwise the warning.
    QString warning() const;
};

TMessageLevels measureLevels(const int16_t* samples, size_t count);
// Of the 16-bit mono data of a message file; nothing measured when the file
// cannot be read.
TMessageLevels measureFileLevels(const QString& path);

}  // namespace orvel
