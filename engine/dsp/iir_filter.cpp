#include "dsp/iir_filter.h"

#include <ace/Log_Msg.h>

#include <algorithm>
#include <new>

namespace orvel::dsp {

namespace {

// b0..b4, a0..a4. At 16000 Hz: unity at DC and high frequencies, -3 dB at
// 200 and 700 Hz, more than 39 dB down at 350..400 Hz.
constexpr Iir4::Taps kTaps16000 = {0.870330751,  -3.443689346, 5.147123814,  -3.443689346,
                                   0.870330751,  1.0,          -3.683521271, 5.130238533,
                                   -3.203857183, 0.757546961};
// At 8000 Hz: -3 dB at 250 Hz and near 600 Hz.
constexpr Iir4::Taps kTaps8000 = {0.823220789,  -3.140755177, 4.642096996,  -3.140755177,
                                  0.823220789,  1.0,          -3.447936058, 4.610598087,
                                  -2.833574533, 0.677940488};

}  // namespace

int CIirFilter::init(std::size_t size, int rate) {
    rate_ = rate;
    hasTaps_ = false;
    try {
        work_.assign(size, 0.0f);
    } catch (const std::bad_alloc&) {
        work_.clear();
        ACE_ERROR(
            (LM_ERROR, ACE_TEXT(" CIirFilter::init Not enought memory for creating buffer\n")));
        return -1;
    }
    if (rate == 16000) {
        taps_ = kTaps16000;
    } else if (rate == 8000) {
        taps_ = kTaps8000;
    } else {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" CIirFilter::init Not supporting %d sample rate\n"), rate));
        return -1;
    }
    hasTaps_ = true;
    return 0;
}

void CIirFilter::filter(int16_t* samples, std::size_t count, int extra) {
    if (samples == nullptr || count == 0) {
        return;
    }
    if (count > work_.size()) {
        // Grow the work buffer; the coefficient set stays as it was.
        try {
            work_.resize(count);
        } catch (const std::bad_alloc&) {
            ACE_ERROR(
                (LM_ERROR, ACE_TEXT(" CIirFilter::init Not enought memory for creating buffer\n")));
            return;
        }
    }
    float* v = work_.data();
    intToFloat(samples, v, count);
    if (hasTaps_) {
        Iir4 iir;
        for (int pass = 0; pass <= std::max(extra, 0); ++pass) {
            iir.init(taps_);  // every pass starts from zero state
            iir.process(v, count);
        }
    }
    // Largest sample value (not magnitude), as a 16-bit integer.
    const float top = *std::max_element(v, v + count);
    const int peak = top >= 32767.0f ? 32767 : (top <= -32768.0f ? -32768 : static_cast<int>(top));
    if (peak > 0 && kNormalPeak / static_cast<float>(peak) > 1.0f) {
        const float gain = kNormalPeak / static_cast<float>(peak);
        for (std::size_t i = 0; i < count; ++i) {
            v[i] *= gain;
        }
    }
    floatToInt(v, samples, count);
}

}  // namespace orvel::dsp
