// The engine through its exports, with the simulator as its board driver:
// the two demo boards come up, report their units and supplies, and every
// line assignment reaches the simulated line.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "board/driver_host.h"
#include "orvel.h"
#include "sim_driver.h"

namespace orvel::sim::test {
namespace {

namespace fs = std::filesystem;

bool waitUntil(const std::function<bool()>& done, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

class EngineOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvel_sim_engine_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        fs::copy_file(fs::path(ORVEL_DATA_DIR) / "orvel.fis", dir / "orvel.fis",
                      fs::copy_options::overwrite_existing);
        SimConfig config;
        std::string error;
        ASSERT_TRUE(loadConfig(std::string(ORVEL_DATA_DIR) + "/orvelsim.ini", config, error))
            << error;
        config.logFile.clear();
        sim = std::make_shared<SimDriver>(config, SimDriver::Clock::RealTime);
        driver::DriverHost::setOverride(sim);
    }
    void TearDown() override {
        ShutdownDll();
        driver::DriverHost::setOverride(nullptr);
        sim.reset();
        fs::remove_all(dir);
    }
    std::vector<uint32_t> state() {
        std::vector<uint32_t> rec(2 + 21 * 3, 0xDEADBEEF);
        GetProgrammState(rec.data());
        return rec;
    }

    fs::path dir;
    std::shared_ptr<SimDriver> sim;
};

TEST_F(EngineOnSimulator, TwoBoardsComeUpWithTheirUnitsVersionsAndSupplies) {
    ASSERT_EQ(InitDll(dir.c_str()), 0);
    auto rec = state();
    EXPECT_EQ(rec[0], 2u);
    EXPECT_EQ(rec[1], 2u);
    // Board 0: version 0x101, 5 channels on units 0 and 2.
    EXPECT_EQ(rec[2], 1u | (1u << 16));
    EXPECT_EQ(rec[3], 5u);
    EXPECT_EQ(rec[4], 2u);
    EXPECT_EQ(rec[2 + 21 + 1], 18u);
    EXPECT_EQ(rec[2 + 21 + 2], 3u);
    // Versions and serials are asked for when the board starts, supplies come
    // with the converter readings once a second.
    ASSERT_TRUE(waitUntil(
        [&] {
            auto r = state();
            return r[5 + 2] != 0 && r[5 + 6 + 2] != 0 && r[5 + 6 + 5] != 0;
        },
        10.0));
    rec = state();
    const uint32_t* unit0 = &rec[5];
    const uint32_t* unit2 = &rec[5 + 6];
    EXPECT_EQ(unit0[0], 1u) << "codec programmed";
    EXPECT_EQ(unit0[1], 0u) << "no fault";
    EXPECT_EQ(unit0[2], 128u);
    EXPECT_EQ(unit0[3], 213u);
    EXPECT_EQ(unit0[4], 1u | (2u << 16));  // unit version 0x21
    EXPECT_EQ(unit0[5], 11u);
    EXPECT_EQ(unit2[5], 13u);
    EXPECT_EQ(unit2[1], 0u);
}

TEST_F(EngineOnSimulator, EveryAssignmentReachesItsLine) {
    ASSERT_EQ(InitDll(dir.c_str()), 0);
    ASSERT_EQ(StartDll(), 0);
    for (uint32_t ch = 0; ch < 5; ++ch) {
        EXPECT_EQ(AssignLine(0, ch), 0);
    }
    EXPECT_EQ(AssignLine(0, 5), -1);
    for (int ch = 0; ch < 5; ++ch) {
        EXPECT_TRUE(waitUntil([&] { return sim->card(0)->record(ch).hasEvent("assigned"); }, 10))
            << "channel " << ch;
    }
}

// A 16 kHz mono message: a 700 Hz tone whose loudness swells like speech.
void writeMessage(const fs::path& path, double seconds) {
    std::vector<int16_t> samples;
    for (int n = 0; n < seconds * 16000; ++n) {
        double t = n / 16000.0;
        double env = 0.6 + 0.4 * std::sin(2 * M_PI * 3 * t);
        samples.push_back(static_cast<int16_t>(9000 * env * std::sin(2 * M_PI * 700 * t)));
    }
    auto u32 = [](std::ofstream& f, uint32_t v) { f.write(reinterpret_cast<char*>(&v), 4); };
    auto u16 = [](std::ofstream& f, uint16_t v) { f.write(reinterpret_cast<char*>(&v), 2); };
    std::ofstream f(path, std::ios::binary);
    uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    f.write("RIFF", 4);
    u32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(f, 16);
    u16(f, 1);
    u16(f, 1);
    u32(f, 16000);
    u32(f, 32000);
    u16(f, 2);
    u16(f, 16);
    f.write("data", 4);
    u32(f, bytes);
    f.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

std::mutex g_resultMutex;
std::vector<std::array<uint32_t, 3>> g_results;

void onResult(uint32_t device, uint32_t channel, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_resultMutex);
    g_results.push_back({device, channel, result});
}

class CallOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("orvel_sim_call_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        fs::copy_file(fs::path(ORVEL_DATA_DIR) / "orvel.fis", dir / "orvel.fis",
                      fs::copy_options::overwrite_existing);
        SimConfig config;
        std::string error;
        ASSERT_TRUE(loadConfig(std::string(ORVEL_DATA_DIR) + "/orvelsim.ini", config, error))
            << error;
        config.logFile.clear();
        config.adcRate = 250;  // the lines are learned sooner
        // One board (units 2+0+3 as in the demo, or six lines for the
        // outcome test), with plain lines.
        config.boards[1].present = false;
        config.boards[0].lines.fill(LineConfig{});
        if (sixLines) {
            config.boards[0].units[0].channels = 6;
            config.boards[0].units[2].channels = 0;
        }
        sim = std::make_shared<SimDriver>(config, SimDriver::Clock::RealTime);
        driver::DriverHost::setOverride(sim);
        std::lock_guard<std::mutex> lock(g_resultMutex);
        g_results.clear();
    }
    void TearDown() override {
        setNotifyResultCallback(nullptr);
        ShutdownDll();
        driver::DriverHost::setOverride(nullptr);
        sim.reset();
        fs::remove_all(dir);
    }
    uint32_t lineState(uint32_t ch) {
        std::vector<uint32_t> words(ORVEL_LINE_STATE_WORDS, 0);
        GetLineState(words.data());
        return words[1 + ch];
    }
    std::vector<std::array<uint32_t, 3>> results() {
        std::lock_guard<std::mutex> lock(g_resultMutex);
        return g_results;
    }

    void bringUp() {
        writeMessage(dir / "message.wav", 2.0);
        writeMessage(dir / "confirm.wav", 1.0);
        ASSERT_EQ(InitDll(dir.c_str()), 0);
        ASSERT_EQ(LoadSoundFile((dir / "message.wav").c_str(), 1), 0);
        ASSERT_EQ(LoadConfirmFile((dir / "confirm.wav").c_str(), 2), 0);
        ASSERT_EQ(StartDll(), 0);
        setNotifyResultCallback(onResult);
    }

    bool sixLines = false;
    fs::path dir;
    std::shared_ptr<SimDriver> sim;
};

class CallOutcomesOnSimulator : public CallOnSimulator {
protected:
    void SetUp() override {
        sixLines = true;
        CallOnSimulator::SetUp();
    }
};

// The demo plan's number 100 answers after two rings, speaks, and presses 9
// once the message and the confirmation prompt with its beep have played.
TEST_F(CallOnSimulator, ToneDialledCallPlaysTheMessageAndIsConfirmedWithNine) {
    bringUp();
    ASSERT_EQ(AssignLine(0, 0), 0);
    ASSERT_TRUE(waitUntil([&] { return lineState(0) == 1; }, 60)) << "line ready";
    sim->card(0)->clearRecord(0);
    ASSERT_EQ(CallAbonent(0, 0, "w100", 1, 1, 2, 1), 0);
    bool done = waitUntil([&] { return !results().empty(); }, 120);
    LineRecord rec = sim->card(0)->record(0);
    std::string story;
    for (const auto& e : rec.events) {
        story += std::to_string(e.seconds) + " " + e.text + "\n";
    }
    ASSERT_TRUE(done) << "no result; the line heard:\n" << story;
    auto r = results();
    EXPECT_EQ(r[0][0], 0u);
    EXPECT_EQ(r[0][1], 0u);
    EXPECT_EQ(r[0][2], static_cast<uint32_t>(ORVEL_NR_NOTIFY_OK)) << story;
    EXPECT_EQ(rec.dtmfDigits.substr(0, 3), "100");
    EXPECT_EQ(rec.number, "100");
    EXPECT_EQ(rec.keysPressed, 1);
    EXPECT_GT(rec.soundSamples, 16000u) << "the message went into the line";
}

// Six calls at once to numbers of the demo plan, one per outcome: busy, no
// answer, dropped line, confirmed by hanging up after the beep; never hanging
// up and a key pressed too early are not notified, which is not reported.
TEST_F(CallOutcomesOnSimulator, DemoNumbersGiveEveryOutcome) {
    struct Call {
        const char* number;
        int mode;          // 1 key, 2 hang-up
        int result;        // expected notify result, -1 none reported
        uint32_t display;  // result code GetLineState shows
        // A second acceptable ending, or -1. The subscriber who only says
        // "Алло?" and then listens in silence is not notified either way:
        // whether the one word counts as the answer decides between the
        // unconfirmed message (nothing reported) and no answer at all.
        int otherResult = -1;
        uint32_t otherDisplay = 0;
        bool accepts(int r, uint32_t d) const {
            return (r == result && d == display) ||
                   (otherDisplay != 0 && r == otherResult && d == otherDisplay);
        }
        bool shows(uint32_t d) const {
            return d == display || (otherDisplay != 0 && d == otherDisplay);
        }
    };
    const Call calls[] = {
        {"w105", 1, ORVEL_NR_LINE_BUSY, 9},  {"w104", 1, ORVEL_NR_NOT_HANDUP, 16},
        {"w109", 1, ORVEL_NR_LINE_DROP, 6},  {"w110", 2, -1, 15, ORVEL_NR_NOT_HANDUP, 16},
        {"w101", 2, ORVEL_NR_NOTIFY_OK, 14}, {"w107", 1, -1, 15}};
    bringUp();
    for (uint32_t ch = 0; ch < 6; ++ch) {
        ASSERT_EQ(AssignLine(0, ch), 0);
    }
    ASSERT_TRUE(waitUntil(
        [&] {
            for (uint32_t ch = 0; ch < 6; ++ch) {
                if (lineState(ch) != 1) {
                    return false;
                }
            }
            return true;
        },
        60))
        << "lines ready";
    for (uint32_t ch = 0; ch < 6; ++ch) {
        ASSERT_EQ(CallAbonent(0, ch, calls[ch].number, 1, 1, 2, calls[ch].mode), 0);
    }
    // Every call is over (its line ready again, or dropped) within two minutes.
    std::vector<uint32_t> words(ORVEL_LINE_STATE_WORDS, 0);
    EXPECT_TRUE(waitUntil(
        [&] {
            GetLineState(words.data());
            for (uint32_t ch = 0; ch < 6; ++ch) {
                if (!calls[ch].shows(words[37 + ch])) {
                    return false;
                }
            }
            return results().size() >= 4;
        },
        120));
    auto got = results();
    for (uint32_t ch = 0; ch < 6; ++ch) {
        std::string story;
        for (const auto& e : sim->card(0)->record(ch).events) {
            story += std::to_string(e.seconds) + " " + e.text + "\n";
        }
        int reported = -1;
        int count = 0;
        for (const auto& r : got) {
            if (r[1] == ch) {
                reported = static_cast<int>(r[2]);
                ++count;
            }
        }
        EXPECT_TRUE(calls[ch].accepts(reported, words[37 + ch]))
            << calls[ch].number << " reported " << reported << " shows " << words[37 + ch] << "\n"
            << story;
        EXPECT_LE(count, 1) << calls[ch].number;
    }
}

}  // namespace
}  // namespace orvel::sim::test
