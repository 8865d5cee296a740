#include "analysis/frequency_front_end.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace orvel {

namespace {

constexpr int kLastBin = CSpectralFrontEnd::kBins - 1;  // 63: stands in when no peak is found
constexpr int kNoSoundThreshold = INT16_MAX;
constexpr int kFirstLevelBin = 3;  // bins below 190 Hz report no level

}  // namespace

bool CSpectralFrontEnd::setUp(int sampleRate, int bins) {
    (void)bins;  // the transform is fixed at 128 points
    binWidth_ = sampleRate > 0 ? sampleRate / (2 * kBins) : 62;
    return transform_.init();
}

void CSpectralFrontEnd::analyse(const int16_t* frame) {
    if (!transform_.init()) {
        spectrum_.fill(0);
    } else {
        transform_.magnitudes(frame, spectrum_.data());
    }
    findPeaks();
}

void CSpectralFrontEnd::analyseSpectrum(const int16_t* magnitudes) {
    std::copy(magnitudes, magnitudes + kBins, spectrum_.begin());
    findPeaks();
}

void CSpectralFrontEnd::findPeaks() {
    const auto& s = spectrum_;
    peakCount_ = 0;
    int16_t minimum = s[0];
    // Bit k: bin k rises above bin k-1; bin k+1 falls below bin k; bin k+1
    // equals bin k. Built without branches: on a noisy line the comparisons
    // are random and would be mispredicted.
    uint64_t rises = 0, falls = 0, flat = 0;
    for (int k = 1; k < kLastBin; ++k) {
        minimum = s[k] < minimum ? s[k] : minimum;
        rises |= static_cast<uint64_t>(s[k] > s[k - 1]) << k;
        falls |= static_cast<uint64_t>(s[k + 1] < s[k]) << k;
        flat |= static_cast<uint64_t>(s[k + 1] == s[k]) << k;
    }
    minimum_ = minimum;
    // A bin not above its left neighbour never starts a peak; a rising bin
    // followed by equal ones is a plateau whose last bin is the peak.
    uint64_t candidates = rises & (falls | flat);
    while (candidates != 0) {
        const int k = std::countr_zero(candidates);
        candidates &= candidates - 1;
        int top = k;
        if ((flat >> k) & 1u) {
            while (top < kLastBin && s[top + 1] == s[k]) {
                ++top;
            }
            // Bins inside the plateau are not rising, so none is a candidate.
        }
        if (peakCount_ < static_cast<std::size_t>(kMaxPeaks)) {
            peaks_[peakCount_++] = {top, s[top], top * binWidth_};
        }
    }
    foundPeak_ = peakCount_ > 0;
    if (!foundPeak_) {
        peaks_[peakCount_++] = {kLastBin, 1, kLastBin * binWidth_};
    }
    // The first peak of the sorted list: the largest, the lowest bin among
    // equals. The full list is sorted only when someone asks for it.
    first_ = peaks_[0];
    for (std::size_t i = 1; i < peakCount_; ++i) {
        if (peaks_[i].magnitude > first_.magnitude) {
            first_ = peaks_[i];
        }
    }
    sorted_ = peakCount_ < 2;
}

const SpectralPeak& CSpectralFrontEnd::peak(std::size_t i) const {
    if (!sorted_) {
        // Insertion sort, largest first; equal magnitudes keep bin order.
        for (std::size_t k = 1; k < peakCount_; ++k) {
            const SpectralPeak p = peaks_[k];
            std::size_t j = k;
            while (j > 0 && peaks_[j - 1].magnitude < p.magnitude) {
                peaks_[j] = peaks_[j - 1];
                --j;
            }
            peaks_[j] = p;
        }
        sorted_ = true;
    }
    return peaks_[i];
}

BandFeatures CSpectralFrontEnd::features(int bandLowHz, int bandHighHz) const {
    const int width = binWidth_ > 0 ? binWidth_ : 1;
    int lo = bandLowHz / width;
    int hi = bandHighHz / width;
    if (hi == 0) {
        // The whole spectrum, from the first bin that can carry a level:
        // mains hum lives in bins 1 and 2 and, searched there, would hide
        // every quieter sound of the line behind a level of 0.
        lo = kFirstLevelBin;
        hi = kLastBin;
    }
    lo = std::clamp(lo, 0, kBins);
    hi = std::clamp(hi, 0, kBins);
    BandFeatures f;
    if (lo >= hi) {
        return f;  // an empty band hears nothing
    }
    int best = lo;
    for (int k = lo + 1; k < hi; ++k) {
        if (spectrum_[k] > spectrum_[best]) {
            best = k;
        }
    }
    f.bin = best;
    f.level = best < kFirstLevelBin ? 0 : spectrum_[best];
    f.frequency = best * binWidth_;
    return f;
}

int CSpectralFrontEnd::meanMagnitude() const {
    int sum = 0;
    for (int k = 1; k < kLastBin; ++k) {
        sum += spectrum_[k];
    }
    return sum / (kLastBin - 1);
}

int CSpectralFrontEnd::presenceThreshold(double scale) const {
    if (!foundPeak_) {
        // Without any local maximum the stand-in record has magnitude 1 and
        // would make every level count as sound.
        return kNoSoundThreshold;
    }
    const int m = first_.magnitude > 0 ? first_.magnitude : 1;
    const int n = minimum_ > 0 ? minimum_ : 1;
    const int q = m / n;
    const double r = q > 0 ? 20.0 * std::log10(static_cast<double>(q)) : 0.0;
    if (r > 10.0) {
        return std::max(1, static_cast<int>((r + 1.0) * 2.5 * scale));
    }
    return 2 * m;
}

}  // namespace orvel
