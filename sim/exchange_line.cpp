#include "exchange_line.h"

#include <spandsp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvel::sim {
namespace {

constexpr const char* kStateNames[] = {"on hook", "dial tone", "dialling", "connecting",
                                       "ringing", "connected", "busy",     "information tones",
                                       "dead",    "hung up",   "howler"};
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
constexpr double kInfoToneSeconds = 2.0;         // the three tones and the silence after them
constexpr double kAnnouncementGapSeconds = 0.7;  // between an announcement and the tones again
constexpr double kMachineBeepDelaySeconds = 0.3;
constexpr double kMachineBeepSeconds = 0.5;
constexpr double kFaxGiveUpSeconds = 35.0;  // a fax machine that hears no fax hangs up
constexpr double kHowlerDbAboveTones = 15.0;
constexpr const char* kTalkerWords = "Алло? Кто это? Не слышу.";
constexpr const char* kMachineGreeting =
    "Здравствуйте. Сейчас мы не можем ответить. Оставьте сообщение после сигнала.";
constexpr const char* kRingBackAnnouncement = "Пожалуйста, ждите ответа абонента.";
constexpr const char* kCrosstalkWords = "Да, я вчера ему звонил, он сказал, что приедет в пятницу.";

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
        &ExchangeLine::busy,       &ExchangeLine::info,     &ExchangeLine::dead,
        &ExchangeLine::hungUp,     &ExchangeLine::howler};

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
    const uint32_t lineSeed = sim.seed + static_cast<uint32_t>(board * 100 + channel);
    noise_.init(lineSeed, sim.noiseDbm0);
    audioCap_ = static_cast<size_t>(sim.recordSeconds * 2 * kSampleRate);
    tonePlan_ = line.tonePlan.empty() ? nullptr : findTonePlan(line.tonePlan);
    if (tonePlan_ == nullptr) {
        tonePlan_ = &defaultTonePlan();
    }
    lossGain_ = static_cast<float>(std::pow(10.0, -line.lossDb / 20));
    band_.init(kSampleRate);
    echo_.init(line.echoModel, line.echoDb <= -100 ? -100.0 : -line.echoDb);
    crosstalk_.reset();
    if (line.crosstalkDbm0 > -100 && speech != nullptr) {
        crosstalk_ = speech->get("ru+m3", kCrosstalkWords);
    }
    impairments_.init(lineSeed * 7 + 3, line.humDbm0, line.clicksPerMinute, line.clickDbm0,
                      crosstalk_.get(), line.crosstalkDbm0);
    variations_ = lineSeed * 131;
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

ToneVariation ExchangeLine::variation() {
    return ToneVariation{static_cast<float>(config_.toneJitter), config_.randomStart,
                         ++variations_};
}

void ExchangeLine::startTone(const Cadence& cadence) {
    tone_.init(&cadence, toneLevel_, variation());
}

void ExchangeLine::playSpeech(const Speech& speech, bool loop) {
    speechSamples_ = speech;
    speechPos_ = 0;
    speechLoops_ = loop;
}

void ExchangeLine::setState(State s, uint64_t now, const char* why) {
    std::string text = std::string(stateName(state_)) + " -> " + stateName(s);
    if (why != nullptr) {
        text += std::string(" (") + why + ")";
    }
    note(now, text);
    state_ = s;
    stateDeadline_ = UINT64_MAX;
    speechAt_ = keyAt_ = hangUpAt_ = greetAgainAt_ = beepAt_ = UINT64_MAX;
    speechSamples_.reset();
    speechLoops_ = false;
    faxFlags_ = false;
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
            startTone(tonePlan_->dialTone);
            stateDeadline_ = now + samples(kNoDigitSeconds);
            break;
        case State::Dialling:
            stateDeadline_ = now + samples(sim_->digitTimeout);
            break;
        case State::Connecting:
            stateDeadline_ = now + samples(kPostDialSeconds);
            break;
        case State::Ringing:
            switch (subscriber_->ringBack) {
                case RingBackKind::Tone:
                    startTone(tonePlan_->ringBack);
                    break;
                case RingBackKind::Music:
                    startTone(musicCadence());
                    break;
                case RingBackKind::Announcement:
                    playSpeech(speech_->get("ru", subscriber_->announcement.empty()
                                                      ? kRingBackAnnouncement
                                                      : subscriber_->announcement),
                               true);
                    break;
            }
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
            startTone(tonePlan_->busy);
            break;
        case State::Info:
            startTone(infoToneCadence());
            stateDeadline_ = now + samples(kInfoToneSeconds);
            infoLeft_ = subscriber_ != nullptr && !subscriber_->announcement.empty()
                            ? subscriber_->announcements
                            : 0;
            break;
        case State::HungUp:
            if (subscriber_ != nullptr && subscriber_->after != AfterHangUp::Nothing) {
                stateDeadline_ = now + samples(subscriber_->afterSeconds);
            }
            break;
        case State::Howler:
            tone_.init(
                &howlerCadence(),
                std::min(toneAmplitude(0.0),
                         toneLevel_ * static_cast<float>(std::pow(10.0, kHowlerDbAboveTones / 20))),
                variation());
            break;
        case State::Dead:
        case State::Count:
            break;
    }
    updateDeadline();
}

void ExchangeLine::updateDeadline() {
    deadline_ = std::min({stateDeadline_, speechAt_, keyAt_, hangUpAt_, greetAgainAt_, beepAt_});
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
        const std::string words =
            !s.speech.empty() ? s.speech : (s.talks ? kTalkerWords : kDefaultSpeech);
        speechSamples_ = speech_->get(s.voice, words);
        speechPos_ = 0;
        speechAt_ = now + samples(speechDelay);
    }
    if (s.hangUpAt.seconds >= 0) {
        hangUpAt_ = now + samples(s.hangUpAt.seconds);
    }
    if (s.behaviour == Behaviour::Machine) {
        // Greeting, beep, then recording until its time is up; keys never.
        greetingsLeft_ = 0;
        speechSamples_ = speech_->get(s.voice, s.speech.empty() ? kMachineGreeting : s.speech);
        speechPos_ = 0;
        speechAt_ = now + samples(speechDelay);
        beepAt_ = speechAt_ + speechSamples_->size() + samples(kMachineBeepDelaySeconds);
        if (!s.hangUpAt.set()) {
            hangUpAt_ = beepAt_ + samples(kMachineBeepSeconds + s.recordSeconds);
        }
        return;
    }
    if (s.behaviour == Behaviour::Fax) {
        startTone(s.faxCalling ? faxCallingCadence() : faxAnswerCadence());
        faxFlags_ = !s.faxCalling;
        if (!s.hangUpAt.set()) {
            hangUpAt_ = now + samples(kFaxGiveUpSeconds);
        }
        return;
    }
    if (s.key != 0 && s.keyAt.seconds >= 0) {
        keyAt_ = now + samples(s.keyAt.seconds);
    }
}

void ExchangeLine::pressKey(uint64_t now) {
    keyAt_ = UINT64_MAX;
    if (keyPressed_ || dtmfTx_ == nullptr) {
        return;
    }
    keyPressed_ = true;
    dtmf_tx_set_level(dtmfTx_, static_cast<int>(std::lround(subscriber_->keyDbm0)),
                      static_cast<int>(std::lround(subscriber_->keyTwistDb)));
    dtmf_tx_set_timing(dtmfTx_, subscriber_->keyMs, 100);
    char digits[2] = {subscriber_->key, '\0'};
    dtmf_tx_put(dtmfTx_, digits, 1);
    ++record_.keysPressed;
    note(now, std::string("subscriber pressed ") + subscriber_->key);
}

void ExchangeLine::hangUp(uint64_t now) {
    if (subscriber_->after == AfterHangUp::Busy) {
        setState(State::Busy, now, "subscriber hung up");
    } else {
        setState(State::HungUp, now, "subscriber hung up");
    }
}

void ExchangeLine::hungUp(Event e, uint64_t now) {
    if (e != Event::Timeout || now < stateDeadline_) {
        return;
    }
    if (subscriber_->after == AfterHangUp::Howler) {
        setState(State::Howler, now, "the receiver is off hook for too long");
    } else {
        setState(State::Busy, now);
    }
}

void ExchangeLine::howler(Event, uint64_t) {}

void ExchangeLine::connected(Event e, uint64_t now) {
    const Subscriber& s = *subscriber_;
    if (e == Event::SoundEnded) {
        if (s.behaviour == Behaviour::Machine || s.behaviour == Behaviour::Fax) {
            return;
        }
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
        if (s.talks && speechSamples_) {
            // A talker goes on after a short breath, whatever is played.
            double breath = 0.5 + 2.0 * noise_.uniform();
            greetAgainAt_ = now + speechSamples_->size() + samples(breath);
        } else if (greetingsLeft_ > 0 && speechSamples_) {
            greetAgainAt_ = now + speechSamples_->size() + samples(kGreetingAgainSeconds);
        }
    }
    if (now >= beepAt_) {
        beepAt_ = UINT64_MAX;
        startTone(machineBeepCadence());
        note(now, "answering machine beeps");
    }
    if (now >= greetAgainAt_) {
        greetAgainAt_ = UINT64_MAX;
        if (s.talks) {
            speechAt_ = now;
        } else if (!heardBoard_ && greetingsLeft_ > 0) {
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
    if (e != Event::Timeout || now < stateDeadline_) {
        return;
    }
    if (infoLeft_ <= 0) {
        setState(State::Busy, now);
        return;
    }
    // Tones, then the recorded announcement, then the tones again.
    if (speechSamples_ == nullptr) {
        playSpeech(speech_->get("ru", subscriber_->announcement), false);
        stateDeadline_ = now + speechSamples_->size() + samples(kAnnouncementGapSeconds);
        note(now, "announcement");
    } else {
        --infoLeft_;
        speechSamples_.reset();
        if (infoLeft_ > 0) {
            startTone(infoToneCadence());
            stateDeadline_ = now + samples(kInfoToneSeconds);
        } else {
            setState(State::Busy, now);
        }
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
