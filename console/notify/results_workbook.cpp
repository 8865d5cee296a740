#include "notify/results_workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "core/file_names.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "diag/log_cache.h"
#include "notify/line_status.h"
#include "notify/xlsx_sheet_writer.h"

namespace orvel {

namespace {
// Rows: the header block takes rows 1 to 14 of every sheet, the column
// captions row 16; data rows begin below them.
constexpr int kDataRow = 17;

QString phoneForReport(const QString& phone) {
    if (phone.size() > 1 && phone.startsWith(QLatin1Char('#')))
        return phone.mid(2);
    return phone;
}

QString timeOf(qint64 ms) {
    if (ms == 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

struct Counts {
    int marked = 0, notified = 0, notNotified = 0;
};

void writeHeader(TXlsxWorkbook& wb, int sheet, const TReportInput& in, const Counts& c) {
    const QString dateTime = QStringLiteral("dd.MM.yyyy hh:mm:ss");
    const QString sep = QStringLiteral(": ");
    wb.setText(sheet, 1, 1,
               T(textAlarmResults).toUpper() + QStringLiteral(" ") +
                   in.start.toString(QStringLiteral("dd.MM.yyyy")));
    wb.setText(sheet, 2, 1, T(textAlarmStarted) + sep + in.start.toString(dateTime));
    wb.setText(sheet, 3, 1, T(textAlarmEnded) + sep + in.end.toString(dateTime));
    wb.setText(sheet, 4, 1, T(textAbonentCount) + sep + QString::number(c.marked));
    wb.setText(sheet, 5, 1, T(textAbonentsAlarmed) + sep + QString::number(c.notified));
    wb.setText(sheet, 6, 1, T(textAbonentsNotAlarmed) + sep + QString::number(c.notNotified));
    if (!in.operatorName.isEmpty())
        wb.setText(sheet, 7, 1, T(textReportOperator) + sep + in.operatorName);
    wb.setText(sheet, 8, 1, QStringLiteral("ПАРАМЕТРЫ ОПОВЕЩЕНИЯ"));
    wb.setText(sheet, 9, 1, QStringLiteral("Звуковое сообщение: ") + in.messageFile);
    wb.setText(sheet, 10, 1, QStringLiteral("Кол-во попыток: ") + QString::number(in.maxAttempts));
    // Minutes with the decimal comma and no trailing zeros: "0,1", "2".
    QLocale ru(QLocale::Russian, QLocale::Russia);
    ru.setNumberOptions(QLocale::OmitGroupSeparator);
    QString pause = ru.toString(in.pause, 'f', 2);
    while (pause.contains(QLatin1Char(',')) &&
           (pause.endsWith(QLatin1Char('0')) || pause.endsWith(QLatin1Char(','))))
        pause.chop(1);
    wb.setText(sheet, 11, 1, QStringLiteral("Пауза между попытками, мин: ") + pause);
    wb.setText(sheet, 12, 1,
               QStringLiteral("Группы абонентов: ") + in.groups.join(QStringLiteral(", ")));
    wb.setText(sheet, 13, 1,
               QStringLiteral("Максимальная длительность, мин: ") + QString::number(in.timeLimit));
    wb.setText(sheet, 14, 1, QStringLiteral("Сортировка по полю: ") + in.sortColumn);
}

// Sheets 4 and 5: one row per call of the detailed log.
void writeCalls(TXlsxWorkbook& wb, int sheet, const TLogCache& log, bool failedOnly, int style) {
    int row = kDataRow;
    QString prevName, prevNumber;
    int attempt = 0;
    for (int i = 0; i < log.Count(); ++i) {
        const TLogCacheEntry& e = *log.Item(i);
        const bool same = i > 0 && e.name == prevName && e.number == prevNumber;
        attempt = same ? attempt + 1 : 1;
        prevName = e.name;
        prevNumber = e.number;
        if (failedOnly && e.state == kStatusNotified)
            continue;
        wb.setText(sheet, row, 1, same ? QString() : e.name, style);
        wb.setText(sheet, row, 2, e.number, style);
        wb.setText(sheet, row, 3, e.time, style);
        wb.setNumber(sheet, row, 4, attempt, style);
        wb.setText(sheet, row, 5, resultText(e.state), style);
        ++row;
    }
}
}  // namespace

QString resultText(int code) {
    switch (code) {
        case 0:
            return T(textLine) + QStringLiteral(" ") +
                   (T(textIsNot) + QStringLiteral(" ") + T(textActiveF)).toLower();
        case 6:
            return T(textNoLine);
        case 9:
            return T(textBusy);
        case 10:
            return T(textNoSignal);
        case 14:
            return T(textAlarmed);
        case 15:
            return T(textNotAlarmed);
        case 16:
            return T(textNotHandOn);
        default:
            return lineStateText(code);
    }
}

QString workbookPath(const QString& reportsDir, const QDateTime& start) {
    return reportsDir + QLatin1Char('/') + start.toString(QStringLiteral("yyyy_MM_dd hh_mm_ss")) +
           QStringLiteral(".xlsx");
}

QString findReportTemplate(const QString& programDir, const QString& exeDir) {
    for (const QString& dir : {programDir, exeDir}) {
        if (dir.isEmpty())
            continue;
        const QString p = findFileNoCase(dir, QStringLiteral("report.dat"));
        if (QFileInfo(p).isFile())
            return p;
    }
    return QString();
}

bool writeResultsWorkbook(const QString& templatePath, const QString& outPath,
                          const TUserList& list, const TReportInput& in, QString* error) {
    QFile f(templatePath);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("no template");
        return false;
    }
    TXlsxWorkbook wb;
    if (!wb.open(f.readAll(), error))
        return false;
    if (wb.sheetCount() < 5) {
        if (error)
            *error = QStringLiteral("the template has fewer than five sheets");
        return false;
    }
    const int data = wb.addBorderedStyle(wb.cellStyle(0, 1, 3));

    // Sheet 1: everyone marked.
    Counts c;
    int row = kDataRow;
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (!s.mark)
            continue;
        const bool ok = s.lastState == kStatusNotified;
        ++c.marked;
        ok ? ++c.notified : ++c.notNotified;
        wb.setText(0, row, 1, s.name.toString(), data);
        wb.setText(0, row, 2, phoneForReport(s.phone.toString()), data);
        wb.setText(0, row, 3, timeOf(s.lastStateTime), data);
        wb.setNumber(0, row, 4, s.attempts, data);
        wb.setText(0, row, 5, resultText(ok ? kStatusNotified : kStatusNotConfirmed), data);
        // Calls cut by a crash are not attempts, but the operator sees them.
        QString detail =
            ok || (s.lastState == 0 && s.interrupted > 0) ? QString() : resultText(s.lastState);
        if (s.interrupted > 0)
            detail += (detail.isEmpty() ? QString() : QStringLiteral("; ")) +
                      T(textCallsInterrupted).arg(s.interrupted);
        wb.setText(0, row, 6, detail, data);
        wb.setText(0, row, 7, s.comment.toString(), data);
        ++row;
    }
    writeHeader(wb, 0, in, c);

    TLogCache log;
    log.loadRun(in.lineLogPath);

    // Sheet 2: the notified.
    writeHeader(wb, 1, in, c);
    row = kDataRow;
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (!s.mark || s.lastState != kStatusNotified)
            continue;
        const QString phone = phoneForReport(s.phone.toString());
        wb.setText(1, row, 1, s.name.toString(), data);
        wb.setText(1, row, 2, phone, data);
        wb.setText(1, row, 3, timeOf(s.lastStateTime), data);
        wb.setNumber(1, row, 4, s.attempts, data);
        wb.setText(1, row, 5, s.comment.toString(), data);
        log.MarkMatched(s.name.toString(), phone);
        ++row;
    }

    // Sheet 5: every call; sheet 3: the not notified; sheet 4: failed calls.
    writeHeader(wb, 4, in, c);
    writeCalls(wb, 4, log, false, data);
    writeHeader(wb, 2, in, c);
    row = kDataRow;
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (!s.mark || s.lastState == kStatusNotified)
            continue;
        const QString phone = phoneForReport(s.phone.toString());
        wb.setText(2, row, 1, s.name.toString(), data);
        wb.setText(2, row, 2, phone, data);
        wb.setText(2, row, 3, log.FindTime(s.name.toString(), phone, timeOf(s.lastStateTime)),
                   data);
        wb.setNumber(2, row, 4, s.attempts, data);
        wb.setText(2, row, 5, resultText(s.lastState), data);
        wb.setText(2, row, 6, s.comment.toString(), data);
        ++row;
    }
    writeHeader(wb, 3, in, c);
    writeCalls(wb, 3, log, true, data);

    wb.setActiveSheet(0);
    return wb.save(outPath, error);
}

}  // namespace orvel
