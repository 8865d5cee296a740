// The engine through its exports, with the simulator as its board driver:
// the two demo boards come up, report their units and supplies, and every
// line assignment reaches the simulated line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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

}  // namespace
}  // namespace orvel::sim::test
