#include <gtest/gtest.h>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>

#include "diag/line_state_log.h"
#include "diag/log_cache.h"
#include "test_support.h"

using namespace orvel;

namespace {

TEST(LineStateRecord, LayoutIsByteExact) {
    TLineStateRecord r{3, 14, "12:34:56", "9w5551234", "Иванов"};
    const QByteArray b = r.toBytes();
    ASSERT_EQ(b.size(), 92);
    EXPECT_EQ(b.mid(0, 4), QByteArray("\x03\0\0\0", 4));
    EXPECT_EQ(b.mid(4, 4), QByteArray("\x0E\0\0\0", 4));
    EXPECT_EQ(b.mid(8, 9), QByteArray("\x08"
                                      "12:34:56"));
    EXPECT_EQ(b.at(17), 9);
    EXPECT_EQ(b.mid(18, 9), QByteArray("9w5551234"));
    EXPECT_EQ(b.at(48), 6);
    EXPECT_EQ(b.mid(49, 6), test::cp("Иванов"));
    const TLineStateRecord back = TLineStateRecord::fromBytes(b.constData());
    EXPECT_EQ(back.line, 3);
    EXPECT_EQ(back.state, 14);
    EXPECT_EQ(back.number, "9w5551234");
    EXPECT_EQ(back.name, "Иванов");
}

TEST(LineStateRecord, OverlongTextsAreCutAndBadLengthsClamped) {
    TLineStateRecord r{0, -1, "123456789", QString(40, '1'), QString(50, 'N')};
    QByteArray b = r.toBytes();
    EXPECT_EQ(b.at(8), 8);
    EXPECT_EQ(b.at(17), 30);
    EXPECT_EQ(b.at(48), 40);
    b[17] = char(200);  // corrupt length byte
    EXPECT_EQ(TLineStateRecord::fromBytes(b.constData()).number.size(), 30);
}

TEST(LineStateLog, RunFileIsNamedAfterTheStartAndRecordsAppend) {
    QTemporaryDir dir;
    TLineStateLog log(dir.path());
    const QDateTime start(QDate(2026, 1, 2), QTime(3, 4, 5, 67));
    log.startRun(start);
    EXPECT_EQ(log.currentFile(), dir.path() + "/Log/20260102_030405_067.log");
    log.WriteLineState(1, {0, 2, "10:00:00", "123", "A"});
    log.WriteLineState(2, {0, 14, "10:00:05", "456", "B"});
    const QByteArray all = test::readAll(log.currentFile());
    ASSERT_EQ(all.size(), 184);
    EXPECT_EQ(all.at(0), 1);  // the line argument is what counts
    EXPECT_EQ(all.at(92), 2);
}

TEST(LineStateText, KnownAndUnknownCodes) {
    EXPECT_EQ(lineStateText(-1), "Линия отключена");
    EXPECT_EQ(lineStateText(14), "Оповещён");
    EXPECT_EQ(lineStateText(17), "Тест сигнала \"Занято\"");
    EXPECT_EQ(lineStateText(18), "Номер не существует");  // appended: unobtainable numbers
    EXPECT_EQ(lineStateText(19), "Unknown 19");
    EXPECT_EQ(lineStateText(-2), "Unknown -2");
}

TEST(LogCache, ReadsWholeRecordsSortsAndFinds) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/run.log";
    QByteArray data;
    data += TLineStateRecord{0, 2, "10:00:03", "9w222", "Борисов"}.toBytes();
    data += TLineStateRecord{1, 14, "10:00:09", "8w111", "Андреев"}.toBytes();
    data += TLineStateRecord{1, 15, "10:00:01", "111", "Андреев"}.toBytes();
    data += TLineStateRecord{2, 16, "10:00:02", "5w", "Виктор"}.toBytes();
    data += QByteArray(50, 'z');  // trailing partial record
    ASSERT_TRUE(test::writeAll(path, data));

    TLogCache c;
    ASSERT_TRUE(c.loadRun(path));
    ASSERT_EQ(c.Count(), 4);
    EXPECT_EQ(c.Item(0)->name, "Андреев");
    EXPECT_EQ(c.Item(0)->time, "10:00:01");  // same name and number: time decides
    EXPECT_EQ(c.Item(1)->time, "10:00:09");
    EXPECT_EQ(c.Item(1)->number, "111");  // what follows the last "w"
    EXPECT_EQ(c.Item(1)->stateText, "Оповещён");
    EXPECT_EQ(c.Item(3)->number, "");  // a number ending in "w"
    EXPECT_EQ(c.Item(4), nullptr);
    EXPECT_EQ(c.Item(-1), nullptr);

    EXPECT_EQ(c.FindTime("Андреев", "111", "-"), "10:00:01");
    EXPECT_EQ(c.FindTime("Андреев", "112", "-"), "-");
    c.MarkMatched("Андреев", "111");
    EXPECT_EQ(c.Item(0)->matched, 1);
    EXPECT_EQ(c.Item(1)->matched, 1);
    EXPECT_EQ(c.Item(2)->matched, 0);
    c.Delete(0);
    EXPECT_EQ(c.Count(), 3);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_FALSE(c.loadRun(dir.path() + "/none.log"));
}

TEST(LogCache, SortsNamesAsRussianTextInAnyLocale) {
    // The runner works in the C locale; character codes would put capitals
    // and "Ё" before every small letter and "ё" after "я".
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    TLogCache c;
    for (const char* name : {"ёжиков", "Яковлев", "абрамов", "Ёлкин", "Борисов", "Абрамов"})
        c.Add(TLineStateRecord{0, 14, "10:00:00", "100", name});
    c.Sort();
    QLocale::setDefault(before);
    QStringList names;
    for (int i = 0; i < c.Count(); ++i)
        names << c.Item(i)->name;
    EXPECT_EQ(names, QStringList({"абрамов", "Абрамов", "Борисов", "ёжиков", "Ёлкин",
                                  "Яковлев"}));
}

}  // namespace
