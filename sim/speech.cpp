#include "speech.h"

#include <fcntl.h>
#include <soxr.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sim_config.h"

namespace orvel::sim {
namespace {

constexpr int kSpeechPeak = 12000;  // about -15 dBm0 average: a voice on a line

// The synthesiser runs as its own process: the speech library keeps one
// global state per process (callback, voice), which the operator program's
// own speech synthesis uses, and a driver module must not take it over.
constexpr const char* kSynthesiser = "espeak-ng";
constexpr const char* kSpeechRate = "150";  // words per minute

// 16-bit mono samples and the rate of a WAV stream as the synthesiser
// writes it (its data length may be left open).
bool parseWav(const std::vector<uint8_t>& wav, std::vector<int16_t>& out, int& rate) {
    auto u32 = [&](size_t p) {
        return static_cast<uint32_t>(wav[p] | (wav[p + 1] << 8) | (wav[p + 2] << 16) |
                                     (static_cast<uint32_t>(wav[p + 3]) << 24));
    };
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
        std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
        return false;
    }
    rate = 0;
    size_t p = 12;
    while (p + 8 <= wav.size()) {
        uint32_t size = u32(p + 4);
        if (std::memcmp(wav.data() + p, "fmt ", 4) == 0 && p + 24 <= wav.size()) {
            uint16_t format = static_cast<uint16_t>(wav[p + 8] | (wav[p + 9] << 8));
            uint16_t channels = static_cast<uint16_t>(wav[p + 10] | (wav[p + 11] << 8));
            uint16_t bits = static_cast<uint16_t>(wav[p + 22] | (wav[p + 23] << 8));
            if (format != 1 || channels != 1 || bits != 16) {
                return false;
            }
            rate = static_cast<int>(u32(p + 12));
        } else if (std::memcmp(wav.data() + p, "data", 4) == 0) {
            size_t begin = p + 8;
            size_t n = std::min<size_t>(size, wav.size() - begin) / 2;
            out.resize(n);
            for (size_t i = 0; i < n; ++i) {
                out[i] = static_cast<int16_t>(wav[begin + 2 * i] | (wav[begin + 2 * i + 1] << 8));
            }
            return rate > 0 && !out.empty();
        }
        p += 8 + size + (size & 1);
    }
    return false;
}

bool synthesise(const std::string& voice, const std::string& text, std::vector<int16_t>& out,
                int& rate) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A leading space keeps a text that starts with '-' from being read as an option.
    std::string spoken = " " + text;
    const char* argv[] = {kSynthesiser, "-v",       voice.c_str(),  "-s",
                          kSpeechRate,  "--stdout", spoken.c_str(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, kSynthesiser, &actions, nullptr, const_cast<char* const*>(argv),
                          environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    std::vector<uint8_t> wav;
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) {
            wav.insert(wav.end(), buf, buf + n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && parseWav(wav, out, rate);
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
