#include "analysis/machine_tone_detector.h"

#include <algorithm>
#include <cstdlib>

namespace orvel {

void CMachineToneDetector::reset() {
    run_ = 0;
    frequency_ = 0;
    heard_ = false;
}

bool CMachineToneDetector::process(int level, int frequency, int otherGroupLevel, int meanMagnitude,
                                   int presenceThreshold) {
    if (heard_) {
        return false;
    }
    const bool peak = level > presenceThreshold && frequency >= kLowHz && frequency <= kHighHz &&
                      level >= kPeakToMean * std::max(meanMagnitude, 1) &&
                      otherGroupLevel * kDtmfSecondToneRatio < level;
    if (!peak) {
        run_ = 0;
        return false;
    }
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
