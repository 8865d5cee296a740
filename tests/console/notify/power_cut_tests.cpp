// What a power cut leaves behind: a call cut by the program's end is not an
// attempt, and a confirmation is on disk before its line hangs up.

#include <QProcess>

#include "core/texts.h"
#include "notify/results_workbook.h"
#include "notify/run_progress.h"
#include "run_fixture.h"
#include "test_support.h"

namespace orvel::test {
namespace {

constexpr uint32_t kEngineNotifyOk = 1;

class PowerCut : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        path = progressPath(dir.path());
        run.setProgressHook([this] {
            progress.capture(users);
            ASSERT_TRUE(saveProgress(path, progress));
        });
    }

    // The program "dies": only the progress file is left. A new list from
    // the table gets it applied, as the next start does.
    std::unique_ptr<TUserList> restart() {
        const auto saved = loadProgress(path);
        EXPECT_TRUE(saved);
        auto fresh = std::make_unique<TUserList>();
        EXPECT_TRUE(fresh->open(dir.path(), 0));
        if (saved) {
            EXPECT_EQ(saved->apply(*fresh), int(saved->entries.size()));
        }
        return fresh;
    }

    const TUserListItem* byName(const TUserList& list, const QString& name) {
        for (int k = 0; k < list.Count(); ++k)
            if (list.Item(k)->name.toString() == name)
                return list.Item(k);
        return nullptr;
    }

    QString path;
    TRunProgress progress;
};

TEST_F(PowerCut, CallsCutTwiceDuringTheFirstCallsUseNoAttempts) {
    for (int i = 0; i < 6; ++i) {
        add(QString("S%1").arg(i), QString::number(100 + i));
        lib.plan[std::to_string(100 + i)] = 14;
    }
    progress.maxAttempts = 2;
    lib.callPolls = 1000;  // nobody finishes before the cut

    // Two runs cut while the first four calls are in progress.
    std::unique_ptr<TUserList> list;
    TUserList* current = &users;
    for (int cut = 1; cut <= 2; ++cut) {
        {
            FakeLineLibrary cutLib({4});
            ProgramStateRecord r;
            cutLib.GetProgrammState(r);
            TORVLines cutLines;
            cutLines.Create(r);
            cutLib.callPolls = 1000;
            TNotifyRun cutRun(cutLib, cutLines, *current, clock, nullptr);
            cutRun.settings().maxAttempts = 2;
            cutRun.setProgressHook([&] {
                progress.capture(*current);
                ASSERT_TRUE(saveProgress(path, progress));
            });
            cutRun.resetRunFields();
            cutRun.assignLines();
            cutRun.beginRun();
            for (int i = 0; i < 20 && cutLib.callCount() < 4; ++i) {
                cutRun.RunPass();
                clock.advance(200);
            }
            ASSERT_EQ(cutLib.callCount(), 4u);
        }
        list = restart();
        current = list.get();
        int cutShort = 0;
        for (int k = 0; k < current->Count(); ++k) {
            const TUserListItem& s = *current->Item(k);
            EXPECT_EQ(s.attempts, 0) << s.name.toString().toStdString();
            EXPECT_EQ(s.inCall, 0);
            cutShort += s.interrupted;
        }
        EXPECT_EQ(cutShort, 4 * cut);
    }

    // The third start runs to its end: everybody is called and notified,
    // each with one attempt, and the workbook names the cut calls.
    FakeLineLibrary lastLib({4});
    lastLib.plan = lib.plan;
    ProgramStateRecord r;
    lastLib.GetProgrammState(r);
    TORVLines lastLines;
    lastLines.Create(r);
    TNotifyRun last(lastLib, lastLines, *current, clock, &lineLog);
    last.settings().maxAttempts = 2;
    last.resetRunFields();
    last.assignLines();
    last.beginRun();
    for (int i = 0; i < 1000 && !last.finished(); ++i) {
        last.RunPass();
        clock.advance(200);
    }
    ASSERT_TRUE(last.finished());
    EXPECT_EQ(last.notNotifiedCount(), 0);
    for (int k = 0; k < current->Count(); ++k)
        EXPECT_EQ(current->Item(k)->attempts, 1);

    const QString book = dir.path() + "/book.xlsx";
    TReportInput in;
    in.start = clock.now();
    in.end = clock.now();
    in.lineLogPath = lineLog.currentFile();
    QString error;
    ASSERT_TRUE(writeResultsWorkbook(shippedDataDir() + "/report.dat", book, *current, in, &error))
        << error.toStdString();
    QProcess p;
    p.start("/usr/bin/python3", {QStringLiteral(ORVEL_TEST_DIR "/read_xlsx.py"), book});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        GTEST_SKIP() << "python3-openpyxl missing";
    QMap<QString, QString> detail;  // name -> column F of sheet 1
    QMap<QString, QString> cells;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() >= 3 && f[0] == "1")
            cells[f[1]] = f[2];
    }
    for (int row = 17; cells.contains(QString("A%1").arg(row)); ++row)
        detail[cells[QString("A%1").arg(row)]] = cells.value(QString("F%1").arg(row));
    ASSERT_EQ(detail.size(), 6);
    int named = 0;
    for (auto it = detail.begin(); it != detail.end(); ++it) {
        const int n = byName(*current, it.key())->interrupted;
        if (n > 0) {
            EXPECT_EQ(it.value(), T(textCallsInterrupted).arg(n)) << it.key().toStdString();
            ++named;
        } else {
            EXPECT_TRUE(it.value().isEmpty());
        }
    }
    EXPECT_GE(named, 4);
}

TEST_F(PowerCut, ConfirmationIsOnDiskBeforeTheLineIsFree) {
    add("Первый", "100");
    add("Второй", "101");
    add("Первый", "102");  // same person, second number
    lib.plan = {{"100", 14}, {"101", 16}, {"102", 14}};
    lib.callPolls = 40;
    run.settings().maxAttempts = 2;
    begin();
    for (int i = 0; i < 5; ++i)
        pass();
    ASSERT_EQ(lib.callCount(), 2u);  // the same person is never called twice at once
    ASSERT_EQ(lib.calls[0].number, "100");
    const size_t firstLine = size_t(lib.calls[0].channel);
    lib.channels[0][firstLine].busyPolls = 600;  // hangs up long after the others
    // The engine reports the key press; the line is still hanging up.
    ASSERT_TRUE(run.resultQueue()->push({0, uint32_t(lib.calls[0].channel), kEngineNotifyOk}));
    pass();
    EXPECT_EQ(lib.channels[0][firstLine].state, 2);

    // Cut here: the saved progress already has the confirmation, and the
    // line-state log its record.
    const auto fresh = restart();
    EXPECT_EQ(byName(*fresh, "Первый")->lastState, 14);
    EXPECT_EQ(byName(*fresh, "Первый")->attempts, 1);
    EXPECT_EQ(byName(*fresh, "Второй")->interrupted, 1);
    EXPECT_EQ(byName(*fresh, "Второй")->attempts, 0);
    const QByteArray log = readAll(lineLog.currentFile());
    ASSERT_EQ(log.size(), kLineStateRecordSize);
    EXPECT_EQ(TLineStateRecord::fromBytes(log.constData()).state, 14);

    // Without the cut: the line's end books nothing more, and the run waits
    // for the hang-up before it ends.
    int passes = 0;
    while (!run.finished() && passes++ < 2000)
        pass();
    EXPECT_GT(passes, 590);
    EXPECT_EQ(lib.callsTo("100"), 1);
    EXPECT_EQ(lib.callsTo("102"), 0);  // notified through the same name
    EXPECT_EQ(lib.callsTo("101"), 2);
    const QByteArray all = readAll(lineLog.currentFile());
    EXPECT_EQ(all.size(), 3 * kLineStateRecordSize);  // 100 once, 101 twice
    EXPECT_EQ(lib.channels[0][firstLine].state, 1);
    EXPECT_EQ(byName(users, "Первый")->attempts, 1);
}

}  // namespace
}  // namespace orvel::test
