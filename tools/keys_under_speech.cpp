#include "keys_under_speech.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "analysis/dtmf_detector.h"
#include "dtmf_test_signals.h"
#include "line_effects.h"
#include "speech.h"
#include "tones.h"

namespace orvel::tools {
namespace {

using Verdict = CDtmfDetector::BlockVerdict;
constexpr int kVerdicts = 6;
constexpr const char* kVerdictNames[kVerdicts] = {"a pair accepted, never twice in a row",
                                                  "no dominating row tone",
                                                  "no dominating column tone",
                                                  "guard: a tone too weak",
                                                  "guard: twist",
                                                  "guard: energy outside the tones"};
constexpr double kSpeechOverKeyDb[] = {4.5, 1.5, -1.5, -10.0};  // speech peak - key's low tone
constexpr double kLineNoiseDbm0 = -65.0;

struct Heard {
    bool heard = false;
    int verdicts[kVerdicts] = {};  // of the blocks the key filled
};

// Runs the samples through the detector as the channel does (64-sample
// frames) and tells whether a 9 was reported, and how the blocks between
// `from` and `to` were judged.
Heard run(const std::vector<int16_t>& x, bool guard, size_t from, size_t to) {
    CDtmfDetector d;
    d.init(8000);
    d.setGuard(guard);
    Heard h;
    size_t blockStart = 0;
    for (size_t b = 0; b + 64 <= x.size(); b += 64) {
        const uint32_t before = d.blocksJudged();
        const bool got = d.process(x.data() + b, 64);
        if (d.blocksJudged() != before) {
            // Blocks run on from the last reset (at a frame's end).
            const size_t end = blockStart + d.blockLength();
            const size_t start = blockStart;
            blockStart = end;
            if (start >= from && end <= to) {
                ++h.verdicts[static_cast<int>(d.lastVerdict())];
            }
        }
        if (got) {
            // A key the speech made before the press does not count, nor
            // hide the press: the channel resets the detector after each key.
            h.heard = h.heard ||
                      (b + 64 > from && std::string(d.digits()).find('9') != std::string::npos);
            d.reset();
            blockStart = b + 64;
        }
    }
    return h;
}

}  // namespace

KeysUnderSpeechResult keysUnderSpeech(const std::vector<std::vector<int16_t>>& people,
                                      bool verbose) {
    std::printf("\n== key 9 pressed while the person talks ==\n");
    KeysUnderSpeechResult r;
    if (people.empty()) {
        std::printf("no speech: nothing measured\n");
        return r;
    }
    std::mt19937 rng(29);
    long missedBy[2][kVerdicts] = {};
    long missedWithEcho[2] = {0, 0};
    long burstsWithEcho = 0;
    for (int ms : {60, 100, 150, 300}) {
        for (double twist : {-6.0, 0.0, 6.0}) {
            for (double low : {-4.0, -10.0, -15.0, -20.0, -25.0}) {
                for (size_t si = 0; si < std::size(kSpeechOverKeyDb); ++si) {
                    for (int echoOn = 0; echoOn < 2; ++echoOn) {
                        for (int trial = 0; trial < 10; ++trial) {
                            KeyBurst nine;
                            nine.onMs = ms;
                            nine.offMs = 0;
                            nine.twistDb = twist;
                            // A telephone's louder tone stays below -3 dBm0.
                            nine.lowDbm0 = std::min(low, -3.0 - std::max(twist, 0.0));
                            // Speech around the key: 0.4..0.6 s before it, 0.3 s after.
                            const size_t lead = 3200 + rng() % 1600;
                            std::vector<float> line(lead, 0.0f);
                            appendKey(line, nine, (rng() % 628) / 100.0);
                            const size_t keyEnd = line.size();
                            line.resize(keyEnd + 2400, 0.0f);
                            const size_t n = line.size();
                            std::vector<float> speech(n, 0.0f);
                            {
                                std::vector<int16_t> words = people[rng() % people.size()];
                                sim::levelTo(words, static_cast<int>(dbm0Peak(
                                                        nine.lowDbm0 + kSpeechOverKeyDb[si])));
                                // Start inside the utterance so that its words run over the key.
                                const size_t skip =
                                    words.size() > n ? rng() % (words.size() - n) : 0;
                                for (size_t i = 0; i < n && skip + i < words.size(); ++i) {
                                    speech[i] = words[skip + i];
                                }
                                sim::BandLimit band;
                                band.init(8000);
                                band.process(speech.data(), static_cast<int>(n));
                            }
                            for (size_t i = 0; i < n; ++i) {
                                line[i] += speech[i];
                            }
                            if (echoOn == 1) {
                                // The engine still playing a message at its own level
                                // (peak -6 dBm0), heard back at 6..24 dB of return loss.
                                std::vector<int16_t> message = people[rng() % people.size()];
                                sim::levelTo(message, static_cast<int>(dbm0Peak(-6)));
                                sim::HybridEcho echo;
                                echo.init(2 + static_cast<int>(rng() % 8),
                                          6 + 3 * static_cast<double>(rng() % 7));
                                for (size_t i = 0; i < n; ++i) {
                                    echo.played(i, i < message.size() ? message[i] : 0);
                                    line[i] += echo.heard(i);
                                }
                                ++burstsWithEcho;
                            }
                            sim::NoiseSource noise;
                            noise.init(static_cast<uint32_t>(rng()), kLineNoiseDbm0);
                            noise.process(line.data(), static_cast<int>(n));
                            const std::vector<int16_t> samples = toSamples(line);
                            ++r.bursts;
                            for (int g = 0; g < 2; ++g) {
                                const Heard h = run(samples, g == 1, lead, keyEnd);
                                if (h.heard) {
                                    ++r.heard[g];
                                    ++r.heardBySpeech[si][g];
                                    continue;
                                }
                                missedWithEcho[g] += echoOn;
                                // The test that refused most of the key's blocks.
                                const int* most =
                                    std::max_element(h.verdicts, h.verdicts + kVerdicts);
                                ++missedBy[g][most - h.verdicts];
                                if (verbose && g == 1) {
                                    std::printf(
                                        "  missed: %d ms, low %.0f dBm0, twist %.0f dB, speech "
                                        "peak "
                                        "%+.1f dB%s; blocks:",
                                        ms, nine.lowDbm0, twist, kSpeechOverKeyDb[si],
                                        echoOn ? ", echo" : "");
                                    for (int v = 0; v < kVerdicts; ++v) {
                                        std::printf(" %d", h.verdicts[v]);
                                    }
                                    std::printf("\n");
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    std::printf(
        "key 9 of 60..300 ms, low tone -4..-25 dBm0, twist -6..+6 dB, under a person's speech "
        "(peak 4.5, 1.5, -1.5 and -10 dB against the low tone), half with the echo of a message "
        "(return loss 6..24 dB): %ld bursts\n",
        r.bursts);
    for (int g = 0; g < 2; ++g) {
        std::printf("%s the guard: %ld heard (%.2f %%); missed with the echo: %ld of %ld\n",
                    g == 0 ? "without" : "with", r.heard[g], 100.0 * r.heard[g] / r.bursts,
                    missedWithEcho[g], burstsWithEcho);
        std::printf("  heard by speech level:");
        for (size_t si = 0; si < std::size(kSpeechOverKeyDb); ++si) {
            std::printf(" %+.1f dB: %ld of %ld;", kSpeechOverKeyDb[si], r.heardBySpeech[si][g],
                        r.bursts / static_cast<long>(std::size(kSpeechOverKeyDb)));
        }
        std::printf("\n  missed keys by the test that refused most of their blocks:");
        for (int v = 0; v < kVerdicts; ++v) {
            if (missedBy[g][v] > 0) {
                std::printf(" %s: %ld;", kVerdictNames[v], missedBy[g][v]);
            }
        }
        std::printf("\n");
    }
    return r;
}

}  // namespace orvel::tools
