// CSignalDetector: the call-progress detector of one channel. Frame by frame
// (8 ms) it follows when sound is present and when it is absent, judges
// whether a sound is a stable tone of the 350..500 Hz call-progress band, and
// classifies each finished sound: dial tone, tone, busy, ring-back, the
// 500 Hz caller-identification request, voice or silence. Busy and ring-back
// are told apart by the fuzzy rule base from the tone's length and the pause
// before it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "dump_file.h"
#include "fuzzy/fuzzy_system.h"

namespace orvel {

// One frame as the spectral front end and the voice detector see it.
// What the site's tone plan asks of the detector: the band its call-progress
// tones lie in, how many frames a level is held (a tone that beats, two
// frequencies 25 Hz apart, swells and fades every 40 ms and would otherwise
// never count as steady), and whether a sharp 500 Hz peak may be the
// caller-number request (not where the plan's own tones lie at 480 Hz).
struct ToneProfile {
    int bandLowHz = 350;
    int bandHighHz = 500;
    uint32_t levelHoldFrames = 1;  // 1..kMaxLevelHold; 1: each frame's own level
    bool aonTest = true;
};

struct DetectorFrame {
    int bin = 0;
    int16_t level = 0;
    int frequency = 0;  // Hz
    int meanMagnitude = 0;
    int presenceThreshold = 0;
    int voice = 0;  // the voice detector's decision, 0 or 1
};

class CSignalDetector {
public:
    enum RawClass : uint32_t {
        kSilence = 0,
        kVoice = 1,
        kDialTone = 2,
        kTone = 3,
        kBusy = 4,
        kRingBack = 5,
        kAon = 7,
    };
    enum Decision : uint32_t { kNoDecision = 0, kStartOrLongSilence = 1, kReady = 2, kPending = 3 };

    // Frame counts (8 ms each): a tone starts after 64 ms of sound, ends
    // after 24 ms of silence, is continuous after 2.008 s; a silence is long
    // after 16.008 s.
    static constexpr uint32_t kToneStartFrames = 7;
    static constexpr uint32_t kToneMaxFrames = 250;
    static constexpr uint32_t kPauseEndFrames = 2;
    static constexpr uint32_t kPauseMaxFrames = 2000;
    static constexpr uint32_t kFrameMs = 8;
    static constexpr double kFrameSeconds = kFrameMs / 1000.0;
    static constexpr int kBandLowHz = 350;
    static constexpr int kBandHighHz = 500;
    static constexpr int kFrequencyJumpHz = 60;
    static constexpr uint32_t kJumpFrames = 3;
    static constexpr std::size_t kHistory = 7;
    static constexpr uint32_t kMaxLevelHold = 8;
    // A sound more than 26 dB below the loudest network tone heard since the
    // line was seized is a neighbour's conversation coupled into the line,
    // not the called party: a run of such frames does not start a tone, so
    // it neither breaks a pause nor is reported. Inside a tone, its quiet
    // stretches (a voice between its syllables) still belong to it.
    static constexpr int kWeakSoundRatio = 20;

    // Reads the rule base at `path` (shared between channels that load the
    // same unchanged file); -1 when it cannot be read or built.
    int loadFuzzySystem(const std::string& path);
    void setFuzzySystem(std::shared_ptr<const fuzzy::FuzzySystem> system);
    // Takes effect at the next reset.
    void setToneProfile(const ToneProfile& profile);
    const ToneProfile& toneProfile() const { return profile_; }
    bool hasFuzzySystem() const { return evaluator_ != nullptr; }

    // A new listening period: the statistics start again, the cadence goes on.
    void reset();
    // Once the call is answered every sound counts again, until the next
    // reset: what follows is the called party's, and the way it is heard
    // (busy after the message, keys) must not depend on the tones before.
    void endWeakSoundFloor() { weakSoundFloor_ = false; }
    uint32_t classify(const DetectorFrame& frame);
    // True when the last frame's class is to be reported.
    bool decisionReady() const;
    void calibrationFrame();
    void openDumps(const std::string& channelDir, const std::string& callPrefix, uint32_t mask);

    // The rule base's answer for a tone of t frames after a pause of p frames:
    // kBusy, kRingBack or 0.
    uint32_t fuzzyDecision(uint32_t toneFrames, uint32_t pauseFrames);

    uint32_t decision() const { return decision_; }
    // How long ago, in frames, the sound the last decision judged was first
    // heard (from the end of its first frame): a report comes only when a
    // sound ends or has gone on for two seconds, often long after it began.
    // 0 for a decision on a long silence.
    uint32_t decidedSoundFrames() const { return decidedSoundFrames_; }
    uint32_t cadenceState() const { return cadence_; }
    uint32_t toneLength() const { return toneLength_; }
    int networkToneLevel() const { return networkToneLevel_; }
    uint32_t previousPauseLength() const { return previousPauseLength_; }
    uint32_t aonScore() const { return aonScore_; }
    bool toneIsStable() const;

private:
    enum class Cadence { kNone, kToneStarted, kContinuous, kToneEnded, kLongSilence };
    struct HistoryEntry {
        int bin = 0;
        int16_t level = 0;
        int frequency = 0;
        int16_t heldLevel = 0;  // the level as the amplitude check sees it
    };

    Cadence cadenceStep(bool sound, int level);
    bool isWeak(int level) const;
    void clearStatistics();
    void amplitudeCheck(int16_t level);
    void bandCheck(int frequency);
    void trackFrequency(int frequency);
    int16_t holdLevel(int16_t level);

    std::unique_ptr<fuzzy::FuzzyEvaluator> evaluator_;
    ToneProfile profile_;
    std::array<int16_t, kMaxLevelHold> recentLevels_{};
    uint32_t recentNext_ = 0;

    uint32_t cadence_ = 0;  // 0 initial, 1 pause, 2 tone
    uint32_t toneRun_ = 0;
    uint32_t pauseRun_ = 0;
    uint32_t toneLength_ = 0;
    uint32_t previousToneLength_ = 0;
    uint32_t pauseLength_ = 0;
    uint32_t previousPauseLength_ = 0;

    int startLevel_ = 0;
    int referenceLevel_ = 0;
    uint32_t amplitudeStable_ = 0;
    uint32_t amplitudeUnstable_ = 0;
    int bandLow_ = kBandLowHz;
    int bandHigh_ = kBandHighHz;
    uint32_t inBand_ = 0;
    uint32_t outOfBand_ = 0;
    int referenceFrequency_ = 0;
    uint32_t jumpRun_ = 0;
    bool referenceSet_ = false;
    uint32_t frequencyStable_ = 0;
    uint32_t frequencyUnstable_ = 0;
    bool voiceSeen_ = false;
    int runPeak_ = 0;  // loudest frame of the sound run in a pause
    bool weakSoundFloor_ = true;
    int tonePeakLevel_ = 0;     // loudest frame of the current tone
    int networkToneLevel_ = 0;  // loudest stable tone since the reset; 0: none yet

    uint32_t previousClass_ = kSilence;
    uint32_t decision_ = kNoDecision;
    uint32_t decidedSoundFrames_ = 0;
    uint32_t aonScore_ = 0;
    std::array<HistoryEntry, kHistory> history_{};  // oldest first

    DumpFile meandrDump_;
    DumpFile signalDump_;
    DumpFile thresholdDump_;
};

}  // namespace orvel
