#include "analysis/hum_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvel {

double CHumFilter::Section::step(double x) {
    // Transposed direct form II.
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

void CHumFilter::init(double sampleRate) {
    // Butterworth of order four as two biquads with these pole qualities.
    constexpr std::array<double, 2> kQ = {0.54119610, 1.30656296};
    const double w = 2 * std::numbers::pi * kCornerHz / (sampleRate > 0 ? sampleRate : 8000.0);
    const double c = std::cos(w);
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const double alpha = std::sin(w) / (2 * kQ[i]);
        const double a0 = 1 + alpha;
        Section& s = sections_[i];
        s.b0 = (1 + c) / 2 / a0;
        s.b1 = -(1 + c) / a0;
        s.b2 = s.b0;
        s.a1 = -2 * c / a0;
        s.a2 = (1 - alpha) / a0;
    }
    reset();
}

void CHumFilter::reset() {
    for (Section& s : sections_) {
        s.z1 = s.z2 = 0;
    }
}

void CHumFilter::process(const int16_t* in, int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        double y = in[i];
        for (Section& s : sections_) {
            y = s.step(y);
        }
        out[i] = static_cast<int16_t>(std::lround(std::clamp(y, -32768.0, 32767.0)));
    }
}

}  // namespace orvel
