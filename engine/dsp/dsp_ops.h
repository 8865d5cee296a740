// Vector operations used by the filters and tone generators: conversions
// with saturation, element-wise sums, magnitudes and phases, sampled sines,
// and a fourth-order recursive filter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/fft.h"

namespace orvel::dsp {

// 16-bit samples to floats.
void intToFloat(const int16_t* src, float* dst, std::size_t n);
// Floats to 16-bit samples, rounded to nearest and saturated at the limits.
void floatToInt(const float* src, int16_t* dst, std::size_t n);
// Half away from zero; NaN gives 0. Inline, and a plain conversion rather
// than a rounding-mode aware library call: it runs 192 times per frame.
inline int16_t saturateToInt16(float v) {
    if (!(v == v)) {
        return 0;
    }
    if (v >= 32767.0f) {
        return 32767;
    }
    if (v <= -32768.0f) {
        return -32768;
    }
    return static_cast<int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

// dst[i] += src[i].
void add2(const float* src, float* dst, std::size_t n);
void zero(float* v, std::size_t n);

void magnitude(const Complex* src, float* dst, std::size_t n);
void phase(const Complex* src, float* dst, std::size_t n);

// Fills `dst` with n samples of magnitude × sin(2π × relFreq × i + phase),
// relFreq being f ÷ sample rate. Values are rounded and saturated.
void tone(int16_t* dst, std::size_t n, float relFreq, float phase, float magnitude);

// dst[i] = a[i] + b[i], the whole vector shifted right by the fewest bits
// that keep every sum within 16 bits (automatic scaling). Returns the shift.
int add3AutoScale(const int16_t* a, const int16_t* b, int16_t* dst, std::size_t n);

// A fourth-order IIR filter given as taps b0..b4, a0..a4 (a0 normalises).
// Runs in place from zero state; state is kept in double precision so that
// poles close to the unit circle stay accurate over long messages.
class Iir4 {
public:
    using Taps = std::array<double, 10>;

    void init(const Taps& taps);
    void reset();
    void process(float* v, std::size_t n);

private:
    std::array<double, 5> b_{};
    std::array<double, 5> a_{};
    std::array<double, 4> z_{};  // transposed direct form II delays
};

}  // namespace orvel::dsp
