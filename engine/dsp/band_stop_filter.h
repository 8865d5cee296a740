// CBandStopFilter: removes a frequency band from a message by clearing the
// spectral bins of half-overlapping transforms and cross-fading the frames.
// Works in place on a whole message; the output is one hop late, so the
// first hop of a message becomes silence and the last (partial) hop is left
// untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/fft.h"

namespace orvel::dsp {

class CBandStopFilter {
public:
    // Clears f1..f2 Hz (the band 0..f1 when f1 > f2) with 2^order-point
    // transforms at `rate` samples per second. False on bad arguments or
    // when memory runs out.
    bool init(int rate, int order, float f1, float f2);
    void process(int16_t* samples, std::size_t count);
    void release();

    bool ready() const { return ready_; }
    std::size_t hop() const { return half_; }
    std::size_t stopLow() const { return stopLow_; }
    std::size_t stopHigh() const { return stopHigh_; }

private:
    void processHop(int16_t* hop);

    std::size_t n_ = 0;
    std::size_t half_ = 0;
    std::size_t bins_ = 0;
    std::size_t stopLow_ = 0;
    std::size_t stopHigh_ = 0;
    bool ready_ = false;
    RealFft fft_;
    std::vector<float> input_;   // previous hop followed by the current hop
    std::vector<float> tail_;    // second half of the previous output frame
    std::vector<float> output_;  // first half of the previous output frame
    std::vector<float> magnitudes_;
    std::vector<float> phases_;
    std::vector<float> fade_;
};

}  // namespace orvel::dsp
