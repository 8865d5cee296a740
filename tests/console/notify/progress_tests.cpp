// The run's progress on disk: round trips, torn files, and a run that dies
// midway and is continued without calling the notified again.

#include <QFile>

#include "notify/run_progress.h"
#include "run_fixture.h"
#include "test_support.h"

namespace orvel::test {
namespace {

TEST(RunProgressFile, RoundTripsAndRefusesTornOrForeignFiles) {
    TRunProgress p;
    p.scheme = "/s/Ночь.sch";
    p.messageFile = "/m/тревога.wav";
    p.maxAttempts = 4;
    p.pause = 0.5;
    p.timeLimit = 90;
    p.groups = {"Смена 1", "Смена 2"};
    p.start = QDateTime::fromMSecsSinceEpoch(1765000000123);
    p.entries = {{2, 1, 14, 1765000001000, 1765000001000, 1}, {3, 2, 16, 1765000002000, 0, 4}};
    const QByteArray bytes = p.toBytes();
    const auto back = TRunProgress::fromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toBytes(), bytes);
    EXPECT_EQ(back->groups, p.groups);
    EXPECT_EQ(back->notifiedCount(), 1);

    EXPECT_FALSE(TRunProgress::fromBytes(bytes.left(bytes.size() - 5)));
    EXPECT_FALSE(TRunProgress::fromBytes("something else\nend\n"));
    QByteArray hostile = bytes;
    hostile.replace("attempts=4", "attempts=-7");
    hostile.replace("2\t1\t14", "x\t1\t14");
    const auto h = TRunProgress::fromBytes(hostile);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->maxAttempts, 1);
    EXPECT_EQ(h->entries.size(), 1u);

    QTemporaryDir dir;
    const QString path = progressPath(dir.path());
    ASSERT_TRUE(saveProgress(path, p));
    EXPECT_EQ(readAll(path), bytes);
    EXPECT_TRUE(loadProgress(path));
}

class DyingRun : public RunFixture {};

TEST_F(DyingRun, ContinuedRunCallsNobodyAlreadyNotified) {
    for (int i = 0; i < 12; ++i)
        add(QString("S%1").arg(i), QString::number(100 + i));
    for (int i = 0; i < 12; i += 2)
        lib.plan[std::to_string(100 + i)] = 14;
    lib.callPolls = 2;
    run.settings().maxAttempts = 3;
    const QString path = progressPath(dir.path());
    TRunProgress progress;
    progress.maxAttempts = 3;
    int finishedCalls = 0;
    run.setProgressHook([&] {
        progress.capture(users);
        ++finishedCalls;
        saveProgress(path, progress);
    });
    begin();
    // The process "dies" after a few calls: only the file survives.
    while (finishedCalls < 9)
        pass();
    std::set<std::string> notifiedBefore;
    const auto saved = loadProgress(path);
    ASSERT_TRUE(saved);
    for (const auto& e : saved->entries)
        if (e.result == 14)
            notifiedBefore.insert(std::to_string(100 + (e.id - 2)));
    ASSERT_FALSE(notifiedBefore.empty());

    // A new program: the list from the table, the progress applied.
    TUserList fresh;
    ASSERT_TRUE(fresh.open(dir.path(), 0));
    EXPECT_EQ(saved->apply(fresh), 12);
    FakeLineLibrary lib2({4});
    lib2.plan = lib.plan;
    ProgramStateRecord r;
    lib2.GetProgrammState(r);
    TORVLines lines2;
    lines2.Create(r);
    TNotifyRun again(lib2, lines2, fresh, clock, nullptr);
    again.settings().maxAttempts = 3;
    again.resetRunFields();
    again.assignLines();
    again.beginRun();
    for (int i = 0; i < 1000 && !again.finished(); ++i) {
        again.RunPass();
        clock.advance(200);
    }
    EXPECT_TRUE(again.finished());
    for (const auto& c : lib2.calls)
        EXPECT_EQ(notifiedBefore.count(c.number), 0u) << c.number << " was called again";
    for (int k = 0; k < fresh.Count(); ++k) {
        const bool even = (fresh.Item(k)->id - 2) % 2 == 0;
        EXPECT_EQ(fresh.Item(k)->lastState == 14, even);
    }
}

}  // namespace
}  // namespace orvel::test
