// The network behind the simulated lines, heard the way the engine hears it:
// tones and their cadences in the input samples, digits taken from the
// engine's output audio and from pulse commands, subscribers by number plan.
#include <gtest/gtest.h>
#include <spandsp.h>

#include <algorithm>
#include <cmath>

#include "sim_host.h"

namespace orvel::sim::test {
namespace {

constexpr int kHw = 0;  // board 0, unit 0, local channel 0 = channel 0

Subscriber entry(const std::string& pattern, const std::string& text) {
    Subscriber s;
    s.pattern = pattern;
    std::string error;
    EXPECT_TRUE(parseSubscriber(text, s, error)) << error;
    return s;
}

SimConfig planConfig() {
    SimConfig c;
    c.boards[0].present = true;
    c.boards[0].units[0].channels = 2;
    for (auto& u : c.boards[0].units) {
        u.stuck.fill(-1);
    }
    c.boards[0].lines[1].dialTone = false;
    c.plan = {entry("100", "answer rings=2 say=\"Алло, слушаю\" key=9 keyat=end1"),
              entry("101", "answer rings=1 hangup=end1"),
              entry("105", "busy"),
              entry("108", "unobtainable"),
              entry("109", "drop"),
              entry("106", "answer rings=0 aon=2 say=\"Да\""),
              entry("9", "dialtone"),
              entry("2XX", "silent rings=0")};
    c.fallback = entry("+", "unobtainable");
    c.digitTimeout = 2.0;
    return c;
}

// DTMF digit tones at 16 kHz, `onMs` on and as long off; 4000 is about
// -15 dBm0 per tone.
std::vector<int16_t> dtmf16k(const std::string& digits, double amplitude = 4000, int onMs = 100) {
    static const char* keys = "123A456B789C*0#D";
    static const double low[] = {697, 770, 852, 941}, high[] = {1209, 1336, 1477, 1633};
    std::vector<int16_t> out;
    for (char d : digits) {
        int i = static_cast<int>(std::string(keys).find(d));
        for (int n = 0; n < onMs * 16; ++n) {
            double t = n / 16000.0;
            out.push_back(static_cast<int16_t>(amplitude * std::sin(2 * M_PI * low[i / 4] * t) +
                                               amplitude * std::sin(2 * M_PI * high[i % 4] * t)));
        }
        out.insert(out.end(), onMs * 16, 0);
    }
    return out;
}

std::vector<int16_t> tone16k(double freq, double seconds) {
    std::vector<int16_t> out;
    for (int n = 0; n < seconds * 16000; ++n) {
        out.push_back(static_cast<int16_t>(6000 * std::sin(2 * M_PI * freq * n / 16000.0)));
    }
    return out;
}

// Durations (ms) of the alternating loud and quiet stretches of `x`, 10 ms windows.
std::vector<int> cadence(const std::vector<int16_t>& x, size_t from, double threshold = 1000) {
    std::vector<int> runs;
    bool loud = false;
    int run = 0;
    for (size_t w = from; w + 80 <= x.size(); w += 80) {
        bool l = rms(&x[w], 80) > threshold;
        if (l != loud && run > 0) {
            runs.push_back(run);
            run = 0;
        }
        loud = l;
        run += 10;
    }
    runs.push_back(run);
    return runs;
}

class Exchange : public ::testing::Test {
protected:
    Exchange() : drv(planConfig(), SimDriver::Clock::Manual), host(drv, 0) { host.bringUp(); }
    void seize(int local = 0) {
        host.unitCommand(0, local, 26, 1);
        host.step(8);
    }
    void dial(const std::string& digits) { host.play(kHw, dtmf16k(digits)); }
    size_t mark() const { return host.samples[kHw].size(); }
    ExchangeLine::State state(int channel = 0) { return drv.card(0)->lineState(channel); }
    // Steps in 10 ms until the line reaches `s`; false after `seconds`.
    bool waitFor(ExchangeLine::State s, double seconds) {
        for (int i = 0; i < seconds * 100; ++i) {
            if (state() == s) {
                return true;
            }
            host.step(80);
        }
        return state() == s;
    }

    SimDriver drv;
    SimHost host;
};

TEST_F(Exchange, DialToneIsContinuous425Hz) {
    seize();
    size_t from = mark();
    host.step(8000);
    const auto& x = host.samples[kHw];
    EXPECT_GT(toneShare(&x[from + 800], 6400, 425), 0.9);
    double level = rms(&x[from + 800], 6400);
    EXPECT_GT(level, 2000);  // about -13 dBm0 rms
    EXPECT_LT(level, 8000);
    EXPECT_EQ(state(), ExchangeLine::State::DialTone);
}

TEST_F(Exchange, ToneDigitsReachTheNumberAndRingBackCadence) {
    seize();
    host.step(4000);
    dial("100");
    EXPECT_EQ(drv.card(0)->record(0).dtmfDigits, "100");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Ringing, 2.0));
    size_t from = mark();
    host.step(8000 * 6);
    auto runs = cadence(host.samples[kHw], from);
    // loud 1 s, quiet 4 s, loud again.
    ASSERT_GE(runs.size(), 3u);
    EXPECT_NEAR(runs[0], 1000, 30);
    EXPECT_NEAR(runs[1], 4000, 30);
    EXPECT_EQ(drv.card(0)->record(0).number, "100");
}

TEST_F(Exchange, EveryKeyIsHeardAtTheEnginesWeakestAndStrongestLevels) {
    seize();
    // The engine's DTMF levels run from 2000 to 8000 per tone.
    host.play(kHw, dtmf16k("9", 2000, 60));
    host.play(kHw, dtmf16k("1234567890*#ABCD", 2000, 60));
    host.play(kHw, dtmf16k("1234567890*#ABCD", 8000, 60));
    host.step(800);
    EXPECT_EQ(drv.card(0)->record(0).dtmfDigits, "91234567890*#ABCD1234567890*#ABCD");
}

TEST_F(Exchange, SubscriberSpeaksThenPressesNineAfterTheMessage) {
    seize();
    dial("100");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 10.0));  // two rings
    size_t from = mark();
    host.step(8000 * 2);
    const auto& x = host.samples[kHw];
    EXPECT_GT(rms(&x[from], 16000), 300) << "speech, not silence";
    EXPECT_LT(toneShare(&x[from], 16000, 425), 0.2) << "speech, not a tone";
    drv.card(0)->clearRecord(0);

    host.play(kHw, tone16k(1000, 2.0));  // the message
    size_t afterMessage = mark();
    host.step(8000 * 2);
    LineRecord rec = drv.card(0)->record(0);
    EXPECT_EQ(rec.keysPressed, 1);
    // An independent receiver hears the key in the line's input.
    dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(rx, &x[afterMessage], static_cast<int>(x.size() - afterMessage));
    char got[8] = {};
    dtmf_rx_get(rx, got, 7);
    dtmf_rx_free(rx);
    EXPECT_STREQ(got, "9");
    // The record holds what the engine played, from its first sample.
    ASSERT_GE(rec.audio.size(), 32000u);
    auto played = tone16k(1000, 2.0);
    EXPECT_TRUE(std::equal(played.begin() + 1, played.begin() + 32000, rec.audio.begin()));
}

TEST_F(Exchange, HangUpAfterTheMessageGivesBusyTone) {
    seize();
    dial("101");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 5.0));
    host.step(8000 * 2);
    host.play(kHw, tone16k(800, 1.5));
    host.step(8000 * 2);
    EXPECT_EQ(state(), ExchangeLine::State::Busy);
    EXPECT_TRUE(drv.card(0)->record(0).hasEvent("subscriber hung up"));
    size_t from = mark();
    host.step(8000 * 3);
    auto runs = cadence(host.samples[kHw], from);
    ASSERT_GE(runs.size(), 4u);
    EXPECT_NEAR(runs[1], 350, 20);
    EXPECT_NEAR(runs[2], 350, 20);
}

TEST_F(Exchange, BusyAndUnobtainableNumbers) {
    seize();
    dial("105");
    EXPECT_TRUE(waitFor(ExchangeLine::State::Busy, 2.0));
    host.unitCommand(0, 0, 26, 0);
    host.step(80);
    EXPECT_EQ(state(), ExchangeLine::State::OnHook);

    seize();
    dial("108");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Info, 2.0));
    size_t from = mark();
    host.step(8000);
    const auto& x = host.samples[kHw];
    EXPECT_GT(toneShare(&x[from + 400], 2000, 950), 0.8);
    EXPECT_GT(toneShare(&x[from + 3040], 2000, 1400), 0.8);
    EXPECT_GT(toneShare(&x[from + 5680], 2000, 1800), 0.8);
    host.step(8000 * 2);
    EXPECT_EQ(state(), ExchangeLine::State::Busy);
}

TEST_F(Exchange, DroppedLineLosesItsVoltageUntilReleased) {
    host.unitCommand(0, 0, 24, 1);
    seize();
    dial("109");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Dead, 2.0));
    host.step(800);
    host.take(24);
    host.step(800);
    auto readings = host.take(24);
    ASSERT_FALSE(readings.empty());
    EXPECT_EQ(readings.back().value, 0);
    EXPECT_EQ(host.take(23).back().value, 4);
    host.unitCommand(0, 0, 26, 0);
    host.step(800);
    EXPECT_NEAR(host.take(24).back().value, 96, 1);
}

TEST_F(Exchange, NumberOutsideThePlanIsTakenAfterTheDigitTimeout) {
    seize();
    dial("555");
    host.step(8000);
    EXPECT_EQ(state(), ExchangeLine::State::Dialling);
    host.step(8000 * 3);
    EXPECT_EQ(drv.card(0)->record(0).number, "555");
}

TEST_F(Exchange, PrefixGivesASecondDialTone) {
    seize();
    dial("9");
    host.step(800);
    EXPECT_EQ(state(), ExchangeLine::State::DialTone);
    dial("234");
    EXPECT_TRUE(waitFor(ExchangeLine::State::Connected, 2.5));
    EXPECT_EQ(drv.card(0)->record(0).number, "234");
}

TEST_F(Exchange, PulseDigitsAreAnsweredAfterTheirPulses) {
    seize();
    host.take(27);
    host.unitCommand(0, 0, 27, 10);  // "0": ten pulses
    host.step(8000);
    EXPECT_TRUE(host.take(27).empty()) << "still dialling after 1 s";
    host.step(3600);
    auto answers = host.take(27);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].value, 0);
    EXPECT_EQ(drv.card(0)->record(0).pulseDigits, "0");
    EXPECT_EQ(state(), ExchangeLine::State::Dialling);

    host.unitCommand(0, 1, 27, 3);  // line 1 is on hook: cannot dial
    host.step(80);
    answers = host.take(27);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].value, 1);
}

TEST_F(Exchange, PulseDialledNumberIsRoutedLikeATonedOne) {
    seize();
    for (int digit : {1, 10, 5}) {  // "1", "0", "5"
        host.unitCommand(0, 0, 27, digit);
        host.step(8000 * 2);
    }
    EXPECT_EQ(host.take(27).size(), 3u);
    EXPECT_EQ(drv.card(0)->record(0).pulseDigits, "105");
    EXPECT_TRUE(waitFor(ExchangeLine::State::Busy, 2.0));
}

TEST_F(Exchange, CallerNumberRequestsComeBeforeTheWords) {
    seize();
    dial("106");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 3.0));
    size_t from = mark();
    host.step(8000 * 3);
    const auto& x = host.samples[kHw];
    // Two 100 ms pulses of 500 Hz a second apart, then speech.
    EXPECT_GT(toneShare(&x[from + 80], 640, 500), 0.8);
    EXPECT_LT(rms(&x[from + 1600], 4000), 50) << "quiet between the requests";
    EXPECT_GT(toneShare(&x[from + 8080], 640, 500), 0.8);
    EXPECT_GT(rms(&x[from + 20000], 4000), 300) << "then the subscriber speaks";
}

// A greeting met by silence is said again, at most twice; once the board has
// played anything the subscriber listens.
TEST_F(Exchange, SubscriberWhoHearsNothingGreetsAgain) {
    const auto greetings = [&] {
        int n = 0;
        for (const auto& e : drv.card(0)->record(0).events)
            n += e.text.find("subscriber speaks") != std::string::npos;
        return n;
    };
    seize();
    dial("106");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 3.0));
    host.step(8000 * 20);
    EXPECT_EQ(greetings(), 3);
    host.unitCommand(0, 0, 26, 0);
    host.step(800);

    seize();
    dial("106");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 3.0));
    const int before = greetings();
    host.step(8000 * 3);
    host.play(kHw, tone16k(1000, 1.0));
    host.step(8000 * 20);
    EXPECT_EQ(greetings(), before + 1);
}

TEST_F(Exchange, LineWithoutDialToneStaysSilent) {
    seize(1);
    size_t from = host.samples[1].size();
    host.step(8000);
    EXPECT_LT(rms(&host.samples[1][from], 8000), 50);
    EXPECT_EQ(drv.card(0)->lineState(1), ExchangeLine::State::Dead);
}

TEST(ExchangeLines, HybridEchoReturnsTheEnginesOutputAttenuated) {
    SimConfig c = planConfig();
    c.boards[0].lines[0].echoDb = -20;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    host.unitCommand(0, 0, 26, 1);
    host.step(8000);                // dial tone
    host.unitCommand(0, 0, 26, 0);  // on hook: no echo, no tone
    host.step(80);
    host.play(0, tone16k(1000, 0.5));
    size_t quietFrom = host.samples[0].size();
    host.step(4000);
    EXPECT_LT(rms(&host.samples[0][quietFrom], 2000), 50) << "no echo on hook";

    host.unitCommand(0, 0, 26, 1);
    host.step(8);
    host.play(0, dtmf16k("5"));  // leaves the dial tone
    host.step(800);
    size_t from = host.samples[0].size();
    host.play(0, tone16k(1000, 1.0));
    const auto& x = host.samples[0];
    ASSERT_GT(x.size(), from + 6000);
    double level = rms(&x[from + 2000], 4000);
    EXPECT_NEAR(level, 6000 / std::sqrt(2.0) / 10, 60);  // -20 dB of the output
    EXPECT_GT(toneShare(&x[from + 2000], 4000, 1000), 0.9);
}

TEST(ExchangeLines, CutLineShowsNoVoltageAndBusyState) {
    SimConfig c = planConfig();
    c.boards[0].lines[0].cutAt = 1.0;
    c.boards[0].lines[0].cutFor = 2.0;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    host.unitCommand(0, 0, 24, 1);
    host.step(12000);
    auto readings = host.take(24);
    ASSERT_FALSE(readings.empty());
    EXPECT_LE(readings.back().value, 1);
    auto states = host.take(23);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().value, 4);
    host.step(8000 * 2);
    EXPECT_NEAR(host.take(24).back().value, 96, 1) << "restored after 2 s";
}

TEST(ExchangeLines, PolarityPulseSwingsFromRailToRail) {
    SimConfig c = planConfig();
    c.boards[0].lines[0].polarityPlus = false;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    host.step(80);
    size_t from = host.samples[0].size();
    host.unitCommand(0, 0, 26, 2);
    host.step(800);
    const auto& x = host.samples[0];
    int plus = 0, minus = 0;
    for (size_t i = from; i < x.size(); ++i) {
        plus += x[i] == 32767;
        minus += x[i] == -32768;
    }
    EXPECT_GT(plus, 100);  // the opposite rail first
    EXPECT_GT(minus, 50);  // then the line's own polarity
    // The board's receiver blocks DC (y = 0.8816 y' + 0.9408 (x - x')) before
    // it looks for three rail samples in a row: the swing must survive that.
    float px = 0, py = 0;
    int run = 0, longest = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        float y = 0.8816f * py + 0.9408f * (x[i] - px);
        px = x[i];
        py = y;
        int out = static_cast<int>(std::clamp(y, -32768.0f, 32767.0f));
        run = out == -32768 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_GE(longest, 3);
}

}  // namespace
}  // namespace orvel::sim::test
