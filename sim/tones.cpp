#include "tones.h"

#include <algorithm>
#include <cmath>

#include "sim_config.h"

namespace orvel::sim {
namespace {

constexpr double kZeroDbm0Peak = 22706.0;  // sine peak at 0 dBm0, 16-bit full scale 32767
constexpr float kTwoPi = 6.28318530718f;

}  // namespace

float toneAmplitude(double dbm0) {
    return static_cast<float>(kZeroDbm0Peak * std::pow(10.0, dbm0 / 20.0));
}

const Cadence& dialToneCadence() {
    static const Cadence c{"dial tone", {{425, 0, -1}}, false};
    return c;
}

const Cadence& ringBackCadence() {
    static const Cadence c{"ring-back", {{425, 0, 1000}, {0, 0, 4000}}, true};
    return c;
}

const Cadence& busyCadence() {
    static const Cadence c{"busy", {{425, 0, 350}, {0, 0, 350}}, true};
    return c;
}

const Cadence& infoToneCadence() {
    static const Cadence c{
        "information tones", {{950, 0, 330}, {1400, 0, 330}, {1800, 0, 330}, {0, 0, 1000}}, false};
    return c;
}

const Cadence& aonRequestCadence() {
    static const Cadence c{"caller-number request", {{500, 0, 100}, {0, 0, 900}}, false};
    return c;
}

const Cadence& musicCadence() {
    static const Cadence c{"music",
                           {{392, 0, 250},
                            {440, 0, 250},
                            {494, 0, 250},
                            {523, 659, 500},
                            {587, 0, 250},
                            {440, 554, 500},
                            {392, 0, 250},
                            {0, 0, 120},
                            {330, 392, 500},
                            {659, 0, 250},
                            {587, 0, 250},
                            {523, 0, 500},
                            {0, 0, 200}},
                           true};
    return c;
}

const Cadence& howlerCadence() {
    static const Cadence c{"howler", {{1400, 2060, 100}, {0, 0, 100}}, true};
    return c;
}

const Cadence& machineBeepCadence() {
    static const Cadence c{"machine beep", {{1000, 0, 500}}, false};
    return c;
}

const Cadence& faxAnswerCadence() {
    static const Cadence c{"fax answer tone", {{2100, 0, 3300}, {0, 0, 75}}, false};
    return c;
}

const Cadence& faxFlagsCadence() {
    // The answering modem's flags: a 300-baud stream of 0x7E, six marks
    // (1650 Hz) between spaces (1850 Hz), then a pause before it is repeated.
    static const Cadence c = [] {
        Cadence f{"fax flags", {}, true};
        for (int i = 0; i < 38; ++i) {
            f.segments.push_back({1850, 0, 3});
            f.segments.push_back({1650, 0, 20});
            f.segments.push_back({1850, 0, 3});
        }
        f.segments.push_back({0, 0, 2000});
        return f;
    }();
    return c;
}

const Cadence& faxCallingCadence() {
    static const Cadence c{"fax calling tone", {{1100, 0, 500}, {0, 0, 3000}}, true};
    return c;
}

void TonePlayer::init(const Cadence* cadence, float amplitude, const ToneVariation& variation) {
    cadence_ = cadence;
    amplitude_ = amplitude;
    periods_ = 0;
    jitter_ = variation.jitter;
    rng_ = variation.seed * 2654435761u + 7u;
    if (cadence_ == nullptr || cadence_->segments.empty()) {
        cadence_ = nullptr;
        return;
    }
    size_t first = 0;
    if (variation.randomStart && cadence_->repeat) {
        first = static_cast<size_t>(random() * static_cast<float>(cadence_->segments.size())) %
                cadence_->segments.size();
    }
    enterSegment(first);
    if (variation.randomStart) {
        // Only a repeating cadence is joined somewhere in its period; a
        // sequence played once (information tones, a machine's beep, a fax
        // answer tone) is heard from its start.
        if (left_ > 1 && cadence_->repeat) {
            left_ = 1 + static_cast<int64_t>(random() * static_cast<float>(left_ - 1));
        }
        for (int k = 0; k < 2; ++k) {
            const float a = kTwoPi * random();
            re_[k] = std::cos(a);
            im_[k] = std::sin(a);
        }
    }
}

float TonePlayer::random() {
    rng_ = rng_ * 1664525u + 1013904223u;
    return static_cast<float>(rng_ >> 8) / 16777216.0f;
}

void TonePlayer::enterSegment(size_t index) {
    segment_ = index;
    const ToneSegment& s = cadence_->segments[index];
    left_ = s.ms < 0 ? -1 : static_cast<int64_t>(s.ms) * kSampleRate / 1000;
    if (left_ > 0 && jitter_ > 0) {
        const float scale = 1.0f + jitter_ * (2.0f * random() - 1.0f);
        left_ = std::max<int64_t>(1, static_cast<int64_t>(static_cast<float>(left_) * scale));
    }
    const float freqs[2] = {s.freq1, s.freq2};
    for (int k = 0; k < 2; ++k) {
        on_[k] = freqs[k] > 0;
        float w = kTwoPi * freqs[k] / kSampleRate;
        stepRe_[k] = std::cos(w);
        stepIm_[k] = std::sin(w);
        re_[k] = 1;
        im_[k] = 0;
    }
}

bool TonePlayer::sounding() const {
    return cadence_ != nullptr && (on_[0] || on_[1]);
}

void TonePlayer::process(float* out, int n) {
    for (int i = 0; i < n && cadence_ != nullptr; ++i) {
        float v = 0;
        for (int k = 0; k < 2; ++k) {
            if (!on_[k]) {
                continue;
            }
            v += im_[k];
            float r = re_[k] * stepRe_[k] - im_[k] * stepIm_[k];
            im_[k] = re_[k] * stepIm_[k] + im_[k] * stepRe_[k];
            re_[k] = r;
        }
        out[i] += v * amplitude_;
        if (++renorm_ >= 256) {
            // Keep the phasors on the unit circle despite rounding.
            renorm_ = 0;
            for (int k = 0; k < 2; ++k) {
                float g = 1.0f / std::sqrt(re_[k] * re_[k] + im_[k] * im_[k]);
                re_[k] *= g;
                im_[k] *= g;
            }
        }
        if (left_ > 0 && --left_ == 0) {
            size_t next = segment_ + 1;
            if (next >= cadence_->segments.size()) {
                ++periods_;
                if (!cadence_->repeat) {
                    cadence_ = nullptr;
                    break;
                }
                next = 0;
            }
            enterSegment(next);
        }
    }
}

void NoiseSource::init(uint32_t seed, double dbm0) {
    state_ = seed * 2654435761u + 12345u;
    // A triangular variable on [-1, 1] has an rms of 1/sqrt(6).
    double rms = kZeroDbm0Peak / std::sqrt(2.0) * std::pow(10.0, dbm0 / 20.0);
    scale_ = static_cast<float>(rms * std::sqrt(6.0));
}

float NoiseSource::uniform() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) / 16777216.0f;
}

void NoiseSource::process(float* out, int n) {
    for (int i = 0; i < n; ++i) {
        out[i] += (uniform() - uniform()) * scale_;
    }
}

}  // namespace orvel::sim
