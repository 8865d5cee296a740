#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "dsp/dsp_ops.h"
#include "dsp/fft.h"
#include "signal_util.h"

using namespace orvel::dsp;

TEST(RealFft, ForwardThenInverseIsIdentity) {
    RealFft fft;
    ASSERT_TRUE(fft.init(11));
    ASSERT_EQ(fft.size(), 2048u);
    for (std::size_t i = 0; i < 2048; ++i) {
        fft.time()[i] = static_cast<float>((i * 7919) % 2001) - 1000.0f;
    }
    std::vector<float> original(fft.time(), fft.time() + 2048);
    fft.forward();
    fft.inverse();
    for (std::size_t i = 0; i < 2048; ++i) {
        ASSERT_NEAR(fft.time()[i], original[i], 0.05f) << i;
    }
}

TEST(FixedSpectrum128, ScalesOutputsDownByTwoToTheNinth) {
    FixedSpectrum128 spectrum;
    ASSERT_TRUE(spectrum.init());
    // A sine of amplitude A centred on bin k gives |X[k]| = A × 64; scaled
    // by 2^-9 that is A ÷ 8.
    auto frame = orvel::test::sine(10 * 8000.0 / 128, 8000, 128, 8000);
    int16_t mags[64];
    spectrum.magnitudes(frame.data(), mags);
    EXPECT_NEAR(mags[10], 1000, 2);
    EXPECT_LE(mags[9], 2);
    EXPECT_LE(mags[11], 2);
    EXPECT_LE(mags[0], 1);

    // DC: a constant c gives 128 c ÷ 512 in bin 0.
    std::vector<int16_t> dc(128, 2000);
    spectrum.magnitudes(dc.data(), mags);
    EXPECT_EQ(mags[0], 500);
    EXPECT_EQ(mags[1], 0);
}

TEST(FixedSpectrum128, FullScaleDoesNotWrap) {
    FixedSpectrum128 spectrum;
    ASSERT_TRUE(spectrum.init());
    std::vector<int16_t> dc(128, 32767);
    int16_t mags[64];
    spectrum.magnitudes(dc.data(), mags);
    EXPECT_EQ(mags[0], 8192);  // 128 × 32767 ÷ 512, rounded
    std::vector<int16_t> alt(128);
    for (int i = 0; i < 128; ++i) {
        alt[i] = (i % 2) ? -32768 : 32767;
    }
    spectrum.magnitudes(alt.data(), mags);
    for (int k = 0; k < 64; ++k) {
        EXPECT_GE(mags[k], 0) << k;
    }
}

TEST(DspOps, ConversionsSaturateAndRound) {
    const float in[] = {0.4f, 0.6f, -0.6f, 40000.0f, -40000.0f, 32767.4f, NAN};
    int16_t out[7];
    floatToInt(in, out, 7);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[2], -1);
    EXPECT_EQ(out[3], 32767);
    EXPECT_EQ(out[4], -32768);
    EXPECT_EQ(out[5], 32767);
    EXPECT_EQ(out[6], 0);
}

TEST(DspOps, AutoScaledSumShiftsOnlyWhenNeeded) {
    const int16_t a[] = {4000, -4000, 100};
    const int16_t b[] = {4000, -4000, -50};
    int16_t d[3];
    EXPECT_EQ(add3AutoScale(a, b, d, 3), 0);
    EXPECT_EQ(d[0], 8000);
    EXPECT_EQ(d[1], -8000);
    EXPECT_EQ(d[2], 50);

    const int16_t c[] = {30000, -30000};
    const int16_t e[] = {30000, -30000};
    EXPECT_EQ(add3AutoScale(c, e, d, 2), 1);
    EXPECT_EQ(d[0], 30000);
    EXPECT_EQ(d[1], -30000);
}

TEST(DspOps, ToneIsASineOfTheGivenMagnitude) {
    std::vector<int16_t> v(2000);
    tone(v.data(), v.size(), 770.0f / 16000.0f, 0.0f, 4000.0f);
    EXPECT_EQ(v[0], 0);
    EXPECT_NEAR(orvel::test::toneAmplitude(v.data(), v.size(), 770, 16000), 4000, 20);
    EXPECT_NEAR(*std::max_element(v.begin(), v.end()), 4000, 2);
}
