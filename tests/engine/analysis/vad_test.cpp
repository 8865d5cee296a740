#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/frequency_front_end.h"
#include "analysis/vad.h"

using namespace orvel;

namespace {

std::vector<int16_t> tone(double freq, std::size_t n, double amplitude, std::size_t start = 0) {
    std::vector<int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * (start + i) / 8000.0)));
    }
    return v;
}

// Runs the detector frame by frame over a signal the way the analyzer does:
// every 64 new samples, the last 128 samples are analysed.
template <typename F>
void frames(const std::vector<int16_t>& signal, F each) {
    for (std::size_t end = 128; end <= signal.size(); end += 64) {
        each(signal.data() + end - 128);
    }
}

std::unique_ptr<CSpectralFrontEnd> frontEndWith(std::vector<int16_t> spectrum) {
    spectrum.resize(64, 0);
    auto fe = std::make_unique<CSpectralFrontEnd>();
    fe->setUp(8000);
    fe->analyseSpectrum(spectrum.data());
    return fe;
}

}  // namespace

TEST(SpectralFrontEnd, ToneFeatures) {
    CSpectralFrontEnd fe;
    ASSERT_TRUE(fe.setUp(8000));
    EXPECT_EQ(fe.binWidth(), 62);
    auto t = tone(425, 128, 8000);
    fe.analyse(t.data());
    EXPECT_EQ(fe.firstPeak().bin, 7);
    EXPECT_EQ(fe.firstPeak().frequency, 434);
    BandFeatures whole = fe.features(0, 0);
    EXPECT_EQ(whole.bin, 7);
    EXPECT_EQ(whole.level, fe.spectrum()[7]);
    EXPECT_GT(whole.level, 500);
    // A clear tone gives a small presence threshold that its level exceeds.
    EXPECT_LT(fe.presenceThreshold(), whole.level);
    // 300..500 Hz: bins 4..7 are searched.
    EXPECT_EQ(fe.features(300, 500).bin, 7);
    auto high = tone(1000, 128, 8000);
    fe.analyse(high.data());
    EXPECT_GE(fe.features(300, 500).bin, 4);
    EXPECT_LE(fe.features(300, 500).bin, 7);
}

TEST(SpectralFrontEnd, PeakRules) {
    // Peaks at 5 (plateau 5..7, its last bin), 20 and 40; sorted by size.
    std::vector<int16_t> s(64, 2);
    s[5] = s[6] = s[7] = 50;
    s[20] = 300;
    s[40] = 100;
    s[41] = 90;
    auto fe = frontEndWith(s);
    ASSERT_EQ(fe->peakCount(), 3u);
    EXPECT_EQ(fe->peak(0).bin, 20);
    EXPECT_EQ(fe->peak(1).bin, 40);
    EXPECT_EQ(fe->peak(2).bin, 7);
    EXPECT_EQ(fe->peak(2).frequency, 7 * 62);
    EXPECT_EQ(fe->spectralMinimum(), 2);
    EXPECT_EQ(fe->meanMagnitude(), (2 * 57 + 150 + 300 + 100 + 90) / 62);

    // 300 ÷ 2 = 150, 43.5 dB: (43.5 + 1) × 2.5.
    EXPECT_EQ(fe->presenceThreshold(), 111);
    // 142 ÷ 1: 43 dB gives 110.
    std::vector<int16_t> p(64, 1);
    p[10] = 142;
    EXPECT_EQ(frontEndWith(p)->presenceThreshold(), 110);
}

TEST(SpectralFrontEnd, FlatAndPeaklessSpectra) {
    // Peak at most 10 dB above the minimum: twice the peak, which the level
    // cannot exceed.
    std::vector<int16_t> flat(64, 100);
    flat[30] = 300;
    auto fe = frontEndWith(flat);
    EXPECT_EQ(fe->presenceThreshold(), 600);
    EXPECT_LE(fe->features(0, 0).level, fe->presenceThreshold());

    // No local maximum at all: the stand-in record, and no sound.
    std::vector<int16_t> falling(64);
    for (int k = 0; k < 64; ++k) {
        falling[k] = static_cast<int16_t>(1000 - 10 * k);
    }
    auto none = frontEndWith(falling);
    EXPECT_FALSE(none->foundPeak());
    ASSERT_EQ(none->peakCount(), 1u);
    EXPECT_EQ(none->firstPeak().bin, 63);
    EXPECT_EQ(none->firstPeak().magnitude, 1);
    EXPECT_EQ(none->firstPeak().frequency, 3906);
    const BandFeatures f = none->features(300, 500);
    EXPECT_GT(f.level, 0);
    EXPECT_LE(f.level, none->presenceThreshold());  // not sound
    auto silent = frontEndWith(std::vector<int16_t>(64, 0));
    EXPECT_LE(silent->features(0, 0).level, silent->presenceThreshold());
}

TEST(SpectralFrontEnd, BandEdges) {
    std::vector<int16_t> s(64, 1);
    s[2] = 500;  // strongest bin of the whole spectrum is bin 2 (hum)
    s[10] = 100;
    auto fe = frontEndWith(s);
    // Bins 2 and below can report no level, so they do not hide the sound
    // of bin 10 from the whole-spectrum search; a band that holds them
    // still finds them, at level 0.
    BandFeatures whole = fe->features(0, 0);
    EXPECT_EQ(whole.bin, 10);
    EXPECT_EQ(whole.level, 100);
    BandFeatures low = fe->features(62, 300);
    EXPECT_EQ(low.bin, 2);
    EXPECT_EQ(low.level, 0);
    BandFeatures band = fe->features(300, 1000);
    EXPECT_EQ(band.bin, 10);
    EXPECT_EQ(band.level, 100);
    EXPECT_EQ(band.frequency, 620);
    // Equal values: the first one wins.
    std::vector<int16_t> eq(64, 1);
    eq[12] = eq[14] = 70;
    EXPECT_EQ(frontEndWith(eq)->features(0, 0).bin, 12);
}

TEST(PeakPowerStatistics, FiveValueHistory) {
    PeakPowerStatistics st;
    st.update(10);  // 0.5 × 100
    EXPECT_FLOAT_EQ(st.smoothed, 50.0f);
    st.update(10);  // 0.5 × 100 + 0.5 × 50
    EXPECT_FLOAT_EQ(st.smoothed, 75.0f);
    EXPECT_FLOAT_EQ(st.mean, 0.2f * 125.0f);
    // Differences 0, 0, 50, 25: mean 0.2 × 75.
    EXPECT_FLOAT_EQ(st.meanAbsDifference, 15.0f);
    for (int i = 0; i < 30; ++i) {
        st.update(100);
    }
    EXPECT_NEAR(st.smoothed, 10000.0f, 20.0f);
    EXPECT_NEAR(st.deviation, 0.0f, 30.0f);
    st.update(-32768);  // the square fits in 32 bits
    EXPECT_GT(st.smoothed, 5.0e8f);
}

TEST(VoiceDetector, SilentCalibrationGivesZeroFloor) {
    CVoiceDetector vad;
    ASSERT_TRUE(vad.setUp(8000));
    std::vector<int16_t> silence(128 * 260, 0);
    frames(silence, [&](const int16_t* f) { vad.calibrationStep(f); });
    // Every frame is peakless: the stand-in peak of magnitude 1 is all the
    // statistics see, so the floor is at most 1 and does not bound the
    // adapted threshold in practice.
    EXPECT_LE(vad.noiseFloor(), 1.0f);
    vad.resetThreshold();
    EXPECT_EQ(vad.activityThreshold(), vad.noiseFloor());
}

TEST(VoiceDetector, ToneBandIsNeverVoiceButOtherSoundIs) {
    auto run = [](double freq) {
        CVoiceDetector vad;
        vad.setUp(8000);
        std::vector<int16_t> noise(8000);
        unsigned seed = 1;
        for (auto& v : noise) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<int16_t>((seed >> 16) % 41) - 20;
        }
        frames(noise, [&](const int16_t* f) { vad.calibrationStep(f); });
        EXPECT_GT(vad.noiseFloor(), 0.0f);
        vad.resetThreshold();
        // Quiet, then three bursts of tone with pauses.
        std::vector<int16_t> line(noise.begin(), noise.begin() + 2000);
        for (int burst = 0; burst < 3; ++burst) {
            auto t = tone(freq, 2400, 6000, line.size());
            line.insert(line.end(), t.begin(), t.end());
            line.insert(line.end(), noise.begin(), noise.begin() + 2400);
        }
        // Decisions while the analysis window lies inside a burst; in the
        // few quiet frames after a burst the noise's own peak decides.
        int voiced = 0;
        std::size_t end = 128;
        frames(line, [&](const int16_t* f) {
            const int d = vad.step(f);
            const std::size_t start = end - 128;
            for (std::size_t b = 2000; b < line.size(); b += 4800) {
                if (start >= b && end <= b + 2400) {
                    voiced += d;
                }
            }
            end += 64;
        });
        return voiced;
    };
    EXPECT_EQ(run(425), 0);
    EXPECT_GT(run(1000), 0);
}

TEST(VoiceDetector, DisabledAndDumps) {
    char pattern[] = "/tmp/orvel_vad_XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    CVoiceDetector vad;
    vad.setUp(8000);
    vad.openDumps(dir, "call_", 0x0C);
    auto t = tone(1000, 128 * 4, 5000);
    vad.calibrationStep(t.data());
    vad.enable(false);
    EXPECT_EQ(vad.step(t.data()), 0);
    EXPECT_EQ(vad.step(t.data() + 64), 0);
    vad.openDumps(dir, "other_", 0);  // closes both
    auto read = [&](const char* name) {
        std::ifstream in(dir + "/call_" + name, std::ios::binary);
        std::vector<int16_t> v;
        int16_t x;
        while (in.read(reinterpret_cast<char*>(&x), 2)) {
            v.push_back(x);
        }
        return v;
    };
    const auto decision = read("_VAD_decision.raw");
    EXPECT_EQ(decision, (std::vector<int16_t>{-1000, -1000, 0, 0, 0, 0}));
    const auto energy = read("_VAD_energy.raw");
    ASSERT_EQ(energy.size(), 6u);
    EXPECT_EQ(energy[2], -1000);
    EXPECT_EQ(energy[5], -1000);
    EXPECT_FALSE(std::filesystem::exists(dir + "/other__VAD_energy.raw"));
    std::filesystem::remove_all(dir);
}
