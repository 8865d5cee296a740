// Generated line signals for the call-progress tests: tones, cadences, the
// caller-identification request, DTMF keys and line noise, in 8-ms frames of
// 64 samples at 8000 Hz.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orvel::testing {

constexpr int kRate = 8000;
constexpr int kFrame = 64;

class LineSignal {
public:
    // Quiet line noise of about ±amplitude, the same on every run.
    LineSignal& noise(double seconds, int amplitude = 20) {
        const auto n = samples(seconds);
        for (std::size_t i = 0; i < n; ++i) {
            out_.push_back(static_cast<int16_t>(next() % (2 * amplitude + 1)) - amplitude);
        }
        return *this;
    }
    LineSignal& tone(double seconds, double hz, double amplitude = 4000, double hz2 = 0,
                     double amplitude2 = 0) {
        const auto n = samples(seconds);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(phase_++) / kRate;
            double v = amplitude * std::sin(2 * M_PI * hz * t);
            if (hz2 > 0) {
                v += amplitude2 * std::sin(2 * M_PI * hz2 * t);
            }
            v += static_cast<int>(next() % 41) - 20;
            out_.push_back(static_cast<int16_t>(std::lround(v)));
        }
        return *this;
    }
    LineSignal& cadence(double on, double off, int cycles, double hz = 425) {
        for (int c = 0; c < cycles; ++c) {
            tone(on, hz).noise(off);
        }
        return *this;
    }
    // A sound whose frequency jumps between far-apart values every few frames.
    LineSignal& wandering(double seconds, std::vector<double> hz, int framesPerStep = 3) {
        const int frames = static_cast<int>(seconds * kRate / kFrame);
        for (int f = 0; f < frames; ++f) {
            tone(static_cast<double>(kFrame) / kRate, hz[(f / framesPerStep) % hz.size()]);
        }
        return *this;
    }
    LineSignal& dtmf(char key, double seconds) {
        static const char* keys = "123A456B789C*0#D";
        static const double low[] = {697, 770, 852, 941};
        static const double high[] = {1209, 1336, 1477, 1633};
        for (int i = 0; i < 16; ++i) {
            if (keys[i] == key) {
                tone(seconds, low[i / 4], 3000, high[i % 4], 3000);
            }
        }
        return *this;
    }

    // Samples made elsewhere (the simulator's tones, speech), with the same
    // small line noise added.
    LineSignal& samplesFrom(const std::vector<float>& x) {
        for (float v : x) {
            const double y = v + static_cast<int>(next() % 41) - 20;
            out_.push_back(static_cast<int16_t>(std::lround(std::clamp(y, -32768.0, 32767.0))));
        }
        return *this;
    }

    const std::vector<int16_t>& samples() const { return out_; }
    std::size_t frames() const { return out_.size() / kFrame; }
    const int16_t* frame(std::size_t i) const { return out_.data() + i * kFrame; }

private:
    static std::size_t samples(double seconds) {
        return static_cast<std::size_t>(std::lround(seconds * kRate));
    }
    uint32_t next() {
        seed_ = seed_ * 1664525u + 1013904223u;
        return seed_ >> 8;
    }
    std::vector<int16_t> out_;
    uint32_t seed_ = 12345;
    uint64_t phase_ = 0;
};

}  // namespace orvel::testing
