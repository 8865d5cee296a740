#include <gtest/gtest.h>

#include <cmath>

#include "dsp/band_stop_filter.h"
#include "dsp/iir_filter.h"
#include "signal_util.h"

using namespace orvel::dsp;
using orvel::test::sine;
using orvel::test::toneAmplitude;

namespace {

double db(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Gain of six notch passes at `freq`, measured on the settled second half of
// a tone without normalisation (the level stays far below the normal peak of
// 16000 only when we look at ratios, so we compare amplitudes directly).
double sixPassGainDb(double freq) {
    const std::size_t n = 32000;
    auto tone = sine(freq, 16000, n, 10000);
    std::vector<float> v(tone.begin(), tone.end());
    Iir4 iir;
    const Iir4::Taps taps = {0.870330751, -3.443689346, 5.147123814, -3.443689346, 0.870330751,
                             1.0,         -3.683521271, 5.130238533, -3.203857183, 0.757546961};
    for (int pass = 0; pass < 6; ++pass) {
        iir.init(taps);
        iir.process(v.data(), v.size());
    }
    double re = 0, im = 0;
    for (std::size_t i = n / 2; i < n; ++i) {
        const double w = 2.0 * std::numbers::pi * freq * i / 16000.0;
        re += v[i] * std::cos(w);
        im += v[i] * std::sin(w);
    }
    const double amp = 2.0 * std::sqrt(re * re + im * im) / (n / 2);
    return db(amp / 10000.0);
}

}  // namespace

TEST(BandStopFilter, ClearsBins25To89AtSixteenKilohertz) {
    CBandStopFilter f;
    ASSERT_TRUE(f.init(16000, 11, 200, 700));
    EXPECT_EQ(f.hop(), 1024u);
    EXPECT_EQ(f.stopLow(), 25u);
    EXPECT_EQ(f.stopHigh(), 90u);  // one past the last cleared bin, 89

    CBandStopFilter swapped;
    ASSERT_TRUE(swapped.init(16000, 11, 700, 200));  // f1 > f2: 0 .. f1
    EXPECT_EQ(swapped.stopLow(), 0u);
    EXPECT_EQ(swapped.stopHigh(), 90u);
}

TEST(BandStopFilter, ShortMessagePassesUnchanged) {
    CBandStopFilter f;
    ASSERT_TRUE(f.init(16000, 11, 200, 700));
    auto msg = sine(425, 16000, 1024, 8000);
    auto copy = msg;
    f.process(msg.data(), msg.size());
    EXPECT_EQ(msg, copy);
}

TEST(BandStopFilter, ProcessesWholeHopsOneHopLate) {
    CBandStopFilter f;
    ASSERT_TRUE(f.init(16000, 11, 200, 700));
    auto msg = sine(1500, 16000, 5000, 8000);
    auto copy = msg;
    f.process(msg.data(), msg.size());
    // The first hop becomes silence, the tail 4096..4999 is untouched.
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(msg[i], 0) << i;
    }
    for (std::size_t i = 4096; i < 5000; ++i) {
        ASSERT_EQ(msg[i], copy[i]) << i;
    }
    // A tone outside the band survives, delayed by one hop.
    EXPECT_NEAR(toneAmplitude(msg.data() + 2048, 2048, 1500, 16000), 8000, 800);
}

TEST(BandStopFilter, RemovesTheCallProgressBand) {
    CBandStopFilter f;
    ASSERT_TRUE(f.init(16000, 11, 200, 700));
    auto msg = sine(425, 16000, 16000, 8000);
    f.process(msg.data(), msg.size());
    const double left = toneAmplitude(msg.data() + 4096, 8192, 425, 16000);
    EXPECT_LT(db(left / 8000.0), -30.0);
}

TEST(IirFilter, NotchFigures) {
    EXPECT_LT(sixPassGainDb(425), -60.0);
    EXPECT_GT(sixPassGainDb(1000), -3.0);
    EXPECT_GT(sixPassGainDb(3000), -1.0);
}

TEST(IirFilter, SixPassesThroughTheFilterObject) {
    CIirFilter f;
    ASSERT_EQ(f.init(100, 16000), 0);  // grows on demand
    // 425 Hz and 1 kHz mixed: the 425 Hz part vanishes, 1 kHz is raised to
    // the normal peak.
    auto a = sine(425, 16000, 32000, 4000);
    auto b = sine(1000, 16000, 32000, 4000);
    std::vector<int16_t> mix(a.size());
    for (std::size_t i = 0; i < mix.size(); ++i) {
        mix[i] = static_cast<int16_t>(a[i] + b[i]);
    }
    f.filter(mix.data(), mix.size(), 5);
    const double at425 = toneAmplitude(mix.data() + 16000, 16000, 425, 16000);
    const double at1k = toneAmplitude(mix.data() + 16000, 16000, 1000, 16000);
    EXPECT_LT(db(at425 / at1k), -60.0);
    EXPECT_NEAR(*std::max_element(mix.begin(), mix.end()), 16000, 20);
}

TEST(IirFilter, Normalisation) {
    CIirFilter f;
    ASSERT_EQ(f.init(0, 44100), -1);  // unsupported rate: normalisation only
    EXPECT_FALSE(f.hasCoefficients());

    std::vector<int16_t> silent(500, 0);
    f.filter(silent.data(), silent.size(), 0);
    EXPECT_EQ(silent, std::vector<int16_t>(500, 0));

    std::vector<int16_t> peak8000 = {0, 8000, -3000, 100};
    f.filter(peak8000.data(), peak8000.size(), 0);
    EXPECT_EQ(peak8000, (std::vector<int16_t>{0, 16000, -6000, 200}));

    std::vector<int16_t> loud = {0, 20000, -30000};
    f.filter(loud.data(), loud.size(), 0);
    EXPECT_EQ(loud, (std::vector<int16_t>{0, 20000, -30000}));

    // The largest value, not the largest magnitude: a negative peak is
    // raised and saturates.
    std::vector<int16_t> neg = {4000, -20000};
    f.filter(neg.data(), neg.size(), 0);
    EXPECT_EQ(neg, (std::vector<int16_t>{16000, -32768}));
}
