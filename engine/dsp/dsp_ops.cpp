#include "dsp/dsp_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace orvel::dsp {

void intToFloat(const int16_t* src, float* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = static_cast<float>(src[i]);
    }
}

void floatToInt(const float* src, int16_t* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = saturateToInt16(src[i]);
    }
}

void add2(const float* src, float* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] += src[i];
    }
}

void zero(float* v, std::size_t n) {
    std::fill(v, v + n, 0.0f);
}

void magnitude(const Complex* src, float* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = std::abs(src[i]);
    }
}

void phase(const Complex* src, float* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = std::arg(src[i]);
    }
}

void tone(int16_t* dst, std::size_t n, float relFreq, float ph, float mag) {
    const double w = 2.0 * std::numbers::pi * static_cast<double>(relFreq);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = mag * std::sin(w * static_cast<double>(i) + ph);
        dst[i] = saturateToInt16(static_cast<float>(v));
    }
}

int add3AutoScale(const int16_t* a, const int16_t* b, int16_t* dst, std::size_t n) {
    int32_t peak = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int32_t s = int32_t{a[i]} + int32_t{b[i]};
        peak = std::max(peak, s < 0 ? -(s + 1) : s);  // magnitude that must fit
    }
    int shift = 0;
    while ((peak >> shift) > 32767) {
        ++shift;
    }
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = static_cast<int16_t>((int32_t{a[i]} + int32_t{b[i]}) >> shift);
    }
    return shift;
}

void Iir4::init(const Taps& taps) {
    const double a0 = taps[5] != 0.0 ? taps[5] : 1.0;
    for (int i = 0; i < 5; ++i) {
        b_[i] = taps[i] / a0;
        a_[i] = taps[5 + i] / a0;
    }
    reset();
}

void Iir4::reset() {
    z_.fill(0.0);
}

void Iir4::process(float* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const double x = v[i];
        const double y = b_[0] * x + z_[0];
        z_[0] = b_[1] * x - a_[1] * y + z_[1];
        z_[1] = b_[2] * x - a_[2] * y + z_[2];
        z_[2] = b_[3] * x - a_[3] * y + z_[3];
        z_[3] = b_[4] * x - a_[4] * y;
        v[i] = static_cast<float>(y);
    }
}

}  // namespace orvel::dsp
