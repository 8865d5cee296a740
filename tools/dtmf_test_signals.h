// Test signals for DTMF receivers, made from generated tones and noise in the
// manner of the classic receiver test procedure: key bursts of set level,
// twist, length and frequency offset, with white noise at a set ratio.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace orvel::tools {

inline constexpr double kDtmfLow[] = {697, 770, 852, 941};
inline constexpr double kDtmfHigh[] = {1209, 1336, 1477, 1633};
inline constexpr const char* kDtmfKeys = "123A456B789C*0#D";

// Peak of a sine at `dbm0` (a full-scale sine is +3.14 dBm0).
inline double dbm0Peak(double dbm0) {
    return 22706.0 * std::pow(10.0, dbm0 / 20.0);
}

struct KeyBurst {
    char key = '9';
    double lowDbm0 = -10;  // level of the low tone
    double twistDb = 0;    // high tone minus low tone
    int onMs = 100;
    int offMs = 100;
    double offsetPercent = 0;  // both frequencies moved by this share
};

// Appends the burst and its pause to `out` (8 kHz).
inline void appendKey(std::vector<float>& out, const KeyBurst& b, double phase = 0) {
    const auto index = std::string(kDtmfKeys).find(b.key);
    if (index == std::string::npos) {
        return;
    }
    const double f1 = kDtmfLow[index / 4] * (1 + b.offsetPercent / 100);
    const double f2 = kDtmfHigh[index % 4] * (1 + b.offsetPercent / 100);
    const double a1 = dbm0Peak(b.lowDbm0);
    const double a2 = dbm0Peak(b.lowDbm0 + b.twistDb);
    for (int n = 0; n < b.onMs * 8; ++n) {
        const double t = n / 8000.0;
        out.push_back(static_cast<float>(a1 * std::sin(2 * std::numbers::pi * f1 * t + phase) +
                                         a2 * std::sin(2 * std::numbers::pi * f2 * t)));
    }
    out.insert(out.end(), static_cast<size_t>(b.offMs) * 8, 0.0f);
}

// Adds white Gaussian noise at `dbm0` (rms against a 0 dBm0 sine's rms).
inline void addNoise(std::vector<float>& x, double dbm0, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, static_cast<float>(dbm0Peak(dbm0) / std::sqrt(2.0)));
    for (auto& v : x) {
        v += g(rng);
    }
}

inline std::vector<int16_t> toSamples(const std::vector<float>& x) {
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        out[i] = static_cast<int16_t>(std::lround(std::fmax(-32768.0f, std::fmin(32767.0f, x[i]))));
    }
    return out;
}

}  // namespace orvel::tools
