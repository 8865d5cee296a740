#pragma once
// The subscriber list as a workbook: sheet 6 of the template "report.dat"
// filled with the list as it is shown, for printing (the whole template) or
// for export (that sheet alone, the file "OrvelAbonents").

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace orvel {

class TUserList;
class TXlsxWorkbook;

inline constexpr int kListSheet = 5;  // sheet 6, from 0
inline constexpr char kListExportName[] = "OrvelAbonents";

// Called now and then with the rows done and the rows in all.
using TListProgress = std::function<void(int done, int total)>;

struct TListWorkbookInput {
    const TUserList* list = nullptr;
    // List indices in the order shown; every entry in list order when empty.
    QList<int> entries;
    bool useAllWhenEmpty = true;
    // Column captions of the main list; those of the list's columns when empty.
    QStringList captions;
    TListProgress progress;
};

// One row of the list sheet for an entry: name, stored telephone text, time
// window, line counted from 1 (empty for any), comment, confirmation method
// and the additional fields.
QStringList listRowTexts(const TUserList& list, int entry);

// Fills sheet 6 of an opened template: captions in row 1, one subscriber a
// row from row 2, every written cell in the template's row-3 format with
// thin borders. False when the template has fewer than six sheets.
bool fillListSheet(TXlsxWorkbook& wb, const TListWorkbookInput& in, QString* error = nullptr);

// The template filled and written to `outPath` with sheet 6 active (print),
// or with sheet 6 alone (export). False (and `error`) when the template is
// missing or unusable or the file cannot be written; an existing file of
// that name is replaced only by a complete new one.
bool writeListWorkbook(const QString& templatePath, const QString& outPath,
                       const TListWorkbookInput& in, bool exportOnly, QString* error = nullptr);

}  // namespace orvel
