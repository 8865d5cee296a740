// The shipped rule base against generated 425 Hz cadences, measured the way
// the call-progress detector measures them: 8-ms frames, a tone starts after
// eight frames of sound and ends after three silent ones, and the decision
// maps the output (0.2, 0.45] to busy and (0.764, 1.0) to ring-back.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fuzzy/fuzzy_system.h"

using namespace orvel::fuzzy;

namespace {

enum Decision { kTone = 0, kBusy = 4, kRingBack = 5 };

std::shared_ptr<const FuzzySystem> ruleBase() {
    static auto system = loadFuzzySystem(ORVEL_DATA_DIR "/orvel.fis", 101, nullptr);
    return system;
}

int decide(FuzzyEvaluator& e, unsigned toneFrames, unsigned pauseFrames) {
    if (toneFrames == 0 || pauseFrames == 0) {
        return kTone;
    }
    e.setInput(0, toneFrames * 0.008);
    e.setInput(1, pauseFrames * 0.008);
    e.evaluate();
    const double o = e.output(0);
    if (o > 0.2 && o <= 0.45) {
        return kBusy;
    }
    if (o > 0.764 && o < 1.0) {
        return kRingBack;
    }
    return kTone;
}

// The detector's on/off counting over a per-frame sound flag; returns the
// decision at every tone end.
std::vector<int> decisions(const std::vector<bool>& sound) {
    FuzzyEvaluator e(ruleBase(), nullptr);
    unsigned state = 0, toneRun = 0, pauseRun = 0, tone = 0, pause = 0, prevPause = 0;
    std::vector<int> out;
    for (bool s : sound) {
        if (s && state != 2) {
            if (++toneRun > 7) {
                state = 2;
                prevPause = pause;
                tone = toneRun;
                toneRun = pauseRun = 0;
            }
        } else if (s) {
            tone += pauseRun + 1;
            pauseRun = 0;
        } else if (state == 2) {
            if (++pauseRun > 2) {
                pause = pauseRun;
                state = 1;
                pauseRun = toneRun = 0;
                out.push_back(decide(e, tone, prevPause));
            }
        } else {
            pause += toneRun + 1;
            toneRun = 0;
        }
    }
    return out;
}

// `cycles` bursts of on/off seconds after a lead-in silence; `smear` frames
// of sound are added after each burst (the analysis window trailing).
std::vector<bool> cadence(double on, double off, int cycles, double leadIn, int smear = 0) {
    std::vector<bool> frames(static_cast<std::size_t>(leadIn / 0.008), false);
    for (int c = 0; c < cycles; ++c) {
        const auto onFrames = static_cast<std::size_t>(std::lround(on / 0.008)) + smear;
        const auto offFrames = static_cast<std::size_t>(std::lround(off / 0.008)) - smear;
        frames.insert(frames.end(), onFrames, true);
        frames.insert(frames.end(), offFrames, false);
    }
    return frames;
}

}  // namespace

TEST(RuleBase, LoadsAndHasTheExpectedShape) {
    auto s = ruleBase();
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->isMamdani());
    EXPECT_EQ(s->inputCount(), 2u);
    EXPECT_EQ(s->outputCount(), 1u);
}

TEST(RuleBase, BusyCadences) {
    ASSERT_TRUE(ruleBase());
    for (double period : {0.35, 0.5, 0.3, 0.25}) {
        for (int smear : {-1, 0, 1, 2}) {
            auto d = decisions(cadence(period, period, 6, 3.0, smear));
            ASSERT_EQ(d.size(), 6u);
            // The first burst follows the lead-in silence; every later one
            // follows a busy pause.
            for (std::size_t i = 1; i < d.size(); ++i) {
                EXPECT_EQ(d[i], kBusy) << period << " s, smear " << smear << ", burst " << i;
            }
        }
    }
}

TEST(RuleBase, RingBackCadences) {
    ASSERT_TRUE(ruleBase());
    struct Plan {
        double on, off;
    } plans[] = {{1.0, 4.0}, {0.8, 3.2}, {1.5, 3.5}, {1.25, 3.75}, {1.0, 3.0}, {2.0, 4.0}};
    for (const Plan& p : plans) {
        for (int smear : {-1, 0, 2}) {
            auto d = decisions(cadence(p.on, p.off, 3, 0.5, smear));
            ASSERT_EQ(d.size(), 3u);
            for (std::size_t i = 1; i < d.size(); ++i) {
                EXPECT_EQ(d[i], kRingBack) << p.on << "/" << p.off << " smear " << smear;
            }
        }
    }
    // The first ring after a few seconds of silence after dialling counts too.
    EXPECT_EQ(decisions(cadence(1.0, 4.0, 1, 3.0)).front(), kRingBack);
}

TEST(RuleBase, NeitherBusyNorRingBack) {
    ASSERT_TRUE(ruleBase());
    FuzzyEvaluator e(ruleBase(), nullptr);
    EXPECT_EQ(decide(e, 44, 500), kTone);    // short burst after long silence
    EXPECT_EQ(decide(e, 125, 44), kTone);    // long tone after short pause
    EXPECT_EQ(decide(e, 125, 150), kTone);   // pause between the classes
    EXPECT_EQ(decide(e, 125, 1500), kTone);  // pause far beyond ring-back
    EXPECT_EQ(decide(e, 0, 44), kTone);
}
