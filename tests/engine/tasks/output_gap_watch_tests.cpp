// When the output gap watch says the card ran dry: only when the card can
// have played more since the last write than it held, whatever the clock's
// uncertainty around each write.
#include <gtest/gtest.h>

#include "board/output_gap_watch.h"

namespace orvel {
namespace {

constexpr double kMs = 0.001;

TEST(OutputGapWatch, ACardKeptFedHasNoGapALateWriteHasOne) {
    COutputGapWatch w;
    double t = 10;
    // 32 ms of card, refilled every 16 ms with what it played.
    EXPECT_EQ(w.written(t, t, 1024, 512), 0u);
    for (int i = 0; i < 100; ++i) {
        t += 16 * kMs;
        ASSERT_EQ(w.written(t, t + 0.2 * kMs, 1024, 256), 0u) << i;
    }
    // 50 ms late: the 16 ms it still held, then 34 ms of silence.
    t += 66 * kMs;
    const uint32_t gap = w.written(t, t, 1024, 512);
    EXPECT_NEAR(gap, 34 * 16, 8);
    // Full again: the next timely write sees no gap.
    t += 16 * kMs;
    EXPECT_EQ(w.written(t, t, 1024, 256), 0u);
    // Within the margin (5 ms) no gap is reported.
    t += 35 * kMs;
    EXPECT_EQ(w.written(t, t, 1024, 512), 0u);
}

TEST(OutputGapWatch, WhatTheCardHoldsIsNeverOverestimated) {
    // A write that the card took whole tells only that it holds that much:
    // 10 ms taken, 20 ms later it ran dry for about 10 ms.
    COutputGapWatch w;
    EXPECT_EQ(w.written(1, 1, 160, 160), 0u);
    EXPECT_NEAR(w.written(1.020, 1.020, 160, 160), 160, 2);
    // A slow write counts from its start: the card was full at some moment
    // within it, perhaps the first.
    COutputGapWatch s;
    EXPECT_EQ(s.written(1, 1.010, 1024, 512), 0u);      // 10 ms inside the call
    EXPECT_GT(s.written(1.040, 1.040, 1024, 512), 0u);  // 40 ms after its start, 30 after its end
    // A card that was never seen full is not taken for a big one.
    COutputGapWatch f;
    EXPECT_EQ(f.written(1, 1, 100, 100), 0u);
    EXPECT_EQ(f.written(1.001, 1.001, 512, 0), 0u);  // refused: full with what it held
    EXPECT_GT(f.written(1.020, 1.020, 512, 512), 0u);
}

// Taken from a run on the simulated card, which plays in steps of a few
// milliseconds: between two writes 16 ms apart it may have played 17 or 18
// ms of frames. Counted as a lower bound, each full write raised what the
// watch believed a full card holds, until a 45 ms late write, 13 ms of
// silence, went unseen.
TEST(OutputGapWatch, ACardThatPlaysInStepsDoesNotHideALateWrite) {
    COutputGapWatch w;
    double t = 100;
    ASSERT_EQ(w.written(t, t, 1024, 512), 0u);  // after a quiet spell: empty, 512 is full
    for (int i = 0; i < 300; ++i) {
        t += 16.5 * kMs;
        ASSERT_EQ(w.written(t, t, 1024, i % 2 ? 274 : 254), 0u) << i;
    }
    t += 45 * kMs;
    EXPECT_NEAR(w.written(t, t, 1024, 512), 13 * 16, 16);
}

}  // namespace
}  // namespace orvel
