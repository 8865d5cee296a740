// The simulator as a driver: the cards of its configuration under the ten
// device names, the number plan and the subscribers' speech they share, the
// clock that moves them and the text log of what happens on the lines.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "board/driver.h"
#include "number_plan.h"
#include "sim_card.h"
#include "sim_config.h"
#include "speech.h"

namespace orvel::sim {

class SimDriver final : public driver::Driver, private EventSink {
public:
    enum class Clock {
        RealTime,  // a thread moves the cards at the configured speed
        Manual,    // only step() moves them
    };

    // `logDir` is where a relative log file name of the configuration goes.
    SimDriver(const SimConfig& config, Clock clock, const std::string& logDir = {});
    ~SimDriver() override;

    // The simulator for a program directory: its configuration file (or the
    // one the environment names). A missing file gives a simulator without
    // cards; an unreadable or bad one null with the reason in `error`.
    static std::unique_ptr<SimDriver> fromProgramDir(const std::string& programDir,
                                                     std::string& error,
                                                     Clock clock = Clock::RealTime);

    std::unique_ptr<driver::DeviceHandle> open(const std::string& name) override;

    // Moves every card `samples` input samples forward (manual clock).
    void step(uint64_t samples);
    // The card behind device index `board`, or null.
    SimCard* card(int board);
    const SimConfig& config() const { return config_; }
    // The subscribers' speech; a caller may fill it before the clock runs, so
    // that no synthesis happens in the middle of a call.
    SpeechBank& speech() { return speech_; }
    // Processor time the clock thread has used (the simulator's own share of
    // a benchmark), 0 with the manual clock.
    double clockCpuSeconds();

private:
    void lineEvent(int board, int channel, const LineEvent& event) override;
    void run();

    SimConfig config_;
    NumberPlan plan_;
    SpeechBank speech_;
    std::array<std::shared_ptr<SimCard>, kMaxBoards> cards_;
    std::mutex logMutex_;
    std::FILE* log_ = nullptr;

    std::mutex clockMutex_;
    std::condition_variable clockWake_;
    bool stopping_ = false;
    std::thread clock_;
};

}  // namespace orvel::sim
