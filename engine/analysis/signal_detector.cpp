#include "analysis/signal_detector.h"

#include <ace/Log_Msg.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace orvel {

namespace {

constexpr int16_t kMarker = -1000;
constexpr int kAonLowHz = 495;
constexpr int kAonHighHz = 505;
constexpr int kAonStrongRatio = 40;  // level ÷ mean magnitude
constexpr int kAonWeakRatio = 30;
constexpr uint32_t kAonScoreNeeded = 3;
constexpr double kStableShare = 0.8;
// Output ranges of the rule base.
constexpr double kBusyLow = 0.2, kBusyHigh = 0.45;
constexpr double kRingBackLow = 0.764, kRingBackHigh = 1.0;

int16_t clamp16(int v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// The rule base is the same file for every channel: it is read once and the
// built system shared, as long as the file is unchanged.
class RuleBaseCache {
public:
    std::shared_ptr<const fuzzy::FuzzySystem> load(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        if (system_ && path == path_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
            st.st_mtim.tv_nsec == mtime_.tv_nsec && st.st_size == size_) {
            return system_;
        }
        auto system = fuzzy::loadFuzzySystem(path);
        if (system) {
            system_ = system;
            path_ = path;
            mtime_ = st.st_mtim;
            size_ = st.st_size;
        }
        return system;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<const fuzzy::FuzzySystem> system_;
    std::string path_;
    timespec mtime_{};
    off_t size_ = 0;
};

RuleBaseCache& ruleBaseCache() {
    static RuleBaseCache cache;
    return cache;
}

}  // namespace

int CSignalDetector::loadFuzzySystem(const std::string& path) {
    auto system = ruleBaseCache().load(path);
    setFuzzySystem(system);
    return system ? 0 : -1;
}

void CSignalDetector::setFuzzySystem(std::shared_ptr<const fuzzy::FuzzySystem> system) {
    if (system && system->inputCount() >= 2 && system->outputCount() >= 1) {
        evaluator_ = std::make_unique<fuzzy::FuzzyEvaluator>(std::move(system));
    } else {
        evaluator_.reset();
    }
}

void CSignalDetector::setToneProfile(const ToneProfile& profile) {
    profile_ = profile;
    profile_.levelHoldFrames = std::clamp<uint32_t>(profile.levelHoldFrames, 1, kMaxLevelHold);
    recentLevels_.fill(0);
    recentNext_ = 0;
}

void CSignalDetector::reset() {
    decision_ = kNoDecision;
    bandLow_ = profile_.bandLowHz;
    bandHigh_ = profile_.bandHighHz;
    clearStatistics();
    previousClass_ = kSilence;
    networkToneLevel_ = 0;
    weakSoundFloor_ = true;
}

void CSignalDetector::clearStatistics() {
    inBand_ = outOfBand_ = 0;
    amplitudeStable_ = amplitudeUnstable_ = 0;
    referenceSet_ = false;
    referenceFrequency_ = 0;
    jumpRun_ = 0;
    frequencyStable_ = frequencyUnstable_ = 0;
    voiceSeen_ = false;
}

void CSignalDetector::amplitudeCheck(int16_t level) {
    if (std::abs(referenceLevel_ - level) >= startLevel_ / 3) {
        ++amplitudeUnstable_;
    } else {
        ++amplitudeStable_;
    }
}

void CSignalDetector::bandCheck(int frequency) {
    if (frequency >= bandLow_ && frequency <= bandHigh_) {
        ++inBand_;
    } else {
        ++outOfBand_;
    }
}

void CSignalDetector::trackFrequency(int frequency) {
    if (!referenceSet_) {
        referenceFrequency_ = frequency;
        referenceSet_ = true;
        jumpRun_ = 0;
        ++frequencyStable_;
        return;
    }
    // Small deviations never move the reference; three jumps in a row do.
    jumpRun_ = std::abs(referenceFrequency_ - frequency) >= kFrequencyJumpHz ? jumpRun_ + 1 : 0;
    if (jumpRun_ < kJumpFrames) {
        ++frequencyStable_;
    } else {
        ++frequencyUnstable_;
        referenceSet_ = false;
    }
}

int16_t CSignalDetector::holdLevel(int16_t level) {
    recentLevels_[recentNext_] = level;
    recentNext_ = (recentNext_ + 1) % profile_.levelHoldFrames;
    int16_t held = level;
    for (uint32_t i = 0; i < profile_.levelHoldFrames; ++i) {
        held = std::max(held, recentLevels_[i]);
    }
    return held;
}

bool CSignalDetector::toneIsStable() const {
    const uint32_t band = inBand_ + outOfBand_;
    const uint32_t frequency = frequencyStable_ + frequencyUnstable_;
    if (band == 0 || frequency == 0) {
        return false;
    }
    return static_cast<double>(inBand_) / band >= kStableShare &&
           amplitudeStable_ > amplitudeUnstable_ &&
           static_cast<double>(frequencyStable_) / frequency >= kStableShare;
}

bool CSignalDetector::isWeak(int level) const {
    return weakSoundFloor_ && networkToneLevel_ > 0 && level * kWeakSoundRatio < networkToneLevel_;
}

CSignalDetector::Cadence CSignalDetector::cadenceStep(bool sound, int level) {
    if (sound && cadence_ != 2) {
        runPeak_ = std::max(runPeak_, level);
        if (++toneRun_ > kToneStartFrames && isWeak(runPeak_)) {
            // Judged by its loudest frame, so that the first frames of a
            // tone, which fill the spectrum's window only in part, count.
            pauseLength_ += toneRun_;
            toneRun_ = 0;
            runPeak_ = 0;
        } else if (toneRun_ > kToneStartFrames) {
            runPeak_ = 0;
            cadence_ = 2;
            previousToneLength_ = toneLength_;
            previousPauseLength_ = pauseLength_;
            toneLength_ = toneRun_;
            toneRun_ = 0;
            pauseRun_ = 0;
            return Cadence::kToneStarted;
        }
    } else if (sound) {
        toneLength_ += pauseRun_ + 1;
        pauseRun_ = 0;
        if (toneLength_ > kToneMaxFrames) {
            return Cadence::kContinuous;
        }
    } else if (cadence_ == 2) {
        if (++pauseRun_ > kPauseEndFrames) {
            pauseLength_ = pauseRun_;
            cadence_ = 1;
            pauseRun_ = 0;
            toneRun_ = 0;
            runPeak_ = 0;
            return Cadence::kToneEnded;
        }
    } else {
        pauseLength_ += toneRun_ + 1;
        toneRun_ = 0;
        runPeak_ = 0;
        if (pauseLength_ > kPauseMaxFrames) {
            return Cadence::kLongSilence;
        }
    }
    return Cadence::kNone;
}

uint32_t CSignalDetector::fuzzyDecision(uint32_t toneFrames, uint32_t pauseFrames) {
    if (toneFrames == 0 || pauseFrames == 0 || !evaluator_) {
        return 0;
    }
    evaluator_->setInput(0, toneFrames * kFrameSeconds);
    evaluator_->setInput(1, pauseFrames * kFrameSeconds);
    evaluator_->evaluate();
    const double o = evaluator_->output(0);
    if (o > kBusyLow && o <= kBusyHigh) {
        return kBusy;
    }
    if (o > kRingBackLow && o < kRingBackHigh) {
        return kRingBack;
    }
    return 0;
}

uint32_t CSignalDetector::classify(const DetectorFrame& f) {
    decision_ = kPending;
    const bool sound = f.level > f.presenceThreshold;
    const Cadence event = cadenceStep(sound, f.level);

    const int16_t held = profile_.levelHoldFrames > 1 ? holdLevel(f.level) : f.level;

    // Evidence of the 500 Hz caller-identification request: a sharp peak.
    const auto mean = static_cast<int16_t>(f.meanMagnitude);
    if (profile_.aonTest && sound && f.frequency >= kAonLowHz && f.frequency <= kAonHighHz &&
        mean != 0) {
        const int r = static_cast<int16_t>(f.level / mean);
        if (r >= kAonStrongRatio) {
            aonScore_ += 2;
        } else if (r >= kAonWeakRatio) {
            aonScore_ += 1;
        }
    }

    if (event == Cadence::kToneStarted) {
        startLevel_ = referenceLevel_ = held;
        tonePeakLevel_ = 0;
        voiceSeen_ = false;
        decision_ = kStartOrLongSilence;
        clearStatistics();
        // The frames that made the tone start belong to it.
        for (const HistoryEntry& h : history_) {
            amplitudeCheck(h.heldLevel);
            trackFrequency(h.frequency);
            bandCheck(h.frequency);
        }
    }
    for (std::size_t i = 0; i + 1 < kHistory; ++i) {
        history_[i] = history_[i + 1];
    }
    history_[kHistory - 1] = {f.bin, f.level, f.frequency, held};

    if (cadence_ == 2) {
        amplitudeCheck(held);
        if (sound) {
            trackFrequency(f.frequency);
            bandCheck(f.frequency);
        }
        if (f.voice == 1) {
            voiceSeen_ = true;
        }
        if (sound) {
            tonePeakLevel_ = std::max<int>(tonePeakLevel_, f.level);
        }
    }
    if ((event == Cadence::kToneEnded || event == Cadence::kContinuous) && toneIsStable()) {
        networkToneLevel_ = std::max(networkToneLevel_, tonePeakLevel_);
    }

    uint32_t cls = previousClass_;
    switch (event) {
        case Cadence::kContinuous:
            decision_ = kReady;
            decidedSoundFrames_ = toneLength_ - 1;
            cls = toneIsStable() ? kDialTone : (voiceSeen_ ? kVoice : kSilence);
            break;
        case Cadence::kToneEnded:
            decision_ = kReady;
            decidedSoundFrames_ = toneLength_ + pauseLength_ - 1;  // and the quiet that ended it
            if (aonScore_ >= kAonScoreNeeded) {
                cls = kAon;
            } else if (!toneIsStable()) {
                cls = voiceSeen_ ? kVoice : kSilence;
            } else if (previousClass_ == kDialTone) {
                cls = kTone;  // the end of a dial tone
            } else {
                const uint32_t answer = fuzzyDecision(toneLength_, previousPauseLength_);
                cls = answer == 0 ? kTone : answer;
            }
            aonScore_ = 0;
            break;
        case Cadence::kLongSilence:
            decision_ = kStartOrLongSilence;
            decidedSoundFrames_ = 0;
            aonScore_ = 0;
            cls = f.voice == 1 ? kVoice : kSilence;
            break;
        default:
            break;
    }
    // A dial tone that goes on is reported once.
    if (previousClass_ == kDialTone && cls == kDialTone) {
        decision_ = kStartOrLongSilence;
    }
    previousClass_ = cls;

    const int meandr = static_cast<int>(cls) * 1000 + (decision_ == kReady ? 500 : 0);
    meandrDump_.writePair(clamp16(static_cast<int>(cadence_) * 1000), clamp16(meandr));
    signalDump_.writePair(f.level, clamp16(f.frequency));
    thresholdDump_.writePair(f.level, clamp16(f.presenceThreshold));
    return cls;
}

bool CSignalDetector::decisionReady() const {
    if (decision_ != kReady) {
        return false;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("%d %d\n"), static_cast<int>(frequencyStable_),
               static_cast<int>(frequencyUnstable_)));
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("%d %d\n"), static_cast<int>(amplitudeStable_),
               static_cast<int>(amplitudeUnstable_)));
    return true;
}

void CSignalDetector::calibrationFrame() {
    meandrDump_.writePair(kMarker, kMarker);
    signalDump_.writePair(kMarker, kMarker);
    thresholdDump_.writePair(kMarker, kMarker);
}

void CSignalDetector::openDumps(const std::string& channelDir, const std::string& callPrefix,
                                uint32_t mask) {
    meandrDump_.open(DUMP_SD_MEANDR, mask, channelDir, callPrefix);
    signalDump_.open(DUMP_SD_SIGNAL, mask, channelDir, callPrefix);
    thresholdDump_.open(DUMP_SD_THRESHOLD, mask, channelDir, callPrefix);
}

}  // namespace orvel
