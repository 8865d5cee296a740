#include "analysis/signal_processing.h"

#include <algorithm>
#include <cmath>

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

namespace orvel {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

namespace {
constexpr int16_t kMarker = -1000;
}

CSignalProcessing::CSignalProcessing() {
    voice_.setUp(static_cast<int>(sampleRate_));
    narrowTone_.init();
}

int CSignalProcessing::loadFis(const std::string& path) {
    Guard guard(lock_);
    return detector_.loadFuzzySystem(path);
}

void CSignalProcessing::openDumps(const std::string& channelDir, const std::string& callPrefix,
                                  uint32_t mask) {
    Guard guard(lock_);
    stateDump_.open(DUMP_PD_STATE, mask, channelDir, callPrefix);
    waveDump_.open(DUMP_PD_WAV, mask, channelDir, callPrefix);
    voice_.openDumps(channelDir, callPrefix, mask);
    detector_.openDumps(channelDir, callPrefix, mask);
}

void CSignalProcessing::startCalibration() {
    Guard guard(lock_);
    filter_.reset();
    voice_.enable(true);
    voice_.setUp(static_cast<int>(sampleRate_), static_cast<int>(kFrameSamples));
    detector_.reset();
    machine_.reset();
    narrowTone_.reset();
    machineTone_ = false;
    music_.reset();
    voice_.clearFloor();
    frameCounter_ = 0;
}

void CSignalProcessing::seize() {
    Guard guard(lock_);
    voice_.resetThreshold();
    bandLow_ = 0;
    bandHigh_ = 0;
}

void CSignalProcessing::playOn() {
    Guard guard(lock_);
    voice_.enable(false);
    detector_.endWeakSoundFloor();  // the engine plays: the call was answered
    // Heard only while the engine plays: what came before the last play is
    // not continuous with what comes now.
    narrowTone_.reset();
    bandLow_ = kPlayBandLowHz;
    bandHigh_ = kPlayBandHighHz;
}

void CSignalProcessing::playOff() {
    Guard guard(lock_);
    voice_.enable(true);
    bandLow_ = 0;
    bandHigh_ = 0;
}

void CSignalProcessing::setFilterMode(uint32_t mode) {
    Guard guard(lock_);
    filter_.setMode(mode);
}

void CSignalProcessing::pushWindow(const int16_t* samples, std::size_t count) {
    if (count >= kWindowSamples) {
        std::copy(samples + count - kWindowSamples, samples + count, window_.begin());
        return;
    }
    std::copy(window_.begin() + static_cast<std::ptrdiff_t>(count), window_.end(), window_.begin());
    std::copy(samples, samples + count, window_.end() - static_cast<std::ptrdiff_t>(count));
}

bool CSignalProcessing::calibrationFrame(const int16_t* samples, std::size_t count) {
    Guard guard(lock_);
    waveDump_.write(samples, count * sizeof(int16_t));
    stateDump_.writePair(kMarker, kMarker);
    ++frameCounter_;
    pushWindow(samples, count);
    voice_.calibrationStep(window_.data());
    detector_.calibrationFrame();
    return frameCounter_ >= kCalibrationFrames;
}

void CSignalProcessing::setToneProfile(const ToneProfile& profile) {
    Guard guard(lock_);
    detector_.setToneProfile(profile);
    detector_.reset();
}

void CSignalProcessing::setSensitivityDb(double db) {
    Guard guard(lock_);
    presenceScale_ = std::pow(10.0, -std::clamp(db, 0.0, 30.0) / 20.0);
}

void CSignalProcessing::setMusicDetect(bool on) {
    Guard guard(lock_);
    musicOn_ = on;
}

bool CSignalProcessing::activeFrame(const int16_t* samples, std::size_t count, uint32_t& reported) {
    Guard guard(lock_);
    waveDump_.write(samples, count * sizeof(int16_t));
    ++frameCounter_;
    pushWindow(samples, count);

    DetectorFrame frame;
    frame.voice = voice_.step(window_.data());
    const BandFeatures band = voice_.features(bandLow_, bandHigh_);
    frame.bin = band.bin;
    frame.level = band.level;
    frame.frequency = band.frequency;
    frame.meanMagnitude = voice_.meanMagnitude();
    frame.presenceThreshold = voice_.presenceThreshold(presenceScale_);

    // Also while the engine plays: a machine beeps when its greeting is over,
    // whatever it hears. The echo of a spoken message makes no steady tone.
    // A band leaves out the bin of its upper limit: the row band reaches up
    // to 1000 Hz so that it takes in the bin of the 941 Hz tone.
    const BandFeatures m =
        voice_.features(CMachineToneDetector::kLowHz, CMachineToneDetector::kHighHz);
    const BandFeatures other = m.frequency < CMachineToneDetector::kDtmfGroupSplitHz
                                   ? voice_.features(1150, 1700)  // DTMF column tones
                                   : voice_.features(650, 1000);  // DTMF row tones
    machineTone_ = machine_.process(m.level, m.frequency, other.level, frame.meanMagnitude,
                                    frame.presenceThreshold) ||
                   machineTone_;
    if (!voice_.enabled()) {
        // The engine plays: its echo, much louder than a machine far away,
        // can hide the beep from the spectrum test.
        machineTone_ = narrowTone_.process(samples, count) || machineTone_;
    }
    if (voice_.enabled()) {
        // Not while the engine plays: the echo of its own message is no
        // answer either way.
        music_.process(voice_.frontEnd().spectrum(), frame.level > frame.presenceThreshold);
    }
    const uint32_t rawClass = detector_.classify(frame);
    const bool ready = detector_.decisionReady();
    if (ready) {
        if (musicOn_ && voice_.enabled() && music_.playing()) {
            // Music instead of ring-back is a sound of the network, not a
            // person answering, and none of its notes is a call-progress
            // tone: it is reported as a tone, after which the first voice
            // answers; the filter keeps the state it had before the music.
            ACE_DEBUG(
                (LM_DEBUG, ACE_TEXT(" Music heard: class %u reported as LS_TONE\n"), rawClass));
            reported_ = LS_TONE;
        } else {
            reported_ = filter_.filter(rawClass);
        }
    }
    stateDump_.writePair(frame.level, static_cast<int16_t>(reported_ * 1000));
    reported = reported_;
    return ready;
}
bool CSignalProcessing::takeMachineTone() {
    Guard guard(lock_);
    const bool heard = machineTone_;
    machineTone_ = false;
    return heard;
}

}  // namespace orvel
