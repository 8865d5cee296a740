#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "diag/system_log.h"
#include "test_support.h"

using namespace orvel;

namespace {

class SystemLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/OrvelSys.log"; }
    TSystemLog log{QString()};
    void SetUp() override {
        log.setPath(path());
        log.setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); });
    }
};

TEST_F(SystemLogTest, EntryBeforeLoginIsByteExact) {
    log.WriteSystemLog("Запуск программы", 1);
    const QByteArray expected = QByteArray("07.03.2026  09:05:03 2 1 ") + QByteArray(20, '\0') +
                                " " + test::cp("Запуск программы") + "\r";
    EXPECT_EQ(test::readAll(path()), expected);
}

TEST_F(SystemLogTest, OperatorIsPaddedWithZerosAndLevelMinusOneIsNine) {
    log.setOperatorName("Петров");
    log.WriteSystemLog("x", -1);
    log.setOperatorName(QString(25, 'A'));
    log.WriteSystemLog("y", 3);
    const QByteArray expected = QByteArray("07.03.2026  09:05:03 2 9 ") + test::cp("Петров") +
                                QByteArray(14, '\0') + " x\r" + "07.03.2026  09:05:03 2 3 " +
                                QByteArray(20, 'A') + " y\r";
    EXPECT_EQ(test::readAll(path()), expected);
}

TEST_F(SystemLogTest, MessagesOver80CharactersAreShortened) {
    QString m80;
    for (int i = 0; i < 80; ++i)
        m80 += QChar('a' + i % 26);
    EXPECT_EQ(TSystemLog::shortenMessage(m80), m80);
    const QString m81 = m80 + "Я";
    const QString s = TSystemLog::shortenMessage(m81);
    EXPECT_EQ(s, m81.left(3) + "..." + m81.right(70));
    EXPECT_EQ(s.size(), 76);
    EXPECT_TRUE(s.endsWith("Я"));
}

TEST_F(SystemLogTest, GrowingPastTheLimitKeepsTheNewerHalfFromAWholeEntry) {
    // 1024 lines of 100 bytes: exactly at the limit, nothing cut yet.
    QByteArray before;
    for (int i = 0; i < 1024; ++i)
        before += QByteArray(99, char('a' + i % 26)) + '\r';
    ASSERT_TRUE(test::writeAll(path(), before));
    log.WriteSystemLog("at", 1);  // grows it past 102400
    const QByteArray entry = log.formatEntry("at", 1, QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)));
    const QByteArray grown = before + entry;  // 102449 bytes
    // By hand: the middle byte is 51224, inside line 512 (51200..51299), whose
    // CR is byte 51299: the log keeps lines 513.. and the new entry.
    EXPECT_EQ(grown.size() / 2, 51224);
    const QByteArray expected = before.mid(51300) + entry;
    const QByteArray after = test::readAll(path());
    EXPECT_EQ(after, expected);
    EXPECT_TRUE(after.startsWith(QByteArray(99, char('a' + 513 % 26)) + '\r'));
    EXPECT_TRUE(after.endsWith(" at\r"));
}

TEST_F(SystemLogTest, CutRightAfterTheMiddleWhenTheMiddleByteIsACarriageReturn) {
    // The middle byte itself is a CR: the cut starts right behind it.
    QByteArray before(kSystemLogLimit, 'x');
    const QByteArray entry = log.formatEntry("e", 0, QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)));
    const qsizetype middle = (before.size() + entry.size()) / 2;
    before[middle] = '\r';
    ASSERT_TRUE(test::writeAll(path(), before));
    log.WriteSystemLog("e", 0);
    EXPECT_EQ(test::readAll(path()), before.mid(middle + 1) + entry);
}

TEST_F(SystemLogTest, AHugeNewestEntryIsNeverCutAway) {
    // One CR only, at the very end: nothing may be cut.
    test::writeAll(path(), QByteArray(kSystemLogLimit, 'x'));
    log.WriteSystemLog("newest", 2);
    const QByteArray after = test::readAll(path());
    EXPECT_EQ(after.size(), kSystemLogLimit + 47 + 6);
    EXPECT_TRUE(after.endsWith("newest\r"));
}

TEST_F(SystemLogTest, EntriesFromSeveralThreadsNeverInterleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 100; ++i)
                log.WriteSystemLog(QString("поток %1 запись %2").arg(t).arg(i, 3, 10, QChar('0')),
                                   3);
        });
    }
    for (auto& th : threads)
        th.join();
    const QList<QByteArray> entries = test::readAll(path()).split('\r');
    ASSERT_EQ(entries.size(), 401);  // 400 entries and the empty rest after the last CR
    for (int i = 0; i < 400; ++i) {
        EXPECT_EQ(entries[i].size(), 46 + 18) << i;  // "поток N запись NNN"
        EXPECT_TRUE(entries[i].startsWith("07.03.2026  09:05:03 2 3 "));
    }
}

TEST_F(SystemLogTest, UnwritableLogIsSilent) {
    log.setPath(dir.path() + "/missing/dir/OrvelSys.log");
    log.WriteSystemLog("lost", 1);  // no crash, no file
    EXPECT_FALSE(QFile::exists(dir.path() + "/missing/dir/OrvelSys.log"));
}

}  // namespace
