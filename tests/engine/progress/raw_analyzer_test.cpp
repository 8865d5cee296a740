// The signal-analysis task and a channel's analyzer: the analyzer states as
// the board's acknowledgements move them, what is analysed when, the events
// that reach the logic side, and the call's dumps.
#include <ace/Message_Block.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "../test_util.h"
#include "analysis/signal_analysis_task.h"
#include "dump_mask.h"
#include "line_signals.h"

namespace orvel {
namespace {

using testing::LineSignal;

// Stands for the logic task: keeps every block that reaches it.
class Downstream : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* = nullptr) override {
        EventRecord ev;
        if (readRecord(mb, ev)) {
            events.push_back(ev);
        } else {
            ++others;
        }
        releaseBlock(mb);
        return 0;
    }
    std::vector<EventRecord> events;
    int others = 0;
};

class AnalyzerTest : public ::testing::Test {
protected:
    void SetUp() override {
        task.next(&down);
        ASSERT_TRUE(task.AddDevice(0, 2));
        ASSERT_EQ(task.RegisterAnalyzer(at, &analyzer), nullptr);
        analyzer.setSampleRate(8000);
        ASSERT_EQ(analyzer.loadFuzzySystem(ORVEL_DATA_DIR "/orvel.fis"), 0);
    }
    void ack(uint32_t command, uint32_t type, uint32_t status = ACKS_OK) {
        task.put(makeAckBlock(at, type, status, command));
    }
    void voltage() {
        const unsigned char v = 120;
        task.put(makeReadBlock(at, &v, 1, READ_VOLTAGE));
    }
    void play(const LineSignal& s) {
        for (std::size_t f = 0; f < s.frames(); ++f) {
            task.put(makeReadBlock(at, s.frame(f), testing::kFrame * 2, READ_SAMPLES));
        }
    }
    void calibrate() {
        ack(CMD_SEND_LINE_ASSIGN, ACKT_EXECUTE);
        voltage();
        play(LineSignal().noise(2.0));
        ASSERT_EQ(analyzer.state(), CRawAnalyzer::kActive);
    }
    std::vector<uint32_t> lineStates() const {
        std::vector<uint32_t> out;
        for (const auto& e : down.events) {
            if (e.type == EV_CHANGE_LINE_STATE) {
                out.push_back(e.value);
            }
        }
        return out;
    }

    const Address at{0, 0, 1};
    Downstream down;
    CSignalAnalysisTask task;
    CRawAnalyzer analyzer;
};

TEST_F(AnalyzerTest, AssignmentVoltageAndTwoSecondsOfCalibration) {
    play(LineSignal().tone(0.5, 425));  // idle: nothing analysed
    EXPECT_EQ(analyzer.processing().frameCount(), 0u);
    ack(CMD_SEND_LINE_ASSIGN, ACKT_EXECUTE, ACKS_HARDWARE_ERR);  // error acks change nothing
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kIdle);
    ack(CMD_SEND_LINE_ASSIGN, ACKT_EXECUTE);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kAssigned);
    play(LineSignal().tone(0.5, 425));  // nothing until a voltage reading
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kAssigned);
    voltage();
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kCalibrating);
    // A dial-tone wait acknowledged while calibrating sets no filter mode.
    ack(CMD_WAIT_DIAL_TONE, ACKT_RECEIVE);
    EXPECT_EQ(analyzer.processing().filter().mode(), CLineStateFilter::kDialled);
    LineSignal loud;
    loud.tone(2.0 - 0.008, 425);  // 249 frames, even of tone: no events
    play(loud);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kCalibrating);
    EXPECT_TRUE(down.events.empty());
    play(LineSignal().noise(0.008));
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kActive);
    // Acknowledgements go on down; read records end here.
    EXPECT_EQ(down.others, 3);
}

TEST_F(AnalyzerTest, DialToneAndDigitReachTheCallAlgorithm) {
    calibrate();
    ack(CMD_WAIT_DIAL_TONE, ACKT_RECEIVE);
    EXPECT_EQ(analyzer.processing().filter().mode(), CLineStateFilter::kAwaitDialTone);
    play(LineSignal().tone(3.0, 425));
    EXPECT_EQ(lineStates(), (std::vector<uint32_t>{LS_DIAL_TONE}));
    ASSERT_EQ(down.events[0].address.channel, 1u);
    down.events.clear();
    play(LineSignal().noise(0.3).dtmf('9', 0.12).noise(0.3));
    std::vector<uint32_t> digits;
    for (const auto& e : down.events) {
        if (e.type == EV_DTMF_DETECT) {
            digits.push_back(e.value);
        }
    }
    // A key still held after a report is recognised afresh.
    ASSERT_FALSE(digits.empty());
    for (uint32_t d : digits) {
        EXPECT_EQ(d, static_cast<uint32_t>('9'));
    }
}

// A report comes when its sound ends (or has gone on for two seconds); it
// says how long ago that sound began, which the call algorithm needs to
// tell a busy begun before its beep from one begun after.
TEST_F(AnalyzerTest, LineStateReportsCarryHowLongAgoTheirSoundBegan) {
    calibrate();
    ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE);
    play(LineSignal().noise(1.0).tone(0.75, 400).noise(0.5));
    ASSERT_EQ(lineStates().size(), 1u);
    // 0.75 s of tone and the 24 ms of quiet that ended it, within a frame.
    EXPECT_NEAR(static_cast<double>(down.events[0].extra), 774, 10);
    down.events.clear();
    ack(CMD_WAIT_DIAL_TONE, ACKT_RECEIVE);
    play(LineSignal().noise(0.5).tone(3.0, 425));
    ASSERT_EQ(lineStates(), (std::vector<uint32_t>{LS_DIAL_TONE}));
    EXPECT_NEAR(static_cast<double>(down.events[0].extra), 2000, 10);
}

TEST_F(AnalyzerTest, PlayBandOnHookRecalibrationAndRelease) {
    // A play on an idle channel makes it active at once.
    ack(CMD_START_PLAY, ACKT_EXECUTE);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kActive);
    ack(CMD_START_PLAY, ACKT_RECEIVE);
    EXPECT_EQ(analyzer.processing().bandLow(), 300);
    EXPECT_EQ(analyzer.processing().bandHigh(), 500);
    EXPECT_FALSE(analyzer.processing().voiceDetector().enabled());
    ack(CMD_START_PLAY, ACKT_EXECUTE);
    EXPECT_EQ(analyzer.processing().bandHigh(), 0);
    EXPECT_TRUE(analyzer.processing().voiceDetector().enabled());
    ack(CMD_SEND_HANG_DOWN, ACKT_RECEIVE);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kCalibrating);
    ack(CMD_SEND_HANG_UP, ACKT_RECEIVE);  // seize during calibration: still calibrating
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kCalibrating);
    ack(CMD_SEND_LINE_FREE, ACKT_RECEIVE);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kIdle);
}

TEST_F(AnalyzerTest, MalformedAndForeignBlocks) {
    calibrate();
    const uint32_t frames = analyzer.processing().frameCount();
    auto* bad = new ACE_Message_Block(10, MB_READ);
    bad->wr_ptr(10);
    EXPECT_EQ(task.put(bad), 0);
    EXPECT_EQ(task.put(makeReadBlock(at, nullptr, 0, READ_SAMPLES)), 0);
    EXPECT_EQ(analyzer.processing().frameCount(), frames);
    // Another channel's traffic passes unanalysed.
    const int others = down.others;
    task.put(makeAckBlock(Address{0, 0, 0}, ACKT_RECEIVE, ACKS_OK, CMD_SEND_HANG_DOWN));
    task.put(makeAckBlock(Address{0, 7, 0}, ACKT_RECEIVE, ACKS_OK, CMD_SEND_HANG_DOWN));
    EXPECT_EQ(down.others, others + 2);
    EXPECT_EQ(analyzer.state(), CRawAnalyzer::kActive);
    EXPECT_EQ(task.put(nullptr), -1);
}

TEST_F(AnalyzerTest, CallDumpsFollowTheMask) {
    testing::TempDir dir;
    const std::string prefix = callPrefix(2024, 1, 31, 12, 5, 1, "123");
    analyzer.openDumps(dir.path(), prefix, DUMP_PD_STATE | DUMP_PD_WAV);
    auto files = testing::filesIn(dir.path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"20240131120501_123__PD_state.raw",
                                               "20240131120501_123__PD_wav.raw"}));
    calibrate();
    play(LineSignal().noise(0.08));
    EXPECT_EQ(std::filesystem::file_size(dir.file(files[1])), 260u * 128u);
    EXPECT_EQ(std::filesystem::file_size(dir.file(files[0])), 260u * 4u);

    // Every bit: seven files; no bit: none more, and the old ones closed.
    testing::TempDir all;
    analyzer.openDumps(all.path(), prefix, 0xFFFFFFFF);
    play(LineSignal().noise(0.08));
    EXPECT_EQ(testing::filesIn(all.path()).size(), 7u);
    testing::TempDir none;
    analyzer.openDumps(none.path(), prefix, 0);
    EXPECT_TRUE(testing::filesIn(none.path()).empty());
}

}  // namespace
}  // namespace orvel
