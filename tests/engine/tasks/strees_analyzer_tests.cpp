// Line voltage analysis: stable values, learning of the idle and busy
// voltages, the decisions and the thresholds computed from them.
#include <gtest/gtest.h>

#include "board/strees_analyzer.h"

namespace orvel::tasktest {
namespace {

// Feeds `count` readings of `value`; the result of the last one.
int feed(CStreesAnalyzer& a, uint8_t value, int count, uint32_t device = 0, uint32_t ch = 0) {
    int result = -1;
    for (int i = 0; i < count; ++i) {
        result = a.process(device, ch, value);
    }
    return result;
}

class Analysis : public ::testing::Test {
protected:
    Analysis() {
        a.addDevice(2);
        a.addDevice(18);
    }
    const VoltageRecord& r(uint32_t d = 0, uint32_t ch = 0) { return *a.record(d, ch); }
    CStreesAnalyzer a;
};

TEST_F(Analysis, LearnsTheIdleThenTheBusyVoltage) {
    // The reference reading and 499 more are not yet a stable value.
    EXPECT_EQ(feed(a, 100, 500), -1);
    EXPECT_EQ(feed(a, 100, 1), CStreesAnalyzer::kReportStateAndThresholds);
    EXPECT_EQ(r().idleVoltage, 100);
    EXPECT_EQ(r().lineState, kVoltageReady);
    // Busy voltage still unknown: the band of 50 V.
    EXPECT_EQ(r().failLevel, 10);
    EXPECT_EQ(r().activateLevel, 38);
    EXPECT_EQ(r().minActivateLevel, 14);
    EXPECT_EQ(r().ringLevel, 110);
    EXPECT_EQ(feed(a, 100, 2000), -1) << "a stable run yields once";

    EXPECT_EQ(feed(a, 16, 501), CStreesAnalyzer::kReportStateAndThresholds);
    EXPECT_EQ(r().busyVoltage, 16);
    EXPECT_EQ(r().idleVoltage, 100);
    EXPECT_EQ(r().lineState, kVoltageBusy);
    EXPECT_EQ(r().ringLevel, 50);
    EXPECT_EQ(r().failLevel, 1);
    EXPECT_EQ(r().activateLevel, 58);
    EXPECT_EQ(r().minActivateLevel, 8);

    // Back on hook at the same voltage: the state changes, thresholds stay.
    EXPECT_EQ(feed(a, 104, 501), CStreesAnalyzer::kReportStateAndThresholds);
    EXPECT_EQ(feed(a, 120, 501), CStreesAnalyzer::kSendThresholds) << "still ready";
    EXPECT_EQ(r().idleVoltage, 120) << "a higher idle voltage moves the busy one up";
    EXPECT_EQ(r().busyVoltage, 100);
}

TEST_F(Analysis, FailLevelIsATenthOfTheBusyVoltageAsTheUnitsExpectIt) {
    VoltageRecord rec;
    rec.idleVoltage = 100;
    for (auto [busy, fail] : {std::pair{16, 1}, {20, 1}, {25, 2}, {30, 2}, {31, 3}}) {
        rec.busyVoltage = busy;
        EXPECT_EQ(CStreesAnalyzer::computeLevels(rec), 0);
        EXPECT_EQ(rec.failLevel, fail) << busy;
    }
    for (int idle : {199, 200, 230}) {
        rec.idleVoltage = idle;
        CStreesAnalyzer::computeLevels(rec);
        EXPECT_EQ(rec.ringLevel, 0) << idle;
    }
    rec.busyVoltage = -1;
    for (auto [reading, nominal] : {std::pair{38, 24}, {56, 30}, {100, 48}, {36, 60}, {120, 60}}) {
        rec.lastReading = reading;
        EXPECT_EQ(CStreesAnalyzer::computeLevels(rec), nominal) << reading;
    }
    rec.idleVoltage = -1;
    EXPECT_EQ(CStreesAnalyzer::computeLevels(rec), -1);
}

TEST_F(Analysis, LineDropAndFixedBands) {
    // Drop mode is on for every new line: 3 or less is a dropped line.
    EXPECT_EQ(feed(a, 3, 501), CStreesAnalyzer::kReportState);
    EXPECT_EQ(r().lineState, kVoltageDrop);
    ASSERT_EQ(a.setLineDropMode(0, 1, 0), 0);
    feed(a, 3, 501, 0, 1);
    EXPECT_EQ(r(0, 1).lineState, kVoltageBusy);
    EXPECT_EQ(r(0, 1).busyVoltage, 3);

    ASSERT_EQ(a.setLineType(1, 5, 1), 0);
    feed(a, 12, 501, 1, 5);
    EXPECT_EQ(r(1, 5).lineState, kVoltageReady);
    EXPECT_EQ(r(1, 5).idleVoltage, 12);
    for (uint8_t v : {18, 19}) {
        feed(a, 40, 10, 1, 5);  // leaves the window without a stable value
        feed(a, v, 501, 1, 5);
        EXPECT_EQ(r(1, 5).lineState, kVoltageBusy) << int(v);
        EXPECT_EQ(r(1, 5).idleVoltage, 12);
        EXPECT_EQ(r(1, 5).busyVoltage, -1);
    }
    feed(a, 2, 501, 1, 5);
    EXPECT_EQ(r(1, 5).lineState, kVoltageDrop) << "in the fixed bands too";

    // A reset forgets the voltages, not the settings.
    a.reset();
    int32_t type = 0, drop = 0;
    a.getLineType(1, 5, type);
    a.getLineDropMode(0, 1, drop);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(drop, 0);
    EXPECT_EQ(r(1, 5).idleVoltage, -1);
    EXPECT_EQ(r(1, 5).lineState, -1);
}

TEST_F(Analysis, ReadingsThatNeverSettleGiveNothingUntilLearningEnds) {
    int last = -1;
    for (int i = 0; i < 4999; ++i) {
        last = a.process(1, 17, i % 2 == 0 ? 100 : 110);
        ASSERT_EQ(last, -1) << i;
    }
    EXPECT_EQ(a.mode(), CStreesAnalyzer::kLearning);
    EXPECT_EQ(a.process(1, 17, 100), CStreesAnalyzer::kReportState);
    EXPECT_EQ(r(1, 17).lineState, kVoltageBusy) << "an unknown line ends learning as busy";
    EXPECT_EQ(a.mode(), CStreesAnalyzer::kNormal);
    EXPECT_EQ(r(0, 0).lineState, -1) << "others stay unknown";
    a.reset();
    EXPECT_EQ(a.mode(), CStreesAnalyzer::kLearning);
}

TEST_F(Analysis, UnknownLinesAreRefused) {
    EXPECT_EQ(a.process(2, 0, 100), -1);
    EXPECT_EQ(a.process(0, 2, 100), -1);
    EXPECT_EQ(a.setLineType(0, 2, 1), -1);
    int32_t v = 0;
    EXPECT_EQ(a.getLineDropMode(5, 0, v), -1);
    EXPECT_EQ(a.lineState(0, 9), -1);
}

}  // namespace
}  // namespace orvel::tasktest
