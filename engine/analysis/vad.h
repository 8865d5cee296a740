// CVoiceDetector: the voice activity detector of a channel, over its
// spectral front end. It judges speech from how fast the power of the
// strongest spectral peak changes, against a threshold learnt from two
// seconds of line noise (calibration) and adapted while the line is quiet.
// Steady sound in the call-progress band (350..500 Hz) never counts as voice.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "analysis/frequency_front_end.h"
#include "dump_file.h"

namespace orvel {

// Running statistics of the smoothed power of the strongest peak over the
// last five frames.
struct PeakPowerStatistics {
    static constexpr int kHistory = 5;
    static constexpr float kSmoothing = 0.5f;

    void update(int16_t magnitude);

    float smoothed = 0.0f;
    float mean = 0.0f;
    float deviation = 0.0f;
    float meanAbsDifference = 0.0f;
    float differenceDeviation = 0.0f;
    std::array<float, kHistory> history{};  // oldest first
};

class CVoiceDetector {
public:
    enum class Cadence { Initial = 0, Quiet = 1, Active = 2 };

    bool setUp(int sampleRate, int bins = CSpectralFrontEnd::kBins);
    // One frame of the 2-s calibration after on-hook: learns the noise floor.
    void calibrationStep(const int16_t* frame);
    // One active frame: 1 when the line carries speech-like sound.
    int step(const int16_t* frame);

    BandFeatures features(int bandLowHz, int bandHighHz) const {
        return frontEnd_.features(bandLowHz, bandHighHz);
    }
    int meanMagnitude() const { return frontEnd_.meanMagnitude(); }
    int presenceThreshold(double scale = 1.0) const { return frontEnd_.presenceThreshold(scale); }

    void enable(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    // At seizure the threshold starts again from the calibrated floor.
    void resetThreshold();
    void clearFloor() { noiseFloor_ = 0.0f; }
    // "%s/%s_VAD_energy.raw" (dump bit 0x04) and "%s/%s_VAD_decision.raw"
    // (bit 0x08) under the engine's dump mask.
    void openDumps(const std::string& channelDir, const std::string& callPrefix);
    void openDumps(const std::string& channelDir, const std::string& callPrefix, uint32_t mask);

    const CSpectralFrontEnd& frontEnd() const { return frontEnd_; }
    const PeakPowerStatistics& statistics() const { return stats_; }
    float noiseFloor() const { return noiseFloor_; }
    float activityThreshold() const { return threshold_; }
    Cadence cadence() const { return state_; }

private:
    enum Event { kNone, kStarted, kLong, kEnded, kLongQuiet };
    Event cadenceStep(bool active);

    static constexpr unsigned kStartFrames = 2;
    static constexpr unsigned kLongActivityFrames = 4;
    static constexpr unsigned kEndFrames = 3;
    static constexpr unsigned kLongQuietFrames = 16;
    static constexpr float kAdaptation = 0.5f;
    static constexpr int kVoiceBandLowHz = 350;  // below or above the tone band
    static constexpr int kVoiceBandHighHz = 500;

    CSpectralFrontEnd frontEnd_;
    PeakPowerStatistics stats_;
    float noiseFloor_ = 0.0f;
    float previousPower_ = 0.0f;
    float threshold_ = 0.0f;
    float smoothedThreshold_ = 0.0f;
    bool enabled_ = true;

    Cadence state_ = Cadence::Initial;
    unsigned activeLength_ = 0;
    unsigned previousActiveLength_ = 0;
    unsigned quietLength_ = 0;
    unsigned previousQuietLength_ = 0;
    unsigned activeRun_ = 0;
    unsigned quietRun_ = 0;

    DumpFile energyDump_;
    DumpFile decisionDump_;
};

}  // namespace orvel
