#pragma once
// The results workbook of a run, filled from the template "report.dat":
// everyone marked with their outcome, the notified, the not notified, the
// failed calls and every call, each sheet with the run's header block.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace orvel {

class TUserList;

struct TReportInput {
    QDateTime start;
    QDateTime end;
    QString messageFile;
    int maxAttempts = 0;
    double pause = 0;
    QStringList groups;
    int timeLimit = 0;
    QString sortColumn;
    QString lineLogPath;  // the run's line-state log
    QString operatorName;  // who started the run; empty: nobody logged in
};

// Text of a result code in the workbook: the line-state log's texts with
// the program's own words for the codes 0, 6, 9, 10, 14, 15 and 16.
QString resultText(int code);
// "<reports dir>/yyyy_MM_dd hh_mm_ss.xlsx" after the run's start.
QString workbookPath(const QString& reportsDir, const QDateTime& start);
// The template in the program directory, else beside the executable; empty
// when neither holds one.
QString findReportTemplate(const QString& programDir, const QString& exeDir);

// Writes the workbook; false (and `error`) when the template cannot be used
// or the file cannot be written. The first five sheets are filled.
bool writeResultsWorkbook(const QString& templatePath, const QString& outPath,
                          const TUserList& list, const TReportInput& in, QString* error = nullptr);

}  // namespace orvel
