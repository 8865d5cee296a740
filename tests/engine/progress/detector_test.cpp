// The call-progress detector on made-up frame features, and the line-state
// filter's tables.
#include <gtest/gtest.h>

#include <vector>

#include "analysis/line_state_filter.h"
#include "analysis/signal_detector.h"
#include "codes.h"

namespace orvel {
namespace {

DetectorFrame toneFrame(int hz = 434, int16_t level = 900) {
    DetectorFrame f;
    f.bin = hz / 62;
    f.level = level;
    f.frequency = hz;
    f.meanMagnitude = 60;
    f.presenceThreshold = 100;
    return f;
}

DetectorFrame quietFrame() {
    DetectorFrame f;
    f.bin = 20;
    f.level = 10;
    f.frequency = 1240;
    f.meanMagnitude = 5;
    f.presenceThreshold = 100;
    return f;
}

struct Decided {
    int frame;
    uint32_t cls;
};

// Runs `on` frames of tone and `off` frames of quiet, `cycles` times.
std::vector<Decided> run(CSignalDetector& d, int on, int off, int cycles,
                         DetectorFrame tone = toneFrame(), int* frame = nullptr) {
    std::vector<Decided> out;
    int n = frame != nullptr ? *frame : 0;
    for (int c = 0; c < cycles; ++c) {
        for (int i = 0; i < on + off; ++i, ++n) {
            const uint32_t cls = d.classify(i < on ? tone : quietFrame());
            if (d.decisionReady()) {
                out.push_back({n, cls});
            }
        }
    }
    if (frame != nullptr) {
        *frame = n;
    }
    return out;
}

std::shared_ptr<const fuzzy::FuzzySystem> ruleBase() {
    static auto system = fuzzy::loadFuzzySystem(ORVEL_DATA_DIR "/orvel.fis");
    return system;
}

TEST(SignalDetector, CadenceCounting) {
    CSignalDetector d;
    d.setFuzzySystem(ruleBase());
    // Seven frames of sound never start a tone.
    for (int i = 0; i < 20; ++i) {
        run(d, 7, 5, 1);
        ASSERT_NE(d.cadenceState(), 2u);
    }
    EXPECT_TRUE(run(d, 0, 10, 1).empty());
    // A 0.35/0.35 s cadence: decided at the third quiet frame after each
    // burst, on the burst's length without its quiet frames.
    int frame = 0;
    const auto decided = run(d, 44, 44, 4, toneFrame(), &frame);
    ASSERT_EQ(decided.size(), 4u);
    EXPECT_EQ(decided[1].frame, 88 + 44 + 2);
    EXPECT_EQ(d.toneLength(), 44u);
    EXPECT_EQ(d.previousPauseLength(), 44u);
    EXPECT_EQ(decided[1].cls, CSignalDetector::kBusy);
    EXPECT_EQ(decided[3].cls, CSignalDetector::kBusy);
    EXPECT_EQ(d.fuzzyDecision(125, 500), CSignalDetector::kRingBack);
    EXPECT_EQ(d.fuzzyDecision(0, 500), 0u);
}

TEST(SignalDetector, ContinuousToneIsReportedOnceAndItsEndIsATone) {
    CSignalDetector d;
    d.setFuzzySystem(ruleBase());
    run(d, 0, 20, 1);
    const auto decided = run(d, 600, 10, 1);
    ASSERT_EQ(decided.size(), 2u);
    EXPECT_EQ(decided[0].cls, CSignalDetector::kDialTone);
    EXPECT_EQ(decided[0].frame, 250);  // 251 frames of sound: 2.008 s
    EXPECT_EQ(decided[1].cls, CSignalDetector::kTone);
}

TEST(SignalDetector, StabilityDecidesBetweenToneAndVoice) {
    CSignalDetector d;
    d.setFuzzySystem(ruleBase());
    run(d, 0, 20, 1);
    // Level swinging far from the starting level: not a tone.
    std::vector<uint32_t> classes;
    for (int i = 0; i < 40; ++i) {
        d.classify(toneFrame(434, i % 2 ? 900 : 300));
    }
    for (int i = 0; i < 3; ++i) {
        classes.push_back(d.classify(quietFrame()));
    }
    EXPECT_TRUE(d.decisionReady());
    EXPECT_EQ(classes.back(), CSignalDetector::kSilence);
    // The same with the voice detector saying voice during it.
    for (int i = 0; i < 40; ++i) {
        DetectorFrame f = toneFrame(434, i % 2 ? 900 : 300);
        f.voice = i == 20;
        d.classify(f);
    }
    for (int i = 0; i < 3; ++i) {
        classes.push_back(d.classify(quietFrame()));
    }
    EXPECT_EQ(classes.back(), CSignalDetector::kVoice);
    // One frame at the reference, three a bin (62 Hz) away, again and
    // again: every fourth frame counts unstable, too many for a tone.
    for (int i = 0; i < 40; ++i) {
        d.classify(toneFrame(i % 4 == 0 ? 434 : 496));
    }
    EXPECT_FALSE(d.toneIsStable());
    for (int i = 0; i < 3; ++i) {
        d.classify(quietFrame());
    }
    for (int i = 0; i < 40; ++i) {
        d.classify(toneFrame(434));
    }
    EXPECT_TRUE(d.toneIsStable());
}

TEST(SignalDetector, CallerIdentificationScore) {
    CSignalDetector d;
    d.setFuzzySystem(ruleBase());
    run(d, 0, 20, 1);
    DetectorFrame weak = toneFrame(496, 900);
    weak.meanMagnitude = 30;  // ratio 30: one point a frame
    DetectorFrame flat = toneFrame(496, 900);
    flat.meanMagnitude = 100;  // ratio 9: nothing
    EXPECT_NE(run(d, 30, 5, 1, flat).back().cls, CSignalDetector::kAon);
    EXPECT_EQ(d.aonScore(), 0u);
    // Two weak frames are not enough; three are.
    std::vector<DetectorFrame> frames(30, flat);
    frames[10] = frames[11] = weak;
    for (const auto& f : frames) {
        d.classify(f);
    }
    EXPECT_EQ(d.aonScore(), 2u);
    uint32_t cls = 0;
    for (int i = 0; i < 3; ++i) {
        cls = d.classify(quietFrame());
    }
    EXPECT_NE(cls, CSignalDetector::kAon);
    frames[12] = weak;
    for (const auto& f : frames) {
        d.classify(f);
    }
    for (int i = 0; i < 3; ++i) {
        cls = d.classify(quietFrame());
    }
    EXPECT_EQ(cls, CSignalDetector::kAon);
    EXPECT_EQ(d.aonScore(), 0u);
}

TEST(SignalDetector, LongSilenceFollowsTheVoiceDecisionUnreported) {
    CSignalDetector d;
    const auto decided = run(d, 0, 2100, 1);
    EXPECT_TRUE(decided.empty());
    EXPECT_EQ(d.decision(), CSignalDetector::kStartOrLongSilence);
}

// Each case: mode, inputs, the state after each input.
struct FilterCase {
    uint32_t mode;
    std::vector<uint32_t> in;
    std::vector<uint32_t> out;
};

TEST(LineStateFilter, Tables) {
    const std::vector<FilterCase> cases = {
        // Awaiting a dial tone: only dial tone and tone leave silence.
        {1, {1, 0, 4, 5, 7, 2}, {0, 0, 0, 0, 0, 2}},
        {1, {3, 1, 3, 4, 3, 0}, {3, 3, 3, 4, 4, 0}},
        {1, {3, 2, 1, 0}, {3, 2, 2, 0}},
        // After dialling: a steady tone is a tone, then ring-back.
        {2, {2, 2, 5, 5, 5, 4, 4}, {3, 5, 6, 5, 6, 3, 4}},
        {2, {4, 4, 3, 0}, {3, 4, 4, 0}},
        // Speech after a busy report is voice: a talker's word that looked
        // like a busy burst must not make the words after it busy reports.
        {2, {4, 4, 1, 4, 1, 1}, {3, 4, 1, 4, 1, 0}},
        {1, {3, 4, 1, 4}, {3, 4, 1, 4}},
        {2, {1, 1, 1, 2}, {1, 0, 1, 2}},  // voice again reads as silence
        {2, {6, 7, 2, 0}, {3, 7, 5, 0}},
        // Busy leaves it: the echo of the engine's own beep can look like a
        // request, and the busy tone after it is how a subscriber confirms.
        {2, {7, 3, 4, 7}, {7, 7, 4, 4}},
        // After a caller-identification request the answer still gets through.
        {2, {7, 1}, {7, 1}},
        {1, {3, 4, 7, 0}, {3, 4, 4, 0}},
        {2, {1, 8, 9, 100}, {1, 1, 1, 1}},
    };
    for (const auto& c : cases) {
        CLineStateFilter f;
        f.setMode(c.mode);
        std::vector<uint32_t> got;
        for (uint32_t v : c.in) {
            got.push_back(f.filter(v));
        }
        EXPECT_EQ(got, c.out) << "mode " << c.mode;
    }
    // Mode 0 keeps the table and the state; a new mode starts from silence.
    CLineStateFilter f;
    EXPECT_EQ(f.mode(), 2u);  // the table it is built with
    f.filter(3);
    f.setMode(0);
    EXPECT_EQ(f.state(), 3u);
    f.setMode(1);
    EXPECT_EQ(f.state(), 0u);
}

}  // namespace
}  // namespace orvel
