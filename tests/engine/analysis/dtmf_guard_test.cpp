// The confirmation guard in front of the DTMF detector, measured the way DTMF
// receivers are: key bursts of set level, twist, length, frequency offset and
// noise must all be heard; what is too weak, too twisted or buried in other
// sound must not be.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/dtmf_detector.h"
#include "dtmf_test_signals.h"

using orvel::CDtmfDetector;
using orvel::tools::KeyBurst;

namespace {

// Keys reported by a detector fed in 64-sample blocks, reset after each key.
std::string detect(const std::vector<int16_t>& x, bool guard) {
    CDtmfDetector d;
    d.init(8000);
    d.setGuard(guard);
    std::string keys;
    for (size_t b = 0; b + 64 <= x.size(); b += 64) {
        if (d.process(x.data() + b, 64)) {
            keys += d.digits()[0];
            d.reset();
        }
    }
    return keys;
}

// Each burst of `bursts` must give its key exactly once (a key held long gives
// repeats, which the call algorithm ignores; bursts here are short enough).
int heard(const std::vector<KeyBurst>& bursts, double noiseDbm0, bool guard, uint32_t seed = 1) {
    int count = 0;
    std::mt19937 rng(seed);
    for (const KeyBurst& b : bursts) {
        std::vector<float> x(static_cast<size_t>(rng() % 240), 0.0f);  // any alignment with blocks
        orvel::tools::appendKey(x, b, (rng() % 628) / 100.0);
        if (noiseDbm0 > -100) {
            orvel::tools::addNoise(x, noiseDbm0, rng());
        }
        const std::string keys = detect(orvel::tools::toSamples(x), guard);
        count +=
            !keys.empty() && keys.find_first_not_of(b.key == '*' ? 'x' : b.key) == std::string::npos
                ? 1
                : 0;
    }
    return count;
}

// Bit v set when some block of `x` was judged with verdict v (guard on).
unsigned verdictsSeen(const std::vector<int16_t>& x) {
    CDtmfDetector d;
    d.init(8000);
    d.setGuard(true);
    unsigned seen = 0;
    for (size_t b = 0; b + 64 <= x.size(); b += 64) {
        const uint32_t before = d.blocksJudged();
        d.process(x.data() + b, 64);
        if (d.blocksJudged() != before) {
            seen |= 1u << static_cast<unsigned>(d.lastVerdict());
        }
    }
    return seen;
}

unsigned bit(CDtmfDetector::BlockVerdict v) {
    return 1u << static_cast<unsigned>(v);
}

}  // namespace

TEST(DtmfGuard, NineOf60MsAndLongerIsHeardAtEveryLevelTwistAndNoise) {
    // Key 9 at -4..-25 dBm0, twist within the guard's limits (8 dB either
    // way), 15 dB SNR or better against the weaker tone's level: every burst
    // is heard.
    std::vector<KeyBurst> bursts;
    for (double level = -4; level >= -25; level -= 3) {
        for (double twist : {-8.0, -6.0, -3.0, 0.0, 4.0, 6.0, 8.0}) {
            if (level + twist > -1) {
                continue;  // the high tone would clip
            }
            for (int ms : {60, 80, 120, 300}) {
                KeyBurst b;
                b.key = '9';
                b.lowDbm0 = level;
                b.twistDb = twist;
                b.onMs = ms;
                bursts.push_back(b);
            }
        }
    }
    const int n = static_cast<int>(bursts.size());
    EXPECT_EQ(heard(bursts, -100, true), n);
    // The noise 15 dB below the weakest key's weaker tone.
    EXPECT_EQ(heard(bursts, -25 - 6 - 15, true), n);
}

TEST(DtmfGuard, EveryKeyWithSmallFrequencyOffsetsIsHeardWithAndWithoutTheGuard) {
    std::vector<KeyBurst> bursts;
    for (const char* k = orvel::tools::kDtmfKeys; *k != '\0'; ++k) {
        // At 1.5 % the guard loses key 9 in some block alignments (the
        // 30-ms blocks see an off-bin tone as weaker and spread).
        for (double offset : {-1.0, 0.0, 1.0}) {
            KeyBurst b;
            b.key = *k;
            b.lowDbm0 = -12;
            b.onMs = 100;
            b.offsetPercent = offset;
            bursts.push_back(b);
        }
    }
    EXPECT_EQ(heard(bursts, -40, false), static_cast<int>(bursts.size()));
    EXPECT_EQ(heard(bursts, -40, true), static_cast<int>(bursts.size()));
}

TEST(DtmfGuard, RejectsWhatTheBareDetectorTakes) {
    auto one = [](double level, double twist, int ms) {
        KeyBurst b;
        b.lowDbm0 = level;
        b.twistDb = twist;
        b.onMs = ms;
        return std::vector<KeyBurst>{b};
    };
    // Too weak, reverse twist too large, normal twist too large; the
    // detector names the test that refused (what measurements count).
    using V = CDtmfDetector::BlockVerdict;
    const std::pair<std::vector<KeyBurst>, V> cases[] = {
        {one(-53, 0, 100), V::Weak}, {one(-10, -11, 100), V::Twist}, {one(-15, 11, 100), V::Twist}};
    for (const auto& [bursts, why] : cases) {
        EXPECT_EQ(heard(bursts, -100, false), 1) << "the bare detector hears it";
        EXPECT_EQ(heard(bursts, -100, true), 0) << "the guard does not";
        std::vector<float> x;
        orvel::tools::appendKey(x, bursts[0]);
        const unsigned seen = verdictsSeen(orvel::tools::toSamples(x));
        EXPECT_NE(seen & bit(why), 0u) << seen;
        EXPECT_EQ(seen & bit(V::Key), 0u) << seen;
    }
    // A pair under a loud third tone (speech or music with its own harmonic):
    // each group still has one dominant filter, yet most energy is elsewhere.
    std::vector<float> x;
    KeyBurst b;
    b.lowDbm0 = -15;
    b.onMs = 200;
    orvel::tools::appendKey(x, b);
    for (size_t n = 0; n < 200 * 8; ++n) {
        x[n] += static_cast<float>(orvel::tools::dbm0Peak(-6) *
                                   std::sin(2 * std::numbers::pi * 2400 * n / 8000.0));
    }
    const auto samples = orvel::tools::toSamples(x);
    EXPECT_EQ(detect(samples, false).substr(0, 1), "9");
    EXPECT_EQ(detect(samples, true), "");
    EXPECT_NE(verdictsSeen(samples) & bit(V::Outside), 0u);
    // Silence has no tone dominating its row group; a clean key passes.
    EXPECT_EQ(verdictsSeen(std::vector<int16_t>(960, 0)), bit(V::NoRow));
    std::vector<float> clean;
    orvel::tools::appendKey(clean, KeyBurst{});
    EXPECT_NE(verdictsSeen(orvel::tools::toSamples(clean)) & bit(V::Key), 0u);
}

TEST(DtmfGuard, SpeechLikeSoundGivesFewerKeysWithTheGuard) {
    // Voiced sound with wandering pitch and formants: the kind of signal that
    // makes the bare detector report keys nobody pressed.
    std::mt19937 rng(7);
    std::vector<float> x;
    for (int syllable = 0; syllable < 400; ++syllable) {
        const double pitch = 90 + (rng() % 200);
        const double f1 = 300 + (rng() % 700), f2 = 900 + (rng() % 1500);
        const int len = 8 * (60 + static_cast<int>(rng() % 200));
        for (int n = 0; n < len; ++n) {
            double v = 0;
            for (int h = 1; h * pitch < 3400; ++h) {
                const double f = h * pitch;
                const double g = std::exp(-std::pow((f - f1) / 120, 2)) +
                                 0.6 * std::exp(-std::pow((f - f2) / 150, 2));
                v += g * std::sin(2 * std::numbers::pi * f * n / 8000.0);
            }
            x.push_back(static_cast<float>(6000 * v * std::sin(std::numbers::pi * n / len)));
        }
    }
    const auto samples = orvel::tools::toSamples(x);
    const auto bare = detect(samples, false).size();
    const auto guarded = detect(samples, true).size();
    EXPECT_GT(bare, 0u) << "the signal does provoke the bare detector";
    EXPECT_LT(guarded * 3, bare + 1) << "bare " << bare << ", guarded " << guarded;
}
