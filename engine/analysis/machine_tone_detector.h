// CMachineToneDetector: hears the tones with which machines answer a call:
// the beep after an answering machine's greeting and the answer and calling
// tones of a fax machine. Such a tone is one sharp spectral peak between 900
// and 2200 Hz that holds its frequency for at least 160 ms; speech, whose
// energy spreads over many harmonics and glides, does not make one, nor do
// the call-progress tones below 700 Hz or the two-tone DTMF keys (a second
// strong tone in the other DTMF group marks a key). A few frames that fail
// inside the tone do not end it.
//
// A machine hangs up when its recording time is over, so after such a tone
// the busy tone that follows the engine's beep is no confirmation.
#pragma once

#include <cstdint>

namespace orvel {

class CMachineToneDetector {
public:
    static constexpr int kLowHz = 900;
    static constexpr int kHighHz = 2200;
    static constexpr int kMinFrames = 20;        // 160 ms of 8-ms frames
    static constexpr int kPeakToMean = 10;       // peak ÷ mean magnitude of the spectrum
    static constexpr int kFrequencyStepHz = 70;  // a bin and a little between frames
    // Frames in a row (80 ms) that may fail the test inside a tone: the echo
    // of the engine's own message, heard while it plays, now and then
    // outweighs a beep that comes from far away. The frames that pass must
    // still hold one frequency.
    static constexpr int kMaxGapFrames = 10;

    void reset();
    // A DTMF key has its second tone in the other group: below this
    // frequency the row tones (697..941 Hz), above it the column tones.
    static constexpr int kDtmfGroupSplitHz = 1100;
    // The other group's strongest bin at a quarter of the peak (-12 dB) or
    // more, and itself a peak of the spectrum (this many times its mean:
    // keys up to 8 dB of twist), makes the frame a key's, not a machine's.
    static constexpr int kDtmfSecondToneRatio = 4;
    static constexpr int kSecondToneToMean = 4;

    // One frame: the strongest bin of the band (level, frequency), the
    // strongest bin of the other DTMF group (`otherGroupLevel`, see above),
    // the mean magnitude of the whole spectrum and the presence threshold.
    // True once, on the frame that completes the first machine tone since the
    // reset.
    bool process(int level, int frequency, int otherGroupLevel, int meanMagnitude,
                 int presenceThreshold);
    bool heard() const { return heard_; }

private:
    int run_ = 0;  // frames that passed the test since the tone began
    int gap_ = 0;  // frames in a row that did not
    int frequency_ = 0;
    bool heard_ = false;
};

}  // namespace orvel
