// The call-progress chain of one channel (spectral front end, voice
// detector, call-progress detector with the shipped rule base, line-state
// filter) on generated signals, as the analyzer drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis/signal_processing.h"
#include "line_effects.h"
#include "line_signals.h"
#include "speech.h"
#include "tones.h"

namespace orvel {
namespace {

using testing::LineSignal;

struct Report {
    double atS;  // end of the reporting frame, seconds after the signal began
    uint32_t state;
};

class Channel {
public:
    explicit Channel(uint32_t mode, bool withRuleBase = true) {
        if (withRuleBase) {
            EXPECT_EQ(sp.loadFis(ORVEL_DATA_DIR "/orvel.fis"), 0);
        }
        sp.startCalibration();
        LineSignal quiet;
        quiet.noise(2.0);
        bool done = false;
        for (std::size_t f = 0; f < quiet.frames(); ++f) {
            done = sp.calibrationFrame(quiet.frame(f), testing::kFrame);
        }
        EXPECT_TRUE(done);
        sp.seize();
        sp.setFilterMode(mode);
    }
    std::vector<Report> listen(const LineSignal& s) {
        std::vector<Report> out;
        for (std::size_t f = 0; f < s.frames(); ++f) {
            uint32_t state = 0;
            if (sp.activeFrame(s.frame(f), testing::kFrame, state)) {
                out.push_back({static_cast<double>(f + 1) * 0.008, state});
            }
        }
        return out;
    }
    static std::vector<uint32_t> states(const std::vector<Report>& r) {
        std::vector<uint32_t> out;
        for (const auto& x : r) {
            out.push_back(x.state);
        }
        return out;
    }
    CSignalProcessing sp;
};

TEST(CallProgress, ContinuousToneIsOneDialToneAfterTwoSeconds) {
    Channel ch(CLineStateFilter::kAwaitDialTone);
    LineSignal s;
    s.tone(6.0, 425);
    const auto reports = ch.listen(s);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].state, LS_DIAL_TONE);
    // Continuous after 251 frames of sound: 2.008 s.
    EXPECT_NEAR(reports[0].atS, 2.008, 0.017);
}

TEST(CallProgress, BusyCadenceIsBusy) {
    Channel ch(CLineStateFilter::kDialled);
    LineSignal s;
    s.noise(1.0).cadence(0.35, 0.35, 6);
    const auto states = Channel::states(ch.listen(s));
    ASSERT_GE(states.size(), 5u);
    // The first burst has no short pause before it: a tone; then busy.
    EXPECT_EQ(states[0], LS_TONE);
    for (std::size_t i = 1; i < states.size(); ++i) {
        EXPECT_EQ(states[i], LS_BUSY_TONE) << i;
    }
}

TEST(CallProgress, RingBackCadenceAlternatesToneAndPause) {
    Channel ch(CLineStateFilter::kDialled);
    LineSignal s;
    s.noise(1.0).cadence(1.0, 4.0, 4);
    const auto states = Channel::states(ch.listen(s));
    EXPECT_EQ(states, (std::vector<uint32_t>{LS_TONE, LS_RING_BACK_TONE, LS_RING_BACK_PAUSE,
                                             LS_RING_BACK_TONE}));
}

TEST(CallProgress, WithoutRuleBaseEveryStableToneIsATone) {
    Channel ch(CLineStateFilter::kDialled, false);
    LineSignal s;
    s.noise(1.0).cadence(0.35, 0.35, 4);
    for (uint32_t state : Channel::states(ch.listen(s))) {
        EXPECT_EQ(state, LS_TONE);
    }
}

TEST(CallProgress, CallerIdentificationRequestAt500Hz) {
    Channel ch(CLineStateFilter::kDialled);
    LineSignal s;
    s.noise(0.5).tone(0.5, 500).noise(0.5);
    EXPECT_EQ(Channel::states(ch.listen(s)), (std::vector<uint32_t>{LS_AON}));
}

TEST(CallProgress, UnstableSoundIsVoiceOrSilence) {
    {  // frequency wandering by far more than 60 Hz
        Channel ch(CLineStateFilter::kDialled);
        LineSignal s;
        s.noise(0.5).wandering(0.6, {400, 1200, 700}).noise(0.5);
        const auto states = Channel::states(ch.listen(s));
        ASSERT_FALSE(states.empty());
        for (uint32_t state : states) {
            EXPECT_TRUE(state == LS_VOICE || state == LS_SILENCE) << state;
        }
    }
    {  // a steady tone outside the call-progress band
        Channel ch(CLineStateFilter::kDialled);
        LineSignal s;
        s.noise(0.5).tone(0.6, 1000).noise(0.5);
        const auto states = Channel::states(ch.listen(s));
        ASSERT_FALSE(states.empty());
        for (uint32_t state : states) {
            EXPECT_TRUE(state == LS_VOICE || state == LS_SILENCE) << state;
        }
    }
}

TEST(CallProgress, AwaitingADialToneVoiceDoesNotPass) {
    Channel ch(CLineStateFilter::kAwaitDialTone);
    LineSignal s;
    s.noise(0.5).wandering(0.6, {400, 1200, 700}).noise(0.5).cadence(0.35, 0.35, 3);
    for (uint32_t state : Channel::states(ch.listen(s))) {
        EXPECT_EQ(state, LS_SILENCE);
    }
}

}  // namespace
}  // namespace orvel

// ---- Machines and music -------------------------------------------------------

namespace orvel {
namespace {

LineSignal fromSimulator(const sim::Cadence& c, double seconds, double dbm0) {
    sim::TonePlayer p;
    p.init(&c, sim::toneAmplitude(dbm0));
    std::vector<float> x(static_cast<size_t>(seconds * testing::kRate), 0.0f);
    p.process(x.data(), static_cast<int>(x.size()));
    LineSignal s;
    s.noise(0.5);
    s.samplesFrom(x);
    return s.noise(0.5);
}

LineSignal spoken(sim::SpeechBank& bank, const char* voice, const char* text, double gain) {
    std::vector<float> x;
    for (int16_t v : *bank.get(voice, text)) {
        x.push_back(static_cast<float>(v * gain));
    }
    LineSignal s;
    s.noise(0.5);
    s.samplesFrom(x);
    return s.noise(0.5);
}

bool heardMachine(const LineSignal& s, bool playing = false) {
    Channel ch(CLineStateFilter::kDialled);
    ch.sp.setSensitivityDb(20);  // the engine's default
    if (playing) {
        ch.sp.playOn();
    }
    ch.listen(s);
    return ch.sp.takeMachineTone();
}

TEST(CallProgress, MachineTonesAreHeardAndNothingElseIs) {
    for (double dbm0 : {-6.0, -36.0}) {
        EXPECT_TRUE(heardMachine(fromSimulator(sim::machineBeepCadence(), 0.6, dbm0))) << dbm0;
        EXPECT_TRUE(heardMachine(fromSimulator(sim::faxAnswerCadence(), 3.5, dbm0))) << dbm0;
        EXPECT_TRUE(heardMachine(fromSimulator(sim::faxCallingCadence(), 1.0, dbm0))) << dbm0;
        // The beep comes when the greeting is over, whatever the engine plays.
        EXPECT_TRUE(heardMachine(fromSimulator(sim::machineBeepCadence(), 0.6, dbm0), true));
        for (const auto* c : {&sim::busyCadence(), &sim::ringBackCadence(), &sim::musicCadence(),
                              &sim::aonRequestCadence()}) {
            EXPECT_FALSE(heardMachine(fromSimulator(*c, 6.0, dbm0))) << c->name << " " << dbm0;
        }
    }
    LineSignal keys;
    for (char k : {'9', '1', '5', '#'}) {
        keys.dtmf(k, 0.3).noise(0.1);
    }
    EXPECT_FALSE(heardMachine(keys));
    // Keys whose tones differ by as much as the confirmation guard allows.
    for (double twistDb : {-8.0, 8.0}) {
        LineSignal twisted;
        const double high = 3000 * std::pow(10.0, twistDb / 20);
        twisted.tone(0.3, 852, 3000, 1477, high).noise(0.1).tone(0.3, 697, 3000, 1209, high);
        twisted.noise(0.1).tone(0.3, 941, 3000, 1633, high);
        EXPECT_FALSE(heardMachine(twisted)) << twistDb;
    }
    sim::SpeechBank bank;
    for (const char* voice : {"ru", "ru+f3", "en-us", "de+f2", "fr-fr"}) {
        for (double gain : {1.0, 0.05}) {
            EXPECT_FALSE(
                heardMachine(spoken(bank, voice, "Алло? Кто это? Hello, who is there?", gain)))
                << voice << " " << gain;
        }
    }
    // A machine far away beeps while the engine's message plays: the echo
    // of the message through the line's hybrid, louder than the beep, hides
    // it now and then.
    sim::EchoPath hybrid;
    ASSERT_TRUE(hybrid.init(5, 10.0));
    for (const char* voice : {"ru", "ru+f3", "ru+m3"}) {
        const auto message = bank.get(voice,
                                      "Внимание! Это проверка системы оповещения. Просим вас "
                                      "прибыть на рабочее место к восьми часам.");
        std::vector<float> echo(message->size(), 0.0f);
        for (std::size_t i = 0; i < echo.size(); ++i) {
            for (std::size_t k = 0; k < hybrid.taps().size() && k <= i; ++k) {
                echo[i] += hybrid.taps()[k] * (*message)[i - k];
            }
        }
        sim::TonePlayer beep;
        beep.init(&sim::machineBeepCadence(), sim::toneAmplitude(-26));
        std::vector<float> tone(4000, 0.0f);
        beep.process(tone.data(), static_cast<int>(tone.size()));
        // The beep anywhere in the message.
        for (std::size_t at = 2000; at + tone.size() < echo.size(); at += 3000) {
            std::vector<float> x = echo;
            for (std::size_t i = 0; i < tone.size(); ++i) {
                x[at + i] += tone[i];
            }
            LineSignal withBeep;
            withBeep.noise(0.5).samplesFrom(x).noise(0.5);
            EXPECT_TRUE(heardMachine(withBeep, true)) << voice << " at " << at;
        }
        LineSignal without;
        without.noise(0.5).samplesFrom(echo).noise(0.5);
        EXPECT_FALSE(heardMachine(without, true)) << voice;
    }
    // Heard once per call: a new listening period forgets it.
    Channel ch(CLineStateFilter::kDialled);
    ch.listen(fromSimulator(sim::machineBeepCadence(), 0.6, -10));
    ch.sp.startCalibration();
    EXPECT_FALSE(ch.sp.takeMachineTone());
}

}  // namespace
}  // namespace orvel
