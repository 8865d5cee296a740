#include "board/output_gap_watch.h"

#include <algorithm>

namespace orvel {

uint32_t COutputGapWatch::written(double beforeS, double afterS, uint32_t offered, uint32_t taken) {
    uint32_t gap = 0;
    double heldBefore = 0;
    const double sinceS = afterS - lastBeforeS_;
    const bool wasEmpty = !known_ || sinceS >= kIdleSeconds;
    if (known_) {
        // The most the card can have played since the last write.
        const double played = std::max(0.0, sinceS) * kFramesPerSecond;
        if (played - held_ > kMarginFrames) {
            gap = static_cast<uint32_t>(played - held_);
        }
        heldBefore = std::max(0.0, held_ - played);
    }
    held_ = heldBefore + taken;
    if (taken < offered) {
        // It refused the rest: it is full.
        if (wasEmpty) {
            capacity_ = std::max(capacity_, static_cast<double>(taken));
        }
        if (capacity_ > 0) {
            held_ = capacity_;
        }
    }
    lastBeforeS_ = beforeS;
    known_ = true;
    return gap;
}

void COutputGapWatch::reset() {
    *this = COutputGapWatch{};
}

}  // namespace orvel
