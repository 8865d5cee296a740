// What "OK" of the parameters dialog does to the lines and the line library:
// the line grid, the timing frames, the switches, and lines switched on or
// off while a run is going, over the scripted library.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/texts.h"
#include "data/user_list.h"
#include "notify/advanced_params.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/run_clock.h"
#include "recording_library.h"
#include "test_support.h"

namespace orvel::test {
namespace {

class LineParams : public ::testing::Test {
protected:
    LineParams()
        : lib({4, 8}),
          clock(QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0))),
          run(lib, lines, users, clock),
          params(settings, options, dirs, lib, lines) {}

    void SetUp() override {
        resetTexts();
        settings.setPath(dir.path() + "/ORVEL.ini");
        ASSERT_TRUE(writeAll(settings.path(), ""));
        ASSERT_TRUE(users.open(dir.path(), 0));
        lib.clock = [this] { return clock.now().toMSecsSinceEpoch(); };
        ProgramStateRecord r;
        lib.GetProgrammState(r);
        lines.Create(r);
        lines.loadSettings(settings);
        params.setLibraryLogPath(dir.path() + "/OrvelDll.log");
        params.setRun(&run, [this] { return inProgress; });
    }
    QString ini() const { return QString::fromLocal8Bit(readAll(settings.path())); }
    bool iniHas(const QString& line) const { return readAll(settings.path()).contains(cp(line)); }

    QTemporaryDir dir;
    RecordingLibrary lib;
    TManualClock clock;
    TUserList users;
    TORVLines lines;
    TNotifyRun run;
    SettingsManager settings;
    ProgramOptions options;
    ProgramDirs dirs;
    TAdvancedParams params;
    bool inProgress = false;
};

// --- line grid -------------------------------------------------------------

TEST_F(LineParams, GridCellsShowTheirTextsAndReadBack) {
    TORVELLine& l = *lines.Items(0);
    l.Prefix1 = 9;
    l.Prefix1WaitDialTone = 0;
    const TLineGridRow row = lineGridRow(l);
    EXPECT_EQ(lineGridCellText(row, kGridUse), "Использовать");
    EXPECT_EQ(lineGridCellText(row, kGridDialMode), "Тоновый");
    EXPECT_EQ(lineGridCellText(row, kGridWaitDialTone), "Не ждать");
    EXPECT_EQ(lineGridCellText(row, kGridDropMode), "Нет");
    EXPECT_EQ(lineGridCellText(row, kGridPrefix1), "9");
    EXPECT_EQ(lineGridCellText(row, kGridPrefix1Wait), "Не ждать");
    EXPECT_EQ(lineGridCellText(row, kGridPrefix2), "");
    EXPECT_EQ(lineGridCellText(row, kGridPrefix2Wait), "");  // no prefix, no flag
    EXPECT_EQ(lineGridHeader(kGridPrefix3Wait), "Ждать сигнала в линии после префикса 3");
    EXPECT_EQ(lineGridCellValue(kGridUse, "Не использовать", 1), 0);
    EXPECT_EQ(lineGridCellValue(kGridDialMode, "Импульсный", 1), 0);
    EXPECT_EQ(lineGridCellValue(kGridDropMode, "Да", 1), 0);
    EXPECT_EQ(lineGridCellValue(kGridPrefix1, "810", -1), 810);
    EXPECT_EQ(lineGridCellValue(kGridPrefix1, "8a", 5), -1);  // letters: no prefix
    EXPECT_EQ(lineGridCellValue(kGridPrefix1, "", 5), -1);
    EXPECT_EQ(lineGridCellValue(kGridPrefix1Wait, "", 1), 1);  // kept, not lost
}

TEST_F(LineParams, GridReachesLinesSettingsFileAndDropModeOfEveryLine) {
    auto rows = params.gridRows();
    ASSERT_EQ(rows.size(), 12u);  // every line of both boards, not a fixed number
    rows[5][kGridDialMode] = 0;
    rows[5][kGridPrefix2] = 0;
    rows[5][kGridPrefix2Wait] = 0;
    rows[11][kGridDropMode] = 0;
    params.applyGrid(rows);
    EXPECT_EQ(lines.Items(5)->DialMode, 0);
    EXPECT_EQ(AddPrefixes("#2555", *lines.Items(5)), "0555");
    EXPECT_TRUE(iniHas("SID_DIAL_MODE_5=0"));
    EXPECT_TRUE(iniHas("SID_LINE_PREFIX2_5=0"));
    EXPECT_TRUE(iniHas("SID_LINE_PREFIX2_WAIT_DIAL_TONE_5=0"));
    EXPECT_TRUE(iniHas("SID_LINE_LINE_DROP_MODE_11=0"));
    EXPECT_FALSE(iniHas("SID_DIAL_MODE_4="));  // unchanged values are not rewritten
    ASSERT_EQ(lib.dropModes.size(), 12u);
    EXPECT_EQ(lib.dropModes[11].board, 1u);
    EXPECT_EQ(lib.dropModes[11].channel, 7u);
    EXPECT_EQ(lib.dropModes[11].value, 0u);
    // Read back by a new program: the same values.
    TORVLines again;
    ProgramStateRecord r;
    lib.GetProgrammState(r);
    again.Create(r);
    again.loadSettings(settings);
    EXPECT_EQ(again.Items(5)->DialMode, 0);
    EXPECT_EQ(again.Items(11)->DropMode, 0);
}

// --- timing frames --------------------------------------------------------

TEST_F(LineParams, OnlyLinesWhoseTimingChangedGetTheirTimingAndDtmfLevel) {
    auto frames = params.signalFrames();
    ASSERT_EQ(frames.size(), 12u);
    frames[6].params.KpwWait = 45;
    frames[6].params.DTMFAmplitude = 4;
    frames[2].quant = true;
    params.applySignalFrames(frames);
    ASSERT_EQ(lib.timeParams.size(), 1u);
    EXPECT_EQ(lib.timeParams[0].first, (std::array<uint32_t, 2>{1, 2}));
    EXPECT_EQ(lib.timeParams[0].second.KpwWait, 45);
    ASSERT_EQ(lib.dtmfLevels.size(), 1u);
    EXPECT_EQ(lib.dtmfLevels[0].value, 4u);
    // The line type goes to every line.
    ASSERT_EQ(lib.lineTypes.size(), 12u);
    EXPECT_EQ(lib.lineTypes[2].value, 1u);
    EXPECT_EQ(lines.Items(2)->LineType, 1);
    EXPECT_TRUE(iniHas("SID_SIGNAL_KPW_WAIT_6=45"));
    EXPECT_TRUE(iniHas("SID_SIGNAL_DTMF_AMPLITUDE_6=4"));
    EXPECT_TRUE(iniHas("SID_SIGNAL_DIAL_TONE_PAUSE_6=5"));
    EXPECT_TRUE(iniHas("SID_LINE_TYPE_2=1"));
    EXPECT_FALSE(iniHas("SID_SIGNAL_KPW_WAIT_5="));

    // Applying the same frames again passes no timing at all.
    lib.clearRecords();
    params.applySignalFrames(params.signalFrames());
    EXPECT_TRUE(lib.timeParams.empty());
    EXPECT_TRUE(lib.dtmfLevels.empty());
    EXPECT_EQ(lib.lineTypes.size(), 12u);
}

TEST_F(LineParams, DefaultsAreTheDocumentedEightValues) {
    EXPECT_EQ(kDefaultTimings, (std::array<int, 8>{5, 3, 30, 3, 30, 5, 3, 1}));
    EXPECT_EQ(timingWords(TCallTimeParams{}), kDefaultTimings);
    for (int w = 0; w < kTimingWords; ++w) {
        EXPECT_GE(kDefaultTimings[size_t(w)], kTimingRanges[size_t(w)].min);
        EXPECT_LE(kDefaultTimings[size_t(w)], kTimingRanges[size_t(w)].max);
    }
}

// --- switches ---------------------------------------------------------------

TEST_F(LineParams, SwitchesReachProgramFileAndLibrary) {
    params.applyLogSystem(true);
    params.applyLogSystem(false);
    ASSERT_EQ(lib.logSwitches.size(), 2u);
    EXPECT_EQ(lib.logSwitches[0].second, -1);
    EXPECT_EQ(lib.logSwitches[1].second, 0);
    EXPECT_EQ(QString::fromStdString(lib.logSwitches[0].first), dir.path() + "/OrvelDll.log");
    params.applyAbonentConfirmation(false);
    EXPECT_EQ(lib.confirmOn, (std::vector<int>{0}));
    EXPECT_FALSE(options.abonentConfirmation);
    params.applyDetectDtmfAfterConfirmation(true);
    params.applyDebugDump(true);
    EXPECT_EQ(lib.advancedDtmf, (std::vector<int>{1}));
    EXPECT_EQ(lib.dumps, (std::vector<int>{1}));
    params.applyUserDropLines(false);
    EXPECT_FALSE(run.settings().keepDroppedLines);
    const QString text = ini();
    for (const char* line : {"SID_LOG_SYSTEM=False", "SID_ABONENT_CONFIRMATION=False",
                             "SID_DETECT_DTMF_AFTER_CONFIRMATION=True", "SID_DEBUG_DUMP=True",
                             "SID_USER_DROP_LINES=False"})
        EXPECT_TRUE(text.contains(line)) << line;
}

// --- lines switched during a run ------------------------------------------

class LinesDuringRun : public LineParams {
protected:
    void addSubscriber(const QString& name, const QString& phone) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(name);
        it.phone.assign(phone);
        users.AddItem(it);
        users.Item(users.Count() - 1)->mark = 1;
    }
    void pass() {
        run.RunPass();
        clock.advance(200);
    }
};

TEST_F(LinesDuringRun, LineSwitchedOffIsReleasedWhenFreeAndNeverDialledAgain) {
    for (int k = 0; k < 30; ++k)
        addSubscriber(QString("S%1").arg(k), QString::number(1000 + k));
    lib.callPolls = 6;
    run.settings().maxAttempts = 1;
    inProgress = true;
    run.resetRunFields();
    run.assignLines();
    run.beginRun();
    pass();
    TORVELLine& busy = *lines.Items(3);
    ASSERT_NE(busy.Subscriber, nullptr);  // every line took a call
    ASSERT_NE(lines.Items(4)->Subscriber, nullptr);

    // Line 4 off while it is in a call; line 5 (idle after its call) comes later.
    auto rows = params.gridRows();
    rows[3][kGridUse] = 0;
    params.applyGrid(rows);
    EXPECT_TRUE(busy.Assigned);  // its call goes on
    EXPECT_TRUE(lib.channels[0][3].assigned);
    const size_t callsOnLine4 =
        std::count_if(lib.calls.begin(), lib.calls.end(),
                      [](const auto& c) { return c.board == 0 && c.channel == 3; });
    for (int i = 0; i < 100 && !run.finished(); ++i) {
        pass();
        if (!busy.Subscriber) {
            EXPECT_FALSE(busy.Assigned);
            EXPECT_FALSE(lib.channels[0][3].assigned);
        }
    }
    EXPECT_TRUE(run.finished());
    EXPECT_FALSE(lib.channels[0][3].assigned);
    const size_t after = std::count_if(lib.calls.begin(), lib.calls.end(), [](const auto& c) {
        return c.board == 0 && c.channel == 3;
    });
    EXPECT_EQ(after, callsOnLine4);
    EXPECT_GT(lib.calls.size(), 12u);  // the other lines went on calling
    EXPECT_TRUE(iniHas("SID_LINE_ENABLED_3=0"));
}

TEST_F(LinesDuringRun, IdleLineSwitchedOffIsFreedAtOnceAndOneSwitchedOnIsAssigned) {
    lines.Items(7)->Enabled = 0;
    inProgress = true;
    run.resetRunFields();
    run.assignLines();
    run.beginRun();
    EXPECT_FALSE(lib.channels[1][3].assigned);
    auto rows = params.gridRows();
    rows[0][kGridUse] = 0;
    rows[7][kGridUse] = 1;
    params.applyGrid(rows);
    EXPECT_FALSE(lib.channels[0][0].assigned);
    EXPECT_FALSE(lines.Items(0)->Assigned);
    EXPECT_TRUE(lib.channels[1][3].assigned);
    EXPECT_TRUE(lines.Items(7)->Assigned);

    // Nobody to call yet: a subscriber now goes to a line that is on.
    addSubscriber("A", "100");
    run.resetRunFields();
    pass();
    ASSERT_EQ(lib.calls.size(), 1u);
    EXPECT_FALSE(lib.calls[0].board == 0 && lib.calls[0].channel == 0);
}

TEST_F(LinesDuringRun, WithoutARunSwitchingOnlyStoresTheFlag) {
    auto rows = params.gridRows();
    rows[1][kGridUse] = 0;
    params.applyGrid(rows);
    EXPECT_EQ(lines.Items(1)->Enabled, 0);
    for (const auto& board : lib.channels)
        for (const auto& ch : board)
            EXPECT_FALSE(ch.assigned);
}

}  // namespace
}  // namespace orvel::test
