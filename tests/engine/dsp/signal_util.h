// Synthesised test signals and level measurements shared by the DSP tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace orvel::test {

inline std::vector<int16_t> sine(double freq, double rate, std::size_t n, double amplitude,
                                 double phase = 0.0) {
    std::vector<int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * freq * i / rate + phase)));
    }
    return v;
}

inline double rms(const int16_t* v, std::size_t n) {
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        s += double(v[i]) * v[i];
    }
    return n == 0 ? 0.0 : std::sqrt(s / n);
}

// Amplitude of the component at `freq` (a single-bin DFT).
inline double toneAmplitude(const int16_t* v, std::size_t n, double freq, double rate) {
    double re = 0.0, im = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 2.0 * std::numbers::pi * freq * i / rate;
        re += v[i] * std::cos(w);
        im += v[i] * std::sin(w);
    }
    return 2.0 * std::sqrt(re * re + im * im) / n;
}

}  // namespace orvel::test
