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
// A person who hears nothing after the greeting says it again, as people do.
constexpr double kGreetingAgainSeconds = 3.0;  // of silence after the greeting
constexpr int kGreetingRepeats = 2;
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
    speechAt_ = keyAt_ = hangUpAt_ = greetAgainAt_ = UINT64_MAX;
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
    deadline_ = std::min({stateDeadline_, speechAt_, keyAt_, hangUpAt_, greetAgainAt_});
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
    heardBoard_ = false;
    greetingsLeft_ = kGreetingRepeats;
    greetAgainAt_ = UINT64_MAX;
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
        if (greetingsLeft_ > 0 && speechSamples_) {
            greetAgainAt_ = now + speechSamples_->size() + samples(kGreetingAgainSeconds);
        }
    }
    if (now >= greetAgainAt_) {
        greetAgainAt_ = UINT64_MAX;
        if (!heardBoard_ && greetingsLeft_ > 0) {
            --greetingsLeft_;
            speechAt_ = now;
            note(now, "subscriber hears nothing and greets again");
        }
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

}  // namespace orvel::sim
