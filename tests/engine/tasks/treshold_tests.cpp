// The thresholds task in a small stream: a board above it that takes its
// commands, a recorder below. Queue limit, answers to its own commands, line
// events and unit line-state reports.
#include <gtest/gtest.h>

#include "board/k24_read_task.h"
#include "board/k24_treshold.h"
#include "task_harness.h"
#include "test_util.h"

namespace orvel::tasktest {
namespace {

class TresholdTest : public ::testing::Test {
protected:
    TresholdTest() {
        treshold = new CK24Treshold;
        ts.push("TresholdModule", treshold, new CPassThroughTask);
        board = new RecordingTask;
        board->answerCommands = true;
        ts.push("BoardModule", new CPassThroughTask, board);
        treshold->AddDevice(0, 5, nullptr);
        treshold->AddDevice(1, 18, nullptr);
        treshold->PrepareDevice(0);
        treshold->PrepareDevice(1);
    }
    void voltage(uint32_t d, uint32_t ch, uint8_t v, int count = 1) {
        for (int i = 0; i < count; ++i) {
            treshold->put(makeReadBlock({0, d, ch}, &v, 1, READ_VOLTAGE));
        }
    }
    void ack(uint32_t d, uint32_t ch, uint32_t type, uint32_t status, uint32_t cmd,
             uint32_t value = 0) {
        treshold->put(makeAckBlock({0, d, ch}, type, status, cmd, type == ACKT_EXECUTE, value));
    }
    std::vector<CommandRecord> sent() {
        return board->locked([&] { return board->commands; });
    }

    testing::TempDir dir;
    TestStream ts;
    CK24Treshold* treshold;
    RecordingTask* board;
};

TEST_F(TresholdTest, TheFirstVoltageAfterPreparingQueuesFourReadsPerLineAndDropsTheExcess) {
    LogCapture log(dir.file("log.txt"));
    voltage(1, 3, 100);
    auto cmds = sent();
    ASSERT_EQ(cmds.size(), 2u) << "one command in flight per board";
    EXPECT_EQ(cmds[0].address.device, 0u);
    EXPECT_EQ(cmds[0].code, 3u);
    EXPECT_EQ(cmds[1].address.device, 1u);
    EXPECT_EQ(treshold->queued(0), 5u * 4 - 1);
    EXPECT_EQ(treshold->queued(1), 51u);
    size_t tooLong = 0;
    for (const auto& t : log.texts()) {
        tooLong +=
            t.find("Wait to process command queue is too long. Size :51") != std::string::npos;
    }
    EXPECT_EQ(tooLong, 20u);
    EXPECT_EQ(ts.tail().locked([&] { return ts.tail().reads.size(); }), 1u)
        << "the reading goes on down";
    EXPECT_TRUE(ts.tail().locked([&] { return ts.tail().acks.empty(); }))
        << "answers to its own commands stop here";

    // An assignment's acknowledgement passes and starts it all over.
    ack(1, 2, ACKT_RECEIVE, ACKS_OK, CMD_SEND_LINE_ASSIGN);
    EXPECT_EQ(treshold->queued(1), 0u);
    EXPECT_TRUE(treshold->recalibrationPending());
    EXPECT_EQ(ts.tail().locked([&] { return ts.tail().acks.size(); }), 1u);
}

TEST_F(TresholdTest, OnlyTheAnswerToTheCurrentCommandLetsTheNextGo) {
    voltage(0, 0, 100);
    ASSERT_EQ(sent().size(), 2u);             // 3 on (0,0,0); and board 1's first
    ack(0, 1, ACKT_EXECUTE, ACKS_OK, 3, 40);  // another line
    ack(0, 0, ACKT_EXECUTE, ACKS_OK, 5, 40);  // another command
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_FALSE(treshold->idle(0));
    ack(0, 0, ACKT_EXECUTE, ACKS_OK, 3, 40);
    auto cmds = sent();
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[2].code, 1u) << "next read of line 0";
    EXPECT_EQ(treshold->withAnalysis(
                  [](const CStreesAnalyzer& a) { return a.record(0, 0)->activateLevel; }),
              40);
    ack(0, 0, ACKT_EXECUTE, kAckStatusTimeout, 1);
    ack(0, 0, ACKT_EXECUTE, ACKS_HARDWARE_ERR, 28);
    cmds = sent();
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_EQ(cmds[4].code, 5u);
    // The unit may answer a read with the set of the same parameter.
    ack(0, 0, ACKT_EXECUTE, ACKS_OK, 6, 90);
    EXPECT_EQ(sent().size(), 6u);
    EXPECT_EQ(sent().back().address.channel, 1u);
    // Dial digits are not this task's.
    ack(0, 1, ACKT_EXECUTE, ACKS_OK, CMD_SEND_TEL_NUM);
    EXPECT_EQ(ts.tail().locked([&] { return ts.tail().acks.size(); }), 1u);
}

TEST_F(TresholdTest, LearnedVoltagesReportTheLineAndSetTheThresholds) {
    voltage(0, 2, 100);  // starts the reads
    const size_t before = treshold->queued(0);
    voltage(0, 2, 100, 500);
    auto events = ts.tail().locked([&] { return ts.tail().events; });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, uint32_t(EV_LINE_READY));
    EXPECT_EQ(events[0].address.channel, 2u);
    EXPECT_EQ(treshold->queued(0), before + 4) << "set 29, 4, 6, 2";
    voltage(0, 2, 16, 501);
    events = ts.tail().locked([&] { return ts.tail().events; });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].type, uint32_t(EV_LINE_BUSY));

    // Idle 200: no usable ring level, nothing is sent to the unit.
    const size_t queued = treshold->queued(0);
    voltage(0, 3, 100, 501);
    EXPECT_EQ(treshold->queued(0), queued + 4) << "band levels while busy is unknown";
    voltage(0, 3, 200, 501);
    EXPECT_EQ(
        treshold->withAnalysis([](const CStreesAnalyzer& a) { return a.record(0, 3)->ringLevel; }),
        0);
    EXPECT_EQ(treshold->queued(0), queued + 4);
}

TEST_F(TresholdTest, UnitLineStatesAreKeptAndLoggedOnChange) {
    LogCapture log(dir.file("log.txt"));
    auto report = [&](uint32_t value) {
        treshold->put(makeEventBlock({0, 1, 4}, EV_SOGL_LINE_STATE, value));
    };
    report(0);
    report(0);
    report(1);
    report(1);
    EXPECT_EQ(log.count(" Device: 1 Channel: 4 Line free"), 1u);
    EXPECT_EQ(log.count(" Device: 1 Channel: 4 Ring"), 2u);
    EXPECT_EQ(
        treshold->withAnalysis([](const CStreesAnalyzer& a) { return a.unitLineState(1, 4); }), 1);
    EXPECT_TRUE(ts.tail().locked([&] { return ts.tail().events.empty(); }));
}

TEST_F(TresholdTest, SettersCheckTheLine) {
    uint32_t v = 9;
    EXPECT_EQ(treshold->setLineType(2, 0, 1), -1);
    EXPECT_EQ(treshold->setLineType(1, 17, 1), 0);
    EXPECT_EQ(treshold->getLineType(1, 17, v), 0);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(treshold->getLineDropMode(0, 4, v), 0);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(treshold->setLineDropMode(0, 5, 0), -1);
}

}  // namespace
}  // namespace orvel::tasktest
