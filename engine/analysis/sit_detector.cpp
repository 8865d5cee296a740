#include "analysis/sit_detector.h"

#include <cmath>
#include <numbers>

namespace orvel {
namespace {

constexpr float kMinShare = 0.6f;  // of the frame's energy in the tone
// About -45 dBm0: a sine of peak 127 over 64 samples.
constexpr float kMinFrameEnergy = 64.0f * 127.0f * 127.0f / 2.0f;

}  // namespace

CSitDetector::CSitDetector() {
    for (int i = 0; i < 3; ++i) {
        coef_[i] =
            static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * kFrequencies[i] / 8000.0));
    }
    reset();
}

void CSitDetector::reset() {
    step_ = 0;
    run_ = 0;
    gap_ = 0;
    detected_ = false;
}

int CSitDetector::classify(const int16_t* frame) const {
    float energy = 0;
    for (int n = 0; n < kFrameSamples; ++n) {
        energy += static_cast<float>(frame[n]) * frame[n];
    }
    if (energy < kMinFrameEnergy) {
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        float s1 = 0, s2 = 0;
        for (int n = 0; n < kFrameSamples; ++n) {
            const float next = coef_[i] * s1 - s2 + frame[n];
            s2 = s1;
            s1 = next;
        }
        // |X|² of a sine of energy E over N samples is about E N / 2.
        const float power = s1 * s1 + s2 * s2 - coef_[i] * s1 * s2;
        if (power * 2.0f / kFrameSamples >= kMinShare * energy) {
            return i;
        }
    }
    return -1;
}

bool CSitDetector::process(const int16_t* frame) {
    if (detected_ || frame == nullptr) {
        return false;
    }
    const int tone = classify(frame);
    if (tone == step_) {
        ++run_;
        gap_ = 0;
        if (run_ > kMaxToneFrames) {
            reset();  // a steady tone, not the information tones
        } else if (step_ == 2 && run_ >= kMinToneFrames) {
            detected_ = true;
            return true;
        }
        return false;
    }
    const int needed = step_ == 0 ? kMinFirstToneFrames : kMinToneFrames;
    if (run_ >= needed && step_ < 2 && tone == step_ + 1) {
        ++step_;  // the next tone of the sequence begins
        run_ = 1;
        gap_ = 0;
        return false;
    }
    if (run_ >= needed && tone == -1 && ++gap_ <= kMaxGapFrames) {
        return false;  // a short gap between two tones
    }
    reset();
    if (tone == 0) {
        run_ = 1;
    }
    return false;
}

}  // namespace orvel
