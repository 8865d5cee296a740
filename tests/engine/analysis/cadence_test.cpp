// The front end, the presence threshold and the shipped rule base together:
// generated 425 Hz cadences with line noise go through the spectral front
// end frame by frame; a frame is sound when its level exceeds the presence
// threshold; tone and pause lengths are counted the way the call-progress
// detector counts them and judged by the fuzzy decision.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/frequency_front_end.h"
#include "fuzzy/fuzzy_system.h"

using namespace orvel;

namespace {

enum { kTone = 0, kBusy = 4, kRingBack = 5 };

struct Judged {
    unsigned toneFrames;
    unsigned pauseFrames;
    int decision;
};

std::vector<int16_t> cadence(double on, double off, int cycles, double amplitude, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 30.0);
    std::vector<int16_t> v;
    const auto onSamples = static_cast<std::size_t>(on * 8000);
    const auto offSamples = static_cast<std::size_t>(off * 8000);
    v.resize(static_cast<std::size_t>(cycles) * (onSamples + offSamples) + 8000);
    std::size_t i = 8000;  // a second of quiet line first
    for (int c = 0; c < cycles; ++c) {
        for (std::size_t n = 0; n < onSamples; ++n, ++i) {
            v[i] =
                static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * 425 * n / 8000.0));
        }
        i += offSamples;
    }
    for (auto& s : v) {
        s = static_cast<int16_t>(std::clamp(s + noise(rng), -32768.0, 32767.0));
    }
    return v;
}

std::vector<Judged> judge(const std::vector<int16_t>& signal) {
    static auto system = fuzzy::loadFuzzySystem(ORVEL_DATA_DIR "/orvel.fis", 101, nullptr);
    EXPECT_TRUE(system);
    fuzzy::FuzzyEvaluator fis(system, nullptr);
    CSpectralFrontEnd fe;
    fe.setUp(8000);
    unsigned state = 0, toneRun = 0, pauseRun = 0, tone = 0, pause = 0, prevPause = 0;
    std::vector<Judged> out;
    for (std::size_t end = 130; end <= signal.size(); end += 64) {
        fe.analyse(signal.data() + end - 130);  // the first 128 of the 130-sample window
        const bool sound = fe.features(0, 0).level > fe.presenceThreshold();
        if (sound && state != 2) {
            if (++toneRun > 7) {
                state = 2;
                prevPause = pause;
                tone = toneRun;
                toneRun = pauseRun = 0;
            }
        } else if (sound) {
            tone += pauseRun + 1;
            pauseRun = 0;
        } else if (state == 2) {
            if (++pauseRun > 2) {
                pause = pauseRun;
                state = 1;
                pauseRun = toneRun = 0;
                int decision = kTone;
                if (tone != 0 && prevPause != 0) {
                    fis.setInput(0, tone * 0.008);
                    fis.setInput(1, prevPause * 0.008);
                    fis.evaluate();
                    const double o = fis.output(0);
                    decision = (o > 0.2 && o <= 0.45)   ? kBusy
                               : (o > 0.764 && o < 1.0) ? kRingBack
                                                        : kTone;
                }
                out.push_back({tone, prevPause, decision});
            }
        } else {
            pause += toneRun + 1;
            toneRun = 0;
        }
    }
    return out;
}

}  // namespace

TEST(CadenceThroughFrontEnd, BusyTones) {
    for (double period : {0.35, 0.5}) {
        for (double amplitude : {1500.0, 3000.0, 15000.0}) {
            auto j = judge(cadence(period, period, 6, amplitude, 11));
            ASSERT_EQ(j.size(), 6u) << period << " " << amplitude;
            for (std::size_t i = 1; i < j.size(); ++i) {
                // Lengths within two frames of the true cadence.
                EXPECT_NEAR(j[i].toneFrames * 0.008, period, 0.02) << amplitude;
                EXPECT_NEAR(j[i].pauseFrames * 0.008, period, 0.03) << amplitude;
                EXPECT_EQ(j[i].decision, kBusy) << period << " s at " << amplitude;
            }
        }
    }
}

TEST(CadenceThroughFrontEnd, RingBack) {
    for (double amplitude : {1500.0, 3000.0, 15000.0}) {
        auto j = judge(cadence(1.0, 4.0, 3, amplitude, 5));
        ASSERT_EQ(j.size(), 3u);
        for (std::size_t i = 1; i < j.size(); ++i) {
            EXPECT_NEAR(j[i].toneFrames * 0.008, 1.0, 0.02);
            EXPECT_EQ(j[i].decision, kRingBack) << amplitude;
        }
    }
}

TEST(CadenceThroughFrontEnd, QuietLinesAndFaintTonesAreNotSound) {
    EXPECT_TRUE(judge(cadence(0.35, 0.35, 0, 0.0, 3)).empty());
    // The presence threshold grows with the peak's prominence in dB: a tone
    // about 40 dB below full scale over a quiet line is not sound.
    EXPECT_TRUE(judge(cadence(0.35, 0.35, 4, 300.0, 3)).empty());
}
