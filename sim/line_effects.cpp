#include "line_effects.h"

#include <cmath>
#include <cstdint>
#include <iterator>
#include <numbers>

#include "tones.h"

namespace orvel::sim {
namespace {

// The echo path models are data of spandsp's test set; only this file
// includes them.
#include <spandsp/g168models.h>

struct Model {
    const int32_t* coeffs;
    size_t count;
};

const Model kModels[] = {
    {line_model_d2_coeffs, std::size(line_model_d2_coeffs)},
    {line_model_d3_coeffs, std::size(line_model_d3_coeffs)},
    {line_model_d4_coeffs, std::size(line_model_d4_coeffs)},
    {line_model_d5_coeffs, std::size(line_model_d5_coeffs)},
    {line_model_d6_coeffs, std::size(line_model_d6_coeffs)},
    {line_model_d7_coeffs, std::size(line_model_d7_coeffs)},
    {line_model_d8_coeffs, std::size(line_model_d8_coeffs)},
    {line_model_d9_coeffs, std::size(line_model_d9_coeffs)},
};

Biquad design(double hz, double rate, bool high) {
    // Butterworth section (Q = 1/sqrt(2)) by the bilinear transform.
    const double w = 2 * std::numbers::pi * hz / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    Biquad q;
    if (high) {
        q.b0 = static_cast<float>((1 + c) / 2 / a0);
        q.b1 = static_cast<float>(-(1 + c) / a0);
    } else {
        q.b0 = static_cast<float>((1 - c) / 2 / a0);
        q.b1 = static_cast<float>((1 - c) / a0);
    }
    q.b2 = q.b0;
    q.a1 = static_cast<float>(-2 * c / a0);
    q.a2 = static_cast<float>((1 - alpha) / a0);
    return q;
}

}  // namespace

Biquad Biquad::highPass(double hz, double rate) {
    return design(hz, rate, true);
}

Biquad Biquad::lowPass(double hz, double rate) {
    return design(hz, rate, false);
}

void BandLimit::init(double rate) {
    stages_ = {Biquad::highPass(300, rate), Biquad::lowPass(3400, rate),
               Biquad::lowPass(3400, rate)};
}

void BandLimit::process(float* x, int n) {
    for (int i = 0; i < n; ++i) {
        float v = x[i];
        for (auto& s : stages_) {
            v = s.step(v);
        }
        x[i] = v;
    }
}

bool EchoPath::init(int model, double returnLossDb) {
    taps_.clear();
    if (returnLossDb <= -100 || returnLossDb >= 100) {
        return true;  // no echo
    }
    const float gain = static_cast<float>(std::pow(10.0, -std::fabs(returnLossDb) / 20));
    if (model == 0) {
        taps_ = {gain};
        return true;
    }
    if (model < 2 || model > kMaxModel) {
        return false;
    }
    const Model& m = kModels[model - 2];
    double energy = 0;
    for (size_t i = 0; i < m.count; ++i) {
        energy += static_cast<double>(m.coeffs[i]) * m.coeffs[i];
    }
    // Scaled to unit energy gain, so that the return loss is what is set.
    const double norm = energy > 0 ? 1.0 / std::sqrt(energy) : 0;
    for (size_t i = 0; i < m.count; ++i) {
        taps_.push_back(static_cast<float>(m.coeffs[i] * norm) * gain);
    }
    return true;
}

bool HybridEcho::init(int model, double returnLossDb) {
    ring_.fill(0);
    time_.fill(UINT64_MAX);
    return path_.init(model, returnLossDb);
}

float HybridEcho::heard(uint64_t t) const {
    const auto& taps = path_.taps();
    float e = 0;
    for (size_t k = 0; k < taps.size(); ++k) {
        const uint64_t back = kDelay + k;
        if (t < back) {
            break;
        }
        const uint64_t from = t - back;
        const size_t slot = from % kRing;
        if (time_[slot] == from) {
            e += taps[k] * ring_[slot];
        }
    }
    return e;
}

void LineImpairments::init(uint32_t seed, double humDbm0, double clicksPerMinute, double clickDbm0,
                           const std::vector<int16_t>* crosstalk, double crosstalkDbm0) {
    rng_ = seed * 747796405u + 2891336453u;
    humAmp_ = humDbm0 <= -100 ? 0.0f : toneAmplitude(humDbm0);
    humPhase_ = 0;
    clickChance_ = static_cast<float>(clicksPerMinute / (60.0 * 8000.0));
    clickAmp_ = toneAmplitude(clickDbm0);
    clickLeft_ = 0;
    crosstalk_ =
        crosstalkDbm0 <= -100 || crosstalk == nullptr || crosstalk->empty() ? nullptr : crosstalk;
    // Speech in the bank peaks near -5 dBm0.
    crosstalkGain_ = static_cast<float>(std::pow(10.0, (crosstalkDbm0 + 5.0) / 20));
    crosstalkPos_ = 0;
}

float LineImpairments::random() {
    rng_ = rng_ * 1664525u + 1013904223u;
    return static_cast<float>(rng_ >> 8) / 16777216.0f;
}

void LineImpairments::process(float* x, int n) {
    const double step = 2 * std::numbers::pi * 50.0 / 8000.0;
    for (int i = 0; i < n; ++i) {
        if (humAmp_ > 0) {
            x[i] +=
                humAmp_ * static_cast<float>(std::sin(humPhase_) + 0.3 * std::sin(3 * humPhase_));
            humPhase_ = std::fmod(humPhase_ + step, 2 * std::numbers::pi);
        }
        if (clickChance_ > 0 && random() < clickChance_) {
            clickLeft_ = (random() < 0.5f ? -1.0f : 1.0f) * clickAmp_;
        }
        if (clickLeft_ != 0) {
            x[i] += clickLeft_;
            clickLeft_ *= -0.7f;  // a ringing impulse that dies in a few ms
            if (std::fabs(clickLeft_) < 1.0f) {
                clickLeft_ = 0;
            }
        }
        if (crosstalk_ != nullptr) {
            x[i] += crosstalkGain_ * (*crosstalk_)[crosstalkPos_];
            crosstalkPos_ = (crosstalkPos_ + 1) % crosstalk_->size();
        }
    }
}

}  // namespace orvel::sim
