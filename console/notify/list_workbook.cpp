#include "notify/list_workbook.h"

#include <QFile>

#include "data/user_list.h"
#include "notify/xlsx_sheet_writer.h"

namespace orvel {

namespace {
// The template's list sheet: captions in row 1, the model format in row 3.
constexpr int kCaptionRow = 1;
constexpr int kFirstRow = 2;
constexpr int kFormatRow = 3;
constexpr int kProgressStep = 1000;  // rows between progress reports

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}
}  // namespace

QStringList listRowTexts(const TUserList& list, int entry) {
    const TUserListItem* s = list.Item(entry);
    if (!s)
        return {};
    QStringList row{s->name.toString(), s->phone.toString(),   timeWindowText(s->time),
                    lineText(s->line),  s->comment.toString(), QString::number(s->confirmMethod)};
    row += s->extra;
    return row;
}

bool fillListSheet(TXlsxWorkbook& wb, const TListWorkbookInput& in, QString* error) {
    if (wb.sheetCount() <= kListSheet)
        return fail(error, QStringLiteral("в шаблоне нет листа списка абонентов"));
    const TUserList& list = *in.list;
    QStringList captions = in.captions;
    if (captions.isEmpty())
        for (int i = 0; i < list.columns().Count(); ++i)
            captions << list.columns().Item(i).name;
    const int style = wb.addBorderedStyle(wb.cellStyle(kListSheet, kFormatRow, 1));
    for (int c = 0; c < captions.size(); ++c)
        wb.setText(kListSheet, kCaptionRow, c + 1, captions[c], style);

    QList<int> entries = in.entries;
    if (entries.isEmpty() && in.useAllWhenEmpty)
        for (int k = 0; k < list.Count(); ++k)
            entries << k;
    const int total = int(entries.size());
    int row = kFirstRow;
    for (int i = 0; i < total; ++i) {
        const QStringList texts = listRowTexts(list, entries[i]);
        if (texts.isEmpty())
            continue;
        for (int c = 0; c < texts.size(); ++c)
            wb.setText(kListSheet, row, c + 1, texts[c], style);
        ++row;
        if (in.progress && i % kProgressStep == 0)
            in.progress(i, total);
    }
    wb.setActiveSheet(kListSheet);
    return true;
}

bool writeListWorkbook(const QString& templatePath, const QString& outPath,
                       const TListWorkbookInput& in, bool exportOnly, QString* error) {
    QFile f(templatePath);
    if (templatePath.isEmpty() || !f.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("нет шаблона отчета report.dat"));
    TXlsxWorkbook wb;
    if (!wb.open(f.readAll(), error) || !fillListSheet(wb, in, error))
        return false;
    if (exportOnly)
        wb.keepOnlySheet(kListSheet);
    return wb.save(outPath, error);
}

}  // namespace orvel
