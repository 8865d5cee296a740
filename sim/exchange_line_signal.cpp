// The signal side of an exchange line: what the line sends into the board
// (tones, speech, keys, noise, echo, the polarity pulse), what the board
// plays into it (recorded, watched for sounds, listened to for digits), the
// line voltage and the unit's view of the line.
#include <spandsp.h>

#include <algorithm>
#include <cmath>

#include "exchange_line.h"

namespace orvel::sim {
namespace {

constexpr int kPulseSamples = 800;  // 100 ms a pulse: 60 ms break, 40 ms make
constexpr int kPulseBreakSamples = 480;
constexpr int kInterDigitSamples = 3200;  // 400 ms after a pulse digit
constexpr int kPausePulseSamples = 8000;  // the ',' digit: 1 s
constexpr int kPolaritySamples = 320;     // 40 ms polarity pulse
constexpr int kWindowSamples16k = 160;    // 10 ms at 16 kHz
constexpr int kSoundPeak = 300;           // a window louder than this holds sound
constexpr int kSoundMinMs = 200;          // a sound is at least this long
constexpr int kSoundGapMs = 800;          // and ends after this much quiet
constexpr size_t kMaxSounds = 1000;       // kept in a line's record

}  // namespace

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
    bool breaking = pulsesLeft_ > 0 && pulsePhase_ < kPulseBreakSamples;
    if (offHook_ && !breaking) {
        // What the far end sends: tones, speech, keys; then the line's loss
        // and the codec's band.
        tone_.process(buf, n);
        if (!tone_.active() && aonLeft_ > 0) {
            --aonLeft_;
            tone_.init(&aonRequestCadence(), toneLevel_);
        }
        if (!tone_.active() && faxFlags_) {
            startTone(faxFlagsCadence());
        }
        const bool speaking =
            state_ == State::Connected || state_ == State::Info || state_ == State::Ringing;
        if (speechSamples_ && speechAt_ == UINT64_MAX && speaking) {
            const auto& sp = *speechSamples_;
            for (int i = 0; i < n; ++i) {
                if (speechPos_ < sp.size()) {
                    buf[i] += sp[speechPos_];
                }
                ++speechPos_;
                if (speechLoops_ && speechPos_ >= sp.size() + kSampleRate) {
                    speechPos_ = 0;  // an announcement said again after a second
                }
            }
        }
        if (dtmfTx_ != nullptr) {
            int16_t keys[256];
            int made = dtmf_tx(dtmfTx_, keys, n);
            for (int i = 0; i < made; ++i) {
                buf[i] += keys[i];
            }
        }
        if (lossGain_ != 1.0f) {
            for (int i = 0; i < n; ++i) {
                buf[i] *= lossGain_;
            }
        }
    }
    noise_.process(buf, n);
    if (config_.bandLimit) {
        band_.process(buf, n);
    }
    if (offHook_) {
        impairments_.process(buf, n);
    }
    if (echo_.on() && offHook_) {
        for (int i = 0; i < n; ++i) {
            buf[i] += echo_.heard(now + i);
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
            const uint64_t windowEnd = now + static_cast<uint64_t>(i + 1) / 2;
            if (loud) {
                heardBoard_ = true;
                if (soundMs_ == 0) {
                    soundFrom_ = windowEnd - kWindowSamples16k / 2;
                }
                soundMs_ += 10;
                quietMs_ = 0;
                lastLoudEnd_ = windowEnd;
            } else if (soundMs_ > 0) {
                quietMs_ += 10;
                if (quietMs_ >= kSoundGapMs) {
                    if (soundMs_ >= kSoundMinMs && record_.sounds.size() < kMaxSounds) {
                        record_.sounds.push_back({seconds(soundFrom_), seconds(lastLoudEnd_)});
                    }
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
            const int16_t d = HybridEcho::toLineRate(samples[i - 1], s);
            decimated_[decimatedFill_++] = d;
            echo_.played(now + static_cast<uint64_t>(i / 2), d);
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
