// The results workbook, read back by an independent xlsx reader.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/results_workbook.h"
#include "test_support.h"

namespace orvel::test {
namespace {

struct Cells {
    int sheets = 0;
    bool firstActive = false;
    QMap<QString, QString> values;  // "sheet!A1" -> text
    QSet<QString> bordered;
};

std::optional<Cells> readBack(const QString& path) {
    QProcess p;
    p.start("/usr/bin/python3", {QStringLiteral(ORVEL_TEST_DIR "/read_xlsx.py"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << p.readAllStandardError().toStdString();
        return std::nullopt;
    }
    Cells c;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() < 3)
            continue;
        if (f[0] == "sheets") {
            c.sheets = f[1].toInt();
            c.firstActive = f[2] == "1";
        } else if (f[0] == "border") {
            c.bordered.insert(f[1] + "!" + f[2]);
        } else {
            c.values[f[0] + "!" + f[1]] = f.mid(2).join('\t');
        }
    }
    return c;
}

bool readerAvailable() {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", "import openpyxl"});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// LibreOffice opens the workbook and saves it again as xlsx: what it kept
// is what an operator sees in it.
std::optional<QString> resavedByLibreOffice(const QString& path, const QString& outDir) {
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        return std::nullopt;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice,
            {"-env:UserInstallation=file://" + outDir + "/profile", "--headless", "--norestore",
             "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", outDir, path});
    if (!p.waitForFinished(240000) || p.exitCode() != 0) {
        p.kill();
        ADD_FAILURE() << "soffice: " << p.readAll().toStdString();
        return QString();
    }
    return outDir + "/" + QFileInfo(path).fileName();
}

// A run's workbook with three subscribers and five calls.
QString writeSampleWorkbook(const QString& dirPath) {
    resetTexts();
    TUserList list;
    EXPECT_TRUE(list.open(dirPath, 0));
    const QDateTime start(QDate(2026, 12, 8), QTime(14, 5, 9));
    struct Row {
        const char* name;
        const char* phone;
        int attempts, result;
    };
    for (const Row& r : {Row{"Иванов", "#2123", 1, 14}, Row{"Петров", "200", 3, 6},
                         Row{"Сидоров", "300", 2, 16}}) {
        TUserListItem it;
        it.id = list.NextId();
        it.name.assign(QString::fromUtf8(r.name));
        it.phone.assign(QString::fromUtf8(r.phone));
        it.comment.assign(QStringLiteral("к"));
        list.AddItem(it);
        TUserListItem& s = *list.Item(list.Count() - 1);
        s.mark = 1;
        s.attempts = r.attempts;
        s.lastState = r.result;
        s.lastStateTime = start.addSecs(60).toMSecsSinceEpoch();
    }
    TLineStateLog log(dirPath);
    log.startRun(start);
    const auto call = [&](const char* name, const char* number, int state, const char* time) {
        TLineStateRecord r;
        r.state = state;
        r.name = QString::fromUtf8(name);
        r.number = QString::fromUtf8(number);
        r.time = QString::fromUtf8(time);
        log.WriteLineState(0, r);
    };
    call("Петров", "200", 6, "14:05:30");
    call("Иванов", "0123", 14, "14:05:40");
    call("Петров", "200", 9, "14:06:30");
    call("Сидоров", "300", 16, "14:06:40");
    call("Петров", "200", 16, "14:07:30");

    TReportInput in;
    in.start = start;
    in.end = start.addSecs(600);
    in.messageFile = "/m.wav";
    in.maxAttempts = 3;
    in.pause = 0.5;
    in.groups = {"A", "B"};
    in.timeLimit = 30;
    in.sortColumn = "Абонент";
    in.lineLogPath = log.currentFile();
    const QString out = workbookPath(dirPath, start);
    EXPECT_TRUE(out.endsWith("/2026_12_08 14_05_09.xlsx"));
    QString error;
    if (!writeResultsWorkbook(shippedDataDir() + "/report.dat", out, list, in, &error)) {
        ADD_FAILURE() << error.toStdString();
        return QString();
    }
    return out;
}

void expectSampleCells(const Cells& cells) {
    const auto& v = cells.values;
    EXPECT_EQ(cells.sheets, 6);
    EXPECT_TRUE(cells.firstActive);
    for (int sheet = 1; sheet <= 5; ++sheet) {
        const QString s = QString::number(sheet) + "!";
        EXPECT_EQ(v[s + "A1"], "РЕЗУЛЬТАТЫ ОПОВЕЩЕНИЯ ОТ 08.12.2026");
        EXPECT_EQ(v[s + "A4"], "Всего абонентов: 3");
        EXPECT_EQ(v[s + "A5"], "Оповещено абонентов: 1");
        EXPECT_EQ(v[s + "A11"], "Пауза между попытками, мин: 0,5");
        EXPECT_EQ(v[s + "A12"], "Группы абонентов: A, B");
        EXPECT_EQ(v[s + "A16"], "Абонент");  // the template's captions stay
    }
    // Sheet 1: everyone, "#2" numbers without their marker.
    EXPECT_EQ(v["1!A17"], "Иванов");
    EXPECT_EQ(v["1!B17"], "123");
    EXPECT_EQ(v["1!E17"], "Оповещено");
    EXPECT_EQ(v["1!F17"], "");
    EXPECT_EQ(v["1!D18"], "3");
    EXPECT_EQ(v["1!E18"], "Не оповещённые");
    EXPECT_EQ(v["1!F18"], "Нет линии");
    EXPECT_EQ(v["1!G19"], "к");
    EXPECT_TRUE(cells.bordered.contains("1!A17"));
    // Sheet 2: the notified only.
    EXPECT_EQ(v["2!A17"], "Иванов");
    EXPECT_FALSE(v.contains("2!A18"));
    // Sheet 3: the not notified, with the time of their first call.
    EXPECT_EQ(v["3!A17"], "Петров");
    EXPECT_EQ(v["3!C17"], "14:05:30");
    EXPECT_EQ(v["3!E18"], "Не подняли трубку");
    // Sheet 5: every call, grouped by subscriber, attempts counted.
    EXPECT_EQ(v["5!A17"], "Иванов");
    EXPECT_EQ(v["5!A18"], "Петров");
    EXPECT_EQ(v["5!D18"], "1");
    EXPECT_FALSE(v.contains("5!A19"));  // same subscriber: name left empty
    EXPECT_EQ(v["5!D20"], "3");
    EXPECT_EQ(v["5!E20"], "Не подняли трубку");
    EXPECT_EQ(v["5!A21"], "Сидоров");
    // Sheet 4: only the calls that did not notify.
    EXPECT_EQ(v["4!A17"], "Петров");
    EXPECT_EQ(v["4!E17"], "Нет линии");
    EXPECT_EQ(v["4!A20"], "Сидоров");
    EXPECT_FALSE(v.contains("4!A21"));
}

TEST(ResultsWorkbook, EverySheetCarriesItsRowsAndHeader) {
    if (!readerAvailable())
        GTEST_SKIP() << "python3-openpyxl is not installed";
    QTemporaryDir dir;
    const QString out = writeSampleWorkbook(dir.path());
    ASSERT_FALSE(out.isEmpty());
    const auto cells = readBack(out);
    ASSERT_TRUE(cells);
    expectSampleCells(*cells);
}

TEST(ResultsWorkbook, LibreOfficeOpensItWithEveryCellAndBorder) {
    if (!readerAvailable())
        GTEST_SKIP() << "python3-openpyxl is not installed";
    QTemporaryDir dir;
    const QString out = writeSampleWorkbook(dir.path());
    ASSERT_FALSE(out.isEmpty());
    const auto resaved = resavedByLibreOffice(out, dir.path() + "/lo");
    if (!resaved)
        GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_FALSE(resaved->isEmpty());
    const auto cells = readBack(*resaved);
    ASSERT_TRUE(cells);
    expectSampleCells(*cells);
}

TEST(ResultsWorkbook, UnusableTemplatesAreRefusedAndNothingIsLeftBehind) {
    QTemporaryDir dir;
    TUserList list;
    ASSERT_TRUE(list.open(dir.path(), 0));
    ASSERT_TRUE(writeAll(dir.path() + "/report.dat", "not a zip"));
    QString error;
    EXPECT_FALSE(
        writeResultsWorkbook(dir.path() + "/report.dat", dir.path() + "/o.xlsx", list, {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.path() + "/o.xlsx"));
    EXPECT_FALSE(writeResultsWorkbook(dir.path() + "/none.dat", dir.path() + "/o.xlsx", list, {}));
    EXPECT_EQ(findReportTemplate(dir.path() + "/nowhere", dir.path()), dir.path() + "/report.dat");
}

}  // namespace
}  // namespace orvel::test
