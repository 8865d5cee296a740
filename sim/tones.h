// Signal sources of the simulated exchange: cadenced tones and line noise.
// Descriptors are shared read-only; each line keeps its own small state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::sim {

// Amplitude of a sine at `dbm0` (a full-scale sine is +3.14 dBm0).
float toneAmplitude(double dbm0);

// One stretch of a cadence: up to two frequencies (0: none) for `ms`.
struct ToneSegment {
    float freq1 = 0;
    float freq2 = 0;
    int ms = 0;  // < 0: for ever
};

struct Cadence {
    const char* name;
    std::vector<ToneSegment> segments;
    bool repeat = true;
};

// The exchange's tones (continuous 425 Hz dial tone, ring-back 1 s on 4 s off,
// busy 0.35/0.35 s, the three information tones, the caller-number request).
const Cadence& dialToneCadence();
const Cadence& ringBackCadence();
const Cadence& busyCadence();
const Cadence& infoToneCadence();
const Cadence& aonRequestCadence();
// Other sounds of the network and of the machines behind it: music instead of
// ring-back, the howler after a receiver left off hook, an answering
// machine's beep, a fax machine's answer tone, its modem's flags and the
// calling tone of a fax machine that sends.
const Cadence& musicCadence();
const Cadence& howlerCadence();
const Cadence& machineBeepCadence();
const Cadence& faxAnswerCadence();
const Cadence& faxFlagsCadence();
const Cadence& faxCallingCadence();

// How a real exchange's tone differs from its table: each segment's length
// varies by up to `jitter` (a fraction), the tone starts at a random phase,
// and a repeating cadence may start anywhere in its period.
struct ToneVariation {
    float jitter = 0;
    bool randomStart = false;
    uint32_t seed = 0;
};

class TonePlayer {
public:
    void init(const Cadence* cadence, float amplitude, const ToneVariation& variation = {});
    void reset() { cadence_ = nullptr; }
    bool active() const { return cadence_ != nullptr; }
    const Cadence* cadence() const { return cadence_; }
    // Adds `n` samples of the tone into `out`; ends by itself when a cadence
    // that does not repeat is over.
    void process(float* out, int n);
    // Completed cadence periods (ring-back rings heard, for instance).
    int periods() const { return periods_; }
    // True while the current segment sounds.
    bool sounding() const;

private:
    void enterSegment(size_t index);

    float random();  // uniform 0..1

    const Cadence* cadence_ = nullptr;
    float amplitude_ = 0;
    float jitter_ = 0;
    uint32_t rng_ = 1;
    size_t segment_ = 0;
    int64_t left_ = 0;  // samples of the segment still to play; < 0: for ever
    int periods_ = 0;
    // Phasors of the two frequencies (rotation by complex multiply).
    float re_[2] = {1, 1}, im_[2] = {0, 0}, stepRe_[2] = {1, 1}, stepIm_[2] = {0, 0};
    bool on_[2] = {false, false};
    int renorm_ = 0;
};

// White noise of a given level, triangular amplitude distribution.
class NoiseSource {
public:
    void init(uint32_t seed, double dbm0);
    void process(float* out, int n);
    // One value, uniform 0..1 (used for small random choices).
    float uniform();

private:
    uint32_t state_ = 1;
    float scale_ = 0;
};

}  // namespace orvel::sim
