#include "speech.h"

#include <espeak-ng/speak_lib.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim_config.h"

namespace orvel::sim {
namespace {

constexpr int kSpeechPeak = 12000;  // about -15 dBm0 average: a voice on a line

// The synthesiser is one per process and not reentrant: one lock for all.
std::mutex g_synthMutex;
int g_synthRate = 0;  // 0 not tried, < 0 unusable, else its sample rate

int collect(short* wav, int count, espeak_EVENT* events) {
    if (wav != nullptr && count > 0 && events != nullptr && events->user_data != nullptr) {
        auto* out = static_cast<std::vector<int16_t>*>(events->user_data);
        out->insert(out->end(), wav, wav + count);
    }
    return 0;
}

bool synthesise(const std::string& voice, const std::string& text, std::vector<int16_t>& out,
                int& rate) {
    std::lock_guard<std::mutex> lock(g_synthMutex);
    if (g_synthRate == 0) {
        g_synthRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (g_synthRate > 0) {
            espeak_SetSynthCallback(collect);
        } else {
            g_synthRate = -1;
        }
    }
    if (g_synthRate < 0) {
        return false;
    }
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
        return false;
    }
    espeak_SetParameter(espeakRATE, 150, 0);
    out.clear();
    espeak_ERROR rc = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                   espeakCHARS_UTF8, nullptr, &out);
    espeak_Synchronize();
    rate = g_synthRate;
    return rc == EE_OK && !out.empty();
}

// Used only when no synthesiser voice is available: a 140 Hz voiced sound
// with formant-like harmonics and syllable rhythm, so that the engine's voice
// detection has something speech-like to hear.
std::vector<int16_t> standIn(size_t chars) {
    size_t syllables = std::clamp<size_t>(chars / 3, 2, 12);
    std::vector<int16_t> out;
    for (size_t s = 0; s < syllables; ++s) {
        int len = kSampleRate * 18 / 100;
        for (int i = 0; i < len; ++i) {
            double t = static_cast<double>(i) / kSampleRate;
            double env = std::sin(3.14159265 * i / len);
            double v = 0;
            for (int h = 1; h * 140 < 3400; ++h) {
                double formant =
                    std::exp(-std::pow((h * 140.0 - 700.0 - 200.0 * (s % 3)) / 500.0, 2));
                v += (0.2 + formant) / h * std::sin(2 * 3.14159265 * 140.0 * h * t);
            }
            out.push_back(static_cast<int16_t>(std::clamp(v * env * 8000.0, -32768.0, 32767.0)));
        }
        out.insert(out.end(), kSampleRate * 8 / 100, 0);
    }
    return out;
}

}  // namespace

std::vector<int16_t> resampleTo8k(const std::vector<int16_t>& in, double inRate) {
    if (in.empty() || inRate == kSampleRate) {
        return in;
    }
    size_t outLen = static_cast<size_t>(in.size() * kSampleRate / inRate) + 16;
    std::vector<int16_t> out(outLen);
    size_t done = 0;
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t err = soxr_oneshot(inRate, kSampleRate, 1, in.data(), in.size(), nullptr,
                                    out.data(), out.size(), &done, &io, &q, nullptr);
    if (err != nullptr) {
        return {};
    }
    out.resize(done);
    return out;
}

void levelTo(std::vector<int16_t>& samples, int peak) {
    int maxAbs = 1;
    for (int16_t s : samples) {
        maxAbs = std::max(maxAbs, std::abs(static_cast<int>(s)));
    }
    double g = static_cast<double>(peak) / maxAbs;
    for (auto& s : samples) {
        s = static_cast<int16_t>(std::clamp(s * g, -32768.0, 32767.0));
    }
}

Speech SpeechBank::get(const std::string& voice, const std::string& text, bool* synthesised) {
    std::string key = voice + '\n' + text;
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = cache_.find(key); it != cache_.end()) {
        if (synthesised != nullptr) {
            *synthesised = true;
        }
        return it->second;
    }
    std::vector<int16_t> raw;
    int rate = 0;
    bool ok = !text.empty() && synthesise(voice, text, raw, rate);
    std::vector<int16_t> samples = ok ? resampleTo8k(raw, rate) : std::vector<int16_t>();
    if (samples.empty()) {
        ok = false;
        samples = standIn(text.size());
    }
    levelTo(samples, kSpeechPeak);
    if (synthesised != nullptr) {
        *synthesised = ok;
    }
    auto made = std::make_shared<const std::vector<int16_t>>(std::move(samples));
    cache_[key] = made;
    return made;
}

}  // namespace orvel::sim
