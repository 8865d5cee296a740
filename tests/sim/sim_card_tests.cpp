// The simulated card as the engine meets it: registers, control codes, the
// input byte stream and its unit frames, the output byte stream's rate.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "sim_host.h"

namespace orvel::sim::test {
namespace {

SimConfig twoBoards() {
    SimConfig c;
    c.boards[0].present = true;
    c.boards[0].units[0].channels = 2;
    c.boards[0].units[2].channels = 3;
    c.boards[0].units[2].option = true;
    c.boards[0].units[0].serial = 42;
    c.boards[0].units[0].version = 0x35;
    c.boards[0].version = 0xABC;
    c.boards[1].present = true;
    for (auto& u : c.boards[1].units) {
        u.channels = 6;
        u.stuck.fill(-1);
    }
    for (auto& u : c.boards[0].units) {
        u.stuck.fill(-1);
    }
    return c;
}

TEST(SimCard, DeviceNamesAndConfigurationWord) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    EXPECT_NE(drv.open("/dev/OrvelPCIDevice0"), nullptr);
    EXPECT_NE(drv.open("/dev/OrvelPCIDevice1"), nullptr);
    errno = 0;
    EXPECT_EQ(drv.open("/dev/OrvelPCIDevice2"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(drv.open("/dev/OrvelPCIDevice10"), nullptr);

    SimHost host(drv, 0);
    ASSERT_NE(host.regs, nullptr);
    // Counts 2, 0, 3; unit 2's option bit; version in bits 12-23.
    EXPECT_EQ(host.regs->read(2), 0xABC000u | 0x2u | (0x3u << 8) | (1u << 11));
    EXPECT_EQ(drv.card(0)->channelCount(), 5);
    EXPECT_EQ(drv.card(1)->channelCount(), 18);
}

TEST(SimCard, ControlCodesCheckTheirRecords) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    uint8_t small[4];
    EXPECT_EQ(host.handle->ioctl(driver::IOCTL_GET_REGISTERS, nullptr, 0, small, sizeof small), -1);
    EXPECT_EQ(host.handle->ioctl(driver::IOCTL_START, small, sizeof small, nullptr, 0), -1);
    EXPECT_EQ(host.handle->ioctl(0x222099, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(host.streamSwitch(6, 1), -1);
    EXPECT_EQ(host.streamSwitch(0, 2), -1);
    EXPECT_EQ(host.streamSwitch(17, 1, 1), 0);
    EXPECT_EQ(host.streamSwitch(18, 1, 1), -1);
}

TEST(SimCard, NothingFlowsUntilStartedProgrammedAndSwitchedOn) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.step(800);
    EXPECT_EQ(host.dataFrames[0], 0u);
    ASSERT_EQ(host.start(), 0);
    host.step(800);
    EXPECT_EQ(host.dataFrames[0], 0u) << "codec not programmed, stream off";
    ASSERT_TRUE(host.programCodec(0));
    host.step(800);
    EXPECT_EQ(host.dataFrames[0], 0u) << "stream still off";
    host.streamSwitch(0, 1);
    host.step(800);
    EXPECT_EQ(host.dataFrames[0], 800u);
    EXPECT_EQ(host.garbage, 0u);
}

TEST(SimCard, OneDataFramePerUnitPerSampleAndNoneForEmptyUnits) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    host.step(8000);
    EXPECT_EQ(host.dataFrames[0], 8000u);
    EXPECT_EQ(host.dataFrames[1], 0u);
    EXPECT_EQ(host.dataFrames[2], 8000u);
    EXPECT_EQ(host.garbage, 0u);
    // Slots of absent channels carry 0; present ones carry line noise.
    EXPECT_GT(rms(host.samples[12].data(), 8000), 1.0);
    EXPECT_EQ(rms(host.samples[15].data(), 8000), 0.0);
    EXPECT_TRUE(host.rx.wait(0) == driver::DeviceEvent::Signalled);
}

// At its moment a card that stops answering sends nothing more and takes
// no command, while one that vanishes fails every operation.
TEST(SimCard, CardFailsAtItsMomentSilentlyOrByVanishing) {
    for (CardFailure mode : {CardFailure::Silent, CardFailure::Vanish}) {
        SimConfig c = twoBoards();
        c.boards[0].failAt = 1.0;
        c.boards[0].failure = mode;
        SimDriver drv(c, SimDriver::Clock::Manual);
        SimHost host(drv, 0);
        host.bringUp();
        host.step(7000);
        EXPECT_EQ(host.dataFrames[0], 7000u);
        host.step(8000);
        // Input up to the moment only; a vanished card's last bytes are lost
        // with it.
        const uint64_t atFailure = host.dataFrames[0];
        EXPECT_EQ(atFailure, mode == CardFailure::Silent ? 8000u : 7000u);
        host.step(8000);
        EXPECT_EQ(host.dataFrames[0], atFailure) << "nothing after it";
        uint8_t buffer[64];
        const int16_t frame[32] = {};
        errno = 0;
        if (mode == CardFailure::Vanish) {
            EXPECT_EQ(host.handle->read(buffer, sizeof buffer), -1);
            EXPECT_EQ(errno, ENODEV);
            EXPECT_EQ(host.handle->write(frame, sizeof frame), -1);
            EXPECT_EQ(host.regs->read(2), 0xFFFFFFFFu);
            EXPECT_EQ(host.streamSwitch(0, 1), -1);
        } else {
            EXPECT_EQ(host.handle->read(buffer, sizeof buffer), 0);
            EXPECT_EQ(host.handle->write(frame, sizeof frame), 0) << "output no longer taken";
            EXPECT_NE(host.regs->read(2), 0xFFFFFFFFu);
        }
        // The other card goes on.
        SimHost other(drv, 1);
        other.bringUp();
        other.step(800);
        EXPECT_EQ(other.dataFrames[0], 800u);
    }
}

TEST(SimCard, CodecThatNeverFinishesKeepsTheBusyBit) {
    SimConfig c = twoBoards();
    c.boards[0].units[0].codecFailures = 2;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    EXPECT_FALSE(host.programCodec(0));
    EXPECT_FALSE(host.programCodec(0));
    EXPECT_TRUE(host.programCodec(0));
    EXPECT_TRUE(drv.card(0)->codecProgrammed(0));
}

TEST(SimCard, HungUnitShowsBusyAndTakesNoCommand) {
    SimConfig c = twoBoards();
    c.boards[0].units[2].hung = true;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    EXPECT_EQ(host.regs->read(1) & 0x70u, 0x40u);
    host.unitCommand(2, 0, 21, 0);
    host.step(400);
    EXPECT_TRUE(host.take(21).empty());
    EXPECT_TRUE(drv.card(0)->unitCommands(2).empty());
}

struct AnswerCase {
    const char* name;
    int unit, local, code, value;
    int answerCode, answerValue;
};

class UnitAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(UnitAnswers, AnswerWithinAFewMilliseconds) {
    const AnswerCase& k = GetParam();
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    host.unitCommand(k.unit, k.local, k.code, k.value);
    host.step(40);  // 5 ms
    auto got = host.take(k.answerCode);
    ASSERT_EQ(got.size(), 1u) << k.name;
    EXPECT_EQ(got[0].unit, k.unit);
    EXPECT_EQ(got[0].local, k.local);
    EXPECT_EQ(got[0].value, k.answerValue) << k.name;
}

INSTANTIATE_TEST_SUITE_P(Sim, UnitAnswers,
                         ::testing::Values(AnswerCase{"fail level", 0, 1, 1, 0, 1, 255},
                                           AnswerCase{"max ring pause", 2, 2, 7, 0, 7, 200},
                                           AnswerCase{"aon number", 2, 0, 11, 0, 11, 0},
                                           AnswerCase{"min activate", 0, 0, 28, 0, 28, 254},
                                           AnswerCase{"set activate", 0, 1, 4, 77, 4, 77},
                                           AnswerCase{"set min activate", 2, 2, 29, 9, 29, 9},
                                           AnswerCase{"polarity", 0, 0, 17, 1, 17, 1},
                                           AnswerCase{"serial", 0, 0, 18, 0, 18, 42},
                                           AnswerCase{"version", 0, 0, 21, 0, 21, 0x35},
                                           AnswerCase{"unknown code", 0, 0, 40, 0, 25, 40},
                                           AnswerCase{"absent channel", 2, 4, 3, 0, 25, 3}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& ch : n) {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return n;
                         });

TEST(SimCard, StuckParameterAnswersTheSameWrongValue) {
    SimConfig c = twoBoards();
    c.boards[0].units[0].stuck[0] = 77;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    for (int i = 0; i < 5; ++i) {
        host.unitCommand(0, 0, 2, 255);
    }
    host.step(80);
    auto got = host.take(2);
    ASSERT_EQ(got.size(), 5u);
    for (const auto& f : got) {
        EXPECT_EQ(f.value, 77);
    }
}

TEST(SimCard, VoltageReadingsAtTheConfiguredRateFollowTheHook) {
    SimConfig c = twoBoards();
    c.adcRate = 250;
    SimDriver drv(c, SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    for (int k = 0; k < 3; ++k) {
        host.unitCommand(2, k, 24, 1);
    }
    host.step(8000);
    auto readings = host.take(24);
    int line0 = 0, supply5 = 0, supply12 = 0;
    for (const auto& f : readings) {
        if (f.local == 0) {
            ++line0;
            EXPECT_NEAR(f.value, 96, 1);  // 48 V in half volts
        }
        supply5 += f.local == 6 && f.value == 128;
        supply12 += f.local == 7 && f.value == 213;
    }
    EXPECT_NEAR(line0, 250, 3);
    EXPECT_EQ(supply5, 1);
    EXPECT_EQ(supply12, 1);
    auto states = host.take(23);
    ASSERT_EQ(states.size(), 5u);  // one report per line: free
    for (const auto& f : states) {
        EXPECT_EQ(f.value, 0);
    }

    host.unitCommand(2, 0, 26, 1);  // off hook
    host.step(800);
    readings = host.take(24);
    int last0 = -1;
    for (const auto& f : readings) {
        last0 = f.local == 0 ? f.value : last0;
    }
    EXPECT_NEAR(last0, 16, 1);  // 8 V
    states = host.take(23);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].local, 0);
    EXPECT_EQ(states[0].value, 3);

    // A unit reset puts the line on hook; readings go on.
    host.unitCommand(2, 0, 26, 7);
    host.step(800);
    last0 = -1;
    for (const auto& f : host.take(24)) {
        last0 = f.local == 0 ? f.value : last0;
    }
    EXPECT_NEAR(last0, 96, 1);
    EXPECT_FALSE(drv.card(0)->lineOffHook(2));

    host.unitCommand(2, 0, 24, 0);
    host.step(800);
    for (const auto& f : host.take(24)) {
        EXPECT_NE(f.local, 0);
    }
}

TEST(SimCard, DefaultReadingRateIsAboutOneHundredPerLine) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 1);
    host.bringUp();
    for (int u = 0; u < 3; ++u) {
        for (int k = 0; k < 6; ++k) {
            host.unitCommand(u, k, 24, 1);
        }
    }
    host.step(16000);
    int perLine[3][6] = {};
    for (const auto& f : host.take(24)) {
        if (f.local < 6) {
            ++perLine[f.unit][f.local];
        }
    }
    for (auto& unit : perLine) {
        for (int n : unit) {
            EXPECT_NEAR(n, 200, 6);
        }
    }
}

TEST(SimCard, OutputIsTakenAtSixteenThousandFramesPerSecond) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    uint8_t frames[64 * 1000] = {};
    EXPECT_EQ(host.handle->write(frames, sizeof frames), 0) << "not started";
    host.bringUp();
    EXPECT_EQ(host.handle->write(frames, sizeof frames),
              static_cast<ssize_t>(64 * kOutputFifoFrames));
    EXPECT_EQ(host.handle->write(frames, 64), 0) << "full";
    host.step(100);  // 12.5 ms: 200 frames go out
    EXPECT_EQ(drv.card(0)->outputFramesPlayed(), 200u);
    EXPECT_EQ(host.handle->write(frames, sizeof frames), 64 * 200);
    host.step(1);
    EXPECT_EQ(host.handle->write(frames, 100), 64) << "whole frames only";
}

// A card whose computer is too late to feed it plays silence: a sound cut
// by that is noted in the line's record (a tone digit cut so reaches the
// exchange as two); silence after a sound's end is nothing to note.
TEST(SimCard, OutputRunningDryInASoundIsNoted) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 0);
    host.bringUp();
    auto cutNotes = [&](int channel) {
        int n = 0;
        for (const auto& e : drv.card(0)->record(channel).events) {
            n += e.text.find("output ran dry for") != std::string::npos;
        }
        return n;
    };
    std::vector<int16_t> sound(32 * kOutputFifoFrames, 0);
    for (size_t f = 0; f < kOutputFifoFrames; ++f) {
        sound[32 * f] = static_cast<int16_t>(f % 2 ? 3000 : -3000);  // slot 0: channel 0
    }
    std::vector<int16_t> ending = sound;  // the last 100 frames silent
    std::fill(ending.begin() + 32 * (kOutputFifoFrames - 100), ending.end(), 0);
    const auto bytes = static_cast<ssize_t>(sound.size() * sizeof(int16_t));
    auto write = [&](const std::vector<int16_t>& f) {
        return host.handle->write(f.data(), f.size() * sizeof(int16_t));
    };
    // A sound that ended before the card ran dry for 20 ms.
    ASSERT_EQ(write(ending), bytes);
    host.step(kOutputFifoFrames / 2 + 160);
    ASSERT_EQ(write(sound), bytes);
    host.step(10);
    EXPECT_EQ(cutNotes(0), 0);
    // The card runs dry for 20 ms in the middle of the sound.
    host.step(kOutputFifoFrames / 2 - 10 + 160);
    ASSERT_EQ(write(sound), bytes);
    host.step(10);
    EXPECT_EQ(cutNotes(0), 1);
    EXPECT_EQ(cutNotes(1), 0) << "nothing played there";
    const auto events = drv.card(0)->record(0).events;
    EXPECT_NE(events.back().text.find("for 20 ms"), std::string::npos) << events.back().text;
}

TEST(SimCard, ClosingTheStartingHandleStopsTheCard) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    {
        SimHost host(drv, 0);
        host.bringUp();
        EXPECT_TRUE(drv.card(0)->started());
        SimHost other(drv, 0);  // the device search opens and closes too
    }
    EXPECT_FALSE(drv.card(0)->started());
}

TEST(SimCard, HandleOutlivingTheDriverIsHarmless) {
    driver::DeviceEvent rx, tx;  // outlive the card's use of them
    std::unique_ptr<driver::DeviceHandle> handle;
    driver::RegisterBlock* regs = nullptr;
    {
        SimDriver drv(twoBoards(), SimDriver::Clock::RealTime);
        handle = drv.open("/dev/OrvelPCIDevice0");
        driver::RegistersInfo info;
        ASSERT_EQ(handle->ioctl(driver::IOCTL_GET_REGISTERS, nullptr, 0, &info, sizeof info), 0);
        regs = info.registers;
        driver::StartRecord start;
        start.receiveEvent = &rx;
        start.transmitEvent = &tx;
        ASSERT_EQ(handle->ioctl(driver::IOCTL_START, &start, sizeof start, nullptr, 0), 0);
    }
    uint8_t buf[64];
    EXPECT_EQ(handle->read(buf, sizeof buf), 0) << "stopped";
    regs->write(0, (26u << 8) | 1u);  // off hook: the line no longer reports anywhere
    regs->write(1, kRegUnitCommand);
    EXPECT_EQ(handle->write(buf, sizeof buf), 0);
    handle.reset();
}

TEST(SimCard, ClockThreadRunsAtTheConfiguredSpeed) {
    SimConfig c = twoBoards();
    c.speed = 50;
    SimDriver drv(c, SimDriver::Clock::RealTime);
    auto t0 = std::chrono::steady_clock::now();
    while (drv.card(0)->now() < 8000u * 5 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(drv.card(0)->now(), 8000u * 5) << "5 s of line time";
}

TEST(SimCard, SlowReaderLosesTheOldestBytesOnly) {
    SimDriver drv(twoBoards(), SimDriver::Clock::Manual);
    SimHost host(drv, 1);
    host.bringUp();
    drv.step(8000 * 20);  // 20 s unread: more than the card holds
    EXPECT_GT(drv.card(1)->inputBytesLost(), 0u);
    uint8_t buf[64];
    EXPECT_EQ(host.handle->read(buf, sizeof buf), 64);
}

}  // namespace
}  // namespace orvel::sim::test
