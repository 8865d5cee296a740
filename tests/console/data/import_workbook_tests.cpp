// Import of subscribers from workbooks that LibreOffice made from a CSV: the
// reader is checked against files of an independent writer, with the numbers,
// texts and empty rows a real sheet has.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/structure_rebuild.h"
#include "data/subscriber_import.h"
#include "data/user_list.h"
#include "test_support.h"

using namespace orvel;

namespace {

// The sheet: no header row; numbers where a spreadsheet makes numbers; an
// empty row; a row wider than 127 columns.
QString sampleCsv() {
    QStringList wide;
    for (int i = 1; i <= 130; ++i)
        wide << QString::number(i);
    return "Иванов Иван;89161234567;08:00-17:00;2;комментарий;7;Склад\n"
           "Петров;+7 (495) 123-45-67;;;;;\n"
           ";;;;;;\n"
           "Сидорова Анна;#2 5551234;9:30-18:00;12;;;Охрана\n"
           "Без телефона;;;;;;\n"
           "Широкий;" +
           wide.join(';') + "\n";
}

// LibreOffice converts `csv` (UTF-8, ";") into `filter`'s format; the path of
// the result, empty when LibreOffice is missing or failed.
QString convertedByLibreOffice(const QString& csv, const QString& extension, const QString& filter,
                               const QString& outDir) {
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        return {};
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, {"-env:UserInstallation=file://" + outDir + "/profile", "--headless",
                      "--norestore", "--infilter=CSV:59,34,76,1", "--convert-to",
                      extension + ":" + filter, "--outdir", outDir, csv});
    if (!p.waitForFinished(240000) || p.exitCode() != 0) {
        p.kill();
        ADD_FAILURE() << "soffice: " << p.readAll().toStdString();
        return {};
    }
    const QString out = outDir + "/" + QFileInfo(csv).completeBaseName() + "." + extension;
    return QFileInfo::exists(out) ? out : QString();
}

class WorkbookImportTest : public ::testing::Test {
protected:
    static inline QTemporaryDir* shared = nullptr;
    static inline QString xls;
    static inline QString xlsx;

    static void SetUpTestSuite() {
        shared = new QTemporaryDir;
        const QString csv = shared->path() + "/subscribers.csv";
        QFile f(csv);
        if (f.open(QIODevice::WriteOnly))
            f.write(sampleCsv().toUtf8());
        f.close();
        xls = convertedByLibreOffice(csv, "xls", "MS Excel 97", shared->path());
        xlsx = convertedByLibreOffice(csv, "xlsx", "Calc MS Excel 2007 XML", shared->path());
    }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }

    QTemporaryDir dir;
    TUserList list;
    void SetUp() override {
        resetTexts();
        ASSERT_TRUE(list.open(dir.path(), 0));
        TColumnList cols = list.columns();
        cols.Add({"Отдел", 12, 0});
        ASSERT_EQ(rebuildStructure(list, cols), RebuildResult::Done);
    }

    void expectSampleSubscribers(const ImportOutcome& out) {
        ASSERT_TRUE(out.error.isEmpty()) << out.error.toStdString();
        ASSERT_EQ(out.added, 5);
        EXPECT_EQ(out.withoutDialDigits, 1);
        ASSERT_TRUE(list.open(dir.path(), 0));  // what the table on disk holds
        ASSERT_EQ(list.Count(), 5);
        const TUserListItem& a = *list.Item(0);
        EXPECT_EQ(a.name.toString(), "Иванов Иван");
        EXPECT_EQ(a.phone.toString(), "89161234567");
        ASSERT_TRUE(a.time.present);
        EXPECT_EQ(timeWindowText(a.time), "8:00 - 17:00");
        EXPECT_EQ(a.line, 1);
        EXPECT_EQ(a.comment.toString(), "комментарий");
        EXPECT_EQ(a.confirmMethod, 0);
        EXPECT_EQ(a.extra, QStringList{"Склад"});
        const TUserListItem& b = *list.Item(1);
        EXPECT_EQ(b.name.toString(), "Петров");
        EXPECT_EQ(b.phone.toString(), "+7 (495) 123-45-67");
        EXPECT_FALSE(b.time.present);
        EXPECT_EQ(b.line, -1);
        EXPECT_EQ(b.extra, QStringList{""});
        const TUserListItem& c = *list.Item(2);
        EXPECT_EQ(c.id, a.id + 2);  // the empty row used up no ID
        EXPECT_EQ(c.name.toString(), "Сидорова Анна");
        EXPECT_EQ(c.phone.toString(), "#2 5551234");
        EXPECT_EQ(timeWindowText(c.time), "9:30 - 18:00");
        EXPECT_EQ(c.line, 11);
        EXPECT_EQ(c.extra, QStringList{"Охрана"});
        const TUserListItem& wide = *list.Item(4);
        EXPECT_EQ(wide.name.toString(), "Широкий");
        EXPECT_EQ(wide.phone.toString(), "1");
        EXPECT_EQ(wide.extra, QStringList{"6"});
    }
};

TEST_F(WorkbookImportTest, XlsAndXlsxFromLibreOfficeLandInTheRightColumns) {
    if (xls.isEmpty() || xlsx.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    for (const QString& book : {xls, xlsx}) {
        SCOPED_TRACE(book.toStdString());
        ASSERT_TRUE(list.open(dir.path(), 0));
        for (int i = list.Count() - 1; i >= 0; --i)
            list.DeleteItem(i);
        ImportOptions o;
        o.kind = ImportKind::Workbook;
        const ImportTable t = readImportSource(book, o);
        ASSERT_TRUE(t.error.isEmpty()) << t.error.toStdString();
        ASSERT_EQ(t.rows.size(), 5u);
        EXPECT_EQ(t.rows.back().size(), 127);  // 131 columns used, 127 taken
        EXPECT_EQ(t.rows.back().last(), "126");
        expectSampleSubscribers(importSubscribers(list, book, o));
    }
}

TEST_F(WorkbookImportTest, ATruncatedXlsIsRefusedWithTheTableUnchanged) {
    if (xls.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    const QByteArray whole = test::readAll(xls);
    ASSERT_GT(whole.size(), 1024);
    const QByteArray before = test::readAll(list.tablePath());
    for (const int keep : {512, int(whole.size() / 2), int(whole.size()) * 3 / 4}) {
        SCOPED_TRACE(keep);
        const QString cut = dir.path() + "/cut.xls";
        ASSERT_TRUE(test::writeAll(cut, whole.left(keep)));
        ImportOptions o;
        o.kind = ImportKind::Workbook;
        const ImportOutcome out = importSubscribers(list, cut, o);
        EXPECT_TRUE(out.error.startsWith("Файл не является книгой Excel или повреждён"))
            << out.error.toStdString();
        EXPECT_EQ(out.added, 0);
    }
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(test::readAll(list.tablePath()), before);
}

}  // namespace
