// CIirFilter: the fourth-order notch over the call-progress band that every
// loaded message goes through (several passes), followed by a level
// normalisation that raises quiet messages to a peak of 16000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/dsp_ops.h"

namespace orvel::dsp {

class CIirFilter {
public:
    static constexpr float kNormalPeak = 16000.0f;

    // Work buffer of `size` samples and the coefficient set for `rate`
    // (8000 or 16000). Any other rate leaves the filter without coefficients
    // and filter() then only normalises. Returns 0 or -1.
    int init(std::size_t size, int rate);
    // In place: 1 + `extra` passes, each from zero state, then normalisation.
    void filter(int16_t* samples, std::size_t count, int extra);

    bool hasCoefficients() const { return hasTaps_; }
    int rate() const { return rate_; }

private:
    std::vector<float> work_;
    Iir4::Taps taps_{};
    bool hasTaps_ = false;
    int rate_ = 0;
};

}  // namespace orvel::dsp
