// orvel-run over the simulated boards, killed with SIGKILL at random moments
// and continued each time, and run with writes that fail as on a full disk.
// Checked against the simulator's own log of every call it connected.
//
// The kill moments come from a seed: ORVEL_POWER_CUT_SEED=<n> replays a run.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <iostream>
#include <random>

#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/demo_setup.h"
#include "notify/line_status.h"
#include "notify/run_progress.h"
#include "test_support.h"

namespace orvel::test {
namespace {

constexpr int kMaxAttempts = 2;  // the demo scheme's

struct Demo {
    QTemporaryDir tmp;
    QString dir;
    QMap<QString, QString> nameOf;  // number -> subscriber
};

void makeDemo(Demo& d) {
    d.dir = d.tmp.path() + "/demo";
    ASSERT_TRUE(copyTree(ORVEL_DEMO_DIR, d.dir));
    QFile::remove(d.dir + "/Users.dbf");
    QFile::remove(d.dir + "/orvelsim.log");
    QDir(d.dir + "/Log").removeRecursively();
    QDir(d.dir + "/Reports").removeRecursively();
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(d.dir, &error)) << error.toStdString();
    for (const auto& s : demoSubscribers())
        d.nameOf[s.phone] = s.name;
}

struct Runner {
    QProcess p;
    void start(const QString& dir, const QStringList& extra, bool quiet = true) {
        p.start(ORVEL_RUNNER_PATH,
                QStringList{"--dir", dir} + (quiet ? QStringList{"--quiet"} : QStringList()) +
                    extra);
        ASSERT_TRUE(p.waitForStarted(30000));
    }
    // Exit status, or -1 when it did not end by itself.
    int wait(int ms) {
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(ms))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // Waits until this start has saved its progress, which it does on its
    // first dial; false when the runner ended first.
    bool waitFirstDial(const QString& progressFile, const QDateTime& started) {
        for (int i = 0; i < 3000; ++i) {
            const QFileInfo info(progressFile);
            if (info.exists() && info.lastModified() >= started)
                return true;
            if (p.waitForFinished(100))
                return false;
        }
        return false;
    }
    void powerCut() {
        p.kill();  // SIGKILL: nothing of the program runs after it
        p.waitForFinished(30000);
    }
    QString out() { return QString::fromUtf8(p.readAllStandardOutput()); }
    QString err() { return QString::fromUtf8(p.readAllStandardError()); }
};

QList<TLineStateRecord> lineLog(const QString& dir) {
    QList<TLineStateRecord> out;
    const QStringList logs = QDir(dir + "/Log").entryList({"*.log"}, QDir::Files, QDir::Name);
    for (const QString& f : logs) {
        const QByteArray all = readAll(dir + "/Log/" + f);
        EXPECT_EQ(all.size() % kLineStateRecordSize, 0) << "a torn record in " << f.toStdString();
        for (qsizetype at = 0; at + kLineStateRecordSize <= all.size(); at += kLineStateRecordSize)
            out << TLineStateRecord::fromBytes(all.constData() + at);
    }
    return out;
}

// Numbers the simulated exchange connected, in order, from its log.
QStringList connectedNumbers(const QByteArray& simLog) {
    static const QRegularExpression re(QStringLiteral("-> connecting \\(number (\\d+)"));
    QStringList out;
    for (const QByteArray& line : simLog.split('\n')) {
        const auto m = re.match(QString::fromUtf8(line));
        if (m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

// Sheet 1 of the workbook: name -> {attempts, result, detail}.
QMap<QString, QStringList> sheetOne(const QString& path) {
    QProcess p;
    p.start("/usr/bin/python3", {QStringLiteral(ORVEL_TEST_DIR "/read_xlsx.py"), path});
    p.waitForFinished(60000);
    QMap<QString, QString> cells;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() >= 3 && f[0] == "1")
            cells[f[1]] = f[2];
    }
    QMap<QString, QStringList> rows;
    for (int r = 17; cells.contains(QString("A%1").arg(r)); ++r)
        rows[cells[QString("A%1").arg(r)]] = {cells[QString("D%1").arg(r)],
                                              cells[QString("E%1").arg(r)],
                                              cells.value(QString("F%1").arg(r))};
    return rows;
}

bool available() {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", "import openpyxl"});
    return QFileInfo::exists(ORVEL_RUNNER_PATH) && p.waitForFinished(30000) && p.exitCode() == 0;
}

unsigned seedForRun() {
    const QByteArray given = qgetenv("ORVEL_POWER_CUT_SEED");
    if (!given.isEmpty())
        return unsigned(given.toULong());
    return std::random_device{}();
}

// The subscribers a start handed to a line, from its line rows
// ("hh:mm:ss  L01  status  number  name").
QSet<QString> dialledNames(const QString& out, const QMap<QString, QString>& nameOf) {
    QSet<QString> names;
    for (const QString& line : out.split('\n'))
        for (const QString& name : nameOf)
            if (line.contains("  L") && line.endsWith(name))
                names.insert(name);
    return names;
}

// What the disk says after a cut.
struct CutState {
    QSet<QString> notified;  // saved as notified, in the progress or the log
    qsizetype simLogSize = 0;
};

TEST(PowerCutRun, TenKillsLoseNoResultAndCallNoNotifiedSubscriberAgain) {
    if (!available())
        GTEST_SKIP() << "runner or python3-openpyxl missing";
    const unsigned seed = seedForRun();
    std::cout << "power-cut seed " << seed << " (ORVEL_POWER_CUT_SEED=" << seed << " replays it)\n";
    SCOPED_TRACE("ORVEL_POWER_CUT_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    // The first two cuts come 15 s after the first dial of a start, during
    // the first calls; the others anywhere in the 10 s after it.
    std::uniform_int_distribution<int> moment(0, 10000);
    Demo d;
    makeDemo(d);
    const QString simLog = d.dir + "/orvelsim.log";

    std::vector<CutState> cuts;
    std::vector<QSet<QString>> dialled;  // by start
    bool ended = false;
    for (int cut = 0; cut < 10 && !ended; ++cut) {
        const int at = cut < 2 ? 15000 : moment(random);
        const bool unfinished = QFile::exists(progressPath(d.dir));
        Runner r;
        const QDateTime started = QDateTime::currentDateTime().addMSecs(-1);
        r.start(d.dir, unfinished ? QStringList{"--continue"} : QStringList{"--scheme", "Демо"},
                false);
        const int code = r.waitFirstDial(progressPath(d.dir), started) ? r.wait(at) : r.wait(0);
        if (code >= 0) {
            // It ended before the cut: everyone done.
            const QString out = r.out();
            dialled.push_back(dialledNames(out, d.nameOf));
            ASSERT_TRUE(code == 0 || code == 1) << out.toStdString() << r.err().toStdString();
            ended = true;
            break;
        }
        r.powerCut();
        const QString out = r.out();
        dialled.push_back(dialledNames(out, d.nameOf));
        // Kept for a failure's reading: what each start left behind.
        QFile::copy(progressPath(d.dir), d.tmp.path() + QString("/cut%1.progress").arg(cut + 1));
        writeAll(d.tmp.path() + QString("/cut%1.out").arg(cut + 1), (out + r.err()).toUtf8());
        SCOPED_TRACE(QString("cut %1 at %2 ms").arg(cut + 1).arg(at).toStdString());

        // The progress and the line-state log agree: each finished call is
        // an attempt with its record; a call in progress has none yet (or
        // has one when the cut came between the record and the progress).
        CutState state;
        state.simLogSize = QFileInfo(simLog).size();
        const auto records = lineLog(d.dir);
        QMap<QString, int> callsOf;
        QMap<QString, int> lastOf;
        for (const auto& rec : records) {
            ++callsOf[rec.name];
            lastOf[rec.name] = rec.state;
            if (rec.state == 14)
                state.notified.insert(rec.name);
        }
        const auto saved = loadProgress(progressPath(d.dir));
        if (!saved) {
            EXPECT_TRUE(records.isEmpty()) << "results logged but no progress saved";
            cuts.push_back(state);
            continue;
        }
        TUserList users;
        ASSERT_TRUE(users.open(d.dir, 0));
        QMap<int, QString> nameOfId;
        for (int k = 0; k < users.Count(); ++k)
            nameOfId[users.Item(k)->id] = users.Item(k)->name.toString();
        for (const auto& e : saved->entries) {
            const QString name = nameOfId.value(e.id);
            const int finished = e.attempts - (e.inCall ? 1 : 0);
            const int logged = callsOf.value(name);
            EXPECT_TRUE(logged == finished || (e.inCall && logged == e.attempts))
                << name.toStdString() << ": " << logged << " calls logged, progress " << e.attempts
                << (e.inCall ? " with one in progress" : "");
            if (logged > 0 && logged == finished) {
                EXPECT_EQ(e.result, lastOf.value(name)) << name.toStdString();
            }
            if (e.result == 14)
                state.notified.insert(name);
            EXPECT_LE(e.attempts, kMaxAttempts) << name.toStdString();
        }
        cuts.push_back(state);
    }

    // The last start runs to the end.
    if (!ended) {
        Runner r;
        r.start(d.dir, {"--continue"}, false);
        const int code = r.wait(15 * 60 * 1000);
        const QString out = r.out();
        dialled.push_back(dialledNames(out, d.nameOf));
        ASSERT_TRUE(code == 0 || code == 1) << out.toStdString() << r.err().toStdString();
    }
    EXPECT_FALSE(QFile::exists(progressPath(d.dir)));
    EXPECT_GE(cuts.size(), 2u);
    ASSERT_EQ(dialled.size(), cuts.size() + 1);

    // Nobody saved as notified was dialled again by a later start, and the
    // exchange connected no notified number after that cut unless a start
    // dialled it (on a starved machine the simulated exchange now and then
    // mishears a digit, and the call lands on another number).
    const QByteArray sim = readAll(simLog);
    for (size_t k = 0; k < cuts.size(); ++k) {
        QSet<QString> later;
        for (size_t j = k + 1; j < dialled.size(); ++j)
            later += dialled[j];
        for (const QString& name : cuts[k].notified)
            EXPECT_FALSE(later.contains(name)) << name.toStdString() << " was called again";
        for (const QString& number : connectedNumbers(sim.mid(cuts[k].simLogSize))) {
            const QString name = d.nameOf.value(number);
            EXPECT_FALSE(cuts[k].notified.contains(name) && later.contains(name))
                << name.toStdString() << " was connected again";
        }
    }

    // Every finished call is in the workbook, every connected call is either
    // a finished call or one counted as interrupted, and nobody who was not
    // notified lost an attempt to a cut.
    const QStringList books = QDir(d.dir + "/Reports").entryList({"*.xlsx"}, QDir::Files);
    ASSERT_EQ(books.size(), 1);
    const auto sheet = sheetOne(d.dir + "/Reports/" + books[0]);
    ASSERT_EQ(sheet.size(), 12);
    const auto records = lineLog(d.dir);
    QMap<QString, int> callsOf;
    QMap<QString, int> lastOf;
    for (const auto& rec : records) {
        EXPECT_NE(lastOf.value(rec.name), 14) << rec.name.toStdString() << " called after notified";
        ++callsOf[rec.name];
        lastOf[rec.name] = rec.state;
    }
    const int connections = int(connectedNumbers(sim).size());
    int callsTotal = 0;
    for (const int n : callsOf)
        callsTotal += n;
    static const QRegularExpression interruptedRe(QStringLiteral("(\\d+)$"));
    int interruptedTotal = 0;
    for (auto it = sheet.begin(); it != sheet.end(); ++it) {
        const QString& name = it.key();
        const bool notified = it.value()[1] == T(textAlarmed);
        EXPECT_EQ(it.value()[0].toInt(), callsOf.value(name)) << name.toStdString();
        EXPECT_EQ(notified, lastOf.value(name) == 14) << name.toStdString();
        // A number the exchange says does not exist is not called again.
        if (!notified) {
            const int expected = lastOf.value(name) == kStatusUnobtainable ? 1 : kMaxAttempts;
            EXPECT_EQ(callsOf.value(name), expected) << name.toStdString();
        }
        int interrupted = 0;
        const QString detail = it.value()[2];
        if (detail.contains(T(textCallsInterrupted).arg(QString()))) {
            interrupted = interruptedRe.match(detail).captured(1).toInt();
            EXPECT_GT(interrupted, 0) << detail.toStdString();
        }
        interruptedTotal += interrupted;
    }
    // Every call the exchange connected finished with a result or was cut
    // and counted as interrupted (counted in all: a misheard digit moves a
    // call to another number, not out of the count).
    EXPECT_LE(connections, callsTotal + interruptedTotal)
        << callsTotal << " finished, " << interruptedTotal << " interrupted; kept in "
        << d.dir.toStdString();
    if (connections > callsTotal + interruptedTotal)
        d.tmp.setAutoRemove(false);
    // The two cuts at 15 s came while calls were in progress.
    EXPECT_GT(interruptedTotal, 0);
}

TEST(FailingWritesRun, RunGoesOnCallingSaysWhatFailedAndSavesItLater) {
    if (!available())
        GTEST_SKIP() << "runner or python3-openpyxl missing";
    Demo d;
    makeDemo(d);

    // The first progress saves fail and so does the workbook: the run goes
    // on calling to its end, names each file once on standard error, ends
    // with its status for it, and keeps the progress so nothing is lost.
    {
        Runner r;
        // 12 first dials, then the first two results: each save fails.
        r.start(d.dir, {"--scheme", "Демо", "--orvel-fail-writes", "run.progress:14,*.xlsx"});
        EXPECT_EQ(r.wait(10 * 60 * 1000), 6);
        const QString err = r.err();
        EXPECT_EQ(err.count("run.progress"), 1) << err.toStdString();
        EXPECT_EQ(err.count(".xlsx"), 1) << err.toStdString();
        EXPECT_TRUE(err.contains("Прежнее содержимое файла сохранено")) << err.toStdString();
        EXPECT_TRUE(QDir(d.dir + "/Reports")
                        .entryList({"*.xlsx*", ".*.xlsx*"}, QDir::Files | QDir::Hidden)
                        .isEmpty());
        const auto saved = loadProgress(progressPath(d.dir));
        ASSERT_TRUE(saved);
        int finished = 0;
        for (const auto& e : saved->entries) {
            EXPECT_FALSE(e.inCall);
            EXPECT_NE(e.result, 0);
            finished += e.attempts;
        }
        EXPECT_EQ(lineLog(d.dir).size(), finished);
    }
    // The next start finds everyone done and writes the workbook.
    {
        Runner r;
        r.start(d.dir, {"--continue"});
        const int code = r.wait(5 * 60 * 1000);
        EXPECT_TRUE(code == 0 || code == 1) << r.out().toStdString() << r.err().toStdString();
        EXPECT_FALSE(r.err().contains("Файл не записан")) << r.err().toStdString();
        const QStringList books = QDir(d.dir + "/Reports").entryList({"*.xlsx"}, QDir::Files);
        ASSERT_EQ(books.size(), 1);
        EXPECT_EQ(sheetOne(d.dir + "/Reports/" + books[0]).size(), 12);
        EXPECT_FALSE(QFile::exists(progressPath(d.dir)));
    }
}

}  // namespace
}  // namespace orvel::test
