// A subscriber who hangs up before the beep is no confirmation, whatever the
// cadence of the exchange's busy tone; one who hangs up after it is. The
// line is heard as the engine hears it: the busy tone of every shipped tone
// plan (with the exchange's cadence jitter) and the echo of the engine's
// beep go frame by frame through the channel's signal analysis with the
// rule base and tone profile of the plan's engine plan, and each report
// reaches the call algorithm, on its clock, when the analysis makes it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "call_harness.h"
#include "tone_plan_hearing.h"
#include "tone_plans.h"

namespace orvel {
namespace {

using testing::CallHarness;

constexpr double kFrameS = 0.008;
constexpr double kBeepS = 0.5;
constexpr double kEchoLagS = 0.05;  // from the beep asked for to its echo on the line
constexpr double kBeepHz = 500;
constexpr double kEchoDb = -16;  // the hybrid's return loss

// The engine plan a site in `country` would set: its own where the engine
// has one, the British one for the other double ring-back plans, else the
// default.
const TonePlanEntry& enginePlanFor(const std::string& country) {
    if (const TonePlanEntry* p = findTonePlanEntry(country.c_str())) {
        return *p;
    }
    return *findTonePlanEntry(country == "au" || country == "nz" ? "gb" : "default");
}

struct Line {
    const sim::TonePlan* plan = nullptr;
    double busyDbm0 = -20;
    // When the busy tone's first burst begins, from the moment the engine
    // asks for the beep (negative: before it).
    double busyFromBeepS = 0;
};

struct Heard {
    std::vector<uint32_t> results;
    uint32_t busyReports = 0;
    double hungDownAt = -1;  // s from the start of the pause
};

// The pause after the confirm message, the beep and the busy tone, until
// the algorithm hangs up. Some cadences are heard as plain tones for a few
// bursts before the rule base calls them busy, and the slowest busy needs
// 4.5 s for its three reports: the wait for a key (15 s) leaves time.
Heard callAroundTheBeep(const Line& line) {
    const TonePlanEntry& engine = enginePlanFor(line.plan->code);
    CSignalProcessing sp;
    EXPECT_EQ(sp.loadFis(std::string(ORVEL_DATA_DIR "/") + engine.ruleBase), 0);
    sp.setSensitivityDb(20);
    sp.setToneProfile(tools::toneProfileOf(engine));

    sim::NoiseSource noise;
    noise.init(7, -65);
    std::vector<float> x(64);
    std::vector<int16_t> s(64);
    auto frameOfNoise = [&] {
        std::fill(x.begin(), x.end(), 0.0f);
        noise.process(x.data(), 64);
    };
    auto toSamples = [&] {
        for (std::size_t i = 0; i < x.size(); ++i) {
            s[i] = static_cast<int16_t>(std::clamp(x[i], -32768.0f, 32767.0f));
        }
    };
    sp.startCalibration();
    do {
        frameOfNoise();
        toSamples();
    } while (!sp.calibrationFrame(s.data(), s.size()));
    sp.seize();
    sp.setFilterMode(CLineStateFilter::kDialled);
    sp.playOn();  // the message and the prompt were played
    sp.playOff();

    CallHarness h;
    h.assign();
    h.answeredAndPlayed("1", 3);
    h.wait(2.1);
    h.done(CMD_START_PLAY);  // the confirm message
    EXPECT_EQ(h.alg.GetState(), WAIT_TEST_PAUSE);

    // The beep is asked for when the pause's 5 s are over: on the first
    // timer tick after them.
    const double beepAt = 5.0;
    const double busyAt = beepAt + line.busyFromBeepS;
    sim::TonePlayer busy;
    bool busyOn = false;
    double beepSentAt = -1;
    Heard heard;
    for (int f = 0; f < static_cast<int>(22.0 / kFrameS); ++f) {
        const double t = f * kFrameS;
        frameOfNoise();
        if (!busyOn && t + kFrameS > busyAt) {
            busyOn = true;
            busy.init(&line.plan->busy, sim::toneAmplitude(line.busyDbm0), {0.05f, false, 3});
            const int skip = static_cast<int>(std::lround((busyAt - t) / kFrameS * 64));
            busy.process(x.data() + skip, 64 - skip);
        } else if (busyOn) {
            busy.process(x.data(), 64);
        }
        if (beepSentAt >= 0) {
            const double amplitude = 32000 * std::pow(10.0, kEchoDb / 20);
            for (int i = 0; i < 64; ++i) {
                const double te = t + i / 8000.0 - beepSentAt - kEchoLagS;
                if (te >= 0 && te < kBeepS) {
                    x[static_cast<std::size_t>(i)] += static_cast<float>(
                        amplitude * std::sin(2 * std::numbers::pi * kBeepHz * te));
                }
            }
        }
        toSamples();
        uint32_t reported = 0;
        const bool report = sp.activeFrame(s.data(), s.size(), reported);

        h.clock.advance(std::chrono::milliseconds(8));
        if (f % 12 == 11) {  // the logic task's 100-ms timer
            h.alg.CheckTimeOut(ACE_Time_Value::zero, nullptr);
        }
        if (report) {
            heard.busyReports += reported == LS_BUSY_TONE ? 1 : 0;
            h.report(reported, sp.reportedSoundMs());
        }
        const uint32_t state = h.alg.GetState();
        if (state == WAIT_PLAY_BEEP && beepSentAt < 0) {
            beepSentAt = t + kFrameS;
            h.ack(CMD_SOUND_PLAY, ACKT_RECEIVE);
        }
        if (state == WAIT_PLAY_BEEP && t + kFrameS >= beepSentAt + kBeepS + kEchoLagS) {
            h.ack(CMD_START_PLAY, ACKT_EXECUTE);  // the end of the beep
        }
        if (state == WAIT_ACKNOWLEDGE_HANG_DOWN) {
            heard.hungDownAt = t;
            break;
        }
    }
    EXPECT_NEAR(beepSentAt, beepAt, 0.11);
    heard.results = h.results;
    return heard;
}

// Ended by busy, not by the wait for a key running out.
bool endedByBusy(const Heard& heard) {
    return heard.busyReports >= 3 && heard.hungDownAt > 0 &&
           heard.hungDownAt < 5.0 + kBeepS + CListenLineTest::kDtmfWaitS - 1.0;
}

std::string describe(const Line& line) {
    return line.plan->code + " busy at " + std::to_string(line.busyDbm0) + " dBm0 from " +
           std::to_string(line.busyFromBeepS) + " s of the beep";
}

constexpr double kLevels[] = {-5, -10, -15, -20, -25, -30, -35};  // dBm0

// Not the two-frequency busy of North America: when its burst and the
// beep's echo are heard as one sound, the bursts after it are heard as
// speech for a while, and speech ends the stretch of busy.
bool twoFrequencyBusy(const sim::TonePlan& plan) {
    return plan.busy.segments.front().freq2 != 0;
}

TEST(BeepAndBusy, AHangUpBeforeTheBeepOfEveryShippedPlanIsNoConfirmation) {
    int lines = 0;
    int plans = 0;
    for (const sim::TonePlan& plan : sim::tonePlans()) {
        if (twoFrequencyBusy(plan)) {
            continue;
        }
        ++plans;
        const double on = plan.busy.segments.front().ms / 1000.0;
        // The first burst ends with the beep's echo, as one sound with it,
        // or (a slow busy) long after it; or just before the beep.
        for (double before : {0.1, on * 0.9, on + 0.05}) {
            for (double dbm0 : kLevels) {
                const Line line{&plan, dbm0, -before};
                const Heard heard = callAroundTheBeep(line);
                ++lines;
                EXPECT_TRUE(endedByBusy(heard)) << describe(line);
                EXPECT_EQ(heard.results, std::vector<uint32_t>{}) << describe(line);
            }
        }
    }
    EXPECT_GE(plans, 25);
    EXPECT_EQ(lines, plans * 3 * static_cast<int>(std::size(kLevels)));
}

TEST(BeepAndBusy, AHangUpAfterTheBeepOfEveryShippedPlanConfirms) {
    int lines = 0;
    for (const sim::TonePlan& plan : sim::tonePlans()) {
        // A quick hang-up, the exchange's busy at once; and a slow one.
        for (double after : {kBeepS + kEchoLagS + 0.4, kBeepS + 2.0}) {
            for (double dbm0 : kLevels) {
                const Line line{&plan, dbm0, after};
                const Heard heard = callAroundTheBeep(line);
                ++lines;
                EXPECT_TRUE(endedByBusy(heard)) << describe(line);
                EXPECT_EQ(heard.results, std::vector<uint32_t>{NR_NOTIFY_OK}) << describe(line);
            }
        }
    }
    EXPECT_EQ(lines,
              static_cast<int>(sim::tonePlans().size()) * 2 * static_cast<int>(std::size(kLevels)));
}

}  // namespace
}  // namespace orvel
