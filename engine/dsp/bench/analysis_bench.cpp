// Per-channel analysis cost of one 8-ms frame (64 samples at 8000 Hz): the
// spectral front end with the voice activity detector and the features the
// call-progress detector reads, and the DTMF detector; plus our DTMF detector
// against spandsp's dtmf_rx on the same samples. Prints channels per core in
// real time and the DTMF speed ratio.
#include <benchmark/benchmark.h>

#include <ace/Log_Msg.h>
#include <spandsp.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/dtmf_detector.h"
#include "analysis/vad.h"
#include "dsp/fft.h"

namespace {

constexpr double kFrameSeconds = 0.008;
constexpr std::size_t kFrame = 64;
constexpr std::size_t kWindow = 130;  // the analyzer's frame window

// Eight seconds of line signal: noise, a 425 Hz cadence, a DTMF key and a
// speech-like warble, so every branch of the detectors is taken.
std::vector<int16_t> lineSignal() {
    std::vector<int16_t> v(64000);
    unsigned seed = 12345;
    for (std::size_t i = 0; i < v.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        double x = static_cast<double>((seed >> 16) % 201) - 100.0;
        const double t = static_cast<double>(i) / 8000.0;
        const double second = std::fmod(t, 4.0);
        if (second < 0.35 || (second > 0.7 && second < 1.05)) {
            x += 4000 * std::sin(2 * std::numbers::pi * 425 * t);
        } else if (second > 1.5 && second < 1.6) {
            x += 3000 * (std::sin(2 * std::numbers::pi * 852 * t) +
                         std::sin(2 * std::numbers::pi * 1477 * t));
        } else if (second > 2.0 && second < 3.5) {
            x += 3000 * std::sin(2 * std::numbers::pi * (300 + 200 * std::sin(6 * t)) * t) *
                 (0.6 + 0.4 * std::sin(2 * std::numbers::pi * 4 * t));
        }
        v[i] = static_cast<int16_t>(std::lround(x));
    }
    return v;
}

const std::vector<int16_t>& signal() {
    static const std::vector<int16_t> s = lineSignal();
    return s;
}

void setRate(benchmark::State& state) {
    state.counters["channels_per_core"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kFrameSeconds, benchmark::Counter::kIsRate);
}

// The whole per-frame chain of one channel.
void BM_FrameChain(benchmark::State& state) {
    const auto& s = signal();
    orvel::CVoiceDetector vad;
    vad.setUp(8000);
    orvel::CDtmfDetector dtmf;
    dtmf.init(8000);
    int16_t window[kWindow] = {};
    std::size_t pos = 0;
    for (auto _ : state) {
        const int16_t* frame = s.data() + pos;
        std::memmove(window, window + kFrame, (kWindow - kFrame) * sizeof(int16_t));
        std::memcpy(window + kWindow - kFrame, frame, kFrame * sizeof(int16_t));
        const int voice = vad.step(window);
        const orvel::BandFeatures f = vad.features(0, 0);
        const int mean = vad.meanMagnitude();
        const int presence = vad.presenceThreshold();
        benchmark::DoNotOptimize(voice + f.level + mean + presence);
        if (dtmf.process(frame, kFrame)) {
            dtmf.reset();
        }
        pos = (pos + kFrame) % (s.size() - kFrame);
    }
    setRate(state);
}
BENCHMARK(BM_FrameChain);

void BM_FrontEndAndVad(benchmark::State& state) {
    const auto& s = signal();
    orvel::CVoiceDetector vad;
    vad.setUp(8000);
    std::size_t pos = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vad.step(s.data() + pos));
        benchmark::DoNotOptimize(vad.presenceThreshold());
        pos = (pos + kFrame) % (s.size() - 2 * kFrame);
    }
    setRate(state);
}
BENCHMARK(BM_FrontEndAndVad);

void BM_Spectrum(benchmark::State& state) {
    const auto& s = signal();
    orvel::dsp::FixedSpectrum128 spectrum;
    spectrum.init();
    int16_t mags[64];
    std::size_t pos = 0;
    for (auto _ : state) {
        spectrum.magnitudes(s.data() + pos, mags);
        benchmark::DoNotOptimize(mags[10]);
        pos = (pos + kFrame) % (s.size() - 2 * kFrame);
    }
    setRate(state);
}
BENCHMARK(BM_Spectrum);

void BM_DtmfOurs(benchmark::State& state) {
    const auto& s = signal();
    orvel::CDtmfDetector dtmf;
    dtmf.init(8000);
    std::size_t pos = 0;
    for (auto _ : state) {
        if (dtmf.process(s.data() + pos, kFrame)) {
            dtmf.reset();
        }
        pos = (pos + kFrame) % (s.size() - kFrame);
    }
    setRate(state);
}
BENCHMARK(BM_DtmfOurs);

void BM_DtmfSpandsp(benchmark::State& state) {
    const auto& s = signal();
    dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
    std::size_t pos = 0;
    char digits[64];
    for (auto _ : state) {
        dtmf_rx(rx, s.data() + pos, static_cast<int>(kFrame));
        if (dtmf_rx_get(rx, digits, sizeof digits - 1) > 0) {
            benchmark::DoNotOptimize(digits[0]);
        }
        pos = (pos + kFrame) % (s.size() - kFrame);
    }
    dtmf_rx_free(rx);
    setRate(state);
}
BENCHMARK(BM_DtmfSpandsp);

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            cpuNs[r.run_name.function_name] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> cpuNs;
};

}  // namespace

int main(int argc, char** argv) {
    ACE_LOG_MSG->priority_mask(0, ACE_Log_Msg::PROCESS);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.cpuNs;
    if (t.count("BM_FrameChain") && t["BM_FrameChain"] > 0) {
        std::printf("per-frame chain: %.3f us, %.0f channels per core in real time (goal 10000)\n",
                    t["BM_FrameChain"] / 1000.0, kFrameSeconds * 1e9 / t["BM_FrameChain"]);
    }
    if (t.count("BM_DtmfOurs") && t.count("BM_DtmfSpandsp") && t["BM_DtmfOurs"] > 0) {
        std::printf("DTMF on 64 samples: ours %.1f ns, spandsp %.1f ns, ratio %.2f (goal >= 2)\n",
                    t["BM_DtmfOurs"], t["BM_DtmfSpandsp"], t["BM_DtmfSpandsp"] / t["BM_DtmfOurs"]);
    }
    benchmark::Shutdown();
    return 0;
}
