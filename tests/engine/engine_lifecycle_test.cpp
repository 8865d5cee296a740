#include <ace/Module.h>
#include <gtest/gtest.h>

#include <regex>

#include "board/driver_host.h"
#include "call/logic_processing.h"
#include "dump_mask.h"
#include "engine.h"
#include "fake_driver.h"
#include "line_settings.h"
#include "orvel.h"
#include "test_util.h"

namespace orvel {
namespace {

using testing::configWord;
using testing::FakeDriver;
using testing::TempDir;
using testing::waitFor;

class RecordingAlgorithm : public CProcessingAlgorithm {
public:
    int Start() override { return 0; }
    int Stop() override { return 0; }
    uint32_t GetState() const override { return 0; }
    int DoAlgorithm(const ACE_Message_Block* mb) override {
        AckRecord ack;
        if (readRecord(mb, ack)) {
            std::lock_guard<std::mutex> lock(mutex);
            acks.push_back(ack);
        }
        return 0;
    }
    int CheckTimeOut(const ACE_Time_Value&, const void*) override { return 0; }
    std::vector<AckRecord> received() {
        std::lock_guard<std::mutex> lock(mutex);
        return acks;
    }
    std::mutex mutex;
    std::vector<AckRecord> acks;
};

class EngineTest : public ::testing::Test {
protected:
    // The engine builds the rule base at start, so it has to be a real one.
    void SetUp() override { dir.write("orvel.fis", kRuleBase); }
    static constexpr const char* kRuleBase =
        "[System]\nName='t'\nType='mamdani'\nNumInputs=2\nNumOutputs=1\nNumRules=1\n"
        "AndMethod='min'\nOrMethod='max'\nImpMethod='min'\nAggMethod='max'\n"
        "DefuzzMethod='centroid'\n\n[Input1]\nName='a'\nRange=[0 3]\nNumMFs=1\n"
        "MF1='x':'trimf',[0 1 3]\n\n[Input2]\nName='b'\nRange=[0 20]\nNumMFs=1\n"
        "MF1='x':'trimf',[0 1 20]\n\n[Output1]\nName='c'\nRange=[0 1]\nNumMFs=1\n"
        "MF1='x':'trimf',[0 0.5 1]\n\n[Rules]\n1 1, 1 (1) : 1\n";
    void TearDown() override {
        ShutdownDll();
        driver::DriverHost::setOverride(nullptr);
        DumpMask::instance().set(0);
    }
    void useBoards(std::vector<uint32_t> configs) {
        fake = std::make_shared<FakeDriver>(std::move(configs));
        driver::DriverHost::setOverride(fake);
    }
    std::vector<std::string> moduleNames() {
        std::vector<std::string> names;
        Stream* stream = COrvelEngine::instance().stream();
        if (stream == nullptr) {
            return names;
        }
        ACE_Stream_Iterator<ACE_MT_SYNCH> it(*stream);
        for (const Module* m = nullptr; it.next(m) != 0; it.advance()) {
            names.push_back(m->name());
        }
        return names;
    }
    TempDir dir;
    std::shared_ptr<FakeDriver> fake;
};

TEST_F(EngineTest, NoBoardsEndsInStateSixWithoutThreads) {
    int before = testing::threadCount();
    EXPECT_EQ(InitDll(dir.path().c_str()), 0);
    uint32_t record[ORVEL_PROGRAM_STATE_WORDS] = {};
    GetProgrammState(record);
    EXPECT_EQ(record[0], 0u);
    EXPECT_EQ(record[1], uint32_t(ORVEL_STATE_NO_BOARD));
    EXPECT_EQ(testing::threadCount(), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("dump")));
}

TEST_F(EngineTest, FisNameIsFoundWhateverItsCase) {
    TempDir other;
    other.write("ORVEL.FIS", "[System]\n");
    EXPECT_EQ(InitDll(other.path().c_str()), 0);
    EXPECT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_NO_BOARD));
}

TEST_F(EngineTest, TheSitesTonePlanBringsItsRuleBase) {
    // "gb" needs orvel_gb.fis: without it the engine does not start.
    dir.write("orvelline.ini", "[Line]\nTonePlan=GB\n");
    EXPECT_EQ(InitDll(dir.path().c_str()), -1);
    dir.write("orvel_gb.fis", kRuleBase);
    EXPECT_EQ(InitDll(dir.path().c_str()), 0);
    EXPECT_STREQ(readLineSettings(dir.file("orvelline.ini")).tonePlan->ruleBase, "orvel_gb.fis");
    // Canada shares the United States' rule base; India has its own.
    dir.write("orvelline.ini", "[Line]\nTonePlan=ca\n");
    EXPECT_STREQ(readLineSettings(dir.file("orvelline.ini")).tonePlan->ruleBase, "orvel_us.fis");
    EXPECT_EQ(readLineSettings(dir.file("orvelline.ini")).tonePlan->bandHighHz, 650);
    dir.write("orvelline.ini", "[Line]\nTonePlan=in\n");
    EXPECT_EQ(InitDll(dir.path().c_str()), -1);
    EXPECT_STREQ(readLineSettings(dir.file("orvelline.ini")).tonePlan->ruleBase, "orvel_in.fis");
    // An unknown plan keeps the default one.
    dir.write("orvelline.ini", "[Line]\nTonePlan=xx\n");
    EXPECT_STREQ(readLineSettings(dir.file("orvelline.ini")).tonePlan->code, "default");
    EXPECT_STREQ(readLineSettings("").tonePlan->ruleBase, "orvel.fis");
}

TEST_F(EngineTest, TwoBoardsBuildTheStreamInOrderAndReportTheirUnits) {
    useBoards({configWord(2, 0, 3, 0x512), configWord(6, 6, 7)});
    int before = testing::threadCount();
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    EXPECT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_INITIALISED));
    EXPECT_EQ(moduleNames(), (std::vector<std::string>{
                                 "ACE_Stream_Head", "DeviceModule1", "DeviceModule0",
                                 "WaveOutModule", "TresholdModule", "DspModule", "LogicModule"}));
    // Reactor, logic, and two threads per board.
    EXPECT_EQ(testing::threadCount(), before + 6);

    uint32_t record[ORVEL_PROGRAM_STATE_WORDS] = {};
    GetProgrammState(record);
    EXPECT_EQ(record[0], 2u);
    EXPECT_EQ(record[2], 0x12u | (0x5u << 16));  // bits 12-19 low, 20-23 high
    EXPECT_EQ(record[3], 5u);
    EXPECT_EQ(record[4], 2u);
    EXPECT_EQ(record[2 + 21 + 1], 18u);  // a count of 7 is taken as 6
    EXPECT_EQ(record[2 + 21 + 2], 3u);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("dump/Device1/Channel17")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("dump/Device0/Channel4")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("dump/Device0/Channel5")));

    EXPECT_EQ(ShutdownDll(), 0);
    EXPECT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_STOPPED));
    EXPECT_TRUE(testing::threadsBackTo(before))
        << testing::threadCount() << " threads, " << before << " before";
}

TEST_F(EngineTest, InitShutdownAndInitAgainInOneProcess) {
    useBoards({configWord(6, 0, 0)});
    int before = testing::threadCount();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(InitDll(dir.path().c_str()), 0);
        EXPECT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_INITIALISED));
        // A second InitDll starts over instead of doubling boards and threads.
        ASSERT_EQ(InitDll(dir.path().c_str()), 0);
        EXPECT_EQ(testing::threadCount(), before + 4);
        EXPECT_EQ(ShutdownDll(), 0);
        EXPECT_TRUE(testing::threadsBackTo(before))
            << testing::threadCount() << " threads, " << before << " before";
    }
}

TEST_F(EngineTest, CommandsTravelUpToTheirBoardAndAnswersComeDown) {
    useBoards({configWord(2, 0, 0), configWord(2, 0, 0)});
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    auto* logic = dynamic_cast<OrvelLogicProcessing*>(
        COrvelEngine::instance().stream()->find("LogicModule")->writer());
    ASSERT_NE(logic, nullptr);
    RecordingAlgorithm onBoard1, onMissingBoard;
    logic->RegisterAlgorithm({0, 1, 1}, &onBoard1);
    logic->AddDevice(7, 1);
    logic->RegisterAlgorithm({0, 7, 0}, &onMissingBoard);

    // Board 1's command passes board 0's transmit task and is answered by
    // board 1's; a command for a board that does not exist is answered by
    // the top board.
    logic->SendCommand(makeCommandBlock({0, 1, 1}, CMD_SEND_HANG_UP));
    logic->SendCommand(makeCommandBlock({0, 7, 0}, CMD_SEND_HANG_UP));
    // (Replacing the channel's own algorithm may have sent its own command too.)
    auto answered = [&] {
        for (const AckRecord& ack : onBoard1.received()) {
            if (ack.command == CMD_SEND_HANG_UP && ack.address.device == 1) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(waitFor(answered));
    ASSERT_TRUE(waitFor([&] { return !onMissingBoard.received().empty(); }));
    EXPECT_EQ(onMissingBoard.received()[0].status, uint32_t(ACKS_INVALID_ADDR));
    EXPECT_EQ(onMissingBoard.received()[0].type, uint32_t(ACKT_RECEIVE));
    EXPECT_EQ(onMissingBoard.received()[0].command, 0u);
    logic->RegisterAlgorithm({0, 1, 1}, nullptr);
    logic->RegisterAlgorithm({0, 7, 0}, nullptr);
}

TEST_F(EngineTest, LineStateArrayIsNeverWrittenPastItsEnd) {
    useBoards({configWord(6, 6, 6), configWord(6, 6, 6), configWord(6, 6, 6), configWord(6, 6, 6)});
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    std::vector<uint32_t> words(ORVEL_LINE_STATE_WORDS + 16, 0xDEADBEEF);
    ASSERT_EQ(GetLineState(words.data()), 0);
    EXPECT_EQ(words[0], uint32_t(ORVEL_STATE_INITIALISED));
    EXPECT_EQ(words[1], 0u);         // device 0 channel 0: stopped
    EXPECT_EQ(words[37], 15u);       // last result: not notified
    EXPECT_EQ(words[109 + 35], 0u);  // device 2 channel 11
    for (size_t i = 73; i <= 108; ++i) {
        EXPECT_EQ(words[i], 0xDEADBEEF) << i;
    }
    for (size_t i = ORVEL_LINE_STATE_WORDS; i < words.size(); ++i) {
        EXPECT_EQ(words[i], 0xDEADBEEF) << i;
    }
}

TEST_F(EngineTest, FullLineStateReportCoversTenBoardsOfEighteenChannels) {
    // Board 0 has five channels (units 2+0+3), the nine others eighteen.
    std::vector<uint32_t> configs(ORVEL_MAX_DEVICES, configWord(6, 6, 6));
    configs[0] = configWord(2, 0, 3);
    useBoards(configs);
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    const uint32_t needed = ORVEL_LINE_STATES_WORDS(ORVEL_MAX_DEVICES);
    EXPECT_EQ(needed, 2u + 3u * 18u * 10u);
    EXPECT_EQ(GetLineStateEx(nullptr, 0), int32_t(needed));
    EXPECT_EQ(GetLineStateEx(nullptr, 5), -1);

    std::vector<uint32_t> words(needed + 16, 0xDEADBEEF);
    ASSERT_EQ(GetLineStateEx(words.data(), needed), int32_t(needed));
    EXPECT_EQ(words[0], uint32_t(ORVEL_STATE_INITIALISED));
    EXPECT_EQ(words[1], 10u);
    // Every channel a board has: stopped, no result yet (not notified), no AON.
    for (uint32_t d = 0; d < 10; ++d) {
        for (uint32_t k = 0; k < 18; ++k) {
            const uint32_t* slot = words.data() + ORVEL_LINE_SLOT(d, k);
            const bool exists = d > 0 || k < 5;
            EXPECT_EQ(slot[0], 0u) << d << "/" << k;
            EXPECT_EQ(slot[1], exists ? 15u : 0u) << d << "/" << k;
            EXPECT_EQ(slot[2], 0u) << d << "/" << k;
        }
    }
    EXPECT_EQ(ORVEL_LINE_SLOT(9, 17) + 3, needed);  // the last slot ends the report
    for (size_t i = needed; i < words.size(); ++i) {
        EXPECT_EQ(words[i], 0xDEADBEEF) << i;
    }

    // A short buffer gets the report's first words and nothing beyond.
    std::vector<uint32_t> few(12, 0xDEADBEEF);
    EXPECT_EQ(GetLineStateEx(few.data(), 7), int32_t(needed));
    EXPECT_EQ(few[0], uint32_t(ORVEL_STATE_INITIALISED));
    EXPECT_EQ(few[1], 10u);
    EXPECT_EQ(few[ORVEL_LINE_SLOT(0, 1) + 1], 15u);  // word 6: channel 1's result
    for (size_t i = 7; i < few.size(); ++i) {
        EXPECT_EQ(few[i], 0xDEADBEEF) << i;
    }
}

TEST_F(EngineTest, PerLineCallsCheckDeviceAndChannel) {
    useBoards({configWord(2, 0, 3)});
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    EXPECT_EQ(AssignLine(0, 5), -1);
    EXPECT_EQ(AssignLine(1, 0), -1);
    EXPECT_EQ(FreeLine(0, 5), -1);
    EXPECT_EQ(FreeAllLine(0), -1);  // -1 even when every line was freed
    EXPECT_EQ(SetDtmfLevel(0, 4, 5), 0);
    EXPECT_EQ(SetDtmfLevel(0, 4, 6), -1);
    uint32_t level = 0;
    EXPECT_EQ(GetDtmfLevel(0, 4, &level), 0);
    EXPECT_EQ(level, 5u);
    EXPECT_EQ(SetSensLevel(0, 0, 8), -1);
    EXPECT_EQ(setLineType(0, 4, 2), 0);
    uint32_t type = 0;
    EXPECT_EQ(getLineType(0, 4, &type), 0);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(setLineDropMode(0, 5, 1), -1);
    EXPECT_EQ(getLineDropMode(0, 4, nullptr), -1);

    CallTimeParams in{11, 4, 30, 2, 20, 99, 5, 77};
    SetTimeParam(0, 1, &in);
    CallTimeParams out{};
    out.ConfirmPause = -1;
    out.DTMFAmplitude = -2;
    GetTimeParam(0, 1, &out);
    EXPECT_EQ(out.DialTonePause, 11);
    EXPECT_EQ(out.RedialPause, 4);
    EXPECT_EQ(out.KpwWait, 30);
    EXPECT_EQ(out.BusyTime, 2);
    EXPECT_EQ(out.NoToneTime, 20);
    EXPECT_EQ(out.MessagesCount, 5);
    EXPECT_EQ(out.ConfirmPause, -1);  // words 5 and 7 are neither read nor written
    EXPECT_EQ(out.DTMFAmplitude, -2);
    EXPECT_EQ(CallAbonent(0, 1, "", 1, 1, 2, 3), -1);
    EXPECT_EQ(LoadSoundFile("/nonexistent.wav", 1), -1);
}

TEST_F(EngineTest, CallOpensTheSelectedDumpsOfItsChannel) {
    useBoards({configWord(2, 0, 0)});
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    setDumpMask(0x03);
    CallAbonent(0, 1, "123", 1, 1, 2, 3);
    auto names = testing::filesIn(dir.file("dump/Device0/Channel1"));
    ASSERT_EQ(names.size(), 2u);
    std::regex pattern(R"(\d{14}_123__PD_(state|wav)\.raw)");
    for (const auto& n : names) {
        EXPECT_TRUE(std::regex_match(n, pattern)) << n;
    }
    EXPECT_TRUE(testing::filesIn(dir.file("dump/Device0/Channel0")).empty());
}

}  // namespace
}  // namespace orvel

namespace orvel {
namespace {

TEST_F(EngineTest, ListeningStartsTheSoundOutputOnlyWhenAskedAndShutdownEndsIt) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    useBoards({configWord(2, 0, 0)});
    int before = testing::threadCount();
    ASSERT_EQ(InitDll(dir.path().c_str()), 0);
    const int running = testing::threadCount();
    EXPECT_EQ(running, before + 4);  // reactor, logic, the board's two: no audio yet
    EXPECT_EQ(ListenLine(0, 5, 1), -1);
    EXPECT_EQ(ListenLine(0, 1, 1), 0);
    EXPECT_EQ(ListenLine(0, 1, 0), 0);
    EXPECT_EQ(ListenLine(0, 0, 1), 0);
    EXPECT_EQ(FreeLine(0, 0), 0);  // also switches listening off
    EXPECT_EQ(ShutdownDll(), 0);
    EXPECT_TRUE(testing::threadsBackTo(before));
}

}  // namespace
}  // namespace orvel

namespace orvel {
namespace {

TEST_F(EngineTest, ABoardThatCannotStartEndsTheBuildCleanly) {
    useBoards({configWord(2, 0, 0), configWord(6, 0, 0)});
    fake->failStart();
    int before = testing::threadCount();
    EXPECT_EQ(InitDll(dir.path().c_str()), 0);
    EXPECT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_NOT_INITIALISED));
    EXPECT_EQ(COrvelEngine::instance().stream(), nullptr);
    EXPECT_EQ(AssignLine(0, 0), -1);
    EXPECT_EQ(ShutdownDll(), 0);
    EXPECT_TRUE(testing::threadsBackTo(before))
        << testing::threadCount() << " threads, " << before << " before";
}

}  // namespace
}  // namespace orvel
