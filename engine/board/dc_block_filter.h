// CDcBlockingFilter: removes the direct voltage that the line interface
// leaves on every input sample, y = a × y_prev + g × (x − x_prev), with the
// coefficients chosen by the unit's sample rate (g = (1 + a) / 2).
#pragma once

#include <cstdint>

namespace orvel {

class CDcBlockingFilter {
public:
    // Coefficients for `rate`; a rate without its own row uses 8000's.
    void init(uint32_t rate);
    void reset();
    // One sample through the filter: the output truncated toward zero and
    // limited to the 16-bit range.
    int16_t process(int16_t x) {
        const float y = a_ * prevOut_ + g_ * (static_cast<float>(x) - prevIn_);
        prevIn_ = static_cast<float>(x);
        prevOut_ = y;
        if (y >= 32767.0f) {
            return 32767;
        }
        if (y <= -32768.0f) {
            return -32768;
        }
        return static_cast<int16_t>(y);
    }

    float a() const { return a_; }
    float g() const { return g_; }

private:
    float prevIn_ = 0.0f;
    float prevOut_ = 0.0f;
    float a_ = 0.8816f;
    float g_ = 0.9408f;
};

}  // namespace orvel
