// Whole calls through the exports on simulated boards, in real time, many
// lines at once: each line dials its own subscriber of a number plan made for
// the test and must end in the notify result the call algorithm promises for
// that subscriber's behaviour. Bounds are generous; nothing waits on exact
// timing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "../test_util.h"
#include "board/driver_host.h"
#include "orvel.h"
#include "sim_config.h"
#include "sim_driver.h"
#include "tone_wave.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;
using Line = std::pair<uint32_t, uint32_t>;

std::mutex g_mutex;
std::map<Line, std::vector<uint32_t>> g_results;
std::atomic<int> g_callbacks{0};

void onResult(uint32_t device, uint32_t channel, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_results[{device, channel}].push_back(result);
    ++g_callbacks;
}

void writeMessage(const fs::path& path, double seconds, double hz) {
    orvel::tools::writeToneWave(path.string(), seconds, hz);
}

sim::Subscriber subscriber(const std::string& pattern, const std::string& text) {
    sim::Subscriber s;
    std::string error;
    EXPECT_TRUE(sim::parseSubscriber(text, s, error)) << error;
    s.pattern = pattern;
    return s;
}

class CallsOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orvel_calls_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        fs::copy_file(fs::path(ORVEL_DATA_DIR) / "orvel.fis", dir_ / "orvel.fis",
                      fs::copy_options::overwrite_existing);
        writeMessage(dir_ / "message.wav", 2.0, 800);
        writeMessage(dir_ / "confirm.wav", 1.0, 1000);
        config.adcRate = 250;  // lines are learned sooner
        config.boards[0].present = true;
        config.boards[0].units[0].channels = 6;
        config.boards[0].units[1].channels = 6;
        config.boards[0].lines[10].dialTone = false;
        config.plan = {
            subscriber("201", "answer rings=1 key=9 keyat=end2"),  // 9 in the pause
            subscriber("202", "answer rings=1 key=9 keyat=end3"),  // 9 after the beep
            subscriber("203", "answer rings=1 hangup=end3"),       // hangs up after the beep
            subscriber("204", "answer rings=1 hangup=60"),         // listens, never confirms
            subscriber("205", "busy"),
            subscriber("206", "noanswer"),
            subscriber("207", "silent rings=1 hangup=60"),
            subscriber("208", "answer rings=1 hangup=end1"),  // hangs up after the message
        };
        std::lock_guard<std::mutex> lock(g_mutex);
        g_results.clear();
        g_callbacks = 0;
    }
    void TearDown() override {
        setNotifyResultCallback(nullptr);
        ShutdownDll();
        driver::DriverHost::setOverride(nullptr);
        sim_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void start(bool confirmOn) {
        sim_ = std::make_shared<sim::SimDriver>(config, sim::SimDriver::Clock::RealTime);
        driver::DriverHost::setOverride(sim_);
        ASSERT_EQ(InitDll(dir_.c_str()), 0);
        ASSERT_EQ(LoadSoundFile((dir_ / "message.wav").c_str(), 1), 0);
        ASSERT_EQ(LoadConfirmFile((dir_ / "confirm.wav").c_str(), 2), 0);
        ASSERT_EQ(StartDll(), 0);
        SetConfirmOn(confirmOn ? 1 : 0);
        setNotifyResultCallback(onResult);
    }
    // Assigns the lines and waits until all are ready; shorter waits than
    // the defaults keep the test short.
    void assign(const std::vector<Line>& lines) {
        const CallTimeParams params{5, 1, 15, 3, 15, 0, 3, 0};
        for (const auto& [d, c] : lines) {
            SetTimeParam(d, c, &params);
            ASSERT_EQ(AssignLine(d, c), 0);
        }
        ASSERT_TRUE(testing::waitFor(
            [&] {
                for (const auto& [d, c] : lines) {
                    if (lineState(d, c) != 1) {
                        return false;
                    }
                }
                return true;
            },
            std::chrono::seconds(60)));
    }
    static uint32_t lineState(uint32_t d, uint32_t c) {
        std::vector<uint32_t> words(ORVEL_LINE_STATE_WORDS, 0);
        GetLineState(words.data());
        return words[1 + ORVEL_LINE_STATE_CHANNELS * d + c];
    }
    static std::vector<uint32_t> resultsOf(Line line) {
        std::lock_guard<std::mutex> lock(g_mutex);
        return g_results[line];
    }
    bool reached(Line line, const char* number) {
        return sim_->card(static_cast<int>(line.first))
                   ->record(static_cast<int>(line.second))
                   .number == number;
    }
    std::string story(Line line) {
        std::string out;
        for (const auto& e : sim_->card(static_cast<int>(line.first))
                                 ->record(static_cast<int>(line.second))
                                 .events) {
            out += std::to_string(e.seconds) + " " + e.text + "\n";
        }
        return out;
    }

    sim::SimConfig config;
    fs::path dir_;
    std::shared_ptr<sim::SimDriver> sim_;
};

struct Expected {
    Line line;
    const char* number;
    int32_t mode;
    bool tone;
    int result;  // -1: the call ends without a reported result
};

TEST_F(CallsOnSimulator, ManyLinesAtOnceEachEndInTheirResult) {
    config.boards[1].present = true;
    config.boards[1].units = {};
    config.boards[1].units[0].channels = 6;
    config.boards[1].lines[2].cutAt = 14.0;  // mid-call
    start(true);
    const std::vector<Expected> calls = {
        {{0, 0}, "201", 3, false, ORVEL_NR_NOTIFY_OK},
        {{0, 1}, "202", 1, true, ORVEL_NR_NOTIFY_OK},
        {{0, 2}, "203", 2, false, ORVEL_NR_NOTIFY_OK},
        {{0, 3}, "203", 3, true, ORVEL_NR_NOTIFY_OK},
        {{0, 4}, "203", 1, false, -1},
        {{0, 5}, "205", 3, false, ORVEL_NR_LINE_BUSY},
        {{0, 6}, "206", 3, true, ORVEL_NR_NOT_HANDUP},
        {{0, 7}, "207", 3, false, ORVEL_NR_NOT_HANDUP},
        {{0, 8}, "208", 3, false, -1},  // hung up before the beep
        {{0, 10}, "w201", 3, false, ORVEL_NR_LINE_DROP},
        {{1, 2}, "204", 3, false, ORVEL_NR_LINE_DROP},
    };
    std::vector<Line> lines;
    for (const auto& c : calls) {
        lines.push_back(c.line);
    }
    assign(lines);
    for (const auto& c : calls) {
        ASSERT_EQ(CallAbonent(c.line.first, c.line.second, c.number, c.tone ? 1 : 0, 1, 2, c.mode),
                  0);
    }
    for (const auto& c : calls) {
        SCOPED_TRACE(std::string("line ") + std::to_string(c.line.first) + ":" +
                     std::to_string(c.line.second) + " number " + c.number);
        if (c.result >= 0) {
            EXPECT_TRUE(testing::waitFor([&] { return !resultsOf(c.line).empty(); },
                                         std::chrono::seconds(150)))
                << story(c.line);
            EXPECT_EQ(resultsOf(c.line), std::vector<uint32_t>{static_cast<uint32_t>(c.result)})
                << story(c.line);
        } else {
            // Reached, free again, and nothing reported.
            EXPECT_TRUE(testing::waitFor(
                [&] {
                    return reached(c.line, c.number) && lineState(c.line.first, c.line.second) == 1;
                },
                std::chrono::seconds(150)))
                << story(c.line);
            EXPECT_TRUE(resultsOf(c.line).empty()) << story(c.line);
        }
        // Dialled digit for digit, by pulses or by tones.
        const auto rec =
            sim_->card(static_cast<int>(c.line.first))->record(static_cast<int>(c.line.second));
        if (c.result != ORVEL_NR_LINE_DROP) {
            EXPECT_EQ(rec.number, std::string(c.number));
            EXPECT_EQ(c.tone ? rec.dtmfDigits : rec.pulseDigits, std::string(c.number));
        }
    }
    // A line without a dial tone was seized three times.
    EXPECT_EQ(sim_->card(0)->record(10).seizures, 3);
}

TEST_F(CallsOnSimulator, ConfirmOffPlaysTheMessageAndTakesAHangUpAsConfirmation) {
    start(false);
    const std::vector<Expected> calls = {
        {{0, 0}, "204", 3, false, ORVEL_NR_NOTIFY_OK},  // after MessagesCount plays
        {{0, 1}, "208", 1, false, ORVEL_NR_NOTIFY_OK},  // hangs up after the message
        {{0, 2}, "205", 3, false, ORVEL_NR_LINE_BUSY},
    };
    assign({{0, 0}, {0, 1}, {0, 2}});
    for (const auto& c : calls) {
        ASSERT_EQ(CallAbonent(c.line.first, c.line.second, c.number, 0, 1, 2, c.mode), 0);
    }
    for (const auto& c : calls) {
        SCOPED_TRACE(c.number);
        EXPECT_TRUE(
            testing::waitFor([&] { return !resultsOf(c.line).empty(); }, std::chrono::seconds(120)))
            << story(c.line);
        EXPECT_EQ(resultsOf(c.line), std::vector<uint32_t>{static_cast<uint32_t>(c.result)})
            << story(c.line);
    }
}

TEST_F(CallsOnSimulator, ShutdownInTheMiddleOfCallsEndsEverythingWithoutCallbacks) {
    const int before = testing::threadCount();
    start(true);
    assign({{0, 0}, {0, 1}, {0, 2}, {0, 3}});
    ASSERT_EQ(CallAbonent(0, 0, "201", 0, 1, 2, 3), 0);
    ASSERT_EQ(CallAbonent(0, 1, "204", 1, 1, 2, 3), 0);
    ASSERT_EQ(CallAbonent(0, 2, "206", 0, 1, 2, 3), 0);
    ASSERT_EQ(CallAbonent(0, 3, "205", 0, 1, 2, 3), 0);
    ASSERT_TRUE(testing::waitFor([&] { return lineState(0, 0) == 11 || lineState(0, 0) == 17; },
                                 std::chrono::seconds(60)));
    EXPECT_EQ(ShutdownDll(), 0);
    const int callbacks = g_callbacks;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(g_callbacks.load(), callbacks);
    sim_.reset();
    driver::DriverHost::setOverride(nullptr);
    EXPECT_TRUE(testing::threadsBackTo(before))
        << testing::threadCount() << " threads, " << before << " before";
}

}  // namespace
}  // namespace orvel
