#include <gtest/gtest.h>

#include <algorithm>

#include "dsp/dsp_ops.h"
#include "dsp/dtmf_tone_generator.h"
#include "signal_util.h"

using namespace orvel::dsp;

TEST(DtmfToneGenerator, KeyFiveAtLevelThree) {
    CDtmfToneBank bank;
    ASSERT_EQ(bank.build(), 0);
    const CDtmfToneGenerator& g = bank.level(3);
    EXPECT_EQ(g.amplitude(), 4000);
    ASSERT_EQ(g.keyLength(), 2000u);
    const int16_t* k5 = g.keyBuffer('5');
    ASSERT_NE(k5, nullptr);
    std::vector<int16_t> low(2000), high(2000);
    tone(low.data(), 2000, 770.0f / 16000, 0, 4000);
    tone(high.data(), 2000, 1336.0f / 16000, 0, 4000);
    for (std::size_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(k5[i], low[i] + high[i]) << i;
    }
    EXPECT_NEAR(orvel::test::toneAmplitude(k5, 2000, 770, 16000), 4000, 40);
    EXPECT_NEAR(orvel::test::toneAmplitude(k5, 2000, 1336, 16000), 4000, 40);
}

TEST(DtmfToneGenerator, KeysWithoutTonesAndLevels) {
    CDtmfToneBank bank;
    ASSERT_EQ(bank.build(), 0);
    for (char key : {'A', 'B', 'C', 'D', ',', 'x', '\0'}) {
        EXPECT_EQ(bank.level(0).keyBuffer(key), nullptr) << key;
    }
    for (char key : std::string("0123456789*#")) {
        EXPECT_NE(bank.level(5).keyBuffer(key), nullptr) << key;
    }
    EXPECT_EQ(bank.level(6).amplitude(), 2000);  // above 5: level 0
    EXPECT_EQ(bank.level(-1).amplitude(), 2000);
    EXPECT_EQ(bank.level(5).amplitude(), 8000);
    const int16_t* s = bank.level(2).silence();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(std::all_of(s, s + 2000, [](int16_t v) { return v == 0; }));
    // The loudest level never overflows: 8000 + 8000 fits in 16 bits.
    const int16_t* k0 = bank.level(5).keyBuffer('0');
    EXPECT_LE(*std::max_element(k0, k0 + 2000), 16000);
}

TEST(DtmfToneGenerator, RateZeroMeansSixteenKilohertz) {
    CDtmfToneGenerator g;
    ASSERT_EQ(g.build(0, 3000), 0);
    EXPECT_EQ(g.rate(), 16000);
    EXPECT_EQ(g.keyLength(), 2000u);
    CDtmfToneGenerator g8;
    ASSERT_EQ(g8.build(8000, 3000), 0);
    EXPECT_EQ(g8.keyLength(), 1000u);
}
