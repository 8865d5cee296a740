#include "dsp/band_stop_filter.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "dsp/dsp_ops.h"

namespace orvel::dsp {

bool CBandStopFilter::init(int rate, int order, float f1, float f2) {
    release();
    if (rate <= 0 || order < 2 || order > 16 || !(f1 >= 0.0f) || !(f2 >= 0.0f)) {
        return false;
    }
    if (f1 > f2) {
        f2 = f1;
        f1 = 0.0f;
    }
    if (!fft_.init(order)) {
        return false;
    }
    n_ = std::size_t{1} << order;
    half_ = n_ / 2;
    bins_ = half_ + 1;
    const float binWidth = static_cast<float>(rate) / static_cast<float>(n_);
    stopLow_ = std::min(bins_, static_cast<std::size_t>(std::floor(f1 / binWidth)));
    stopHigh_ = std::min(bins_, static_cast<std::size_t>(std::ceil(f2 / binWidth)));
    try {
        input_.assign(n_, 0.0f);
        tail_.assign(half_, 0.0f);
        output_.assign(half_, 0.0f);
        magnitudes_.assign(bins_, 0.0f);
        phases_.assign(bins_, 0.0f);
        fade_.assign(half_, 0.0f);
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    // 3.14, not pi: the fade does not quite reach zero, as the filter always did.
    for (std::size_t i = 0; i + 1 < half_; ++i) {
        fade_[i] = static_cast<float>(
            (std::cos(static_cast<double>(i) * 3.14 / static_cast<double>(half_ - 1)) + 1.0) * 0.5);
    }
    ready_ = true;
    return true;
}

void CBandStopFilter::release() {
    fft_.release();
    input_.clear();
    tail_.clear();
    output_.clear();
    magnitudes_.clear();
    phases_.clear();
    fade_.clear();
    ready_ = false;
    n_ = half_ = bins_ = stopLow_ = stopHigh_ = 0;
}

void CBandStopFilter::process(int16_t* samples, std::size_t count) {
    if (!ready_ || samples == nullptr || count <= half_) {
        return;
    }
    const std::size_t hops = (count + half_ - 1) / half_ - 1;
    for (std::size_t h = 0; h < hops; ++h) {
        processHop(samples + h * half_);
    }
}

void CBandStopFilter::processHop(int16_t* hop) {
    intToFloat(hop, input_.data() + half_, half_);
    // The hop is replaced by the previous hop's output: one hop of latency.
    floatToInt(output_.data(), hop, half_);

    float* work = fft_.time();
    std::copy(input_.begin(), input_.end(), work);
    fft_.forward();
    Complex* spectrum = fft_.spectrum();
    magnitude(spectrum, magnitudes_.data(), bins_);
    phase(spectrum, phases_.data(), bins_);
    for (std::size_t k = stopLow_; k < stopHigh_; ++k) {
        magnitudes_[k] = 0.0f;
    }
    for (std::size_t k = 0; k < bins_; ++k) {
        spectrum[k] = std::polar(magnitudes_[k], phases_[k]);
    }
    // The time-domain tail is not added onto the spectral values here: that
    // would only inject a faint copy of the previous frame into the output.
    // The cross-fade below carries the overlap on its own.
    fft_.inverse();
    work = fft_.time();
    for (std::size_t i = 0; i + 1 < half_; ++i) {
        work[i] = (1.0f - fade_[i]) * work[i] + tail_[i] * fade_[i];
    }
    std::copy(work, work + half_, output_.begin());
    std::copy(work + half_, work + n_, tail_.begin());
    std::copy(input_.begin() + half_, input_.end(), input_.begin());
}

}  // namespace orvel::dsp
