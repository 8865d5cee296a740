// Import of subscribers from text files: the files are written by python3 in
// the code page under test, so the reader is checked against an independent
// encoder, not against itself.
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/import_text.h"
#include "data/structure_rebuild.h"
#include "data/subscriber_import.h"
#include "data/user_list.h"
#include "test_support.h"

using namespace orvel;

namespace {

// python3 writes `text` into `path` in `encoding`.
bool pythonWrite(const QString& path, const QString& text, const QString& encoding,
                 const QStringList& flags = {}) {
    QProcess p;
    p.start(
        "/usr/bin/python3",
        QStringList{QStringLiteral(ORVEL_TEST_DATA_DIR "/write_text.py"), path, encoding} + flags);
    if (!p.waitForStarted(30000))
        return false;
    p.write(text.toUtf8());
    p.closeWriteChannel();
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

QStringList names(const TUserList& l) {
    QStringList out;
    for (int i = 0; i < l.Count(); ++i)
        out << l.Item(i)->name.toString();
    return out;
}

class ImportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TUserList list;
    void SetUp() override {
        resetTexts();
        ASSERT_TRUE(list.open(dir.path(), 0));
    }
    QString file(const QString& name) const { return dir.path() + "/" + name; }
    void addExisting(int id, const QString& name) {
        TUserListItem it;
        it.id = id;
        it.name.assign(name);
        it.phone.assign(QStringLiteral("100"));
        ASSERT_GT(list.AddItem(it), 0);
    }
    ImportOutcome import(const QString& path, ImportKind kind, bool repeated = true,
                         const QString& separator = QStringLiteral("\t")) {
        ImportOptions o;
        o.kind = kind;
        o.separator = separator;
        o.repeatedSeparator = repeated;
        return importSubscribers(list, path, o);
    }
};

TEST(ImportTextSplit, SeparatorsEmptyPiecesAndTheFieldLimit) {
    TextImportOptions o;
    o.repeatedSeparator = false;
    EXPECT_EQ(splitImportLine("a\t\tb", o), QStringList({"a", "", "b"}));
    o.repeatedSeparator = true;
    EXPECT_EQ(splitImportLine("a\t\tb\t", o), QStringList({"a", "b"}));
    o.separator = " ; ";
    EXPECT_EQ(splitImportLine("Иванов ; 123 ;  x", o), QStringList({"Иванов", "123", " x"}));
    o.separator = QString();
    EXPECT_EQ(splitImportLine("a b", o), QStringList({"a b"}));
    // A line of separators only gives no field, repeated or not.
    o.separator = "\t";
    o.repeatedSeparator = false;
    EXPECT_TRUE(splitImportLine("\t\t", o).isEmpty());

    QStringList many;
    for (int i = 1; i <= 200; ++i)
        many << QString::number(i);
    const QStringList got = splitImportLine(many.join('\t'), o);
    ASSERT_EQ(got.size(), kMaxImportFields);
    EXPECT_EQ(got.last(), "127");
}

TEST(ImportTextParse, LinesCarriageReturnsAndRefusals) {
    TextImportOptions o;
    const std::string text = "a\tb\r\n\r\n\t\t\r\n  \t \nc\n\x1a";
    const ImportTable t = parseImportText(text, o);
    ASSERT_TRUE(t.error.isEmpty());
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0], QStringList({"a", "b"}));
    EXPECT_EQ(t.rows[1], QStringList({"c"}));

    const std::string binary("MZ\x90\x00\x03\x00\x00\x00\x04\x00", 10);
    EXPECT_EQ(parseImportText(binary, o).error, "Файл не является текстовым");
    EXPECT_TRUE(parseImportText(binary, o).rows.empty());

    const std::string huge = "ok\n" + std::string(kMaxImportLineBytes + 1, 'x') + "\n";
    const ImportTable h = parseImportText(huge, o);
    EXPECT_EQ(h.error, "Слишком длинная строка (2)");
    EXPECT_TRUE(h.rows.empty());
}

TEST(ImportTextDecode, Utf8IsRecognisedWhateverTheCodePage) {
    const QByteArray utf8 = QString("Щукин").toUtf8();
    const std::string_view u(utf8.constData(), size_t(utf8.size()));
    EXPECT_EQ(decodeImportText(u, TextCodePage::Dos866), "Щукин");
    EXPECT_EQ(decodeImportText(u, TextCodePage::Windows1251), "Щукин");
    // Windows-1251 bytes that happen to form no valid UTF-8 stay Windows-1251.
    const QByteArray win = test::cp("Щукин");
    EXPECT_EQ(decodeImportText(std::string_view(win.constData(), size_t(win.size())),
                               TextCodePage::Windows1251),
              "Щукин");
    // A byte-order mark before invalid UTF-8: the mark is not a name's start.
    EXPECT_EQ(decodeImportText("\xEF\xBB\xBF\xC0", TextCodePage::Windows1251), "А");
}

TEST_F(ImportTest, TheExampleLineGivesTimeWindowAndLine) {
    ASSERT_TRUE(pythonWrite(file("a.txt"), "Петров Пётр\t84951234567\t08:00-17:00\t2\n", "cp1251"));
    const ImportOutcome out = import(file("a.txt"), ImportKind::TextWin);
    ASSERT_TRUE(out.error.isEmpty()) << out.error.toStdString();
    ASSERT_EQ(out.added, 1);
    ASSERT_EQ(list.Count(), 1);
    const TUserListItem& s = *list.Item(0);
    EXPECT_EQ(s.name.toString(), "Петров Пётр");
    EXPECT_EQ(s.phone.toString(), "84951234567");
    ASSERT_TRUE(s.time.present);
    EXPECT_EQ(s.time.start, 8 * 3600);
    EXPECT_EQ(s.time.end, 17 * 3600);
    EXPECT_EQ(s.line, 1);
    EXPECT_EQ(s.confirmMethod, 0);
    EXPECT_EQ(s.mark, 0);
}

TEST_F(ImportTest, EveryCodePageOfAnIndependentWriterKeepsTheCyrillic) {
    const QString text = QString("Ёлкин Семён\t123\nЩукина Юлия\t456\n\nЭрик Ъ\t789\n");
    struct Case {
        const char* encoding;
        QStringList flags;
        ImportKind kind;
    };
    const Case cases[] = {
        {"cp1251", {}, ImportKind::TextWin},
        {"cp1251", {"--crlf"}, ImportKind::Csv},
        {"cp866", {"--crlf"}, ImportKind::TextDos},
        {"utf-8", {}, ImportKind::TextWin},
        {"utf-8", {"--bom", "--crlf"}, ImportKind::TextDos},
        {"utf-8", {"--bom"}, ImportKind::Csv},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + c.flags.join(' ').toStdString());
        const QString path = file("names.txt");
        ASSERT_TRUE(pythonWrite(path, text, c.encoding, c.flags));
        const int before = list.Count();
        const ImportOutcome out = import(path, c.kind);
        ASSERT_TRUE(out.error.isEmpty());
        EXPECT_EQ(out.added, 3);
        EXPECT_EQ(names(list).mid(before), QStringList({"Ёлкин Семён", "Щукина Юлия", "Эрик Ъ"}));
        EXPECT_EQ(list.Item(before + 2)->phone.toString(), "789");
    }
    // And the table on disk holds them, in Windows-1251, after a reload.
    ASSERT_TRUE(list.open(dir.path(), 0));
    EXPECT_EQ(list.Count(), 18);
    EXPECT_EQ(list.Item(17)->name.toString(), "Эрик Ъ");
}

TEST_F(ImportTest, NewIdsFollowTheTableAndEveryRowStartsEmpty) {
    addExisting(2, "a");
    addExisting(9, "b");
    // Row 2 is a name only: it must not take the telephone, time, line or
    // comment of row 1. The empty lines in between give no subscriber.
    const QString text =
        "Первый\t111\t9:00-18:00\t3\tкомментарий\n"
        "\n   \n"
        "Второй\n"
        "Третий\t333\n";
    ASSERT_TRUE(pythonWrite(file("b.txt"), text, "cp1251"));
    const ImportOutcome out = import(file("b.txt"), ImportKind::TextWin);
    ASSERT_EQ(out.added, 3);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Item(2)->id, 10);
    EXPECT_EQ(list.Item(3)->id, 11);
    EXPECT_EQ(list.Item(4)->id, 12);
    EXPECT_EQ(list.Item(4)->name.toString(), "Третий");
    const TUserListItem& second = *list.Item(3);
    EXPECT_EQ(second.name.toString(), "Второй");
    EXPECT_TRUE(second.phone.toString().isEmpty());
    EXPECT_FALSE(second.time.present);
    EXPECT_EQ(second.line, -1);
    EXPECT_TRUE(second.comment.toString().isEmpty());
    // "Второй" has no telephone: imported, but told.
    EXPECT_EQ(out.withoutDialDigits, 1);
}

TEST_F(ImportTest, RepeatedSeparatorDecidesWhereFieldsLand) {
    ASSERT_TRUE(pythonWrite(file("c.txt"), "Имя\t\t555\n", "cp1251"));
    import(file("c.txt"), ImportKind::TextWin, /*repeated=*/false);
    import(file("c.txt"), ImportKind::TextWin, /*repeated=*/true);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.Item(0)->phone.toString().isEmpty());
    EXPECT_EQ(list.Item(0)->time.present, false);
    EXPECT_EQ(list.Item(1)->phone.toString(), "555");
}

TEST_F(ImportTest, AdditionalFieldsAndLimitsOfEachColumn) {
    TColumnList cols = list.columns();
    cols.Add({"Отдел", 10, 0});
    cols.Add({"Пост", 10, 0});
    ASSERT_EQ(rebuildStructure(list, cols), RebuildResult::Done);

    const QString longName = QString(45, QChar(0x0416));  // 45 × "Ж"
    const QString row = longName + ";8(495)123-45-67, доб. 1234567890123;не время;0;" +
                        QString(60, 'c') + ";7;Склад;Охрана;лишнее\n";
    ASSERT_TRUE(pythonWrite(file("d.csv"), row, "utf-8"));
    const ImportOutcome out = import(file("d.csv"), ImportKind::Csv, true, ";");
    ASSERT_EQ(out.added, 1);
    ASSERT_TRUE(list.open(dir.path(), 0));
    const TUserListItem& s = *list.Item(0);
    EXPECT_EQ(s.name.toString(), longName.left(40));
    EXPECT_EQ(s.phone.toString(), QString("8(495)123-45-67, доб. 12345678"));
    EXPECT_FALSE(s.time.present);
    EXPECT_EQ(s.line, -1);
    EXPECT_EQ(s.comment.toString(), QString(50, 'c'));
    EXPECT_EQ(s.confirmMethod, 0);  // field 6 is not read
    EXPECT_EQ(s.extra, QStringList({"Склад", "Охрана"}));
    EXPECT_EQ(out.withoutDialDigits, 0);
}

TEST_F(ImportTest, PhonesWithoutDialDigitsAreCounted) {
    EXPECT_TRUE(hasDialDigits("#2 123"));
    EXPECT_TRUE(hasDialDigits("*"));
    EXPECT_FALSE(hasDialDigits("#2"));
    EXPECT_FALSE(hasDialDigits("нет телефона"));
    EXPECT_FALSE(hasDialDigits("w-,"));
    ASSERT_TRUE(pythonWrite(file("e.txt"), "А\tнет\nБ\t#3\nВ\t#3 5\n", "cp1251"));
    const ImportOutcome out = import(file("e.txt"), ImportKind::TextWin);
    EXPECT_EQ(out.added, 3);
    EXPECT_EQ(out.withoutDialDigits, 2);
}

TEST_F(ImportTest, HostileFilesAreRefusedAndTheTableStaysAsItWas) {
    addExisting(2, "Старый");
    const QString table = list.tablePath();
    const QByteArray before = test::readAll(table);

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 256));
    ASSERT_TRUE(test::writeAll(file("garbage.txt"), garbage));
    ImportOutcome out = import(file("garbage.txt"), ImportKind::TextWin);
    EXPECT_EQ(out.error, "Файл не является текстовым");

    QByteArray huge = "Первая\t1\n" + QByteArray(200000, 'x') + "\n";
    ASSERT_TRUE(test::writeAll(file("huge.txt"), huge));
    out = import(file("huge.txt"), ImportKind::TextWin);
    EXPECT_TRUE(out.error.startsWith("Слишком длинная строка"));

    // Text where a workbook was chosen, and a workbook cut short.
    ASSERT_TRUE(test::writeAll(file("not.xls"), "Имя\t1\n"));
    out = import(file("not.xls"), ImportKind::Workbook);
    EXPECT_TRUE(out.error.startsWith("Файл не является книгой Excel или повреждён"));
    ASSERT_TRUE(test::writeAll(file("cut.xls"), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                                    QByteArray(300, '\0')));
    out = import(file("cut.xls"), ImportKind::Workbook);
    EXPECT_TRUE(out.error.startsWith("Файл не является книгой Excel или повреждён"));

    out = import(file("missing.txt"), ImportKind::TextWin);
    EXPECT_TRUE(out.error.startsWith("Ошибка чтения файла"));

    EXPECT_EQ(out.added, 0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(test::readAll(table), before);
}

TEST_F(ImportTest, ATableThatRefusesRecordsStopsTheImportWithAMessage) {
    ASSERT_TRUE(pythonWrite(file("f.txt"), "А\t1\nБ\t2\n", "cp1251"));
    list.table().CloseTable();
    const ImportOutcome out = import(file("f.txt"), ImportKind::TextWin);
    EXPECT_EQ(out.added, 0);
    EXPECT_EQ(out.error, "Импорт остановлен: ошибка записи в базу абонентов");
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
