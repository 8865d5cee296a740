// Sounds of the line itself must not answer a call, and must not hide the
// called person either: a neighbour's conversation coupled into the line far
// below the network's tones, and mains hum whose one spectral bin outweighs
// every bin of a distant voice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "line_effects.h"
#include "line_settings.h"
#include "line_signals.h"
#include "speech.h"
#include "tones.h"

namespace orvel {
namespace {

using testing::LineSignal;

struct Report {
    double atS;
    uint32_t state;
};

bool isVoiceOrSilence(uint32_t s) {
    return s == LS_VOICE || s == LS_SILENCE;
}

int voiceReports(const std::vector<Report>& r, double fromS = 0, double toS = 1e9) {
    return static_cast<int>(std::count_if(r.begin(), r.end(), [&](const Report& x) {
        return x.atS >= fromS && x.atS < toS && isVoiceOrSilence(x.state);
    }));
}

// The chain as the analyzer drives it from the seizure on; at `playAtS`
// the engine plays a message (so the call was answered) and ends it.
std::vector<Report> listen(const LineSignal& s, double playAtS = -1) {
    CSignalProcessing sp;
    EXPECT_EQ(sp.loadFis(ORVEL_DATA_DIR "/orvel.fis"), 0);
    sp.setSensitivityDb(20);  // the engine's default
    sp.startCalibration();
    LineSignal quiet;
    quiet.noise(2.0);
    for (std::size_t f = 0; f < quiet.frames(); ++f) {
        sp.calibrationFrame(quiet.frame(f), testing::kFrame);
    }
    sp.seize();
    sp.setFilterMode(CLineStateFilter::kDialled);
    std::vector<Report> out;
    const auto playFrame = static_cast<std::size_t>(playAtS < 0 ? s.frames() : playAtS / 0.008);
    for (std::size_t f = 0; f < s.frames(); ++f) {
        if (f == playFrame) {
            sp.playOn();
            sp.playOff();
        }
        uint32_t state = 0;
        if (sp.activeFrame(s.frame(f), testing::kFrame, state)) {
            out.push_back({static_cast<double>(f + 1) * 0.008, state});
        }
    }
    return out;
}

std::vector<float> played(const sim::Cadence& c, double seconds, double dbm0) {
    sim::TonePlayer p;
    p.init(&c, sim::toneAmplitude(dbm0), {0.0f, false, 1});
    std::vector<float> x(static_cast<size_t>(seconds * testing::kRate), 0.0f);
    p.process(x.data(), static_cast<int>(x.size()));
    return x;
}

// Speech whose loud parts are as strong as a tone of `dbm0`.
std::vector<float> said(sim::SpeechBank& bank, const char* voice, const char* text, double dbm0) {
    const auto& in = *bank.get(voice, text);
    double energy = 0;
    int loud = 0;
    int peak = 1;
    for (int16_t v : in) {
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    for (int16_t v : in) {
        if (std::abs(static_cast<int>(v)) > peak / 10) {
            energy += static_cast<double>(v) * v;
            ++loud;
        }
    }
    const double rms = std::sqrt(energy / std::max(loud, 1));
    const double gain = sim::toneAmplitude(dbm0) / std::sqrt(2.0) / rms;
    std::vector<float> x;
    for (int16_t v : in) {
        x.push_back(static_cast<float>(v * gain));
    }
    return x;
}

// `over` is added into `x` from sample `at` on.
void mix(std::vector<float>& x, const std::vector<float>& over, double atS) {
    const auto at = static_cast<size_t>(atS * testing::kRate);
    for (size_t i = 0; i < over.size() && at + i < x.size(); ++i) {
        x[at + i] += over[i];
    }
}

TEST(LineNoise, NeighboursConversationNeverAnswersButThePersonDoes) {
    sim::SpeechBank bank;
    const std::vector<float> neighbour =
        said(bank, "ru", "Да, я завтра приеду, жди меня у вокзала.", -48);
    for (double toneDbm0 : {-12.0, -18.0}) {
        // Dial tone, then the ring-back of 1 s on 4 s off: a neighbour talks
        // before the first ring and in every pause, 30 dB and more below.
        std::vector<float> x(static_cast<size_t>(26 * testing::kRate), 0.0f);
        mix(x, played(sim::dialToneCadence(), 1.0, toneDbm0), 0.0);
        mix(x, played(sim::ringBackCadence(), 15.0, toneDbm0), 4.0);
        for (double at : {1.5, 5.3, 10.3, 15.3}) {
            mix(x, neighbour, at);
        }
        // The called person answers after the third ring, 15 dB below the
        // tones, while the neighbour goes on.
        mix(x, said(bank, "ru", "Алло? Кто это? Не слышу.", toneDbm0 - 15), 19.5);
        mix(x, neighbour, 20.0);
        LineSignal s;
        s.samplesFrom(x);
        const auto reports = listen(s);
        EXPECT_EQ(voiceReports(reports, 0, 19.5), 0) << toneDbm0;
        EXPECT_GE(std::count_if(reports.begin(), reports.end(),
                                [](const Report& r) {
                                    return r.state == LS_RING_BACK_TONE ||
                                           r.state == LS_RING_BACK_PAUSE;
                                }),
                  2)
            << toneDbm0;
        EXPECT_GE(voiceReports(reports, 19.5), 1) << toneDbm0;
        // Once the engine has played its message, a voice as quiet as the
        // neighbour's is the called party's and is heard again.
        LineSignal answered;
        std::vector<float> y(x.begin(), x.begin() + 14 * testing::kRate);
        y.resize(static_cast<size_t>(24 * testing::kRate), 0.0f);
        mix(y, said(bank, "ru", "Алло? Кто это? Не слышу.", toneDbm0 - 30), 19.5);
        answered.samplesFrom(y);
        EXPECT_GE(voiceReports(listen(answered, 19.0), 19.5), 1) << toneDbm0;
        EXPECT_EQ(voiceReports(listen(answered), 19.5), 0) << toneDbm0;
    }
}

TEST(LineNoise, MainsHumHidesNoVoiceAndIsNoVoiceItself) {
    sim::SpeechBank bank;
    for (double humDbm0 : {-55.0, -50.0}) {
        std::vector<float> x(static_cast<size_t>(24 * testing::kRate), 0.0f);
        // A distant person (the line's loss is 30 dB) speaks twice after 12 s
        // of hum alone.
        const auto words = said(bank, "ru", "Алло? Кто это? Говорите громче.", -40);
        mix(x, words, 12.0);
        mix(x, words, 17.0);
        sim::LineImpairments hum;
        hum.init(7, humDbm0, 0, -20, nullptr, -100);
        hum.process(x.data(), static_cast<int>(x.size()));
        LineSignal s;
        s.samplesFrom(x);
        const auto reports = listen(s);
        EXPECT_EQ(voiceReports(reports, 0, 12.0), 0) << humDbm0;
        // The call algorithm answers at the fourth voice report in a row.
        EXPECT_GE(voiceReports(reports, 12.0), 4) << humDbm0;
    }
}

}  // namespace
}  // namespace orvel
