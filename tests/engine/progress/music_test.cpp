// Music that the network plays instead of ring-back must not be taken for
// a person answering, a person who answers after it must be heard at once,
// and where no music plays the channel's reports stay what they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "line_settings.h"
#include "line_signals.h"
#include "speech.h"
#include "tone_plans.h"
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

// The chain as the analyzer drives it after dialling; `music` switches the
// music detector.
class Channel {
public:
    explicit Channel(bool music = true) {
        EXPECT_EQ(sp.loadFis(ORVEL_DATA_DIR "/orvel.fis"), 0);
        sp.setSensitivityDb(20);  // the engine's default
        sp.setMusicDetect(music);
        sp.startCalibration();
        LineSignal quiet;
        quiet.noise(2.0);
        for (std::size_t f = 0; f < quiet.frames(); ++f) {
            sp.calibrationFrame(quiet.frame(f), testing::kFrame);
        }
        sp.seize();
        sp.setFilterMode(CLineStateFilter::kDialled);
    }
    std::vector<Report> listen(const LineSignal& s, double* musicHeardAt = nullptr) {
        std::vector<Report> out;
        for (std::size_t f = 0; f < s.frames(); ++f) {
            uint32_t state = 0;
            const double at = static_cast<double>(f + 1) * 0.008;
            if (sp.activeFrame(s.frame(f), testing::kFrame, state)) {
                out.push_back({at, state});
            }
            if (musicHeardAt != nullptr && *musicHeardAt < 0 && sp.musicDetector().heard()) {
                *musicHeardAt = at;
            }
        }
        return out;
    }
    CSignalProcessing sp;
};

// A sequence as the simulated exchange plays it, at `dbm0`, joined at a
// random point of its cadence.
std::vector<float> played(const sim::Cadence& c, double seconds, double dbm0, uint32_t seed) {
    sim::TonePlayer p;
    p.init(&c, sim::toneAmplitude(dbm0), {0.05f, true, seed});
    std::vector<float> x(static_cast<size_t>(seconds * testing::kRate), 0.0f);
    p.process(x.data(), static_cast<int>(x.size()));
    return x;
}

std::vector<float> said(sim::SpeechBank& bank, const char* voice, const char* text, double gain) {
    std::vector<float> x;
    for (int16_t v : *bank.get(voice, text)) {
        x.push_back(static_cast<float>(v * gain));
    }
    return x;
}

TEST(Music, NetworkMusicIsNeverTakenForAnAnswer) {
    for (double dbm0 : {-5.0, -20.0, -35.0}) {
        for (uint32_t seed : {1u, 2u, 3u}) {
            Channel ch;
            LineSignal s;
            s.noise(1.0).samplesFrom(played(sim::musicCadence(), 30, dbm0, seed));
            double heardAt = -1;
            const auto reports = ch.listen(s, &heardAt);
            // Heard within its first 2.5 s (after the second of quiet), and
            // before that at most two voice reports: the call algorithm
            // answers the fourth in a row when it heard no ring-back.
            ASSERT_GT(heardAt, 0) << dbm0 << " " << seed;
            EXPECT_LT(heardAt, 3.5) << dbm0 << " " << seed;
            EXPECT_LE(std::count_if(reports.begin(), reports.end(),
                                    [](const Report& r) { return isVoiceOrSilence(r.state); }),
                      2)
                << dbm0 << " " << seed;
            int tones = 0;
            for (const Report& r : reports) {
                if (r.atS > heardAt) {
                    EXPECT_FALSE(isVoiceOrSilence(r.state))
                        << dbm0 << " dBm0, seed " << seed << ": report " << r.state << " at "
                        << r.atS << " s";
                    tones += r.state == LS_TONE ? 1 : 0;
                }
            }
            EXPECT_GT(tones, 0) << dbm0 << " " << seed;
        }
    }
    // Without the detector the same music is voice, as the bare chain hears it.
    Channel bare(false);
    LineSignal s;
    s.noise(1.0).samplesFrom(played(sim::musicCadence(), 10, -10, 1));
    const auto reports = bare.listen(s);
    EXPECT_GE(std::count_if(reports.begin(), reports.end(),
                            [](const Report& r) { return isVoiceOrSilence(r.state); }),
              4);
}

TEST(Music, PersonAnsweringAfterMusicIsHeardAtOnce) {
    sim::SpeechBank bank;
    const char* const voices[][2] = {{"ru", "Алло. Слушаю вас."},
                                     {"ru+f3", "Алло, алло!"},
                                     {"en-us", "Hello? Who is this?"},
                                     {"de+f2", "Hallo? Wer ist da?"},
                                     {"uk", "Алло? Хто це?"}};
    for (const auto& v : voices) {
        for (double gain : {1.0, 0.1}) {
            Channel ch;
            LineSignal s;
            s.noise(1.0).samplesFrom(
                played(sim::musicCadence(), 6.0, -5 + 20 * std::log10(gain), 7));
            s.noise(0.4);
            const double speechAt = static_cast<double>(s.samples().size()) / testing::kRate;
            s.samplesFrom(said(bank, v[0], v[1], gain)).noise(1.0);
            double heardAt = -1;
            const auto reports = ch.listen(s, &heardAt);
            ASSERT_GT(heardAt, 0) << v[0];
            auto answer = std::find_if(reports.begin(), reports.end(), [&](const Report& r) {
                return r.atS > speechAt && isVoiceOrSilence(r.state);
            });
            ASSERT_NE(answer, reports.end()) << v[0] << " " << gain;
            EXPECT_LT(answer->atS - speechAt, 1.0) << v[0] << " " << gain;
            // The music before it: tones only.
            for (const Report& r : reports) {
                if (r.atS > heardAt && r.atS < speechAt) {
                    EXPECT_EQ(r.state, LS_TONE) << v[0] << " at " << r.atS;
                }
            }
        }
    }
}

// Every sound that is no music: the detector changes no report.
TEST(Music, ReportsWithoutMusicStayAsTheyWere) {
    sim::SpeechBank bank;
    std::vector<std::pair<std::string, LineSignal>> signals;
    auto add = [&](std::string name, const std::vector<float>& x) {
        LineSignal s;
        s.noise(0.5).samplesFrom(x).noise(1.0);
        signals.emplace_back(std::move(name), std::move(s));
    };
    for (const char* plan : {"ru", "de", "fr", "es", "gb", "us"}) {
        const sim::TonePlan* p = sim::findTonePlan(plan);
        ASSERT_NE(p, nullptr) << plan;
        add(std::string(plan) + " ring-back", played(p->ringBack, 12, -10, 3));
        add(std::string(plan) + " busy", played(p->busy, 6, -30, 3));
    }
    add("information tones", played(sim::infoToneCadence(), 3, -10, 1));
    add("fax answer", played(sim::faxAnswerCadence(), 4, -10, 1));
    add("fax calling", played(sim::faxCallingCadence(), 8, -10, 1));
    add("machine beep", played(sim::machineBeepCadence(), 1, -10, 1));
    for (const char* voice : {"ru", "ru+f3", "en-us", "fr-fr", "es+m2"}) {
        add(voice, said(bank, voice,
                        "Здравствуйте. Сейчас мы не можем ответить. Оставьте сообщение после "
                        "сигнала. Hello, who is there? Я вас не слышу, перезвоните.",
                        1.0));
    }
    LineSignal keys;
    for (char k : {'9', '1', '5', '#', '9'}) {
        keys.dtmf(k, 0.3).noise(0.2);
    }
    signals.emplace_back("keys", keys);

    for (const auto& [name, s] : signals) {
        Channel on(true), off(false);
        double heardAt = -1;
        const auto withMusic = on.listen(s, &heardAt);
        const auto without = off.listen(s);
        EXPECT_LT(heardAt, 0) << name << ": music heard at " << heardAt;
        ASSERT_EQ(withMusic.size(), without.size()) << name;
        for (std::size_t i = 0; i < without.size(); ++i) {
            EXPECT_EQ(withMusic[i].state, without[i].state) << name << " report " << i;
        }
    }
}

TEST(Music, BusyAfterTheMusicIsHeardAgain) {
    Channel ch;
    LineSignal s;
    s.noise(1.0).samplesFrom(played(sim::musicCadence(), 8, -10, 5));
    const double busyAt = static_cast<double>(s.samples().size()) / testing::kRate;
    s.samplesFrom(played(sim::findTonePlan("ru")->busy, 8, -10, 5));
    const auto reports = ch.listen(s);
    int run = 0;
    double threeAt = -1;
    for (const Report& r : reports) {
        run = r.state == LS_BUSY_TONE ? run + 1 : 0;
        if (run == 3 && threeAt < 0) {
            threeAt = r.atS;
        }
    }
    ASSERT_GT(threeAt, busyAt);
    EXPECT_LT(threeAt - busyAt, 7.0);
}

TEST(Music, TheLineSettingSwitchesTheDetector) {
    const std::string path = ::testing::TempDir() + "orvelline_music.ini";
    auto read = [&](const char* text) {
        std::ofstream(path) << text;
        return readLineSettings(path).musicDetect;
    };
    EXPECT_TRUE(readLineSettings("").musicDetect);
    EXPECT_FALSE(read("[Line]\nMusicDetect=0\n"));
    EXPECT_TRUE(read("[Line]\nMusicDetect=1\n"));
    EXPECT_TRUE(read("[Line]\nMusicDetect=yes\n"));  // not valid: the default stays
    std::remove(path.c_str());
}

}  // namespace
}  // namespace orvel
