// CSpectralFrontEnd: the per-channel spectral front end of the line analysis.
// Every 8-ms frame it takes a 64-bin magnitude spectrum of the last 128
// samples, finds the spectral peaks and derives the features the
// call-progress detector classifies: the strongest bin in a listening band,
// the mean magnitude and a presence threshold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/fft.h"

namespace orvel {

struct SpectralPeak {
    int bin = 0;
    int16_t magnitude = 0;
    int frequency = 0;  // bin × bin width, Hz
};

struct BandFeatures {
    int bin = 0;
    int16_t level = 0;  // 0 when the bin is 2 or below
    int frequency = 0;
};

class CSpectralFrontEnd {
public:
    static constexpr int kBins = 64;
    static constexpr int kFrameSamples = 128;
    static constexpr int kMaxPeaks = kBins / 2;

    // bins is always 64; bin width = rate ÷ 128 (62 Hz at 8000).
    bool setUp(int sampleRate, int bins = kBins);
    // Spectrum and peaks of 128 samples (the frame itself is not modified).
    void analyse(const int16_t* frame);
    // Same on a ready-made spectrum (tests and tools).
    void analyseSpectrum(const int16_t* magnitudes);

    // Strongest bin in band low..high Hz (0..0: the whole spectrum).
    BandFeatures features(int bandLowHz, int bandHighHz) const;
    // Sum of bins 1..62 ÷ 62.
    int meanMagnitude() const;
    // Level above which the frame counts as sound. A clear peak gives a small
    // threshold, a flat spectrum twice the peak, and a spectrum without any
    // peak one that no level can exceed.
    // `scale` below 1 lowers the threshold of a clear peak (a more sensitive
    // line); a flat spectrum keeps its unreachable threshold.
    int presenceThreshold(double scale = 1.0) const;

    // The strongest peak (the first of the sorted list), kept at hand: it is
    // all the per-frame analysis needs.
    const SpectralPeak& firstPeak() const { return first_; }
    std::size_t peakCount() const { return peakCount_; }
    // The peak list sorted by magnitude, largest first (equal magnitudes in
    // bin order); sorted when first asked for after a frame.
    const SpectralPeak& peak(std::size_t i) const;
    bool foundPeak() const { return foundPeak_; }
    int16_t spectralMinimum() const { return minimum_; }
    const int16_t* spectrum() const { return spectrum_.data(); }
    int binWidth() const { return binWidth_; }

private:
    void findPeaks();

    dsp::FixedSpectrum128 transform_;
    int binWidth_ = 62;
    std::array<int16_t, kBins> spectrum_{};
    mutable std::array<SpectralPeak, kMaxPeaks + 1> peaks_{};
    SpectralPeak first_{};
    std::size_t peakCount_ = 1;
    mutable bool sorted_ = true;
    bool foundPeak_ = false;
    int16_t minimum_ = 0;
};

}  // namespace orvel
