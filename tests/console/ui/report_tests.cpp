// The report window over workbooks the program writes, the list workbook,
// printing to PDF, the preview and the report files' names and widths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTableView>
#include <QTemporaryDir>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/list_workbook.h"
#include "notify/report_files.h"
#include "notify/results_workbook.h"
#include "test_support.h"
#include "ui/program_context.h"
#include "ui/report_print_preview.h"
#include "ui/report_window.h"
#include "ui/sheet_pages.h"
#include "ui_test_support.h"

namespace orvel::test {
namespace {

struct Subscriber {
    QString name, phone;
    int attempts, result;
};

// `count` subscribers, every third one not notified (no line).
std::vector<Subscriber> makeSubscribers(int count) {
    std::vector<Subscriber> out;
    for (int i = 0; i < count; ++i)
        out.push_back({QStringLiteral("Абонент %1").arg(i + 1), QString::number(100 + i), 1 + i % 3,
                       i % 3 == 2 ? 6 : 14});
    return out;
}

void fillList(TUserList& list, const std::vector<Subscriber>& subs, qint64 endMs) {
    for (const Subscriber& s : subs) {
        TUserListItem it;
        it.id = list.NextId();
        it.name.assign(s.name);
        it.phone.assign(s.phone);
        it.comment.assign(QStringLiteral("комм."));
        it.time = parseTimeWindow(QStringLiteral("8:00 - 20:00"));
        it.line = 2;
        ASSERT_GE(list.AddItem(it), 1);
        TUserListItem& x = *list.Item(list.Count() - 1);
        x.mark = 1;
        x.attempts = s.attempts;
        x.lastState = s.result;
        x.lastStateTime = endMs;
    }
}

QString cellText(const TReportSheetModel& m, int row, int col) {
    return m.data(m.index(row - 1, col - 1), Qt::DisplayRole).toString();
}

class ReportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        resetTexts();
        ASSERT_TRUE(dir_.isValid());
        ctx_.dirs.program = dir_.path();
        ctx_.dirs.reports = dir_.path() + QStringLiteral("/Reports");
        ctx_.settings.setPath(dir_.path() + QStringLiteral("/ORVEL.ini"));
        QDir().mkpath(ctx_.dirs.reports);
    }
    QTemporaryDir dir_;
    ProgramContext ctx_;
};

TEST_F(ReportWindow, ShowsOnEverySheetWhatTheWriterWasGiven) {
    const auto subs = makeSubscribers(12);
    ASSERT_TRUE(ctx_.users.open(dir_.path(), 0));
    const QDateTime start(QDate(2026, 12, 8), QTime(14, 5, 9));
    fillList(ctx_.users, subs, start.addSecs(90).toMSecsSinceEpoch());
    TLineStateLog log(dir_.path());
    log.startRun(start);
    for (const Subscriber& s : subs) {
        TLineStateRecord r;
        r.state = s.result;
        r.name = s.name;
        r.number = s.phone;
        r.time = QStringLiteral("14:06:39");
        log.WriteLineState(0, r);
    }
    TReportInput in;
    in.start = start;
    in.end = start.addSecs(600);
    in.messageFile = QStringLiteral("/m.wav");
    in.maxAttempts = 3;
    in.pause = 0.1;
    in.timeLimit = 30;
    in.sortColumn = QStringLiteral("Абонент");
    in.operatorName = QStringLiteral("Смирнова");
    in.lineLogPath = log.currentFile();
    const QString book = workbookPath(ctx_.dirs.reports, start);
    QString error;
    ASSERT_TRUE(writeResultsWorkbook(shippedDataDir() + QStringLiteral("/report.dat"), book,
                                     ctx_.users, in, &error))
        << error.toStdString();

    TNotifyReport report(ctx_);
    ASSERT_TRUE(report.OpenReport(book));
    EXPECT_EQ(report.currentSheet(), 0);
    const auto& m = *static_cast<TReportSheetModel*>(report.grid()->model());
    const int notified = int(std::count_if(subs.begin(), subs.end(),
                                           [](const Subscriber& s) { return s.result == 14; }));
    for (int sheet = 0; sheet < kReportSheets; ++sheet) {
        report.selectSheet(sheet);
        SCOPED_TRACE(sheet);
        EXPECT_EQ(cellText(m, 1, 1), QStringLiteral("РЕЗУЛЬТАТЫ ОПОВЕЩЕНИЯ ОТ 08.12.2026"));
        EXPECT_EQ(cellText(m, 3, 1), QStringLiteral("Оповещение окончено: 08.12.2026 14:15:09"));
        EXPECT_EQ(cellText(m, 4, 1), QStringLiteral("Всего абонентов: 12"));
        EXPECT_EQ(cellText(m, 5, 1), QStringLiteral("Оповещено абонентов: %1").arg(notified));
        EXPECT_EQ(cellText(m, 6, 1),
                  QStringLiteral("Не оповещено абонентов: %1").arg(12 - notified));
        EXPECT_EQ(cellText(m, 7, 1), QStringLiteral("Оператор: Смирнова"));
        EXPECT_EQ(cellText(m, 11, 1), QStringLiteral("Пауза между попытками, мин: 0,1"));
        EXPECT_EQ(cellText(m, 13, 1), QStringLiteral("Максимальная длительность, мин: 30"));
        EXPECT_EQ(cellText(m, 14, 1), QStringLiteral("Сортировка по полю: Абонент"));
        EXPECT_EQ(cellText(m, 16, 1), QStringLiteral("Абонент"));
    }
    // Sheet 1: every subscriber, cell by cell.
    report.selectSheet(0);
    for (size_t i = 0; i < subs.size(); ++i) {
        const int row = 17 + int(i);
        const Subscriber& s = subs[i];
        EXPECT_EQ(cellText(m, row, 1), s.name);
        EXPECT_EQ(cellText(m, row, 2), s.phone);
        EXPECT_EQ(cellText(m, row, 3), start.addSecs(90).toString(QStringLiteral("hh:mm:ss")));
        EXPECT_EQ(cellText(m, row, 4), QString::number(s.attempts));
        EXPECT_EQ(cellText(m, row, 5), resultText(s.result == 14 ? 14 : 15));
        EXPECT_EQ(cellText(m, row, 6), s.result == 14 ? QString() : resultText(s.result));
        EXPECT_EQ(cellText(m, row, 7), QStringLiteral("комм."));
    }
    EXPECT_EQ(m.rowCount(), 16 + 12);
    // Sheets 2 and 3: the notified and the others, in list order.
    report.selectSheet(1);
    int row = 17;
    for (const Subscriber& s : subs) {
        if (s.result == 14) {
            EXPECT_EQ(cellText(m, row++, 1), s.name);
        }
    }
    EXPECT_EQ(m.rowCount(), row - 1);
    report.selectSheet(2);
    row = 17;
    for (const Subscriber& s : subs)
        if (s.result != 14) {
            EXPECT_EQ(cellText(m, row, 1), s.name);
            EXPECT_EQ(cellText(m, row++, 5), resultText(s.result));
        }
    // Sheets 4 and 5: the failed calls and every call.
    report.selectSheet(3);
    EXPECT_EQ(m.rowCount(), 16 + 12 - notified);
    report.selectSheet(4);
    EXPECT_EQ(m.rowCount(), 16 + 12);
    // The data cells are bordered, the title bold across the table.
    const TWorkbookSheet& general = report.workbook()->sheets[0];
    EXPECT_TRUE(general.cell(17, 1)->borders.any());
    EXPECT_TRUE(general.cell(1, 1)->bold);
    EXPECT_TRUE(general.print.landscape);
    EXPECT_EQ(general.print.fitWidth, 1);
    EXPECT_EQ(general.print.repeatFirstRow, 16);

    // Printed to PDF, the 12 subscribers fit one landscape page with their
    // results; 120 rows need more, each with the captions repeated.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir_.path() + QStringLiteral("/general.pdf");
    printer.setOutputFileName(pdf);
    printer.setPageLayout(sheetPageLayout(general));
    EXPECT_EQ(printSheet(general, printer), 1);
    const QByteArray bytes = readAll(pdf);
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                  bytes.count("/Type /Page>>") + bytes.count("/Type /Page /"),
              1);

    // Pictures for the documentation (under Xvfb): the window, the preview
    // and the printed page.
    const QString pictures = qEnvironmentVariable("ORVEL_REPORT_PICTURES");
    if (!pictures.isEmpty()) {
        QFile::copy(pdf, pictures + QStringLiteral("/report_general.pdf"));
        report.selectSheet(0);
        report.resize(1100, 640);
        report.show();
        QApplication::processEvents();
        report.grab().save(pictures + QStringLiteral("/report_window.png"));
        TfReportPrintPreview preview(general, &report);
        preview.setZoomPercent(50);
        preview.show();
        QApplication::processEvents();
        preview.grab().save(pictures + QStringLiteral("/report_preview.png"));
        report.hide();
    }

    // A report that cannot be read leaves the window as it was.
    const QString shown = cellText(m, 17, 1);
    const int sheetBefore = report.currentSheet();
    ASSERT_FALSE(shown.isEmpty());
    ASSERT_TRUE(writeAll(dir_.path() + QStringLiteral("/bad.xlsx"), "PK not a workbook"));
    EXPECT_FALSE(report.OpenReport(dir_.path() + QStringLiteral("/bad.xlsx")));
    EXPECT_EQ(report.currentSheet(), sheetBefore);
    EXPECT_EQ(cellText(m, 17, 1), shown);
}

TEST_F(ReportWindow, LongSheetsSplitIntoPagesWithCaptionsOnEach) {
    TWorkbookSheet s;
    s.print.landscape = true;
    s.print.fitWidth = 1;
    s.print.repeatFirstRow = s.print.repeatLastRow = 1;
    s.columnWidths = {{1, 34}, {2, 18}, {3, 12}, {4, 10}, {5, 22}, {6, 22}, {7, 30}};
    for (int r = 1; r <= 120; ++r)
        for (int c = 1; c <= 7; ++c) {
            TWorkbookCell cell;
            cell.row = r;
            cell.col = c;
            cell.kind = TCellKind::Text;
            cell.text = QStringLiteral("r%1c%2").arg(r).arg(c);
            s.cells.push_back(cell);
        }
    s.rowCount = 120;
    s.columnCount = 7;
    const QRectF area = sheetPageLayout(s).paintRect(QPageLayout::Point);
    const TSheetPages pages(s, QRectF(QPointF(), area.size()));
    // Every column on one page width; rows of 12.75 pt below the captions.
    EXPECT_LE(pages.scale(), 1.0);
    const int perPage = int((area.height() / pages.scale() - 12.75) / 12.75);
    EXPECT_EQ(pages.pageCount(), int(std::ceil(120.0 / perPage)));
    EXPECT_GT(pages.pageCount(), 1);
    // Not fitted, the same columns need two page widths.
    s.print.fitWidth = 0;
    s.print.landscape = false;
    const QRectF portrait = sheetPageLayout(s).paintRect(QPageLayout::Point);
    const TSheetPages wide(s, QRectF(QPointF(), portrait.size()));
    EXPECT_EQ(wide.scale(), 1.0);
    EXPECT_EQ(wide.pageCount() % 2, 0);
}

TEST_F(ReportWindow, PreviewZoomsAndCountsPages) {
    TWorkbookSheet s;
    TWorkbookCell cell;
    cell.row = cell.col = 1;
    cell.kind = TCellKind::Text;
    cell.text = QStringLiteral("Отчет");
    s.cells.push_back(cell);
    s.rowCount = s.columnCount = 1;
    TfReportPrintPreview preview(s);
    EXPECT_EQ(preview.pageCount(), 1);
    preview.setZoomPercent(100);
    const double at100 = preview.zoomFactor();
    preview.setZoomPercent(400);
    EXPECT_DOUBLE_EQ(preview.zoomFactor(), 4 * at100);
    preview.setZoomPercent(20);
    EXPECT_DOUBLE_EQ(preview.zoomFactor(), 0.2 * at100);
}

TEST_F(ReportWindow, ListWorkbookHoldsTheShownListAndExportKeepsOnlyIt) {
    ASSERT_TRUE(ctx_.users.open(dir_.path(), 0));
    fillList(ctx_.users, makeSubscribers(5), 0);
    TListWorkbookInput in;
    in.list = &ctx_.users;
    in.entries = {4, 0, 2};  // the shown order of a sorted, filtered list
    int reports = 0, lastTotal = 0;
    in.progress = [&](int, int total) {
        ++reports;
        lastTotal = total;
    };
    const QString tpl = shippedDataDir() + QStringLiteral("/report.dat");
    const QString printFile = dir_.path() + QStringLiteral("/print.xlsx");
    QString error;
    ASSERT_TRUE(writeListWorkbook(tpl, printFile, in, false, &error)) << error.toStdString();
    EXPECT_GE(reports, 1);
    EXPECT_EQ(lastTotal, 3);
    auto printed = ReadWorkbook(printFile, &error);
    ASSERT_TRUE(printed);
    EXPECT_EQ(printed->sheets.size(), 6u);
    EXPECT_EQ(printed->activeSheet, kListSheet);
    TNotifyReport window(ctx_);
    window.showWorkbook(std::move(*printed), printFile);
    EXPECT_EQ(window.currentSheet(), kListSheet);
    const auto& m = *static_cast<TReportSheetModel*>(window.grid()->model());
    EXPECT_EQ(cellText(m, 1, 1), ctx_.users.columns().Item(0).name);
    EXPECT_EQ(cellText(m, 2, 1), QStringLiteral("Абонент 5"));
    EXPECT_EQ(cellText(m, 3, 1), QStringLiteral("Абонент 1"));
    EXPECT_EQ(cellText(m, 4, 1), QStringLiteral("Абонент 3"));
    EXPECT_EQ(cellText(m, 2, 2), QStringLiteral("104"));
    EXPECT_EQ(cellText(m, 2, 3), QStringLiteral("8:00 - 20:00"));
    EXPECT_EQ(cellText(m, 2, 4), QStringLiteral("3"));  // line counted from 1
    EXPECT_EQ(cellText(m, 2, 5), QStringLiteral("комм."));
    EXPECT_EQ(cellText(m, 2, 6), QStringLiteral("0"));
    EXPECT_EQ(m.rowCount(), 4);

    // Export: the list sheet alone, over an older file of the same name.
    const QString exportFile = dir_.path() + QStringLiteral("/OrvelAbonents.xlsx");
    ASSERT_TRUE(writeAll(exportFile, "old"));
    in.entries.clear();  // every entry, in list order
    ASSERT_TRUE(writeListWorkbook(tpl, exportFile, in, true, &error)) << error.toStdString();
    const auto exported = ReadWorkbook(exportFile, &error);
    ASSERT_TRUE(exported) << error.toStdString();
    ASSERT_EQ(exported->sheets.size(), 1u);
    const TWorkbookSheet& s = exported->sheets[0];
    EXPECT_EQ(s.name, QStringLiteral("Абоненты"));
    EXPECT_EQ(s.rowCount, 6);
    EXPECT_EQ(s.cell(2, 1)->text, QStringLiteral("Абонент 1"));
    EXPECT_EQ(s.cell(6, 1)->text, QStringLiteral("Абонент 5"));
    EXPECT_TRUE(s.cell(2, 1)->borders.any());
    EXPECT_EQ(s.print.repeatFirstRow, 1);  // the list's print titles follow it

    // No template: nothing is written.
    EXPECT_FALSE(writeListWorkbook(QString(), dir_.path() + QStringLiteral("/x.xlsx"), in, true));
    EXPECT_FALSE(QFile::exists(dir_.path() + QStringLiteral("/x.xlsx")));
}

TEST_F(ReportWindow, SavedNamesCountUpAndStoredWidthsAreChecked) {
    const QDate day(2026, 12, 10);
    const QString reports = ctx_.dirs.reports;
    EXPECT_EQ(proposedReportName(reports, day), QStringLiteral("File1_20261210"));
    ASSERT_TRUE(writeAll(reports + QStringLiteral("/File1_20261210.xlsx"), "x"));
    EXPECT_EQ(proposedReportName(reports, day), QStringLiteral("File2_20261210"));
    // A name of the other extension does not count.
    EXPECT_EQ(proposedReportName(reports, day, QStringLiteral(".xls")),
              QStringLiteral("File1_20261210"));

    EXPECT_EQ(encodeSettingsStruct(QByteArray("\x01\x02\xFF", 3)), QStringLiteral("0102FF02"));
    storeColumnWidths(ctx_.settings, 1, {120, 80, 300});
    EXPECT_EQ(ctx_.settings.readValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1_Size"),
                                      QString()),
              QStringLiteral("12"));
    EXPECT_EQ(loadColumnWidths(ctx_.settings, 1), (QList<int>{120, 80, 300}));
    // A damaged value, a wrong size and a size above 1024 bytes are ignored.
    const QString stored =
        ctx_.settings.readValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1"), QString());
    QString damaged = stored;
    damaged[0] = damaged[0] == QLatin1Char('7') ? QLatin1Char('8') : QLatin1Char('7');
    ctx_.settings.writeValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1"), damaged);
    EXPECT_FALSE(loadColumnWidths(ctx_.settings, 1));
    ctx_.settings.writeValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1"), stored);
    ctx_.settings.writeValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1_Size"),
                             QStringLiteral("8"));
    EXPECT_FALSE(loadColumnWidths(ctx_.settings, 1));
    ctx_.settings.writeValue(QStringLiteral("COLWIDTHS"), QStringLiteral("Column_1_Size"),
                             QStringLiteral("1028"));
    EXPECT_FALSE(loadColumnWidths(ctx_.settings, 1));

    // The window applies stored widths when shown and stores them on closing.
    storeColumnWidths(ctx_.settings, 1, {150, 90});
    const QString book = reports + QStringLiteral("/w.xlsx");
    QString error;
    TListWorkbookInput in;
    ASSERT_TRUE(ctx_.users.open(dir_.path(), 0));
    in.list = &ctx_.users;
    ASSERT_TRUE(writeListWorkbook(shippedDataDir() + QStringLiteral("/report.dat"), book, in, false,
                                  &error));
    TNotifyReport report(ctx_);
    ASSERT_TRUE(report.OpenReport(book));
    report.show();
    EXPECT_EQ(report.grid()->columnWidth(0), 150);
    EXPECT_EQ(report.grid()->columnWidth(1), 90);
    report.grid()->setColumnWidth(0, 111);
    report.close();
    EXPECT_EQ(loadColumnWidths(ctx_.settings, 1)->value(0), 111);
}

}  // namespace
}  // namespace orvel::test
