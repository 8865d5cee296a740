// The per-channel signal analysis. CRawAnalyzer follows the line's life from
// the acknowledgements it sees (assigned, seized, on-hook, playing, freed)
// and feeds the channel's samples through CSignalProcessing: two seconds of
// calibration after each on-hook, then per 8-ms frame the voice detector,
// the call-progress detector and its line-state filter, and the DTMF
// detector. What it hears goes to the call algorithm as events.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/dtmf_detector.h"
#include "analysis/line_state_filter.h"
#include "analysis/machine_tone_detector.h"
#include "analysis/music_detector.h"
#include "analysis/narrow_tone_detector.h"
#include "analysis/played_tones.h"
#include "analysis/signal_detector.h"
#include "analysis/sit_detector.h"
#include "analysis/vad.h"
#include "dump_file.h"
#include "media/tone_map.h"
#include "messages.h"

namespace orvel {

class CSignalAnalysisTask;

class CSignalProcessing {
public:
    static constexpr std::size_t kWindowSamples = 130;
    static constexpr std::size_t kFrameSamples = 64;
    static constexpr uint32_t kCalibrationFrames = 250;  // 2 s
    static constexpr int kPlayBandLowHz = 300;
    static constexpr int kPlayBandHighHz = 500;

    CSignalProcessing();

    // Reads the fuzzy rule base the call-progress decision uses; -1 when it
    // cannot be read or built (every stable tone is then a generic tone).
    int loadFis(const std::string& path);
    void setSampleRate(uint32_t rate) { sampleRate_ = rate; }
    // Hears quieter call-progress tones and voices than the fixed presence
    // threshold allows: `db` lowers the threshold of a clear spectral peak.
    void setSensitivityDb(double db);
    // Whether music instead of ring-back is told from a person answering
    // (off: every voice report goes to the call algorithm as it is).
    void setMusicDetect(bool on);
    // The band and cadence habits of the site's tone plan.
    void setToneProfile(const ToneProfile& profile);
    // Where the board's transmit side tells which tones it plays into this
    // line (`channel` of `playing`); their echo is no machine's tone.
    void listenToPlayback(std::shared_ptr<const CPlayingTones> playing, uint32_t channel);
    uint32_t sampleRate() const { return sampleRate_; }

    // Closes this call's dumps and opens those selected by `mask` for a new
    // call: files named from the channel's dump directory and the call prefix.
    void openDumps(const std::string& channelDir, const std::string& callPrefix, uint32_t mask);

    // Steps of the analyzer, each under the processing lock.
    void startCalibration();
    void seize();
    void playOn();
    void playOff();
    void setFilterMode(uint32_t mode);
    // One frame of line noise; true once calibration is complete.
    bool calibrationFrame(const int16_t* samples, std::size_t count);
    // One frame of the active line; true when `reported` is to be sent.
    bool activeFrame(const int16_t* samples, std::size_t count, uint32_t& reported);
    // True once after the frame in which a machine's tone was heard (an
    // answering machine's beep, a fax tone).
    bool takeMachineTone();

    ACE_Recursive_Thread_Mutex& lock() { return lock_; }
    uint32_t reportedState() const { return reported_; }
    // How long ago the sound behind the last report was first heard, in ms.
    uint32_t reportedSoundMs() const {
        return detector_.decidedSoundFrames() * CSignalDetector::kFrameMs;
    }
    uint32_t frameCount() const { return frameCounter_; }
    int bandLow() const { return bandLow_; }
    int bandHigh() const { return bandHigh_; }
    const CSignalDetector& detector() const { return detector_; }
    const CLineStateFilter& filter() const { return filter_; }
    const CVoiceDetector& voiceDetector() const { return voice_; }
    const CMusicDetector& musicDetector() const { return music_; }

private:
    void pushWindow(const int16_t* samples, std::size_t count);
    // The strongest bin of a band, as the front end finds it, but passing
    // by the bins of the tones the engine has just played.
    BandFeatures machineBand(int bandLowHz, int bandHighHz) const;

    ACE_Recursive_Thread_Mutex lock_;
    DumpFile stateDump_;
    DumpFile waveDump_;
    CLineStateFilter filter_;
    CVoiceDetector voice_;
    CSignalDetector detector_;
    CMachineToneDetector machine_;
    // While the engine plays: a beep too weak for the spectrum test under
    // the echo of the engine's own message.
    CNarrowToneDetector narrowTone_;
    bool machineTone_ = false;
    std::shared_ptr<const CPlayingTones> playing_;
    uint32_t playingChannel_ = 0;
    CPlayedTones played_;
    CMusicDetector music_;
    bool musicOn_ = true;
    uint32_t frameCounter_ = 0;
    uint32_t sampleRate_ = 8000;
    double presenceScale_ = 1.0;
    int bandLow_ = 0;  // 0..0: the whole spectrum
    int bandHigh_ = 0;
    uint32_t reported_ = 0;
    std::array<int16_t, kWindowSamples> window_{};
};

// Events an analyzer has to send, gathered while its locks are held and
// sent after they are released.
struct AnalyzerEvents {
    struct Item {
        uint32_t type;
        uint32_t value;
        uint32_t extra;  // a line-state report: ms since its sound was first heard
    };
    static constexpr std::size_t kMax = 4;
    std::array<Item, kMax> items{};
    std::size_t count = 0;
    void add(uint32_t type, uint32_t value, uint32_t extra = 0) {
        if (count < kMax) {
            items[count++] = {type, value, extra};
        }
    }
};

class CRawAnalyzer {
public:
    enum State : uint32_t { kIdle = 0, kAssigned = 1, kCalibrating = 2, kActive = 3 };

    CRawAnalyzer();
    virtual ~CRawAnalyzer() = default;
    // Stores the task unless it is null, copies the address, resets DTMF.
    virtual void initialise(const Address& address, CSignalAnalysisTask* task);
    virtual void stop() {}
    // Looks at one block on its way down (the caller keeps the block) and
    // sends what it heard through the task's next. -1 for an unknown state.
    virtual int process(const ACE_Message_Block* mb);
    virtual uint32_t state() const { return state_; }

    // The same, leaving the events in `events` for the caller to send.
    int process(const ACE_Message_Block* mb, AnalyzerEvents& events);
    void send(const AnalyzerEvents& events);

    void setSampleRate(uint32_t rate);
    void setConfirmGuard(bool on);
    // Whether the exchange's information tones end a call as unobtainable.
    void setSitDetect(bool on);
    int loadFuzzySystem(const std::string& path) { return processing_.loadFis(path); }
    void openDumps(const std::string& channelDir, const std::string& callPrefix, uint32_t mask) {
        processing_.openDumps(channelDir, callPrefix, mask);
    }

    CSignalProcessing& processing() { return processing_; }
    const Address& address() const { return address_; }

private:
    using Handler = void (CRawAnalyzer::*)(const ACE_Message_Block*, AnalyzerEvents&);
    void onIdle(const ACE_Message_Block* mb, AnalyzerEvents& events);
    void onAssigned(const ACE_Message_Block* mb, AnalyzerEvents& events);
    void onCalibrating(const ACE_Message_Block* mb, AnalyzerEvents& events);
    void onActive(const ACE_Message_Block* mb, AnalyzerEvents& events);
    static const std::array<Handler, 4> kHandlers;

    // The samples of a read record of kind 0, copied out (records need not
    // be aligned); empty for anything else.
    const std::vector<int16_t>& samplesOf(const ReadRecord& read);
    void detectDtmf(AnalyzerEvents& events);

    CSignalAnalysisTask* task_ = nullptr;
    Address address_;
    uint32_t state_ = kIdle;
    CSignalProcessing processing_;
    CDtmfDetector dtmf_;
    CSitDetector sit_;  // the exchange's information tones, once per listening period
    bool sitOn_ = true;
    std::vector<int16_t> samples_;
};

}  // namespace orvel
