// The board device against the simulated card: the same protocol, answered
// by the card's own unit processors.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board/k24_driver.h"
#include "sim_driver.h"

namespace orvel::test {
namespace {

sim::SimConfig boards() {
    sim::SimConfig c;
    c.boards[0].present = true;
    c.boards[0].units[0].channels = 2;
    c.boards[0].units[2].channels = 3;
    c.boards[0].units[0].serial = 31;
    c.boards[0].units[2].serial = 33;
    c.boards[0].units[2].version = 0x47;
    c.boards[1].present = true;
    for (auto& b : c.boards) {
        for (auto& u : b.units) {
            u.stuck.fill(-1);
        }
    }
    for (auto& u : c.boards[1].units) {
        u.channels = 6;
    }
    return c;
}

// Steps the card and hands every unit frame to the device, the way the
// receive task does; returns the results of answer processing.
std::vector<int> pump(sim::SimDriver& drv, CK24Device& dev, uint64_t samples) {
    drv.step(samples);
    std::vector<int> results;
    std::vector<uint8_t> bytes(1 << 20);
    ssize_t n = dev.handle()->read(bytes.data(), bytes.size());
    for (ssize_t p = 0; p + 4 <= n;) {
        uint8_t d = bytes[p];
        if ((d & 0x08) == 0) {
            p += 14;
            continue;
        }
        results.push_back(dev.processAnswer(d & 3, d >> 4, bytes[p + 3], bytes[p + 2]));
        p += 4;
    }
    return results;
}

class K24OnSimulator : public ::testing::Test {
protected:
    K24OnSimulator() : drv(boards(), sim::SimDriver::Clock::Manual), dev(drv) {}
    void bringUp() {
        ASSERT_EQ(dev.open("/dev/OrvelPCIDevice0", 0), 0);
        ASSERT_EQ(dev.start(), 0);
        for (uint32_t u = 0; u < 3; ++u) {
            if (dev.unitChannelCount(u) > 0) {
                ASSERT_EQ(dev.setUnitSampleRate(u, 8000, true), 0);
                ASSERT_EQ(dev.streamSwitch(2 * u + 1, 1), 0);
            }
        }
    }
    uint32_t status(uint32_t u, uint32_t word) {
        uint32_t s[kUnitStatusWords];
        dev.unitStatus(u, s);
        return s[word];
    }

    sim::SimDriver drv;
    CK24Device dev;
};

TEST_F(K24OnSimulator, NumbersChannelsAndProgramsCodecs) {
    bringUp();
    EXPECT_EQ(dev.channelCount(), 5u);
    EXPECT_EQ(dev.hardwareChannel(2), 12u);
    EXPECT_EQ(dev.hardwareChannel(4), 14u);
    EXPECT_TRUE(drv.card(0)->codecProgrammed(0));
    EXPECT_FALSE(drv.card(0)->codecProgrammed(1));
    EXPECT_TRUE(drv.card(0)->codecProgrammed(2));
    EXPECT_EQ(status(2, kStatusCodec), 1u);
    EXPECT_EQ(dev.boardVersion(), 0x01u | (0x1u << 16)) << "configured version 0x101";

    CK24Device second(drv);
    ASSERT_EQ(second.open("/dev/OrvelPCIDevice1", 1), 0);
    EXPECT_EQ(second.channelCount(), 18u);
    CK24Device absent(drv);
    EXPECT_EQ(absent.open("/dev/OrvelPCIDevice2", 2), -1);
}

TEST_F(K24OnSimulator, StartUpQueriesAreAnsweredAndConfirmed) {
    bringUp();
    for (uint32_t u : {0u, 2u}) {
        dev.requestVersion(u);
        dev.requestSerial(u);
        for (uint32_t k = 0; k < dev.unitChannelCount(u); ++k) {
            for (uint32_t code : {1u, 3u, 5u, 7u, 9u, 11u, 13u, 15u, 28u}) {
                dev.readParameter(dev.firstChannelOfUnit(u) + k, code);
            }
        }
    }
    EXPECT_EQ(dev.pendingCount(), 4u + 5u * 9u);
    auto results = pump(drv, dev, 800);
    EXPECT_EQ(std::count(results.begin(), results.end(), 3), 45) << "every parameter confirmed";
    EXPECT_EQ(dev.pendingCount(), 0u);
    EXPECT_EQ(status(0, kStatusSerial), 31u);
    EXPECT_EQ(status(2, kStatusSerial), 33u);
    EXPECT_EQ(status(2, kStatusVersion), 7u | (4u << 16));
    EXPECT_EQ(status(0, kStatusUnit), 0u);
    EXPECT_EQ(status(2, kStatusUnit), 0u);
}

TEST_F(K24OnSimulator, LineVoltagesAndSuppliesArrive) {
    bringUp();
    for (uint32_t ch = 0; ch < dev.channelCount(); ++ch) {
        dev.setAdcData(ch, 1);
    }
    auto results = pump(drv, dev, 8000);
    // About 100 readings a second on each of the five lines.
    long voltages = std::count(results.begin(), results.end(), 2);
    EXPECT_NEAR(voltages, 500, 15);
    EXPECT_EQ(std::count(results.begin(), results.end(), 5), 5) << "one line-state report each";
    EXPECT_EQ(status(2, kStatusSupply5), 128u);
    EXPECT_EQ(status(2, kStatusSupply12), 213u);
}

TEST_F(K24OnSimulator, PulseDigitIsConfirmedOnceDialled) {
    bringUp();
    dev.offHook(3);
    ASSERT_EQ(dev.dialPulseDigit(3, '3'), 0);
    auto results = pump(drv, dev, 800);
    EXPECT_EQ(std::count(results.begin(), results.end(), 3), 0) << "still dialling";
    results = pump(drv, dev, 8000);
    EXPECT_EQ(std::count(results.begin(), results.end(), 3), 1);
    EXPECT_EQ(drv.card(0)->record(3).pulseDigits, "3");
    EXPECT_EQ(dev.pendingCount(), 0u);
}

TEST(K24OnStuckSimulator, ParameterTheUnitKeepsWrongEndsInAnError) {
    sim::SimConfig c = boards();
    c.boards[0].units[2].stuck[1] = 40;  // activate level always answered as 40
    sim::SimDriver drv(c, sim::SimDriver::Clock::Manual);
    CK24Device dev(drv);
    ASSERT_EQ(dev.open("/dev/OrvelPCIDevice0", 0), 0);
    ASSERT_EQ(dev.start(), 0);
    ASSERT_EQ(dev.setUnitSampleRate(2, 8000, true), 0);
    ASSERT_EQ(dev.streamSwitch(5, 1), 0);
    ASSERT_EQ(dev.setParameter(3, 4, 60), 0);
    std::vector<int> answers;
    for (int i = 0; i < 20; ++i) {
        for (int r : pump(drv, dev, 80)) {
            if (r != 5) {  // line-state reports
                answers.push_back(r);
            }
        }
    }
    EXPECT_EQ(answers, std::vector<int>({0, 0, 0, 0, 1})) << "four resends, then the error";
    uint32_t s[kUnitStatusWords];
    dev.unitStatus(2, s);
    EXPECT_EQ(s[kStatusUnit], 2u);
    EXPECT_EQ(dev.pendingCount(), 0u);
    EXPECT_EQ(drv.card(0)->unitParameter(3, 1), 60) << "the unit did store it";
}

}  // namespace
}  // namespace orvel::test
