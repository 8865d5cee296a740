// The telephone network behind one board line: the exchange (dial tone, digit
// collection, ring-back, busy and information tones) and the subscriber the
// number plan routes to (answers, speaks, presses a key, hangs up).
//
// One state machine: every change passes through setState(), which records
// it; timeouts arrive as the Timeout event. All calls come from the card under
// its lock, with the simulated time in 8 kHz samples.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "line_effects.h"
#include "line_record.h"
#include "number_plan.h"
#include "sim_config.h"
#include "speech.h"
#include "tone_plans.h"
#include "tones.h"

struct dtmf_rx_state_s;
struct dtmf_tx_state_s;

namespace orvel::sim {

class ExchangeLine {
public:
    enum class State {
        OnHook,      // the board has not seized the line
        DialTone,    // seized, dial tone sounding
        Dialling,    // collecting digits
        Connecting,  // number taken, before the first ring
        Ringing,     // ring-back
        Connected,   // the subscriber answered
        Busy,        // busy tone
        Info,        // information tones, then busy
        Dead,        // seized, but nothing answers (no dial tone, cut line)
        HungUp,      // the subscriber hung up: silence before busy or the howler
        Howler,      // a receiver left off hook: the loud howler tone
        Count
    };
    enum class Event { Seize, Release, Digit, Timeout, SoundEnded };

    ExchangeLine();
    ~ExchangeLine();
    ExchangeLine(const ExchangeLine&) = delete;
    ExchangeLine& operator=(const ExchangeLine&) = delete;

    void init(int board, int channel, const LineConfig& line, const SimConfig& sim,
              const NumberPlan* plan, SpeechBank* speech, EventSink* sink);

    // Board side (line keys and pulse dialling).
    void seize(uint64_t now);
    void release(uint64_t now);
    void polarityPulse(uint64_t now);
    // Starts dialling pulse digit `value` (1..10 pulses, 11 a pause): the
    // samples until the unit may report it dialled, or -1 when the line is
    // not seized.
    int64_t startPulseDigit(int value, uint64_t now);
    void note(uint64_t now, const std::string& text);

    // The line's next `n` input samples (8 kHz); drives the timed behaviour.
    void render(int16_t* out, int n, uint64_t now);
    // `n` output samples at 16 kHz that the board put into the line.
    void hear(const int16_t* samples, int n, uint64_t now);
    // Line voltage in half volts, as the unit's converter reads it.
    int voltageReading(uint64_t now);
    // The unit's own view of the line (0 free, 3 active out, 4 busy).
    int unitLineState(uint64_t now) const;

    void detachSink() { sink_ = nullptr; }
    bool offHook() const { return offHook_; }
    State state() const { return state_; }
    static const char* stateName(State s);
    const LineRecord& record() const { return record_; }
    void clearRecord();
    void digitHeard(char digit, bool pulse, uint64_t now);

private:
    using Handler = void (ExchangeLine::*)(Event, uint64_t);
    void handle(Event e, uint64_t now);
    void setState(State s, uint64_t now, const char* why = nullptr);
    void onHook(Event e, uint64_t now);
    void dialTone(Event e, uint64_t now);
    void dialling(Event e, uint64_t now);
    void connecting(Event e, uint64_t now);
    void ringing(Event e, uint64_t now);
    void connected(Event e, uint64_t now);
    void busy(Event e, uint64_t now);
    void info(Event e, uint64_t now);
    void dead(Event e, uint64_t now);
    void hungUp(Event e, uint64_t now);
    void howler(Event e, uint64_t now);
    void playSpeech(const Speech& speech, bool loop);
    ToneVariation variation();
    void startTone(const Cadence& cadence);
    void takeNumber(bool timedOut, uint64_t now);
    void answer(uint64_t now);
    void pressKey(uint64_t now);
    void hangUp(uint64_t now);
    void updateDeadline();
    bool cut(uint64_t now) const;
    bool parallel(uint64_t now) const;
    uint64_t samples(double seconds) const;
    double seconds(uint64_t now) const;

    static const std::array<Handler, static_cast<size_t>(State::Count)> kHandlers;

    int board_ = 0;
    int channel_ = 0;
    LineConfig config_;
    const SimConfig* sim_ = nullptr;
    const NumberPlan* plan_ = nullptr;
    SpeechBank* speech_ = nullptr;
    EventSink* sink_ = nullptr;

    State state_ = State::OnHook;
    bool offHook_ = false;
    bool wasCut_ = false;
    bool dropped_ = false;            // the network dropped the line until it is released
    uint64_t deadline_ = UINT64_MAX;  // next Timeout
    uint64_t stateDeadline_ = UINT64_MAX;
    std::string digits_;      // collected for the current number
    size_t numberStart_ = 0;  // after a prefix that gave a new dial tone
    char pendingDigit_ = 0;
    const Subscriber* subscriber_ = nullptr;

    // Connected call.
    uint64_t answeredAt_ = 0;
    uint64_t speechAt_ = UINT64_MAX;
    uint64_t keyAt_ = UINT64_MAX;
    uint64_t hangUpAt_ = UINT64_MAX;
    int aonLeft_ = 0;
    bool keyPressed_ = false;
    bool heardBoard_ = false;  // the board played something since the answer
    int greetingsLeft_ = 0;
    uint64_t greetAgainAt_ = UINT64_MAX;
    Speech speechSamples_;
    size_t speechPos_ = 0;

    // Sound the board plays into the line, in 10 ms windows.
    int windowFill_ = 0;
    int windowPeak_ = 0;
    int soundMs_ = 0;
    int quietMs_ = 0;
    int soundsEnded_ = 0;
    uint64_t soundFrom_ = 0;    // the first loud window of the sound in progress
    uint64_t lastLoudEnd_ = 0;  // the end of its last loud window

    // Pulse dialling by the board.
    int pulsesLeft_ = 0;
    int64_t pulsePhase_ = 0;  // samples into the current pulse
    char pulseDigit_ = 0;
    int64_t pauseLeft_ = 0;

    int polarityLeft_ = 0;  // samples of the polarity pulse still to send

    TonePlayer tone_;
    NoiseSource noise_;
    float toneLevel_ = 0;
    const TonePlan* tonePlan_ = nullptr;
    float lossGain_ = 1;
    BandLimit band_;
    LineImpairments impairments_;
    HybridEcho echo_;
    Speech crosstalk_;
    uint32_t variations_ = 0;  // tones started so far (seeds their variation)
    bool speechLoops_ = false;
    int infoLeft_ = 0;              // announcements still to play after the information tones
    uint64_t beepAt_ = UINT64_MAX;  // answering machine's beep
    bool faxFlags_ = false;         // the fax answer tone is followed by flags
    dtmf_rx_state_s* dtmfRx_ = nullptr;
    dtmf_tx_state_s* dtmfTx_ = nullptr;
    int16_t decimated_[128] = {};
    int decimatedFill_ = 0;
    uint64_t hearNow_ = 0;

    uint64_t rendered_ = 0;

    LineRecord record_;
    size_t audioCap_ = 0;
};

}  // namespace orvel::sim
