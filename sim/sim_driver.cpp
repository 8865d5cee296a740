#include "sim_driver.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace orvel::sim {
namespace {

constexpr uint64_t kMaxCatchUpSamples = kSampleRate / 2;  // a stalled clock skips ahead

// Index of a device name "/dev/OrvelPCIDevice<d>", or -1.
int deviceIndex(const std::string& name) {
    for (int i = 0; i < kMaxBoards; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, driver::kDeviceNameFormat, i);
        if (name == expected) {
            return i;
        }
    }
    return -1;
}

}  // namespace

SimDriver::SimDriver(const SimConfig& config, Clock clock, const std::string& logDir)
    : config_(config), plan_(config.plan, config.fallback) {
    if (!config_.logFile.empty()) {
        std::string path = config_.logFile;
        if (path.front() != '/' && !logDir.empty()) {
            path = logDir + (logDir.back() == '/' ? "" : "/") + path;
        }
        log_ = std::fopen(path.c_str(), "a");
    }
    // Speak every subscriber's words now, so that no call waits for the
    // synthesiser while a card's lock is held.
    for (const auto& s : plan_.entries()) {
        if (s.behaviour == Behaviour::Answer) {
            speech_.get(s.voice, s.speech.empty() ? kDefaultSpeech : s.speech);
        }
    }
    if (plan_.fallback().behaviour == Behaviour::Answer) {
        const Subscriber& s = plan_.fallback();
        speech_.get(s.voice, s.speech.empty() ? kDefaultSpeech : s.speech);
    }
    EventSink* sink = this;
    for (int b = 0; b < kMaxBoards; ++b) {
        if (config_.boards[b].present) {
            cards_[b] =
                std::make_unique<SimCard>(b, config_.boards[b], config_, &plan_, &speech_, sink);
        }
    }
    if (clock == Clock::RealTime) {
        clock_ = std::thread([this] { run(); });
    }
}

SimDriver::~SimDriver() {
    {
        std::lock_guard<std::mutex> lock(clockMutex_);
        stopping_ = true;
    }
    clockWake_.notify_all();
    if (clock_.joinable()) {
        clock_.join();
    }
    for (auto& card : cards_) {
        if (card) {
            card->orphan();
        }
    }
    if (log_ != nullptr) {
        std::fclose(log_);
    }
}

std::unique_ptr<SimDriver> SimDriver::fromProgramDir(const std::string& programDir,
                                                     std::string& error, Clock clock) {
    std::string path = configPath(programDir);
    SimConfig config;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // No configuration: a machine without cards.
        return std::make_unique<SimDriver>(config, clock, programDir);
    }
    if (!loadConfig(path, config, error)) {
        return nullptr;
    }
    return std::make_unique<SimDriver>(config, clock, programDir);
}

std::unique_ptr<driver::DeviceHandle> SimDriver::open(const std::string& name) {
    int index = deviceIndex(name);
    if (index < 0 || !cards_[index]) {
        errno = ENOENT;
        return nullptr;
    }
    return cards_[index]->open();
}

void SimDriver::step(uint64_t samples) {
    for (auto& card : cards_) {
        if (card) {
            card->advance(samples);
        }
    }
}

SimCard* SimDriver::card(int board) {
    return board >= 0 && board < kMaxBoards ? cards_[board].get() : nullptr;
}

double SimDriver::clockCpuSeconds() {
    if (!clock_.joinable()) {
        return 0;
    }
    clockid_t id{};
    timespec ts{};
    if (pthread_getcpuclockid(clock_.native_handle(), &id) != 0 || clock_gettime(id, &ts) != 0) {
        return 0;
    }
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void SimDriver::lineEvent(int board, int channel, const LineEvent& event) {
    if (log_ == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(logMutex_);
    std::fprintf(log_, "%10.3f board %d line %2d: %s\n", event.seconds, board, channel,
                 event.text.c_str());
    std::fflush(log_);
}

void SimDriver::run() {
    pthread_setname_np(pthread_self(), "orvelsim-clock");
    // The clock stands for cards that play and record on their own: on a
    // busy machine it must not wait behind other threads, or the output of
    // a stretch it catches up on is lost to silence and a dialled tone
    // breaks in two. It takes the lowest real-time class where allowed (it
    // sleeps between steps, and the kernel's real-time limit bounds it), a
    // higher weight where not, and runs as it is without either right.
    sched_param param{};
    param.sched_priority = 1;
    if (::pthread_setschedparam(::pthread_self(), SCHED_RR, &param) != 0) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -10);
    }
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    uint64_t done = 0;
    std::unique_lock<std::mutex> lock(clockMutex_);
    while (!stopping_) {
        clockWake_.wait_for(lock, std::chrono::milliseconds(config_.tickMs));
        if (stopping_) {
            break;
        }
        lock.unlock();
        double elapsed = std::chrono::duration<double>(clock::now() - start).count();
        auto target = static_cast<uint64_t>(elapsed * kSampleRate * config_.speed);
        if (target > done + kMaxCatchUpSamples) {
            done = target - kMaxCatchUpSamples;
        }
        if (target > done) {
            // A stretch longer than the output a card holds (32 ms) plays
            // silence after it: say so in the record, for whoever wonders
            // why a tone broke up.
            if (log_ != nullptr && target - done > kSampleRate * 32 / 1000) {
                std::lock_guard<std::mutex> logLock(logMutex_);
                std::fprintf(log_, "%10.3f clock late by %.0f ms\n",
                             static_cast<double>(done) / kSampleRate,
                             1000.0 * static_cast<double>(target - done) / kSampleRate);
            }
            step(target - done);
            done = target;
        }
        lock.lock();
    }
}

}  // namespace orvel::sim
