// orvel-answer-measure: how quickly and how surely the engine hears a person
// answer, and whether it takes the network's music for one. Signals are made
// as the simulated exchange makes them (tone plans with cadence jitter and a
// random start, its music, speech by the synthesiser in several voices and
// languages, line loss, noise, the telephone band) and fed frame by frame to
// the channel's analysis chain as after dialling. The reports are judged the
// way the call algorithm judges them while it waits for an answer (ring-back
// heard or not): the message starts at the first voice or silence report
// after ring-back or after a tone, or at the fourth voice or silence report
// in a row without either.
//
// Each case runs with the music detector on and off:
//   music           nobody answers; music plays for 30 s (any answer is false)
//   announcement    nobody answers; a recorded announcement loops for 30 s
//   ring-back       the phone rings 1..3 times, a person picks up and speaks
//   music, answer   music for 4..12 s, then a person picks up and speaks
//   at once         a person speaks without any ring-back heard before
// A person says the words, and says them again after 3 s of silence, twice;
// an answer never heard is "missed". The delay is counted from the first
// word.
#include <ace/Log_Msg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "codes.h"
#include "line_effects.h"
#include "speech.h"
#include "tone_plans.h"
#include "tones.h"

namespace {

using namespace orvel;

constexpr int kRate = 8000;
constexpr int kFrame = 64;
constexpr double kNetworkDbm0 = -5.0;
constexpr double kSpeechAgainS = 3.0;

struct Words {
    const char* voice;
    const char* text;
};
constexpr Words kWords[] = {
    {"ru", "Алло."},
    {"ru", "Алло. Слушаю вас."},
    {"ru+f3", "Алло, алло! Я вас не слышу."},
    {"ru+m3", "Да, слушаю."},
    {"ru+f2", "Алло?"},
    {"uk", "Алло? Хто це?"},
    {"en-us", "Hello? Who is this?"},
    {"en+f3", "Hello."},
    {"de+f2", "Hallo? Wer ist da?"},
    {"fr-fr", "Allô? Qui est à l'appareil?"},
    {"es+m2", "¿Diga?"},
    {"it", "Pronto?"},
    {"pl", "Halo? Słucham."},
};

// The call algorithm's wait for an answer, as far as the message start goes.
class AnswerJudge {
public:
    // True when this report starts the message.
    bool report(uint32_t v) {
        const bool vs = v == LS_VOICE || v == LS_SILENCE;
        if (ringing_) {
            return vs;
        }
        if (v == LS_RING_BACK_TONE || v == LS_RING_BACK_PAUSE) {
            ringing_ = true;
            return false;
        }
        if (v == LS_BUSY_TONE) {
            return false;
        }
        if (vs && last_ == LS_TONE) {
            return true;
        }
        if (v == LS_TONE || v == LS_AON) {
            last_ = LS_TONE;
            voiceCount_ = 0;
            return false;
        }
        if (vs && (last_ == LS_VOICE || last_ == LS_SILENCE)) {
            if (++voiceCount_ > 2) {
                return true;
            }
        } else {
            voiceCount_ = 0;
        }
        if (vs) {
            last_ = v;
        }
        return false;
    }

private:
    bool ringing_ = false;
    uint32_t last_ = 5;
    unsigned voiceCount_ = 0;
};

struct Line {
    std::vector<float> x;
    double lossDb = 0;
    uint32_t seed = 1;

    float gain() const { return static_cast<float>(std::pow(10.0, -lossDb / 20)); }
    double seconds() const { return static_cast<double>(x.size()) / kRate; }
    void quiet(double s) { x.resize(x.size() + static_cast<size_t>(s * kRate), 0.0f); }
    void cadence(const sim::Cadence& c, double s) {
        sim::TonePlayer p;
        p.init(&c, sim::toneAmplitude(kNetworkDbm0) * gain(), {0.05f, true, seed});
        const size_t from = x.size();
        quiet(s);
        p.process(x.data() + from, static_cast<int>(x.size() - from));
    }
    void speech(const std::vector<int16_t>& s) {
        for (int16_t v : s) {
            x.push_back(static_cast<float>(v) * gain());
        }
    }
    std::vector<int16_t> samples() const {
        std::vector<float> y = x;
        std::vector<float> n(y.size());
        sim::NoiseSource noise;
        noise.init(seed, -65);
        noise.process(n.data(), static_cast<int>(n.size()));
        sim::BandLimit band;
        band.init(kRate);
        for (size_t i = 0; i < y.size(); ++i) {
            y[i] += n[i];
        }
        band.process(y.data(), static_cast<int>(y.size()));
        std::vector<int16_t> out(y.size());
        for (size_t i = 0; i < y.size(); ++i) {
            out[i] = static_cast<int16_t>(std::clamp(y[i], -32768.0f, 32767.0f));
        }
        return out;
    }
};

// Seconds from the start of the signal (after calibration) to the message
// start; < 0 when the judge never started it.
double answerAt(const std::string& fis, const Line& line, bool music) {
    CSignalProcessing sp;
    sp.loadFis(fis);
    sp.setSensitivityDb(20);
    sp.setMusicDetect(music);
    Line calibration;
    calibration.seed = line.seed + 1000;
    calibration.quiet(2.0);
    const auto quiet = calibration.samples();
    sp.startCalibration();
    for (size_t f = 0; (f + 1) * kFrame <= quiet.size(); ++f) {
        sp.calibrationFrame(quiet.data() + f * kFrame, kFrame);
    }
    sp.seize();
    sp.setFilterMode(CLineStateFilter::kDialled);
    const auto s = line.samples();
    AnswerJudge judge;
    for (size_t f = 0; (f + 1) * kFrame <= s.size(); ++f) {
        uint32_t state = 0;
        if (sp.activeFrame(s.data() + f * kFrame, kFrame, state) && judge.report(state)) {
            return static_cast<double>((f + 1) * kFrame) / kRate;
        }
    }
    return -1;
}

struct Tally {
    int cases = 0;
    int answered = 0;
    int early = 0;  // answered before anybody spoke
    std::vector<double> delays;

    void add(double at, double speechAt) {
        ++cases;
        if (at < 0) {
            return;
        }
        if (speechAt < 0 || at < speechAt) {
            ++early;
            return;
        }
        ++answered;
        delays.push_back(at - speechAt);
    }
    std::string text(bool person) const {
        char buf[160];
        if (!person) {
            std::snprintf(buf, sizeof buf, "%3d of %3d taken for an answer", early, cases);
            return buf;
        }
        std::vector<double> d = delays;
        std::sort(d.begin(), d.end());
        const auto at = [&](double q) {
            return d.empty() ? 0.0 : d[std::min(d.size() - 1, static_cast<size_t>(q * d.size()))];
        };
        std::snprintf(buf, sizeof buf,
                      "%3d of %3d answered, %d missed, %d early; delay median %.2f s, 90 %% "
                      "%.2f s, max %.2f s",
                      answered, cases, cases - answered - early, early, at(0.5), at(0.9),
                      d.empty() ? 0.0 : d.back());
        return buf;
    }
};

void person(Line& line, const sim::Speech& words) {
    for (int i = 0; i < 3; ++i) {
        line.speech(*words);
        line.quiet(kSpeechAgainS);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ACE_LOG_MSG->priority_mask(0, ACE_Log_Msg::PROCESS);  // the engine's debug lines
    std::string fis = ORVEL_DATA_DIR "/orvel.fis";
    int seeds = 3;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--verbose") {
            verbose = true;
        } else if (a == "--seeds" && i + 1 < argc) {
            seeds = std::atoi(argv[++i]);
        } else if (a == "--fis" && i + 1 < argc) {
            fis = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--seeds N] [--fis orvel.fis] [--verbose]\n", argv[0]);
            return 2;
        }
    }
    if (seeds < 1 || seeds > 100) {
        std::fprintf(stderr, "--seeds: 1..100\n");
        return 2;
    }
    sim::SpeechBank bank;
    std::vector<sim::Speech> spoken;
    for (const Words& w : kWords) {
        bool ok = false;
        spoken.push_back(bank.get(w.voice, w.text, &ok));
        if (!ok) {
            std::fprintf(stderr, "the speech synthesiser cannot speak %s\n", w.voice);
            return 2;
        }
    }
    const auto announcement = bank.get("ru", "Пожалуйста, ждите ответа абонента.");
    const std::vector<double> losses = {0, 10, 20, 30};
    const char* plans[] = {"ru", "de", "fr", "it", "pl", "se", "jp"};

    std::printf(
        "each case with the music detector off | on; loss 0, 10, 20, 30 dB below -5 dBm0; "
        "%d seeds\n\n",
        seeds);
    for (int kind = 0; kind < 5; ++kind) {
        Tally off, on;
        for (int seed = 1; seed <= seeds; ++seed) {
            for (double loss : losses) {
                const int people = kind >= 2 ? static_cast<int>(spoken.size()) : 1;
                for (int p = 0; p < people; ++p) {
                    Line line;
                    line.lossDb = loss;
                    line.seed = static_cast<uint32_t>(seed * 1000 + p * 10 + loss);
                    double speechAt = -1;
                    std::srand(line.seed);
                    if (kind == 0) {
                        line.cadence(sim::musicCadence(), 30);
                    } else if (kind == 1) {
                        for (int i = 0; i < 8; ++i) {
                            line.speech(*announcement);
                            line.quiet(1.0);
                        }
                    } else if (kind == 2) {
                        const auto* plan = sim::findTonePlan(plans[(p + seed) % std::size(plans)]);
                        const int rings = 1 + (p + seed) % 3;
                        line.quiet(1.5);
                        line.cadence(plan->ringBack, rings * 5.0 - 2.5 + (p % 5) * 0.4);
                        line.quiet(0.4);
                        speechAt = line.seconds();
                        person(line, spoken[static_cast<size_t>(p)]);
                    } else if (kind == 3) {
                        line.quiet(1.5);
                        line.cadence(sim::musicCadence(), 4.0 + std::rand() % 9);
                        line.quiet(0.4);
                        speechAt = line.seconds();
                        person(line, spoken[static_cast<size_t>(p)]);
                    } else {
                        line.quiet(1.5);
                        speechAt = line.seconds();
                        person(line, spoken[static_cast<size_t>(p)]);
                    }
                    const double atOff = answerAt(fis, line, false);
                    const double atOn = answerAt(fis, line, true);
                    off.add(atOff, speechAt);
                    on.add(atOn, speechAt);
                    if (verbose && kind >= 2 && (atOn < speechAt || atOn > speechAt + 1.0)) {
                        std::printf(
                            "  %s \"%s\" loss %.0f seed %u: speech at %.2f s, answered at "
                            "%.2f s (detector off: %.2f s)\n",
                            kWords[p].voice, kWords[p].text, loss, line.seed, speechAt, atOn,
                            atOff);
                    }
                }
            }
        }
        static const char* names[] = {"music", "announcement", "ring-back, answer", "music, answer",
                                      "answer at once"};
        const bool person = kind >= 2;
        std::printf("%-18s off: %s\n%-18s on:  %s\n", names[kind], off.text(person).c_str(), "",
                    on.text(person).c_str());
    }
    return 0;
}
