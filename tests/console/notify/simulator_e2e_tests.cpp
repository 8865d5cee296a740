// Whole runs of the headless runner over the simulated boards: results match
// the number plan, the line-state log and the workbook agree, a repeated run
// calls only the not notified, and a run that dies midway is continued
// without calling anyone already notified.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <iostream>

#include "core/settings_manager.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/demo_setup.h"
#include "notify/notify_scheme.h"
#include "notify/run_progress.h"
#include "test_support.h"

namespace orvel::test {
namespace {

constexpr int kLines = 12;
// Board 0's channel 3 has no dial tone in the plan: a call there is dialled
// into a dead line and ends as not answered, whoever it was for.
constexpr int kDeadLine = 3;
constexpr int kNoAnswer = 16;

struct Demo {
    QTemporaryDir tmp;
    QString dir;
    QMap<QString, int> expected;  // name -> result on a line with dial tone
};

// The demo plus more subscribers (30 in all), 12 lines enabled.
void makeDemo(Demo& d) {
    d.dir = d.tmp.path() + "/demo";
    ASSERT_TRUE(copyTree(ORVEL_DEMO_DIR, d.dir));
    QFile::remove(d.dir + "/Users.dbf");
    QDir(d.dir + "/Log").removeRecursively();
    QDir(d.dir + "/Reports").removeRecursively();
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(d.dir, &error)) << error.toStdString();
    for (const auto& s : demoSubscribers())
        d.expected[s.name] = s.expected;
    TUserList users;
    ASSERT_TRUE(users.open(d.dir, 0));
    QByteArray group = readAll(d.dir + "/Groups/Демо.lst");
    for (int i = 0; users.Count() < 30; ++i) {
        TUserListItem it;
        it.id = users.NextId();
        const bool plain = i % 3 != 2;
        it.name.assign(QString("Абонент %1").arg(i + 1, 2, 10, QChar('0')));
        it.phone.assign(plain ? QString("20001%1").arg(i + 10) : QString("104"));
        ASSERT_GE(users.AddItem(it), 0);
        d.expected[it.name.toString()] = plain ? 14 : 16;
        group += QByteArray::number(it.id) + "\r\n";
    }
    ASSERT_TRUE(writeAll(d.dir + "/Groups/Демо.lst", group));
    SettingsManager settings(d.dir + "/ORVEL.ini");
    for (int i = kLines; i < 36; ++i)
        settings.WriteIndexedSetting(SID_LINE_ENABLED, i, 0);
    // The engine's log is what explains a wrong result afterwards; signal
    // dumps only on request (they are large).
    settings.WriteSetting(SID_LOG_SYSTEM, true);
    if (qEnvironmentVariableIsSet("ORVEL_E2E_DUMPS"))
        settings.WriteSetting(SID_DEBUG_DUMP, true);
}

// A run that booked a wrong result leaves its whole directory (engine log,
// dumps, simulator log, line-state logs) under ORVEL_E2E_KEEP when that is
// set, since such a result may not come again.
void keepOnFailure(const Demo& d) {
    if (!::testing::Test::HasFailure() || !qEnvironmentVariableIsSet("ORVEL_E2E_KEEP"))
        return;
    const QString to = qEnvironmentVariable("ORVEL_E2E_KEEP") + "/" +
                       QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss_zzz");
    if (copyTree(d.dir, to))
        std::cerr << "run kept in " << to.toStdString() << "\n";
}

struct RunOutput {
    int exitCode = -1;
    QString text;
};

RunOutput runner(const QString& dir, const QStringList& extra) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ORVEL_RUNNER_PATH, QStringList{"--dir", dir, "--quiet"} + extra);
    RunOutput out;
    if (!p.waitForFinished(15 * 60 * 1000)) {
        p.kill();
        p.waitForFinished();
    }
    out.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    out.text = QString::fromUtf8(p.readAll());
    return out;
}

QList<TLineStateRecord> logRecords(const QString& path) {
    QList<TLineStateRecord> out;
    const QByteArray all = readAll(path);
    for (qsizetype at = 0; at + kLineStateRecordSize <= all.size(); at += kLineStateRecordSize)
        out << TLineStateRecord::fromBytes(all.constData() + at);
    return out;
}

QStringList files(const QString& dir, const QString& mask) {
    QStringList out;
    for (const QString& f : QDir(dir).entryList({mask}, QDir::Files, QDir::Name))
        out << dir + "/" + f;
    return out;
}

// A sheet of a workbook: name -> (attempts, result text, detail). On sheet 3
// (the not notified) the result column holds the reason.
QMap<QString, QStringList> sheetRows(const QString& path, const QString& sheet) {
    QProcess p;
    p.start("/usr/bin/python3", {QStringLiteral(ORVEL_TEST_DIR "/read_xlsx.py"), path});
    p.waitForFinished(60000);
    QMap<QString, QString> cells;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() >= 3 && f[0] == sheet)
            cells[f[1]] = f[2];
    }
    QMap<QString, QStringList> rows;
    for (int r = 17; cells.contains(QString("A%1").arg(r)); ++r)
        rows[cells[QString("A%1").arg(r)]] = {cells[QString("D%1").arg(r)],
                                              cells[QString("E%1").arg(r)],
                                              cells[QString("F%1").arg(r)]};
    return rows;
}

QMap<QString, QStringList> sheetOne(const QString& path) {
    return sheetRows(path, "1");
}

bool available() {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", "import openpyxl"});
    return QFileInfo::exists(ORVEL_RUNNER_PATH) && p.waitForFinished(30000) && p.exitCode() == 0;
}

TEST(SimulatorRun, ResultsFollowTheNumberPlanAndTheRepeatCallsOnlyTheNotNotified) {
    if (!available())
        GTEST_SKIP() << "runner or python3-openpyxl missing";
    Demo d;
    makeDemo(d);
    struct Keep {
        const Demo& d;
        ~Keep() { keepOnFailure(d); }
    } keep{d};
    const RunOutput out = runner(d.dir, {"--scheme", "Демо", "--repeat", "1"});
    ASSERT_TRUE(out.exitCode == 0 || out.exitCode == 1) << out.text.toStdString();
    const QStringList logs = files(d.dir + "/Log", "*.log");
    const QStringList books = files(d.dir + "/Reports", "*.xlsx");
    ASSERT_GE(logs.size(), 1) << out.text.toStdString();
    ASSERT_EQ(books.size(), logs.size()) << out.text.toStdString();
    EXPECT_FALSE(QFile::exists(progressPath(d.dir)));

    // First run: each subscriber's final result is the last log record of
    // its name, the workbook says the same, and the plan agrees.
    const auto first = sheetOne(books[0]);
    ASSERT_EQ(first.size(), 30);
    QMap<QString, TLineStateRecord> lastCall;
    QMap<QString, int> callsOf;
    for (const TLineStateRecord& r : logRecords(logs[0])) {
        lastCall[r.name] = r;
        ++callsOf[r.name];
        EXPECT_LT(r.line, kLines);
        if (r.line != kDeadLine) {
            EXPECT_EQ(r.state, d.expected.value(r.name)) << r.name.toStdString();
        }
    }
    QStringList notNotified;
    for (auto it = first.begin(); it != first.end(); ++it) {
        const QString& name = it.key();
        const bool notified = it.value()[1] == "Оповещено";
        ASSERT_TRUE(lastCall.contains(name)) << name.toStdString();
        const TLineStateRecord& last = lastCall[name];
        EXPECT_EQ(notified, last.state == 14) << name.toStdString();
        EXPECT_EQ(it.value()[0].toInt(), callsOf.value(name)) << name.toStdString();
        EXPECT_EQ(last.state, last.line == kDeadLine ? kNoAnswer : d.expected.value(name))
            << name.toStdString();
        if (!notified)
            notNotified << name;
    }
    // The number that does not exist: once its information tones were heard
    // it is not called again (the scheme allows two attempts), and it is
    // listed among the not notified with its own reason. Only a call on the
    // dead line, which hears no tones at all, ends otherwise.
    const QString gone = QStringLiteral("Жуков Захар");
    if (lastCall.value(gone).line != kDeadLine) {
        bool heard = false;
        int callsAfter = 0;
        for (const TLineStateRecord& r : logRecords(logs[0])) {
            if (r.name != gone)
                continue;
            callsAfter += heard ? 1 : 0;
            heard = heard || r.state == 18;
        }
        EXPECT_TRUE(heard);
        EXPECT_EQ(callsAfter, 0);
        EXPECT_EQ(first.value(gone).value(2), "Номер не существует");
        EXPECT_EQ(sheetRows(books[0], "3").value(gone).value(1), "Номер не существует");
    }
    // The repeat: only the not notified were called.
    if (logs.size() == 2) {
        for (const TLineStateRecord& r : logRecords(logs[1]))
            EXPECT_TRUE(notNotified.contains(r.name)) << r.name.toStdString();
        EXPECT_EQ(sheetOne(books[1]).size(), notNotified.size());
    } else {
        EXPECT_TRUE(notNotified.isEmpty());
    }
}

TEST(SimulatorRun, RunKilledMidwayIsContinuedWithoutCallingTheNotifiedAgain) {
    if (!available())
        GTEST_SKIP() << "runner or python3-openpyxl missing";
    Demo d;
    makeDemo(d);
    const RunOutput killed = runner(d.dir, {"--scheme", "Демо", "--orvel-die-after-calls", "10"});
    ASSERT_EQ(killed.exitCode, 9) << killed.text.toStdString();
    const auto saved = loadProgress(progressPath(d.dir));
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->entries.size(), 30u);
    const QStringList logs = files(d.dir + "/Log", "*.log");
    ASSERT_EQ(logs.size(), 1);
    QStringList notifiedBefore;
    const auto before = logRecords(logs[0]);
    for (const TLineStateRecord& r : before)
        if (r.state == 14)
            notifiedBefore << r.name;
    ASSERT_FALSE(notifiedBefore.isEmpty());

    const RunOutput continued = runner(d.dir, {});
    ASSERT_TRUE(continued.exitCode == 0 || continued.exitCode == 1) << continued.text.toStdString();
    EXPECT_TRUE(continued.text.contains("Продолжается незаконченное оповещение"));
    // The continued run writes on into the same log.
    ASSERT_EQ(files(d.dir + "/Log", "*.log"), logs);
    const auto after = logRecords(logs[0]);
    ASSERT_GT(after.size(), before.size());
    for (qsizetype i = before.size(); i < after.size(); ++i)
        EXPECT_FALSE(notifiedBefore.contains(after[i].name)) << after[i].name.toStdString();
    const auto books = files(d.dir + "/Reports", "*.xlsx");
    ASSERT_EQ(books.size(), 1);
    EXPECT_EQ(sheetOne(books[0]).size(), 30);
    EXPECT_FALSE(QFile::exists(progressPath(d.dir)));
}

}  // namespace
}  // namespace orvel::test
