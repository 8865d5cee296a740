// The exchange's special information tones: three tones rising from 950 to
// 1800 Hz. Only that sequence, at any line level and with the usual
// tolerances, is taken for an unobtainable number.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/sit_detector.h"
#include "dtmf_test_signals.h"
#include "tone_plans.h"

using orvel::CSitDetector;

namespace {

void tone(std::vector<float>& x, double hz, int ms, double dbm0) {
    const double a = orvel::tools::dbm0Peak(dbm0);
    for (int n = 0; n < ms * 8; ++n) {
        x.push_back(static_cast<float>(a * std::sin(2 * std::numbers::pi * hz * n / 8000.0)));
    }
}

void silence(std::vector<float>& x, int ms) {
    x.insert(x.end(), static_cast<size_t>(ms) * 8, 0.0f);
}

// Frames at which the detector fired.
std::vector<size_t> detections(const std::vector<float>& signal) {
    const auto x = orvel::tools::toSamples(signal);
    CSitDetector d;
    std::vector<size_t> at;
    for (size_t f = 0; f + 64 <= x.size(); f += 64) {
        if (d.process(x.data() + f)) {
            at.push_back(f / 64);
        }
    }
    return at;
}

}  // namespace

TEST(SitDetector, TheThreeTonesAtAnyLevelAndTimingAreRecognisedOnce) {
    for (double level : {-8.0, -20.0, -35.0}) {
        for (int ms : {276, 330, 380}) {
            for (double drift : {-30.0, 0.0, 30.0}) {
                std::vector<float> x;
                silence(x, 37);
                tone(x, 950 + drift, ms, level);
                silence(x, 10);
                tone(x, 1400 + drift, ms, level);
                tone(x, 1800 + drift, ms, level);
                silence(x, 1000);
                tone(x, 950, ms, level);  // the sequence again: still one report
                tone(x, 1400, ms, level);
                tone(x, 1800, ms, level);
                orvel::tools::addNoise(x, level - 20, 3);
                const auto at = detections(x);
                ASSERT_EQ(at.size(), 1u) << level << " dBm0, " << ms << " ms, " << drift << " Hz";
                // On the third tone, not before.
                EXPECT_GE(at[0] * 8, static_cast<size_t>(37 + 2 * ms + 10 + 200 - 16));
            }
        }
    }
}

TEST(SitDetector, AFirstToneHeardClippedStillCounts) {
    // Switched through to the announcement while the first tone sounds: only
    // its end is heard, the two tones after it are whole.
    for (int first : {0, 16, 48, 120, 190}) {
        std::vector<float> x;
        silence(x, 200);
        tone(x, 950, first, -25);
        tone(x, 1400, 330, -25);
        tone(x, 1800, 330, -25);
        silence(x, 500);
        orvel::tools::addNoise(x, -50, 5);
        EXPECT_EQ(detections(x).size(), 1u) << first << " ms";
    }
    // A clipped second or third tone is not enough.
    std::vector<float> x;
    tone(x, 950, 330, -25);
    tone(x, 1400, 120, -25);
    tone(x, 1800, 330, -25);
    silence(x, 300);
    tone(x, 950, 330, -25);
    tone(x, 1400, 330, -25);
    tone(x, 1800, 120, -25);
    silence(x, 300);
    EXPECT_TRUE(detections(x).empty());
}

TEST(SitDetector, OtherSoundsAreNotInformationTones) {
    auto none = [](const std::vector<float>& x) { return detections(x).empty(); };
    std::vector<float> x;
    tone(x, 950, 3000, -10);  // one steady tone
    EXPECT_TRUE(none(x));
    x.clear();
    tone(x, 1800, 330, -10);  // wrong order
    tone(x, 1400, 330, -10);
    tone(x, 950, 330, -10);
    EXPECT_TRUE(none(x));
    x.clear();
    tone(x, 950, 100, -10);  // too short
    tone(x, 1400, 100, -10);
    tone(x, 1800, 100, -10);
    EXPECT_TRUE(none(x));
    x.clear();
    tone(x, 950, 330, -10);  // a long gap between the tones
    tone(x, 1400, 330, -10);
    silence(x, 500);
    tone(x, 1800, 330, -10);
    EXPECT_TRUE(none(x));
    x.clear();
    tone(x, 950, 330, -55);  // below the line's noise
    tone(x, 1400, 330, -55);
    tone(x, 1800, 330, -55);
    EXPECT_TRUE(none(x));
    // Busy tone, ring-back and DTMF keys.
    x.clear();
    for (int i = 0; i < 10; ++i) {
        tone(x, 425, 350, -10);
        silence(x, 350);
    }
    orvel::tools::KeyBurst b;
    for (const char* k = orvel::tools::kDtmfKeys; *k != '\0'; ++k) {
        b.key = *k;
        b.onMs = 400;
        orvel::tools::appendKey(x, b);
    }
    EXPECT_TRUE(none(x));
}

TEST(SitDetector, NoToneOfAnyShippedPlanNorTheNetworksOtherSoundsIsTakenForThem) {
    // A number booked unobtainable is never called again: no busy tone,
    // ring-back or other sound of the simulated networks may pass for the
    // information tones, at a loud and at a quiet level, from any start.
    using orvel::sim::Cadence;
    std::vector<const Cadence*> sounds = {
        &orvel::sim::musicCadence(),       &orvel::sim::howlerCadence(),
        &orvel::sim::machineBeepCadence(), &orvel::sim::faxAnswerCadence(),
        &orvel::sim::faxFlagsCadence(),    &orvel::sim::faxCallingCadence(),
        &orvel::sim::aonRequestCadence()};
    for (const auto& plan : orvel::sim::tonePlans()) {
        sounds.insert(sounds.end(), {&plan.dialTone, &plan.ringBack, &plan.busy, &plan.congestion});
    }
    int checked = 0;
    for (const Cadence* c : sounds) {
        for (double level : {-5.0, -30.0}) {
            for (uint32_t seed : {1u, 2u, 3u}) {
                orvel::sim::TonePlayer p;
                p.init(c, orvel::sim::toneAmplitude(level), {0.05f, true, seed});
                std::vector<float> x(8000 * 12, 0.0f);
                p.process(x.data(), static_cast<int>(x.size()));
                orvel::tools::addNoise(x, level - 25, seed);
                EXPECT_TRUE(detections(x).empty()) << c->name << " at " << level << " dBm0";
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 6 * (7 + 4 * 20));
}
