// The realistic network of the simulator: national tone plans, line loss and
// echo, what the exchange does for unobtainable numbers and after a hang-up,
// answering and fax machines, key presses of set length, level and twist.
#include <gtest/gtest.h>
#include <spandsp.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "sim_host.h"
#include "tone_plans.h"

namespace orvel::sim::test {
namespace {

constexpr int kHw = 0;

Subscriber entry(const std::string& pattern, const std::string& text) {
    Subscriber s;
    s.pattern = pattern;
    std::string error;
    EXPECT_TRUE(parseSubscriber(text, s, error)) << error;
    return s;
}

std::vector<int16_t> dtmf16k(const std::string& digits) {
    static const char* keys = "123A456B789C*0#D";
    static const double low[] = {697, 770, 852, 941}, high[] = {1209, 1336, 1477, 1633};
    std::vector<int16_t> out;
    for (char d : digits) {
        int i = static_cast<int>(std::string(keys).find(d));
        for (int n = 0; n < 1600; ++n) {
            double t = n / 16000.0;
            out.push_back(static_cast<int16_t>(4000 * std::sin(2 * M_PI * low[i / 4] * t) +
                                               4000 * std::sin(2 * M_PI * high[i % 4] * t)));
        }
        out.insert(out.end(), 1600, 0);
    }
    return out;
}

std::vector<int16_t> tone16k(double freq, double seconds, double amplitude = 6000) {
    std::vector<int16_t> out;
    for (int n = 0; n < seconds * 16000; ++n) {
        out.push_back(static_cast<int16_t>(amplitude * std::sin(2 * M_PI * freq * n / 16000.0)));
    }
    return out;
}

// Durations (ms) of alternating loud and quiet stretches, 10 ms windows.
std::vector<int> cadence(const std::vector<int16_t>& x, size_t from, size_t to, double threshold) {
    std::vector<int> runs;
    bool loud = false;
    int run = 0;
    for (size_t w = from; w + 80 <= to; w += 80) {
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

SimConfig networkConfig(const LineConfig& line) {
    SimConfig c;
    c.boards[0].present = true;
    c.boards[0].units[0].channels = 1;
    for (auto& u : c.boards[0].units) {
        u.stuck.fill(-1);
    }
    c.boards[0].lines[0] = line;
    c.plan = {entry("300", "busy"),
              entry("301", "unobtainable announce=\"Номер не существует.\" repeat=2"),
              entry("302", "machine rings=0 say=\"Оставьте сообщение.\" record=3"),
              entry("303", "answer rings=0 say=\"Да\" hangup=1 after=silence:3"),
              entry("304", "answer rings=0 say=\"Да\" hangup=1 after=howler:2"),
              entry("305", "fax rings=0"),
              entry("306", "answer rings=0 say=\"Да\" key=9 keyat=1 keyms=40 keydb=-20 twist=-6"),
              entry("307", "answer rings=0 say=\"Да\" hangup=never")};
    c.fallback = entry("+", "unobtainable");
    c.digitTimeout = 2.0;
    return c;
}

class Network : public ::testing::Test {
protected:
    void start(const LineConfig& line = {}) {
        drv = std::make_unique<SimDriver>(networkConfig(line), SimDriver::Clock::Manual);
        host = std::make_unique<SimHost>(*drv, 0);
        host->bringUp();
    }
    void call(const std::string& number) {
        host->unitCommand(0, 0, 26, 1);
        host->step(4000);
        host->play(kHw, dtmf16k(number));
    }
    ExchangeLine::State state() { return drv->card(0)->lineState(0); }
    bool waitFor(ExchangeLine::State s, double seconds) {
        for (int i = 0; i < seconds * 100 && state() != s; ++i) {
            host->step(80);
        }
        return state() == s;
    }
    size_t mark() const { return host->samples[kHw].size(); }
    const std::vector<int16_t>& x() const { return host->samples[kHw]; }

    std::unique_ptr<SimDriver> drv;
    std::unique_ptr<SimHost> host;
};

}  // namespace

TEST(TonePlans, ShippedTableHasEveryCountryWithFourCadences) {
    const auto& plans = tonePlans();
    ASSERT_GE(plans.size(), 20u);
    std::set<std::string> codes;
    int dual = 0;
    for (const auto& p : plans) {
        SCOPED_TRACE(p.code);
        EXPECT_TRUE(codes.insert(p.code).second) << "codes are unique";
        for (const Cadence* c : {&p.dialTone, &p.ringBack, &p.busy, &p.congestion}) {
            ASSERT_FALSE(c->segments.empty());
            EXPECT_GT(c->segments[0].freq1, 300);
            EXPECT_LT(c->segments[0].freq1, 700);
        }
        dual += p.ringBack.segments[0].freq2 > 0 ? 1 : 0;
    }
    EXPECT_GE(dual, 4) << "dual-frequency plans are in the table";
    EXPECT_EQ(defaultTonePlan().code, "ru");
    EXPECT_EQ(findTonePlan("GB"), findTonePlan("gb"));
    EXPECT_EQ(findTonePlan("xx"), nullptr);
}

TEST(TonePlans, CadenceTextIsParsedAndCheckedForBadValues) {
    Cadence c;
    std::string error;
    ASSERT_TRUE(parseCadence("400+450:0.4,0.2,0.4,2.0", "ring", c, error)) << error;
    ASSERT_EQ(c.segments.size(), 4u);
    EXPECT_EQ(c.segments[0].freq2, 450);
    EXPECT_EQ(c.segments[1].freq1, 0);
    EXPECT_EQ(c.segments[3].ms, 2000);
    EXPECT_TRUE(c.repeat);
    ASSERT_TRUE(parseCadence("425:c", "dial", c, error));
    EXPECT_EQ(c.segments[0].ms, -1);
    for (const char* bad :
         {"425", "5:c", "425:0.4", "425:0.4,x", "425:0.001,1", "abc:c", "425+:c"}) {
        EXPECT_FALSE(parseCadence(bad, "x", c, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(NetworkConfig, LineKeysAndSubscriberOptionsAreReadAndChecked) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvelsim_net_" + std::to_string(::getpid()) + ".ini");
    auto load = [&](const std::string& text, SimConfig& c, std::string& error) {
        std::ofstream(path) << text;
        return loadConfig(path.string(), c, error);
    };
    SimConfig c;
    std::string error;
    ASSERT_TRUE(
        load("[Lines]\nLossDb=20\nTonePlan=gb\nEchoModel=3\nEchoDb=-12\nBandLimit=1\n"
             "HumDbm0=-45\nClicksPerMinute=6\nCrosstalkDbm0=-50\nToneJitter=0.1\n"
             "RandomStart=1\n[Board0]\nUnits=1\n[Board0.Line0]\nTonePlan=us\n"
             "[Plan]\n1=machine record=20 after=silence:4\n2=fax calling=1\n"
             "3=answer key=9 keyms=35 keydb=-18 twist=4 talks=1 ringback=music\n",
             c, error))
        << error;
    const LineConfig& l = c.boards[0].lines[0];
    EXPECT_EQ(l.tonePlan, "us");
    EXPECT_EQ(c.boards[0].lines[1].tonePlan, "gb");
    EXPECT_EQ(l.lossDb, 20);
    EXPECT_EQ(l.echoModel, 3);
    EXPECT_TRUE(l.bandLimit);
    EXPECT_TRUE(l.randomStart);
    ASSERT_EQ(c.plan.size(), 3u);
    EXPECT_EQ(c.plan[0].behaviour, Behaviour::Machine);
    EXPECT_EQ(c.plan[0].recordSeconds, 20);
    EXPECT_EQ(c.plan[0].after, AfterHangUp::Silence);
    EXPECT_EQ(c.plan[0].afterSeconds, 4);
    EXPECT_TRUE(c.plan[1].faxCalling);
    EXPECT_EQ(c.plan[2].keyMs, 35);
    EXPECT_EQ(c.plan[2].keyTwistDb, 4);
    EXPECT_TRUE(c.plan[2].talks);
    EXPECT_EQ(c.plan[2].ringBack, RingBackKind::Music);
    for (const char* bad :
         {"[Lines]\nTonePlan=xx\n", "[Lines]\nEchoModel=1\n", "[Lines]\nLossDb=99\n",
          "[Plan]\n1=answer keyms=5\n", "[Plan]\n1=answer after=later\n",
          "[Plan]\n1=answer twist=20\n", "[Plan]\n1=answer ringback=bells\n"}) {
        SimConfig other;
        EXPECT_FALSE(load(bad, other, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    std::filesystem::remove(path);
}

TEST_F(Network, ForeignPlanLossAndBandLimitShapeTheTones) {
    LineConfig line;
    line.tonePlan = "gb";
    line.lossDb = 20;
    line.bandLimit = true;
    start(line);
    host->unitCommand(0, 0, 26, 1);
    size_t from = mark();
    host->step(8000);
    // Dial tone 350 + 440 Hz, each 20 dB below the exchange's -10 dBm0.
    EXPECT_GT(toneShare(&x()[from + 800], 6400, 350), 0.35);
    EXPECT_GT(toneShare(&x()[from + 800], 6400, 440), 0.35);
    const double level = rms(&x()[from + 800], 6400);
    EXPECT_NEAR(20 * std::log10(level / (22706 / std::sqrt(2.0))), -10 + 3 - 20, 2.5);
    host->play(kHw, dtmf16k("300"));
    ASSERT_TRUE(waitFor(ExchangeLine::State::Busy, 10));
    from = mark();
    host->step(8000 * 3);
    const auto runs = cadence(x(), from, mark(), level / 3);
    ASSERT_GE(runs.size(), 5u);
    EXPECT_NEAR(runs[1], 375, 20);
    EXPECT_NEAR(runs[2], 375, 20);
}

TEST_F(Network, UnobtainableNumberPlaysTonesAndTheAnnouncementThenBusy) {
    start();
    call("301");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Info, 5));
    size_t from = mark();
    host->step(2 * 8000);
    EXPECT_GT(toneShare(&x()[from + 400], 2000, 950), 0.8);
    EXPECT_GT(toneShare(&x()[from + 5680], 2000, 1800), 0.8);
    EXPECT_TRUE(waitFor(ExchangeLine::State::Busy, 30));
    const auto rec = drv->card(0)->record(0);
    int announcements = 0;
    for (const auto& e : rec.events) {
        announcements += e.text == "announcement" ? 1 : 0;
    }
    EXPECT_EQ(announcements, 2);
}

TEST_F(Network, AnsweringMachineGreetsBeepsRecordsAndHangsUp) {
    start();
    call("302");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 5));
    for (int i = 0; i < 1000 && !drv->card(0)->record(0).hasEvent("answering machine beeps"); ++i) {
        host->step(80);
    }
    size_t from = mark();
    host->step(3200);
    EXPECT_GT(toneShare(&x()[from + 400], 2400, 1000), 0.8) << "the beep";
    // Three seconds of recording, then it hangs up; busy follows at once.
    EXPECT_TRUE(waitFor(ExchangeLine::State::Busy, 5));
    EXPECT_TRUE(drv->card(0)->record(0).hasEvent("subscriber hung up"));
}

TEST_F(Network, AfterTheHangUpSilenceThenBusyOrTheHowler) {
    start();
    call("303");
    ASSERT_TRUE(waitFor(ExchangeLine::State::HungUp, 8));
    size_t from = mark();
    host->step(8000 * 2);
    EXPECT_LT(rms(&x()[from], 16000), 100) << "silence first";
    EXPECT_TRUE(waitFor(ExchangeLine::State::Busy, 2));

    host->unitCommand(0, 0, 26, 0);
    host->step(800);
    call("304");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Howler, 10));
    from = mark();
    host->step(8000);
    EXPECT_GT(rms(&x()[from], 8000), 3000) << "the howler is loud";
    EXPECT_GT(toneShare(&x()[from], 8000, 1400), 0.2);
}

TEST_F(Network, FaxMachineAnswersWithItsTone) {
    start();
    call("305");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 5));
    size_t from = mark();
    host->step(8000);
    EXPECT_GT(toneShare(&x()[from + 800], 4000, 2100), 0.8);
}

TEST_F(Network, ShortWeakTwistedKeyIsStillAKey) {
    start();
    call("306");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 5));
    size_t from = mark();
    host->step(8000 * 3);
    EXPECT_EQ(drv->card(0)->record(0).keysPressed, 1);
    dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx_parms(rx, 0, 8, 8, -99);
    dtmf_rx(rx, &x()[from], static_cast<int>(mark() - from));
    char got[8] = {};
    dtmf_rx_get(rx, got, 7);
    dtmf_rx_free(rx);
    EXPECT_STREQ(got, "9");
    // 40 ms of tone: its energy sits in 5 or 6 windows of 8 ms.
    int loud = 0;
    for (size_t w = from + 8000; w + 64 <= mark(); w += 64) {
        loud += toneShare(&x()[w], 64, 1477) > 0.1 && rms(&x()[w], 64) > 300 ? 1 : 0;
    }
    EXPECT_GE(loud, 4);
    EXPECT_LE(loud, 7);
}

TEST_F(Network, EchoOfTheEnginesOwnOutputReturnsAtTheSetLoss) {
    LineConfig line;
    line.echoModel = 4;
    line.echoDb = -12;
    start(line);
    call("307");
    ASSERT_TRUE(waitFor(ExchangeLine::State::Connected, 5));
    host->step(8000 * 3);  // after the subscriber's "Да"
    size_t from = mark();
    host->play(kHw, tone16k(1000, 1.0, 8000));  // steps while the card's buffer is full
    host->step(4000);
    const double sent = 8000 / std::sqrt(2.0);
    const double heard = rms(&x()[from + 1600], 2400);
    EXPECT_NEAR(20 * std::log10(heard / sent), -12, 4);
}

TEST_F(Network, SoundsTheBoardPlaysAreRecordedAlsoAfterTheHangUp) {
    start();
    call("303");  // the dialled number is the first sound (0.5 s)
    ASSERT_TRUE(waitFor(ExchangeLine::State::HungUp, 8));
    host->play(kHw, tone16k(500, 0.5, 8000));
    host->step(8000);  // a sound ends after 0.8 s of quiet
    const auto& r = drv->card(0)->record(0);
    double answered = -1;
    double hungUp = -1;
    for (const auto& e : r.events) {
        if (e.text.find("-> connected") != std::string::npos) {
            answered = e.seconds;
        }
        if (e.text.find("-> hung up") != std::string::npos) {
            hungUp = e.seconds;
        }
    }
    ASSERT_GT(answered, 0);
    ASSERT_GT(hungUp, answered);
    ASSERT_EQ(r.sounds.size(), 2u);
    EXPECT_NEAR(r.sounds[0].to - r.sounds[0].from, 0.5, 0.03);
    EXPECT_LT(r.sounds[0].to, answered);
    EXPECT_NEAR(r.sounds[1].to - r.sounds[1].from, 0.5, 0.03);
    EXPECT_GT(r.sounds[1].from, hungUp);
    EXPECT_LT(r.sounds[1].from, hungUp + 0.3);
}

}  // namespace orvel::sim::test
