// What a real line does to the signal between the exchange and the board:
// the codec's band filter (300..3400 Hz), the hybrid's echo of the board's
// own output through an echo path model, mains hum, clicks and a neighbour
// pair's conversation heard faintly (crosstalk). Each block has plain state
// per line and is driven by the line's render step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::sim {

struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;
    float step(float x) {
        const float y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
    static Biquad highPass(double hz, double rate);
    static Biquad lowPass(double hz, double rate);
};

// Second-order high pass at 300 Hz and fourth-order low pass at 3400 Hz.
class BandLimit {
public:
    void init(double rate);
    void process(float* x, int n);

private:
    std::array<Biquad, 3> stages_{};
};

// The board's own output returning through the hybrid: a delay, then an
// impulse response scaled to the return loss. Model 0 is a flat echo (one
// tap); models 2..9 are the echo paths of the G.168 test set.
class EchoPath {
public:
    static constexpr int kMaxModel = 9;
    // False for an unknown model.
    bool init(int model, double returnLossDb);
    bool on() const { return !taps_.empty(); }
    const std::vector<float>& taps() const { return taps_; }

private:
    std::vector<float> taps_;
};

// The hybrid's echo as the line carries it: what the board played, by the
// time it was played (8 kHz samples), heard back through the echo path after
// a fixed delay. A slot of the ring from another time holds nothing that is
// heard now, so silence from the board echoes as silence.
class HybridEcho {
public:
    static constexpr uint64_t kDelay = 264;  // samples, more than one batch of the card

    // False for an unknown model; a return loss of +-100 dB or more: no echo.
    bool init(int model, double returnLossDb);
    bool on() const { return path_.on(); }
    // Two samples of the board's 16 kHz output as the one the line carries.
    static int16_t toLineRate(int16_t first, int16_t second) {
        return static_cast<int16_t>((static_cast<int>(first) + second) / 2);
    }
    // What the board played at time `at`.
    void played(uint64_t at, int16_t sample) {
        ring_[at % kRing] = sample;
        time_[at % kRing] = at;
    }
    // The echo heard at time `t`.
    float heard(uint64_t t) const;

private:
    static constexpr size_t kRing = 1024;  // more than the delay and the longest path
    EchoPath path_;
    std::array<int16_t, kRing> ring_{};
    std::array<uint64_t, kRing> time_{};
};

// Hum (50 Hz and its third harmonic), clicks at random moments, and a loop
// of far-off speech.
class LineImpairments {
public:
    void init(uint32_t seed, double humDbm0, double clicksPerMinute, double clickDbm0,
              const std::vector<int16_t>* crosstalk, double crosstalkDbm0);
    void process(float* x, int n);

private:
    float random();

    uint32_t rng_ = 1;
    float humAmp_ = 0;
    double humPhase_ = 0;
    float clickChance_ = 0;  // per sample
    float clickAmp_ = 0;
    float clickLeft_ = 0;  // decaying value of the current click
    const std::vector<int16_t>* crosstalk_ = nullptr;
    float crosstalkGain_ = 0;
    size_t crosstalkPos_ = 0;
};

}  // namespace orvel::sim
