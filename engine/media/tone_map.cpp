#include "media/tone_map.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/fft.h"

namespace orvel {

namespace tone_word {

uint64_t add(uint64_t word, double hz) {
    const auto units = static_cast<uint64_t>(std::clamp(std::lround(hz * kUnitsPerHz), 1L, 65535L));
    for (int i = 0; i < kPlaces; ++i) {
        if (((word >> (16 * i)) & 0xFFFF) == 0) {
            return word | (units << (16 * i));
        }
    }
    return word;
}

double at(uint64_t word, int i) {
    if (i < 0 || i >= kPlaces) {
        return 0;
    }
    return static_cast<double>((word >> (16 * i)) & 0xFFFF) / kUnitsPerHz;
}

}  // namespace tone_word

namespace {

constexpr int kOrder = 10;
constexpr int kWindow = 1 << kOrder;  // 64 ms, centred on the block
constexpr double kBinHz = static_cast<double>(CToneMap::kRate) / kWindow;
constexpr int kLowBin = static_cast<int>(CToneMap::kLowHz / kBinHz);
constexpr int kHighBin = static_cast<int>(CToneMap::kHighHz / kBinHz);
constexpr int kPeakHalfWidth = 3;  // bins of a Hann-windowed tone's main lobe and a little
// A tone carries this share of the block's power in its peak; a voice
// spreads its power over many harmonics.
constexpr double kToneShare = 0.8;
constexpr double kPairShare = 0.9;    // two tones together (a dual-tone signal)
constexpr double kSecondShare = 0.2;  // and the weaker of them
// A sine of amplitude A gives a Hann-windowed peak of A N / 4; quieter
// than about -55 dBm0 is no tone worth knowing.
constexpr double kMinAmplitude = 50.0;
// A tone lasts at least two blocks, its frequency moving less than this
// between them (a siren glides by some tens of hertz per block).
constexpr double kGlideHz = 40.0;

struct Found {
    std::array<double, 2> hz{};  // 0: none
};

double peakPower(const std::vector<float>& p, int k) {
    double e = 0;
    for (int j = std::max(kLowBin, k - kPeakHalfWidth); j <= std::min(kHighBin, k + kPeakHalfWidth);
         ++j) {
        e += p[static_cast<std::size_t>(j)];
    }
    return e;
}

// The peak's frequency from the log powers of its bin and the two beside it.
double interpolated(const std::vector<float>& p, int k) {
    const double a = std::log(std::max(p[static_cast<std::size_t>(k - 1)], 1e-9f));
    const double b = std::log(std::max(p[static_cast<std::size_t>(k)], 1e-9f));
    const double c = std::log(std::max(p[static_cast<std::size_t>(k + 1)], 1e-9f));
    const double den = a - 2 * b + c;
    const double d = den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
    return (k + d) * kBinHz;
}

int strongest(const std::vector<float>& p, int avoid) {
    int best = -1;
    for (int k = kLowBin + 1; k < kHighBin; ++k) {
        if (avoid >= 0 && std::abs(k - avoid) <= kPeakHalfWidth + 1) {
            continue;
        }
        if (best < 0 || p[static_cast<std::size_t>(k)] > p[static_cast<std::size_t>(best)]) {
            best = k;
        }
    }
    return best;
}

Found tonesOf(const std::vector<float>& p) {
    Found f;
    double total = 0;
    for (int k = kLowBin; k <= kHighBin; ++k) {
        total += p[static_cast<std::size_t>(k)];
    }
    const double minPeak = std::pow(kMinAmplitude * kWindow / 4, 2);
    const int k1 = strongest(p, -1);
    if (k1 < 0 || p[static_cast<std::size_t>(k1)] < minPeak) {
        return f;
    }
    const double e1 = peakPower(p, k1);
    if (e1 >= kToneShare * total) {
        f.hz[0] = interpolated(p, k1);
        return f;
    }
    const int k2 = strongest(p, k1);
    if (k2 >= 0 && p[static_cast<std::size_t>(k2)] >= minPeak) {
        const double e2 = peakPower(p, k2);
        if (e2 >= kSecondShare * total && e1 + e2 >= kPairShare * total) {
            f.hz[0] = interpolated(p, k1);
            f.hz[1] = interpolated(p, k2);
        }
    }
    return f;
}

bool continues(const Found& other, double hz) {
    return std::any_of(other.hz.begin(), other.hz.end(),
                       [&](double g) { return g > 0 && std::abs(g - hz) <= kGlideHz; });
}

}  // namespace

bool CToneMap::build(const int16_t* samples, std::size_t count) {
    words_.assign((count + kBlock - 1) / kBlock, 0);
    dsp::RealFft fft;
    if (samples == nullptr || words_.empty()) {
        return true;  // nothing to play, no tone
    }
    if (!fft.init(kOrder)) {
        return false;
    }
    std::vector<float> hann(kWindow);
    for (int n = 0; n < kWindow; ++n) {
        hann[static_cast<std::size_t>(n)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / kWindow));
    }
    std::vector<float> power(kWindow / 2 + 1);
    std::vector<Found> found(words_.size());
    for (std::size_t b = 0; b < words_.size(); ++b) {
        const auto start = static_cast<std::ptrdiff_t>(b * kBlock) + kBlock / 2 - kWindow / 2;
        float* t = fft.time();
        for (int n = 0; n < kWindow; ++n) {
            const std::ptrdiff_t i = start + n;
            const float x = i >= 0 && static_cast<std::size_t>(i) < count
                                ? samples[static_cast<std::size_t>(i)]
                                : 0.0f;
            t[n] = hann[static_cast<std::size_t>(n)] * x;
        }
        fft.forward();
        const dsp::Complex* x = fft.spectrum();
        for (std::size_t k = 0; k < power.size(); ++k) {
            power[k] = std::norm(x[k]);
        }
        found[b] = tonesOf(power);
    }
    for (std::size_t b = 0; b < found.size(); ++b) {
        for (double hz : found[b].hz) {
            if (hz <= 0) {
                continue;
            }
            if ((b > 0 && continues(found[b - 1], hz)) ||
                (b + 1 < found.size() && continues(found[b + 1], hz))) {
                words_[b] = tone_word::add(words_[b], hz);
            }
        }
    }
    return true;
}

void CToneMap::constant(double hz, std::size_t count) {
    words_.assign((count + kBlock - 1) / kBlock, tone_word::add(0, hz));
}

}  // namespace orvel
