// Files that cannot be written: every writer keeps the old file whole and
// says so, records not written wait for the next write, a run goes on
// calling, and a real filesystem that fills up behaves as the injected
// failures do.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <functional>

#include "core/ini_file.h"
#include "core/operators_file.h"
#include "core/safe_file.h"
#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "diag/system_log.h"
#include "notify/notify_scheme.h"
#include "notify/results_workbook.h"
#include "notify/run_fixture.h"
#include "notify/run_progress.h"
#include "notify/state_dump.h"
#include "test_support.h"

namespace orvel::test {
namespace {

// Collects what the writers report; removes the hooks on leaving.
class WriteFaults : public ::testing::Test {
protected:
    void SetUp() override {
        setWriteFailureReporter([this](const QString& path, const QString& error) {
            std::lock_guard lock(mutex);
            reported << path;
            errors << error;
        });
    }
    void TearDown() override {
        setWriteFaultHook(nullptr);
        setWriteFailureReporter(nullptr);
    }
    void failWritesTo(const QString& path) {
        setWriteFaultHook([path](const QString& p) { return p == path; });
    }
    int reportsOf(const QString& path) {
        std::lock_guard lock(mutex);
        return int(reported.count(path));
    }
    // Files beside the target: nothing may be left after a failed write.
    QStringList leftovers(const QString& dir) {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden).filter("aside") +
               QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(".part");
    }

    std::mutex mutex;
    QStringList reported, errors;
    QTemporaryDir dir;
};

struct Writer {
    const char* what;
    QString path;
    std::function<bool(int)> write;  // the n-th version of the file
};

TEST_F(WriteFaults, EveryWriterKeepsTheOldFileAndSaysSo) {
    const QString d = dir.path();
    TUserList users;
    ASSERT_TRUE(users.open(d, 0));
    TUserListItem item;
    item.name.assign(QStringLiteral("Абрамов Антон"));
    item.phone.assign(QStringLiteral("100"));
    item.id = users.NextId();
    ASSERT_GE(users.AddItem(item), 0);
    users.Item(0)->mark = 1;
    const QString templ = shippedDataDir() + "/report.dat";

    const std::vector<Writer> writers = {
        {"settings", d + "/ORVEL.ini",
         [&](int n) {
             IniFile ini(d + "/ORVEL.ini");
             ini.load();
             ini.setValue("Main", "Key", QString::number(n));
             return ini.save();
         }},
        {"scheme", d + "/Ночь.sch",
         [&](int n) {
             TNotifyScheme s;
             s.attempts = n;
             return s.save(d + "/Ночь.sch");
         }},
        {"state dump", d + "/state.onsd",
         [&](int n) {
             users.Item(0)->attempts = n;
             return SaveStateDump(d + "/state.onsd", users);
         }},
        {"group", d + "/Смена.lst",
         [&](int n) {
             return writeGroupIds(d + "/Смена.lst", {1, n});
         }},
        {"progress", progressPath(d),
         [&](int n) {
             TRunProgress p;
             p.maxAttempts = n;
             return saveProgress(progressPath(d), p);
         }},
        {"operators", d + "/Operators.dat",
         [&](int n) {
             QString error;
             return saveOperatorsFile(d + "/Operators.dat",
                                      {QByteArray(kOperatorRecordSize, char('a' + n))}, &error);
         }},
        {"workbook", d + "/book.xlsx",
         [&](int n) {
             TReportInput in;
             in.start = QDateTime(QDate(2026, 12, 10), QTime(5, n));
             in.end = in.start;
             return writeResultsWorkbook(templ, d + "/book.xlsx", users, in);
         }},
        {"table", users.table().fileName(),
         [&](int n) {
             TUserListItem more;
             more.name.assign(QString("Абонент %1").arg(n));
             more.phone.assign(QStringLiteral("101"));
             more.id = users.NextId();
             return users.AddItem(more) >= 0;
         }},
    };
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.what);
        ASSERT_TRUE(w.write(1));
        const QByteArray before = readAll(w.path);
        ASSERT_FALSE(before.isEmpty());
        failWritesTo(w.path);
        EXPECT_FALSE(w.write(2));
        EXPECT_FALSE(w.write(3));
        EXPECT_EQ(readAll(w.path), before);
        EXPECT_EQ(reportsOf(w.path), 1);  // once, not at every failed write
        EXPECT_TRUE(leftovers(QFileInfo(w.path).path()).isEmpty())
            << leftovers(QFileInfo(w.path).path()).join(' ').toStdString();
        setWriteFaultHook(nullptr);
        EXPECT_TRUE(w.write(4));
        EXPECT_NE(readAll(w.path), before);
        // Failing again after a success is told again.
        failWritesTo(w.path);
        EXPECT_FALSE(w.write(5));
        EXPECT_EQ(reportsOf(w.path), 2);
        setWriteFaultHook(nullptr);
    }
    EXPECT_FALSE(errors.first().isEmpty());
}

// The operator reads why in Russian, whatever the machine's locale; a cause
// without a text of its own still says something.
TEST_F(WriteFaults, ReasonsAreGivenInTheProgramsLanguage) {
    const QString missing = dir.path() + "/нет такой папки/файл.sch";
    QString why;
    EXPECT_FALSE(writeFileSafely(missing, "x", &why));
    EXPECT_EQ(why, T(textNoSuchFolder));
    why.clear();
    EXPECT_FALSE(appendSafely(missing, "x", &why));
    EXPECT_EQ(why, T(textNoSuchFolder));

    const QString file = dir.path() + "/Ночь.sch";
    failWritesTo(file);
    why.clear();
    EXPECT_FALSE(writeFileSafely(file, "x", &why));
    EXPECT_EQ(why, T(textDiskFull));
    EXPECT_EQ(errors.last(), T(textDiskFull));

    EXPECT_EQ(systemErrorText(EROFS), T(textReadOnlyDisk));
    EXPECT_EQ(systemErrorText(EACCES), T(textNoAccessRights));
    EXPECT_FALSE(systemErrorText(EXDEV).isEmpty());
}

TEST_F(WriteFaults, LogRecordsNotWrittenWaitForTheNextWrite) {
    TLineStateLog log(dir.path());
    log.startRun(QDateTime(QDate(2026, 12, 10), QTime(5, 0)));
    TLineStateRecord r;
    r.state = 14;
    r.name = "Абрамов Антон";
    ASSERT_TRUE(log.WriteLineState(0, r));
    failWritesTo(log.currentFile());
    r.name = "Борисова Вера";
    EXPECT_FALSE(log.WriteLineState(1, r));
    EXPECT_EQ(log.pendingRecords(), 1);
    EXPECT_EQ(readAll(log.currentFile()).size(), kLineStateRecordSize);
    setWriteFaultHook(nullptr);
    r.name = "Волков Глеб";
    EXPECT_TRUE(log.WriteLineState(2, r));
    EXPECT_EQ(log.pendingRecords(), 0);
    const QByteArray all = readAll(log.currentFile());
    ASSERT_EQ(all.size(), 3 * kLineStateRecordSize);
    EXPECT_EQ(TLineStateRecord::fromBytes(all.constData() + kLineStateRecordSize).name,
              "Борисова Вера");

    const QString sysPath = dir.path() + "/OrvelSys.log";
    TSystemLog sys(sysPath);
    sys.WriteSystemLog("первая", 1);
    failWritesTo(sysPath);
    sys.WriteSystemLog("вторая", 1);
    const QByteArray one = readAll(sysPath);
    setWriteFaultHook(nullptr);
    sys.WriteSystemLog("третья", 1);
    const QByteArray three = readAll(sysPath);
    EXPECT_TRUE(three.startsWith(one));
    EXPECT_EQ(three.count('\r'), 3);
    EXPECT_EQ(reportsOf(sysPath), 1);
}

class FailingProgress : public RunFixture {
protected:
    void TearDown() override { setWriteFaultHook(nullptr); }
};

TEST_F(FailingProgress, RunGoesOnCallingAndTheNextSaveHoldsEveryResult) {
    for (int i = 0; i < 8; ++i) {
        add(QString("S%1").arg(i), QString::number(100 + i));
        lib.plan[std::to_string(100 + i)] = i % 2 ? 16 : 14;
    }
    run.settings().maxAttempts = 2;
    lib.callPolls = 3;
    const QString path = progressPath(dir.path());
    TRunProgress progress;
    int failed = 0, saved = 0;
    run.setProgressHook([&] {
        progress.capture(users);
        saveProgress(path, progress) ? ++saved : ++failed;
    });
    bool failing = true;
    setWriteFaultHook([&](const QString& p) { return failing && p == path; });
    begin();
    while (!run.finished() && lib.callCount() < 10)
        pass();
    // The run did not stop for the disk: calls were made and results booked.
    EXPECT_GE(lib.callCount(), 10u);
    EXPECT_GT(failed, 0);
    EXPECT_EQ(saved, 0);
    EXPECT_FALSE(QFile::exists(path));
    int bookedInMemory = 0;
    for (int k = 0; k < users.Count(); ++k)
        bookedInMemory += users.Item(k)->lastState != 0;
    EXPECT_GT(bookedInMemory, 0);
    failing = false;
    const int before = saved;
    while (!run.finished() && saved == before)
        pass();
    const auto back = loadProgress(path);
    ASSERT_TRUE(back);
    int bookedOnDisk = 0;
    for (const auto& e : back->entries)
        bookedOnDisk += e.result != 0;
    EXPECT_GE(bookedOnDisk, bookedInMemory);
    passesUntilFinished();
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(run.notNotifiedCount(), 4);
}

// A small filesystem of its own (tmpfs; needs the right to mount).
class FullDisk : public WriteFaults {
protected:
    void SetUp() override {
        WriteFaults::SetUp();
        mountPoint = dir.path() + "/small";
        QDir().mkpath(mountPoint);
        if (::geteuid() != 0 || ::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs",
                                        0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small filesystem here (needs root)";
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
        WriteFaults::TearDown();
    }
    // Fills the filesystem to the last byte.
    void fill() {
        QFile f(mountPoint + "/filler");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        f.close();
    }
    QString mountPoint;
    bool mounted = false;
};

TEST_F(FullDisk, WritersKeepTheirFilesAndGoOnOnceThereIsRoomAgain) {
    const QString dir = mountPoint;
    TRunProgress p;
    for (int i = 0; i < 200; ++i)
        p.entries.push_back({i, 1, 16, 1765000000000 + i, 0, 0});
    ASSERT_TRUE(saveProgress(progressPath(dir), p));
    TNotifyScheme scheme;
    ASSERT_TRUE(scheme.save(dir + "/Ночь.sch"));
    IniFile ini(dir + "/ORVEL.ini");
    ini.setValue("Main", "Key", "1");
    ASSERT_TRUE(ini.save());
    TLineStateLog log(dir);
    log.startRun(QDateTime(QDate(2026, 12, 10), QTime(5, 0)));
    TLineStateRecord r;
    r.state = 16;
    ASSERT_TRUE(log.WriteLineState(0, r));
    const QByteArray progressBefore = readAll(progressPath(dir));
    const QByteArray schemeBefore = readAll(dir + "/Ночь.sch");
    const QByteArray iniBefore = readAll(dir + "/ORVEL.ini");

    fill();
    for (auto& e : p.entries)
        e.result = 14;
    EXPECT_FALSE(saveProgress(progressPath(dir), p));
    scheme.attempts = 3;
    EXPECT_FALSE(scheme.save(dir + "/Ночь.sch"));
    ini.setValue("Main", "Key", QString(3000, 'k'));
    EXPECT_FALSE(ini.save());
    int logged = 1;
    for (int i = 0; i < 100 && log.WriteLineState(0, r); ++i)
        ++logged;  // the log's last free blocks
    EXPECT_GT(log.pendingRecords(), 0);
    EXPECT_EQ(readAll(progressPath(dir)), progressBefore);
    EXPECT_EQ(readAll(dir + "/Ночь.sch"), schemeBefore);
    EXPECT_EQ(readAll(dir + "/ORVEL.ini"), iniBefore);
    EXPECT_EQ(readAll(log.currentFile()).size(), logged * kLineStateRecordSize);
    EXPECT_GE(reportsOf(progressPath(dir)), 1);
    EXPECT_TRUE(errors.join(' ').contains(T(textDiskFull))) << errors.join('\n').toStdString();
    EXPECT_TRUE(leftovers(dir).isEmpty()) << leftovers(dir).join(' ').toStdString();

    // Room again: everything kept in memory reaches the disk.
    QFile::remove(dir + "/filler");
    EXPECT_TRUE(saveProgress(progressPath(dir), p));
    EXPECT_EQ(loadProgress(progressPath(dir))->notifiedCount(), 200);
    EXPECT_TRUE(log.WriteLineState(0, r));
    EXPECT_EQ(log.pendingRecords(), 0);
    EXPECT_EQ(readAll(log.currentFile()).size() % kLineStateRecordSize, 0);
}

}  // namespace
}  // namespace orvel::test
