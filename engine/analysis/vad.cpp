#include "analysis/vad.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dump_mask.h"

namespace orvel {

namespace {

constexpr int16_t kMarker = -1000;

// Dump values are diagnostic: truncated, then held within 16 bits.
int16_t dumpValue(float v) {
    if (!(v == v)) {
        return 0;
    }
    const float t = std::trunc(v);
    return static_cast<int16_t>(std::clamp(t, -32768.0f, 32767.0f));
}

int64_t integerPart(float v) {
    return static_cast<int64_t>(v);
}

}  // namespace

void PeakPowerStatistics::update(int16_t magnitude) {
    const int32_t square = int32_t{magnitude} * int32_t{magnitude};
    smoothed = (1.0f - kSmoothing) * static_cast<float>(square) + kSmoothing * smoothed;
    std::rotate(history.begin(), history.begin() + 1, history.end());
    history.back() = smoothed;

    float sum = 0.0f;
    for (float v : history) {
        sum += v;
    }
    mean = 0.2f * sum;
    float spread = 0.0f;
    for (float v : history) {
        spread += (mean - v) * (mean - v);
    }
    deviation = std::sqrt(0.2f * spread);

    std::array<float, kHistory - 1> d{};
    float dsum = 0.0f;
    for (int i = 0; i + 1 < kHistory; ++i) {
        d[i] = static_cast<float>(std::llabs(integerPart(history[i + 1] - history[i])));
        dsum += d[i];
    }
    meanAbsDifference = 0.2f * dsum;
    float dspread = 0.0f;
    for (float v : d) {
        dspread += (meanAbsDifference - v) * (meanAbsDifference - v);
    }
    differenceDeviation = std::sqrt(0.2f * dspread);
}

bool CVoiceDetector::setUp(int sampleRate, int bins) {
    return frontEnd_.setUp(sampleRate, bins);
}

void CVoiceDetector::resetThreshold() {
    threshold_ = noiseFloor_;
    smoothedThreshold_ = 0.0f;
}

void CVoiceDetector::calibrationStep(const int16_t* frame) {
    frontEnd_.analyse(frame);
    stats_.update(frontEnd_.firstPeak().magnitude);
    noiseFloor_ = 2.0f * stats_.deviation + stats_.mean;
    previousPower_ = stats_.mean;
    energyDump_.writePair(dumpValue(stats_.mean * 0.00001f), dumpValue(noiseFloor_ * 0.00001f));
    decisionDump_.writePair(kMarker, kMarker);
}

CVoiceDetector::Event CVoiceDetector::cadenceStep(bool active) {
    if (active && state_ != Cadence::Active) {
        if (++activeRun_ > kStartFrames) {
            state_ = Cadence::Active;
            previousActiveLength_ = activeLength_;
            previousQuietLength_ = quietLength_;
            activeLength_ = activeRun_;
            activeRun_ = 0;
            quietRun_ = 0;
            return kStarted;
        }
    } else if (active) {
        activeLength_ += quietRun_ + 1;
        quietRun_ = 0;
        if (activeLength_ > kLongActivityFrames) {
            return kLong;
        }
    } else if (state_ == Cadence::Active) {
        if (++quietRun_ > kEndFrames) {
            state_ = Cadence::Quiet;
            quietLength_ = quietRun_;
            quietRun_ = 0;
            activeRun_ = 0;
            return kEnded;
        }
    } else {
        quietLength_ += activeRun_ + 1;
        activeRun_ = 0;
        if (quietLength_ > kLongQuietFrames) {
            return kLongQuiet;
        }
    }
    return kNone;
}

int CVoiceDetector::step(const int16_t* frame) {
    frontEnd_.analyse(frame);
    if (!enabled_) {
        energyDump_.writePair(kMarker, kMarker);
        decisionDump_.writePair(0, 0);
        return 0;
    }
    stats_.update(frontEnd_.firstPeak().magnitude);
    const int frequency = frontEnd_.firstPeak().frequency;
    const float delta =
        static_cast<float>(std::llabs(integerPart(previousPower_ - stats_.smoothed)));
    previousPower_ = stats_.smoothed;

    const Event event = cadenceStep(delta > threshold_);
    int decision = 0;
    if (state_ == Cadence::Quiet) {
        float candidate = 2.5f * stats_.differenceDeviation + stats_.meanAbsDifference;
        candidate = kAdaptation * candidate + (1.0f - kAdaptation) * smoothedThreshold_;
        smoothedThreshold_ = candidate;
        threshold_ = std::max(candidate, noiseFloor_);
    } else if (state_ == Cadence::Active && event == kNone) {
        decision = (frequency < kVoiceBandLowHz || frequency > kVoiceBandHighHz) ? 1 : 0;
    }
    energyDump_.writePair(dumpValue(delta * 0.0001f), dumpValue(threshold_ * 0.0001f));
    decisionDump_.writePair(dumpValue(decision * 1000.0f), dumpValue(stats_.smoothed * 0.0001f));
    return decision;
}

void CVoiceDetector::openDumps(const std::string& channelDir, const std::string& callPrefix) {
    openDumps(channelDir, callPrefix, DumpMask::instance().value());
}

void CVoiceDetector::openDumps(const std::string& channelDir, const std::string& callPrefix,
                               uint32_t mask) {
    energyDump_.open(DUMP_VAD_ENERGY, mask, channelDir, callPrefix);
    decisionDump_.open(DUMP_VAD_DECISION, mask, channelDir, callPrefix);
}

}  // namespace orvel
