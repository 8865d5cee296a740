#include "exchange_line.h"

#include <spandsp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvel::sim {
namespace {

constexpr const char* kStateNames[] = {"on hook",    "dial tone",         "dialling",
                                       "connecting", "ringing",           "connected",
                                       "busy",       "information tones", "dead"};
static_assert(std::size(kStateNames) == static_cast<size_t>(ExchangeLine::State::Count));

constexpr double kNoDigitSeconds = 15.0;     // dial tone without a digit: busy
constexpr double kPostDialSeconds = 1.5;     // number taken until the first ring
constexpr double kRingPeriodSeconds = 5.0;   // 1 s ring, 4 s pause
constexpr double kGiveUpSeconds = 120.0;     // ringing without an answer
constexpr double kSpeechDelaySeconds = 0.4;  // from pick-up to the first word
constexpr int kPulseSamples = 800;           // 100 ms a pulse: 60 ms break, 40 ms make
constexpr int kPulseBreakSamples = 480;
constexpr int kInterDigitSamples = 3200;  // 400 ms after a pulse digit
constexpr int kPausePulseSamples = 8000;  // the ',' digit: 1 s
constexpr int kPolaritySamples = 320;     // 40 ms polarity pulse
constexpr int kWindowSamples16k = 160;    // 10 ms at 16 kHz
constexpr int kSoundPeak = 300;           // a window louder than this holds sound
constexpr int kSoundMinMs = 200;          // a sound is at least this long
constexpr int kSoundGapMs = 800;          // and ends after this much quiet
constexpr size_t kMaxEvents = 5000;

void onDtmfDigits(void* user, const char* digits, int len) {
    auto* line = static_cast<ExchangeLine*>(user);
    for (int i = 0; i < len; ++i) {
        line->digitHeard(digits[i], false, 0);
    }
}

}  // namespace

const std::array<ExchangeLine::Handler, static_cast<size_t>(ExchangeLine::State::Count)>
    ExchangeLine::kHandlers = {
        &ExchangeLine::onHook,     &ExchangeLine::dialTone, &ExchangeLine::dialling,
        &ExchangeLine::connecting, &ExchangeLine::ringing,  &ExchangeLine::connected,
        &ExchangeLine::busy,       &ExchangeLine::info,     &ExchangeLine::dead};

ExchangeLine::ExchangeLine() {
    dtmfRx_ = dtmf_rx_init(nullptr, onDtmfDigits, this);
    dtmfTx_ = dtmf_tx_init(nullptr);
}

ExchangeLine::~ExchangeLine() {
    if (dtmfRx_ != nullptr) {
        dtmf_rx_free(dtmfRx_);
    }
    if (dtmfTx_ != nullptr) {
        dtmf_tx_free(dtmfTx_);
    }
}

const char* ExchangeLine::stateName(State s) {
    return kStateNames[static_cast<size_t>(s)];
}

void ExchangeLine::init(int board, int channel, const LineConfig& line, const SimConfig& sim,
                        const NumberPlan* plan, SpeechBank* speech, EventSink* sink) {
    board_ = board;
    channel_ = channel;
    config_ = line;
    sim_ = &sim;
    plan_ = plan;
    speech_ = speech;
    sink_ = sink;
    toneLevel_ = toneAmplitude(sim.toneDbm0);
    noise_.init(sim.seed + static_cast<uint32_t>(board * 100 + channel), sim.noiseDbm0);
    audioCap_ = static_cast<size_t>(sim.recordSeconds * 2 * kSampleRate);
    echoGain_ = line.echoDb <= -100 ? 0.0f : static_cast<float>(std::pow(10.0, line.echoDb / 20));
    if (dtmfTx_ != nullptr) {
        dtmf_tx_set_level(dtmfTx_, static_cast<int>(sim.toneDbm0), 0);
        dtmf_tx_set_timing(dtmfTx_, 100, 100);
    }
}

uint64_t ExchangeLine::samples(double s) const {
    return static_cast<uint64_t>(s * kSampleRate);
}

double ExchangeLine::seconds(uint64_t now) const {
    return static_cast<double>(now) / kSampleRate;
}

bool ExchangeLine::cut(uint64_t now) const {
    double t = seconds(now);
    return config_.cutAt >= 0 && t >= config_.cutAt &&
           (config_.cutFor < 0 || t < config_.cutAt + config_.cutFor);
}

bool ExchangeLine::parallel(uint64_t now) const {
    double t = seconds(now);
    return config_.parallelAt >= 0 && t >= config_.parallelAt &&
           t < config_.parallelAt + config_.parallelFor;
}

void ExchangeLine::note(uint64_t now, const std::string& text) {
    LineEvent e{seconds(now), text};
    if (sink_ != nullptr) {
        sink_->lineEvent(board_, channel_, e);
    }
    if (record_.events.size() < kMaxEvents) {
        record_.events.push_back(std::move(e));
    }
}

void ExchangeLine::clearRecord() {
    record_ = LineRecord{};
}

void ExchangeLine::setState(State s, uint64_t now, const char* why) {
    std::string text = std::string(stateName(state_)) + " -> " + stateName(s);
    if (why != nullptr) {
        text += std::string(" (") + why + ")";
    }
    note(now, text);
    state_ = s;
    stateDeadline_ = UINT64_MAX;
    speechAt_ = keyAt_ = hangUpAt_ = UINT64_MAX;
    speechSamples_.reset();
    aonLeft_ = 0;
    tone_.reset();
    switch (s) {
        case State::OnHook:
            dropped_ = false;
            digits_.clear();
            numberStart_ = 0;
            subscriber_ = nullptr;
            pulsesLeft_ = 0;
            pauseLeft_ = 0;
            break;
        case State::DialTone:
            tone_.init(&dialToneCadence(), toneLevel_);
            stateDeadline_ = now + samples(kNoDigitSeconds);
            break;
        case State::Dialling:
            stateDeadline_ = now + samples(sim_->digitTimeout);
            break;
        case State::Connecting:
            stateDeadline_ = now + samples(kPostDialSeconds);
            break;
        case State::Ringing:
            tone_.init(&ringBackCadence(), toneLevel_);
            if (subscriber_->behaviour == Behaviour::NoAnswer) {
                stateDeadline_ = now + samples(kGiveUpSeconds);
            } else if (subscriber_->rings == 0) {
                stateDeadline_ = now + samples(0.5);
            } else {
                // Picked up during the pause after the last ring heard.
                stateDeadline_ = now + samples((subscriber_->rings - 1) * kRingPeriodSeconds + 2.0);
            }
            break;
        case State::Connected:
            answer(now);
            break;
        case State::Busy:
            tone_.init(&busyCadence(), toneLevel_);
            break;
        case State::Info:
            tone_.init(&infoToneCadence(), toneLevel_);
            stateDeadline_ = now + samples(2.0);
            break;
        case State::Dead:
        case State::Count:
            break;
    }
    updateDeadline();
}

void ExchangeLine::updateDeadline() {
    deadline_ = std::min({stateDeadline_, speechAt_, keyAt_, hangUpAt_});
}

void ExchangeLine::handle(Event e, uint64_t now) {
    if (e == Event::Release && state_ != State::OnHook) {
        setState(State::OnHook, now, "released by the board");
        return;
    }
    (this->*kHandlers[static_cast<size_t>(state_)])(e, now);
    updateDeadline();
}

void ExchangeLine::onHook(Event e, uint64_t now) {
    if (e != Event::Seize) {
        return;
    }
    if (cut(now)) {
        setState(State::Dead, now, "line cut");
    } else if (parallel(now)) {
        setState(State::Dead, now, "a parallel phone holds the line");
    } else if (!config_.dialTone) {
        setState(State::Dead, now, "no dial tone on this line");
    } else {
        setState(State::DialTone, now);
    }
}

void ExchangeLine::dialTone(Event e, uint64_t now) {
    if (e == Event::Digit) {
        digits_ += pendingDigit_;
        setState(State::Dialling, now);
        takeNumber(false, now);
    } else if (e == Event::Timeout && now >= stateDeadline_) {
        setState(State::Busy, now, "nothing dialled");
    }
}

void ExchangeLine::dialling(Event e, uint64_t now) {
    if (e == Event::Digit) {
        digits_ += pendingDigit_;
        stateDeadline_ = now + samples(sim_->digitTimeout);
        takeNumber(false, now);
    } else if (e == Event::Timeout && now >= stateDeadline_) {
        takeNumber(true, now);
    }
}

void ExchangeLine::takeNumber(bool timedOut, uint64_t now) {
    std::string number = digits_.substr(numberStart_);
    const Subscriber* sub = nullptr;
    NumberPlan::Match m = plan_->match(number, timedOut, sub);
    if (m == NumberPlan::Match::Partial || sub == nullptr) {
        return;
    }
    if (sub->behaviour == Behaviour::DialTone) {
        numberStart_ = digits_.size();
        setState(State::DialTone, now, ("prefix " + number).c_str());
        return;
    }
    subscriber_ = sub;
    record_.number = number;
    setState(
        State::Connecting, now,
        (std::string("number ") + number + (m == NumberPlan::Match::None ? " not in the plan" : ""))
            .c_str());
}

void ExchangeLine::connecting(Event e, uint64_t now) {
    if (e != Event::Timeout || now < stateDeadline_) {
        return;
    }
    switch (subscriber_->behaviour) {
        case Behaviour::Busy:
            setState(State::Busy, now, "subscriber busy");
            break;
        case Behaviour::Unobtainable:
            setState(State::Info, now, "number unobtainable");
            break;
        case Behaviour::Drop:
            dropped_ = true;
            setState(State::Dead, now, "line dropped");
            break;
        default:
            setState(State::Ringing, now);
            break;
    }
}

void ExchangeLine::ringing(Event e, uint64_t now) {
    if (e != Event::Timeout || now < stateDeadline_) {
        return;
    }
    if (subscriber_->behaviour == Behaviour::NoAnswer) {
        setState(State::Busy, now, "no answer, the exchange gave up");
    } else {
        setState(State::Connected, now, "subscriber answered");
    }
}

void ExchangeLine::answer(uint64_t now) {
    const Subscriber& s = *subscriber_;
    answeredAt_ = now;
    soundsEnded_ = 0;
    soundMs_ = quietMs_ = 0;
    keyPressed_ = false;
    double speechDelay = kSpeechDelaySeconds;
    if (s.aonRequests > 0) {
        tone_.init(&aonRequestCadence(), toneLevel_);
        aonLeft_ = s.aonRequests - 1;
        speechDelay += s.aonRequests;
    }
    if (s.behaviour == Behaviour::Answer) {
        speechSamples_ = speech_->get(s.voice, s.speech.empty() ? kDefaultSpeech : s.speech);
        speechPos_ = 0;
        speechAt_ = now + samples(speechDelay);
    }
    if (s.key != 0 && s.keyAt.seconds >= 0) {
        keyAt_ = now + samples(s.keyAt.seconds);
    }
    if (s.hangUpAt.seconds >= 0) {
        hangUpAt_ = now + samples(s.hangUpAt.seconds);
    }
}

void ExchangeLine::pressKey(uint64_t now) {
    keyAt_ = UINT64_MAX;
    if (keyPressed_ || dtmfTx_ == nullptr) {
        return;
    }
    keyPressed_ = true;
    char digits[2] = {subscriber_->key, '\0'};
    dtmf_tx_put(dtmfTx_, digits, 1);
    ++record_.keysPressed;
    note(now, std::string("subscriber pressed ") + subscriber_->key);
}

void ExchangeLine::hangUp(uint64_t now) {
    setState(State::Busy, now, "subscriber hung up");
}

void ExchangeLine::connected(Event e, uint64_t now) {
    const Subscriber& s = *subscriber_;
    if (e == Event::SoundEnded) {
        if (s.key != 0 && s.keyAt.afterSound == soundsEnded_ && !keyPressed_) {
            keyAt_ = now + samples(0.3);
        }
        if (s.hangUpAt.afterSound == soundsEnded_) {
            hangUpAt_ = now + samples(0.5);
        }
        return;
    }
    if (e != Event::Timeout) {
        return;
    }
    if (now >= speechAt_) {
        speechAt_ = UINT64_MAX;
        speechPos_ = 0;
        note(now, "subscriber speaks");
    }
    if (now >= keyAt_) {
        pressKey(now);
    }
    if (now >= hangUpAt_) {
        hangUp(now);
    }
}

void ExchangeLine::busy(Event, uint64_t) {}

void ExchangeLine::info(Event e, uint64_t now) {
    if (e == Event::Timeout && now >= stateDeadline_) {
        setState(State::Busy, now);
    }
}

void ExchangeLine::dead(Event, uint64_t) {}

void ExchangeLine::seize(uint64_t now) {
    if (offHook_) {
        return;
    }
    offHook_ = true;
    ++record_.seizures;
    note(now, "seized");
    handle(Event::Seize, now);
}

void ExchangeLine::release(uint64_t now) {
    if (!offHook_) {
        return;
    }
    offHook_ = false;
    pulsesLeft_ = 0;
    pauseLeft_ = 0;
    note(now, "released");
    handle(Event::Release, now);
}

void ExchangeLine::polarityPulse(uint64_t now) {
    if (!offHook_ && !cut(now)) {
        polarityLeft_ = kPolaritySamples;
    }
}

int64_t ExchangeLine::startPulseDigit(int value, uint64_t now) {
    if (!offHook_ || value < 1 || value > 11) {
        return -1;
    }
    if (value == 11) {
        pauseLeft_ = kPausePulseSamples;
        note(now, "pause while dialling");
        return kPausePulseSamples;
    }
    pulsesLeft_ = value;
    pulsePhase_ = 0;
    pulseDigit_ = value == 10 ? '0' : static_cast<char>('0' + value);
    return static_cast<int64_t>(value) * kPulseSamples + kInterDigitSamples;
}

void ExchangeLine::digitHeard(char digit, bool pulse, uint64_t now) {
    if (!pulse) {
        now = hearNow_;
    }
    record_.digits += digit;
    (pulse ? record_.pulseDigits : record_.dtmfDigits) += digit;
    note(now, std::string(pulse ? "pulse digit " : "tone digit ") + digit);
    if (state_ == State::DialTone || state_ == State::Dialling) {
        pendingDigit_ = digit;
        handle(Event::Digit, now);
    }
}

void ExchangeLine::render(int16_t* out, int n, uint64_t now) {
    bool isCut = cut(now);
    if (isCut != wasCut_) {
        wasCut_ = isCut;
        note(now, isCut ? "line cut" : "line restored");
        if (isCut && offHook_ && state_ != State::Dead) {
            setState(State::Dead, now, "line cut");
        }
    }
    while (now >= deadline_) {
        uint64_t before = deadline_;
        handle(Event::Timeout, now);
        if (deadline_ == before) {
            break;  // a handler that did not move its deadline would spin
        }
    }
    if (pulsesLeft_ > 0) {
        pulsePhase_ += n;
        while (pulsesLeft_ > 0 && pulsePhase_ >= kPulseSamples) {
            pulsePhase_ -= kPulseSamples;
            if (--pulsesLeft_ == 0) {
                digitHeard(pulseDigit_, true, now);
            }
        }
    }
    if (pauseLeft_ > 0) {
        pauseLeft_ = std::max<int64_t>(0, pauseLeft_ - n);
    }
    if (isCut || dropped_) {
        std::fill(out, out + n, 0);
        rendered_ += n;
        return;
    }
    float buf[256];
    n = std::min(n, 256);
    std::fill(buf, buf + n, 0.0f);
    noise_.process(buf, n);
    bool breaking = pulsesLeft_ > 0 && pulsePhase_ < kPulseBreakSamples;
    if (offHook_ && !breaking) {
        tone_.process(buf, n);
        if (!tone_.active() && aonLeft_ > 0) {
            --aonLeft_;
            tone_.init(&aonRequestCadence(), toneLevel_);
        }
        if (speechSamples_ && speechAt_ == UINT64_MAX && state_ == State::Connected) {
            const auto& sp = *speechSamples_;
            for (int i = 0; i < n && speechPos_ < sp.size(); ++i) {
                buf[i] += sp[speechPos_++];
            }
        }
        if (dtmfTx_ != nullptr) {
            int16_t keys[256];
            int made = dtmf_tx(dtmfTx_, keys, n);
            for (int i = 0; i < made; ++i) {
                buf[i] += keys[i];
            }
        }
    }
    if (echoGain_ > 0 && offHook_) {
        for (int i = 0; i < n; ++i) {
            uint64_t at = rendered_ + i;
            if (at >= kEchoDelay && at - kEchoDelay < echoWritten_) {
                buf[i] += echoGain_ * echo_[(at - kEchoDelay) % kEchoRing];
            }
        }
    }
    rendered_ += n;
    for (int i = 0; i < n; ++i) {
        if (polarityLeft_ > 0) {
            // The reversal swings the input from one rail to the other: first
            // the opposite rail, then the line's own polarity.
            bool own = polarityLeft_ <= kPolaritySamples / 4;
            bool plus = own ? config_.polarityPlus : !config_.polarityPlus;
            buf[i] = plus ? 32767.0f : -32768.0f;
            --polarityLeft_;
        }
        out[i] = static_cast<int16_t>(std::clamp(buf[i], -32768.0f, 32767.0f));
    }
}

void ExchangeLine::hear(const int16_t* samples, int n, uint64_t now) {
    hearNow_ = now;
    for (int i = 0; i < n; ++i) {
        int16_t s = samples[i];
        if (s != 0) {
            ++record_.soundSamples;
        }
        if ((s != 0 || !record_.audio.empty()) && record_.audio.size() < audioCap_) {
            record_.audio.push_back(s);
        }
        windowPeak_ = std::max(windowPeak_, std::abs(static_cast<int>(s)));
        if (++windowFill_ == kWindowSamples16k) {
            bool loud = windowPeak_ > kSoundPeak;
            windowFill_ = 0;
            windowPeak_ = 0;
            if (loud) {
                soundMs_ += 10;
                quietMs_ = 0;
            } else if (soundMs_ > 0) {
                quietMs_ += 10;
                if (quietMs_ >= kSoundGapMs) {
                    if (soundMs_ >= kSoundMinMs && state_ == State::Connected) {
                        ++soundsEnded_;
                        note(now, "sound " + std::to_string(soundsEnded_) + " ended");
                        handle(Event::SoundEnded, now);
                    }
                    soundMs_ = 0;
                    quietMs_ = 0;
                }
            }
        }
        if ((i & 1) != 0) {
            int16_t d = static_cast<int16_t>((static_cast<int>(samples[i - 1]) + s) / 2);
            decimated_[decimatedFill_++] = d;
            echo_[echoWritten_++ % kEchoRing] = d;
            if (decimatedFill_ == static_cast<int>(std::size(decimated_))) {
                if (offHook_ && dtmfRx_ != nullptr) {
                    dtmf_rx(dtmfRx_, decimated_, decimatedFill_);
                }
                decimatedFill_ = 0;
            }
        }
    }
}

int ExchangeLine::voltageReading(uint64_t now) {
    double volts = config_.idleVolts;
    bool breaking = pulsesLeft_ > 0 && pulsePhase_ < kPulseBreakSamples;
    if (cut(now) || dropped_) {
        volts = 0;
    } else if (offHook_ && !breaking) {
        volts = config_.offHookVolts;
    } else if (parallel(now)) {
        volts = config_.parallelVolts;
    }
    // The converter's last bit wanders by one step either way.
    int jitter = static_cast<int>(noise_.uniform() * 3.0f) - 1;
    return std::clamp(static_cast<int>(std::lround(volts * 2)) + (volts > 0 ? jitter : 0), 0, 255);
}

int ExchangeLine::unitLineState(uint64_t now) const {
    if (cut(now) || dropped_) {
        return 4;
    }
    if (offHook_) {
        return 3;
    }
    return parallel(now) ? 4 : 0;
}

}  // namespace orvel::sim
