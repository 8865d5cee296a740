// CNarrowToneDetector: hears a steady pure tone between 900 and 2200 Hz that
// need not be the loudest sound on the line — an answering machine's beep
// from far away, under the echo of the message the engine plays. The
// spectrum test of CMachineToneDetector looks at 8-ms frames and wants the
// tone to stand out of the whole spectrum; the echo of a spoken message can
// be 20 dB louder than such a beep.
//
// Every 32 ms it takes a 64-ms Hann-windowed spectrum (15.6-Hz bins). A
// candidate is a local peak standing 6 dB above the bins 60..125 Hz to either
// side; its frequency is measured from the phase advance between two
// successive spectra, to a hertz or two. A tone is a candidate whose
// frequency holds within a few hertz for about a quarter of a second (a few
// spectra in which it is drowned are forgiven). A speech harmonic in that
// band glides with the voice's pitch by far more; two such tones at once (a
// DTMF key, the network's howler) are not a machine's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/fft.h"

namespace orvel {

class CNarrowToneDetector {
public:
    static constexpr int kOrder = 9;
    static constexpr int kWindow = 1 << kOrder;  // 512 samples, 64 ms
    static constexpr int kHop = kWindow / 2;     // 32 ms
    static constexpr double kRate = 8000.0;
    static constexpr double kBinHz = kRate / kWindow;
    static constexpr int kLowHz = 900;
    static constexpr int kHighHz = 2200;
    // Spectra a tone must hold its frequency in, and spectra in a row in
    // which it may be missing (the echo now and then outweighs it).
    static constexpr int kMinSpectra = 8;
    static constexpr int kMaxGapSpectra = 3;
    static constexpr double kDriftHz = 5.0;       // from the tone's mean frequency
    static constexpr double kOtherToneHz = 50.0;  // a second tone is this far away
    static constexpr int kSecondToneSpectra = 3;  // and has held its frequency so long
    // After two tones at once no tone completes for so long: either of them
    // may lose its track for a spectrum while the pair goes on.
    static constexpr int kPairHoldSpectra = 16;
    // The peak's power over the mean power of the bins 4..8 to each side.
    static constexpr float kPeakToSides = 4.0f;  // 6 dB
    // About -45 dBm0: quieter peaks are line noise.
    static constexpr float kMinPeakAmplitude = 127.0f;

    CNarrowToneDetector();
    // Plans the transform; false when it cannot be made.
    bool init();
    // Forgets the samples and the tones seen; the next call starts afresh.
    void reset();
    // `count` more samples of the line; true once, when the first steady
    // tone since the reset is complete.
    bool process(const int16_t* samples, std::size_t count);
    bool heard() const { return heard_; }

private:
    // Peaks are followed from 625 Hz (a key's 697-Hz row tone is seen as a
    // second tone) to 2200 Hz; the bins beyond serve as sides.
    static constexpr int kFirstBin = 32;  // 500 Hz
    static constexpr int kLastBin = 149;  // 2328 Hz
    static constexpr int kSideNear = 4;
    static constexpr int kSideFar = 8;
    static constexpr int kBins = kLastBin - kFirstBin + 1;

    struct Track {
        int run = 0;  // spectra that held the frequency
        int gap = 0;  // spectra in a row without it
        double meanHz = 0;
        bool continued = false;  // taken on by a peak of the newest spectrum
    };

    void spectrum();
    bool step();
    // True when two steady tones sound at once: a DTMF key or the
    // network's howler, not a machine.
    static bool twoTones(const std::array<Track, kBins>& tracks);

    dsp::RealFft fft_;
    std::array<float, kWindow> hann_{};
    std::array<int16_t, kWindow> window_{};
    std::size_t filled_ = 0;    // samples in the window since the reset
    std::size_t sinceHop_ = 0;  // samples since the last spectrum
    std::array<float, kBins> power_{};
    std::array<float, kBins> phase_{};
    std::array<float, kBins> lastPhase_{};
    std::array<double, kBins> peakHz_{};  // 0: no peak in this bin now
    bool havePhase_ = false;
    int pairHold_ = 0;  // spectra left in which no tone may complete
    std::array<Track, kBins> tracks_{};
    bool heard_ = false;
};

}  // namespace orvel
