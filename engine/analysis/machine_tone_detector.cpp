#include "analysis/machine_tone_detector.h"

#include <algorithm>
#include <cstdlib>

namespace orvel {

void CMachineToneDetector::reset() {
    run_ = 0;
    gap_ = 0;
    frequency_ = 0;
    heard_ = false;
}

bool CMachineToneDetector::process(int level, int frequency, int otherGroupLevel, int meanMagnitude,
                                   int presenceThreshold) {
    if (heard_) {
        return false;
    }
    const int mean = std::max(meanMagnitude, 1);
    // A key's second tone is a peak of its own; speech beside the tone (the
    // echo of the engine's message) spreads over the band and is none.
    const bool secondTone = otherGroupLevel * kDtmfSecondToneRatio >= level &&
                            otherGroupLevel >= kSecondToneToMean * mean;
    const bool peak = level > presenceThreshold && frequency >= kLowHz && frequency <= kHighHz &&
                      level >= kPeakToMean * mean && !secondTone;
    if (!peak) {
        if (++gap_ > kMaxGapFrames) {
            run_ = 0;
        }
        return false;
    }
    gap_ = 0;
    if (run_ > 0 && std::abs(frequency - frequency_) > kFrequencyStepHz) {
        run_ = 0;  // another tone: start counting again
    }
    frequency_ = frequency;
    if (++run_ >= kMinFrames) {
        heard_ = true;
        return true;
    }
    return false;
}

}  // namespace orvel
