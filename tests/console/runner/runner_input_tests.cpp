// What orvel-run makes of its command line and of an unfinished run, before
// any line is touched: nothing guessed, nothing lost, exit statuses a
// scheduler can act on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "notify/run_progress.h"

namespace {

struct Result {
    int code = -1;
    QString text;
};

Result run(const QStringList& args, const QString& configDir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVEL_CONFIG_DIR"), configDir);
    env.remove(QStringLiteral("ORVEL_DRIVER_MODULE"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ORVEL_RUNNER_PATH), args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

// A program directory with an unfinished run in it.
void leaveUnfinishedRun(const QString& dir) {
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/Log")));
    orvel::TRunProgress p;
    p.scheme = dir + QStringLiteral("/NotifyScheme/Старая.sch");
    p.start = QDateTime(QDate(2026, 12, 9), QTime(8, 15, 0));
    p.entries.push_back({1, 1, 14, 0, 0, 0});
    p.entries.push_back({2, 1, 16, 0, 0, 0});
    ASSERT_TRUE(orvel::saveProgress(orvel::progressPath(dir), p));
}

TEST(RunnerInput, WithoutADirectoryItPrintsItsUsageAndCreatesNothing) {
    QTemporaryDir config;
    const Result r = run({QStringLiteral("--scheme"), QStringLiteral("Демо")}, config.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.text.contains(QStringLiteral("--dir"))) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(QStringLiteral("Каталог программы")));
    EXPECT_TRUE(QDir(config.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(RunnerInput, NumbersAreCheckedBeforeAnythingRuns) {
    QTemporaryDir config, dir;
    for (const QStringList& bad :
         {QStringList{QStringLiteral("--repeat"), QStringLiteral("abc")},
          QStringList{QStringLiteral("--repeat"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--orvel-die-after-calls"), QStringLiteral("1x")}}) {
        const Result r =
            run(QStringList{QStringLiteral("--dir"), dir.path()} + bad, config.path());
        EXPECT_EQ(r.code, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.text.contains(QStringLiteral("Неверное значение параметра")))
            << r.text.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/Users.dbf")));
}

TEST(RunnerInput, AnUnfinishedRunIsNeitherContinuedNorDroppedSilently) {
    QTemporaryDir config, dir;
    leaveUnfinishedRun(dir.path());
    const QString progress = orvel::progressPath(dir.path());

    // A scheme asked for while a run waits: refused with a status of its own.
    Result r = run({QStringLiteral("--dir"), dir.path(), QStringLiteral("--scheme"),
                    QStringLiteral("Демо")},
                   config.path());
    EXPECT_EQ(r.code, 5) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(QStringLiteral("--continue"))) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(QStringLiteral("09.12.2026 08:15:00")));
    EXPECT_TRUE(QFileInfo::exists(progress));

    // --fresh keeps the unfinished run aside under its date, then goes on
    // with the scheme (missing here: bad input).
    r = run({QStringLiteral("--dir"), dir.path(), QStringLiteral("--scheme"), QStringLiteral("Демо"),
             QStringLiteral("--fresh")},
            config.path());
    EXPECT_EQ(r.code, 2) << r.text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(progress));
    const QString kept = dir.path() + QStringLiteral("/Log/run-20261209_081500.progress");
    EXPECT_TRUE(QFileInfo::exists(kept)) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(kept));
    const auto back = orvel::loadProgress(kept);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->entries.size(), 2u);
}

TEST(RunProgressAside, AnotherRunOfTheSameSecondGetsANumber) {
    QTemporaryDir dir;
    const QDateTime start(QDate(2026, 12, 9), QTime(8, 15, 0));
    const QString path = dir.path() + QStringLiteral("/run.progress");
    orvel::TRunProgress p;
    p.start = start;
    ASSERT_TRUE(orvel::saveProgress(path, p));
    const QString first = orvel::keepProgressAside(path, start);
    ASSERT_TRUE(orvel::saveProgress(path, p));
    const QString second = orvel::keepProgressAside(path, start);
    EXPECT_TRUE(first.endsWith(QStringLiteral("run-20261209_081500.progress")));
    EXPECT_TRUE(second.endsWith(QStringLiteral("run-20261209_081500-1.progress")));
    EXPECT_TRUE(QFileInfo::exists(first) && QFileInfo::exists(second));
    QString error;
    EXPECT_TRUE(orvel::keepProgressAside(path, start, &error).isEmpty());  // nothing left to move
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
