// A run over every line of ten simulated boards of eighteen lines through
// the headless runner: subscribers of mixed behaviours, each ending as the
// number plan says. CI runs a few hundred subscribers; set
// ORVEL_CAPACITY_SUBSCRIBERS=2000 to run the full-size one by hand (and
// ORVEL_CAPACITY_DIR to keep its program directory). The
// runner's closing lines give the calls per hour and its processor time.
// ORVEL_CAPACITY_BOARDS runs it over fewer boards: under ThreadSanitizer two
// cores cannot keep 180 lines in real time, and a run that falls behind
// mishears the lines it serves, so the sanitized build runs the same test
// over two boards (the same threads and paths, fewer lines at once).

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/demo_setup.h"
#include "notify/notify_scheme.h"
#include "test_support.h"

namespace orvel::test {
namespace {

// The number plan: what a subscriber does and the result it must end with.
struct Behaviour {
    const char* prefix;  // numbers are prefix + four digits
    const char* plan;
    int expected;
    int share;  // of every 20 subscribers
};
const Behaviour kBehaviours[] = {
    {"3", "answer rings=1 say=\"Алло.\" key=9 keyat=end2", 14, 10},
    {"4", "answer rings=1 say=\"Да.\" hangup=end3", 14, 4},
    {"5", "busy", 9, 3},
    {"6", "noanswer", 16, 2},
    {"7", "answer rings=1 say=\"Слушаю.\" key=9 keyat=3", 15, 1},
};

// Under ThreadSanitizer the defaults are two boards and 120 subscribers,
// compiled in: gtest_discover_tests keeps only the first variable of an
// environment list and reads the rest as properties of their own.
#if defined(__SANITIZE_THREAD__)
constexpr int kDefaultBoards = 2;
constexpr int kDefaultSubscribers = 120;
#else
constexpr int kDefaultBoards = 10;
constexpr int kDefaultSubscribers = 360;
#endif

int boardCount() {
    const int n = qEnvironmentVariableIntValue("ORVEL_CAPACITY_BOARDS");
    return n > 0 && n <= 10 ? n : kDefaultBoards;
}

QByteArray simulatorConfig() {
    QByteArray ini =
        "[Driver]\nModule=liborvelsim.so\n\n[Simulator]\nSpeed=1\nAdcRate=100\n"
        "NoiseDbm0=-65\nToneDbm0=-10\nRecordSeconds=0\nDigitTimeout=4\n\n"
        "[Lines]\nIdleVolts=48\nOffHookVolts=8\nParallelVolts=10\nEchoDb=-100\n\n";
    for (int b = 0; b < boardCount(); ++b)
        ini += QString("[Board%1]\nUnits=6,6,6\nSerials=%2,%3,%4\n\n")
                   .arg(b)
                   .arg(b * 3 + 1)
                   .arg(b * 3 + 2)
                   .arg(b * 3 + 3)
                   .toUtf8();
    ini += "[Plan]\nDefault=unobtainable\n";
    for (const Behaviour& k : kBehaviours)
        ini += QByteArray(k.prefix) + "XXXX=" + k.plan + "\n";
    return ini;
}

int subscriberCount() {
    const int n = qEnvironmentVariableIntValue("ORVEL_CAPACITY_SUBSCRIBERS");
    return n > 0 ? n : kDefaultSubscribers;
}

TEST(CapacityRun, EveryLineOfTenBoardsCallsAndEveryResultFollowsThePlan) {
    if (!QFileInfo::exists(ORVEL_RUNNER_PATH))
        GTEST_SKIP() << "runner missing";
    // ORVEL_CAPACITY_DIR keeps the site for a look afterwards (it must not exist yet).
    QTemporaryDir tmp;
    const QString kept = qEnvironmentVariable("ORVEL_CAPACITY_DIR");
    const QString dir = kept.isEmpty() ? tmp.path() + "/site" : kept;
    ASSERT_TRUE(copyTree(ORVEL_DEMO_DIR, dir));
    for (const char* gone : {"/Users.dbf", "/orvelsim.log"})
        QFile::remove(dir + gone);
    QDir(dir + "/Log").removeRecursively();
    QDir(dir + "/Reports").removeRecursively();
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(dir, &error)) << error.toStdString();
    ASSERT_TRUE(writeAll(dir + "/orvelsim.ini", simulatorConfig()));

    // The demo's own subscribers give way to ours: mixed behaviours, spread
    // so that every line meets each of them.
    QFile::remove(dir + "/Users.dbf");
    TUserList users;
    ASSERT_TRUE(users.open(dir, 0));
    QMap<QString, int> expected;
    QByteArray group;
    const int total = subscriberCount();
    for (int i = 0; i < total; ++i) {
        const int slot = i % 20;
        int at = 0;
        const Behaviour* k = &kBehaviours[0];
        for (const Behaviour& b : kBehaviours) {
            if (slot < at + b.share) {
                k = &b;
                break;
            }
            at += b.share;
        }
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QString("Абонент %1").arg(i + 1, 4, 10, QChar('0')));
        it.phone.assign(QString(k->prefix) + QString("%1").arg(i, 4, 10, QChar('0')));
        ASSERT_GE(users.AddItem(it), 0);
        expected[it.name.toString()] = k->expected;
        group += QByteArray::number(it.id) + "\r\n";
    }
    ASSERT_TRUE(writeAll(dir + "/Groups/Демо.lst", group));
    TNotifyScheme scheme = *TNotifyScheme::load(dir + "/NotifyScheme/Демо.sch");
    scheme.attempts = 2;
    scheme.pause = 0.1f;
    scheme.timeLimit = 120;
    ASSERT_TRUE(scheme.save(dir + "/NotifyScheme/Демо.sch"));

    const int lines = boardCount() * 18;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ORVEL_RUNNER_PATH, {"--dir", dir, "--quiet", "--scheme", "Демо"});
    const bool ended = p.waitForFinished(100 * 60 * 1000);
    if (!ended)
        p.kill();
    p.waitForFinished();
    const QString out = QString::fromUtf8(p.readAll());
    ASSERT_TRUE(ended) << out.toStdString();
    ASSERT_TRUE(p.exitCode() == 0 || p.exitCode() == 1) << out.toStdString();
    EXPECT_TRUE(out.contains(T(textRunLinesAndSubscribers).arg(lines).arg(total)))
        << out.toStdString();
    EXPECT_FALSE(out.contains(T(textRunLineNotServed).section('(', 0, 0))) << out.toStdString();
    // The throughput for the record.
    for (const QString& line : out.split('\n'))
        if (line.startsWith(T(textRunCalls).section('%', 0, 0)))
            std::printf("%d subscribers over %d lines: %s\n", total, lines, qPrintable(line));

    const QStringList logs = QDir(dir + "/Log").entryList({"*.log"}, QDir::Files, QDir::Name);
    ASSERT_EQ(logs.size(), 1) << out.toStdString();
    const QByteArray all = readAll(dir + "/Log/" + logs[0]);
    QMap<QString, TLineStateRecord> last;
    QSet<int> linesUsed;
    for (qsizetype at = 0; at + kLineStateRecordSize <= all.size(); at += kLineStateRecordSize) {
        const TLineStateRecord r = TLineStateRecord::fromBytes(all.constData() + at);
        last[r.name] = r;
        linesUsed.insert(r.line);
    }
    EXPECT_EQ(linesUsed.size(), lines);
    int wrong = 0;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const auto found = last.find(it.key());
        if (found == last.end()) {
            ADD_FAILURE() << it.key().toStdString() << " never called";
            ++wrong;
        } else if (found->state != it.value()) {
            ADD_FAILURE() << it.key().toStdString() << " on line " << found->line + 1 << ": "
                          << found->state << ", planned " << it.value();
            ++wrong;
        }
        if (wrong > 20)
            break;
    }
    EXPECT_EQ(QDir(dir + "/Reports").entryList({"*.xlsx"}, QDir::Files).size(), 1);
}

}  // namespace
}  // namespace orvel::test
