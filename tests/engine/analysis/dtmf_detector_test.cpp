#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/dtmf_detector.h"
#include "dsp/dtmf_tone_generator.h"

using orvel::CDtmfDetector;

namespace {

constexpr double kRate = 8000.0;

void addTone(std::vector<int16_t>& v, std::size_t start, std::size_t length, double f1, double f2,
             double amplitude) {
    for (std::size_t i = 0; i < length && start + i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        v[start + i] = static_cast<int16_t>(
            std::lround(amplitude * (std::sin(2 * std::numbers::pi * f1 * t) +
                                     std::sin(2 * std::numbers::pi * f2 * t))));
    }
}

struct Report {
    std::size_t block;  // index of the 64-sample block after which it came
    char key;
};

// Feeds 64-sample blocks as the line analyzer does: after each report the
// detector is reset.
std::vector<Report> feed(const std::vector<int16_t>& signal) {
    CDtmfDetector d;
    d.init(8000);
    std::vector<Report> reports;
    for (std::size_t b = 0; b * 64 + 64 <= signal.size(); ++b) {
        if (d.process(signal.data() + b * 64, 64)) {
            reports.push_back({b, d.digits()[0]});
            d.reset();
        }
    }
    return reports;
}

std::size_t ms(double milliseconds) {
    return static_cast<std::size_t>(milliseconds * 8);
}

}  // namespace

TEST(DtmfDetector, BlockAndBins) {
    CDtmfDetector d;
    d.init(8000);
    EXPECT_EQ(d.blockLength(), 240u);
    EXPECT_FALSE(d.process(nullptr, 64));
    EXPECT_EQ(d.digitCount(), 0u);
}

TEST(DtmfDetector, HundredMillisecondKeyNineGivesOneReport) {
    std::vector<int16_t> s(ms(500), 0);
    addTone(s, 0, ms(100), 852, 1477, 5000);  // starts on a block boundary
    auto r = feed(s);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].key, '9');
    EXPECT_EQ(static_cast<int>(static_cast<signed char>(r[0].key)), 57);
    // Judged when the first sample after the second block arrives: block 7.
    EXPECT_EQ(r[0].block, 7u);

    // Anywhere else it still gives at least one.
    for (std::size_t offset = 0; offset < 240; offset += 17) {
        std::vector<int16_t> t(ms(500), 0);
        addTone(t, 480 + offset, ms(100), 852, 1477, 5000);
        auto rr = feed(t);
        ASSERT_GE(rr.size(), 1u) << offset;
        EXPECT_EQ(rr[0].key, '9');
    }
}

TEST(DtmfDetector, EveryKeyAndStarAsX) {
    const struct {
        char key;
        double low, high;
    } keys[] = {{'1', 697, 1209}, {'2', 697, 1336}, {'3', 697, 1477}, {'A', 697, 1633},
                {'4', 770, 1209}, {'5', 770, 1336}, {'6', 770, 1477}, {'B', 770, 1633},
                {'7', 852, 1209}, {'8', 852, 1336}, {'9', 852, 1477}, {'C', 852, 1633},
                {'x', 941, 1209}, {'0', 941, 1336}, {'#', 941, 1477}, {'D', 941, 1633}};
    for (const auto& k : keys) {
        std::vector<int16_t> s(ms(300), 0);
        addTone(s, 0, ms(100), k.low, k.high, 3000);
        auto r = feed(s);
        ASSERT_EQ(r.size(), 1u) << k.key;
        EXPECT_EQ(r[0].key, k.key);
    }
}

TEST(DtmfDetector, ShortestRecognisedTone) {
    // Whatever the position against the 30-ms blocks, 54 ms of tone are
    // enough; at the best position (about 15 ms before a block boundary) 25
    // ms are; 20 ms never are.
    for (std::size_t offset = 0; offset < 240; offset += 4) {
        std::vector<int16_t> s(ms(400), 0);
        addTone(s, 960 + offset, ms(54), 852, 1477, 5000);
        EXPECT_EQ(feed(s).size(), 1u) << "54 ms at " << offset;
        std::vector<int16_t> t(ms(400), 0);
        addTone(t, 960 + offset, ms(20), 852, 1477, 5000);
        EXPECT_EQ(feed(t).size(), 0u) << "20 ms at " << offset;
    }
    std::vector<int16_t> best(ms(400), 0);
    addTone(best, 1200 - ms(15), ms(25), 852, 1477, 5000);
    EXPECT_EQ(feed(best).size(), 1u);
}

TEST(DtmfDetector, HeldKeyRepeatsEvery64Milliseconds) {
    std::vector<int16_t> s(ms(1000), 0);
    addTone(s, 0, s.size(), 941, 1477, 4000);
    auto r = feed(s);
    ASSERT_GE(r.size(), 14u);
    for (std::size_t i = 1; i < r.size(); ++i) {
        EXPECT_EQ(r[i].block - r[i - 1].block, 8u);
        EXPECT_EQ(r[i].key, '#');
    }
}

TEST(DtmfDetector, WithoutResetAHeldKeyIsStoredOnce) {
    std::vector<int16_t> s(ms(1000), 0);
    addTone(s, 0, s.size(), 697, 1209, 4000);
    CDtmfDetector d;
    d.init(8000);
    for (std::size_t b = 0; b * 64 + 64 <= s.size(); ++b) {
        d.process(s.data() + b * 64, 64);
    }
    EXPECT_STREQ(d.digits(), "1");
    // A pause ends the key; pressing again stores it again.
    std::vector<int16_t> gap(ms(100), 0);
    d.process(gap.data(), gap.size());
    d.process(s.data(), ms(200));
    d.process(gap.data(), 64);
    EXPECT_STREQ(d.digits(), "11");
}

TEST(DtmfDetector, NoiseGivesNoKeyButAWeakCleanPairDoes) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<int16_t> s(ms(2000));
    for (auto& v : s) {
        v = static_cast<int16_t>(std::clamp(noise(rng), -32768.0, 32767.0));
    }
    EXPECT_TRUE(feed(s).empty());

    std::vector<int16_t> weak(ms(200), 0);
    addTone(weak, 0, ms(100), 770, 1336, 20);
    auto r = feed(weak);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].key, '5');
}

TEST(DtmfDetector, LargeCallsJudgeEveryBlock) {
    std::vector<int16_t> s(ms(300), 0);
    addTone(s, 0, ms(100), 852, 1477, 5000);
    CDtmfDetector d;
    d.init(8000);
    EXPECT_TRUE(d.process(s.data(), s.size()));
    EXPECT_STREQ(d.digits(), "9");
}

TEST(DtmfDetector, RecognisesTheEnginesOwnDialTones) {
    // Every key the engine can dial, at every sending level, generated at
    // 8000 Hz: one 125-ms buffer followed by silence gives that key (twice:
    // after the first report the detector starts afresh and the tone still
    // fills two more blocks).
    orvel::dsp::CDtmfToneBank bank;
    ASSERT_EQ(bank.build(8000), 0);
    for (int level = 0; level < orvel::dsp::CDtmfToneBank::kLevels; ++level) {
        for (char key : std::string("0123456789*#")) {
            const auto& g = bank.level(level);
            const int16_t* tone = g.keyBuffer(key);
            ASSERT_NE(tone, nullptr);
            std::vector<int16_t> s(tone, tone + g.keyLength());
            s.resize(s.size() + ms(200), 0);
            auto r = feed(s);
            ASSERT_EQ(r.size(), 2u) << key << " at level " << level;
            EXPECT_EQ(r[0].key, key == '*' ? 'x' : key);
            EXPECT_EQ(r[1].key, r[0].key);
        }
    }
}
