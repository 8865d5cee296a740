#include "data/subscriber_import.h"

#include <QFile>
#include <algorithm>
#include <optional>

#include "core/texts.h"
#include "data/user_list.h"
#include "data/workbook_reader.h"

namespace orvel {
namespace {

// How often (in rows) progress is reported: often enough for a smooth gauge,
// rarely enough to cost nothing beside the table writes.
constexpr int kProgressStep = 256;

bool readWhole(const QString& path, QByteArray& bytes, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = T(textFileReadError) + QStringLiteral(": ") + f.errorString();
        return false;
    }
    if (f.size() > kMaxImportFileBytes) {
        error = T(textFileTooLarge);
        return false;
    }
    bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        error = T(textFileReadError) + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

// The sheet the workbook opens with, every row from row 1, cells from column 1
// to the last used column, each cell as it shows.
ImportTable readWorkbook(const QString& path) {
    ImportTable table;
    QString why;
    const std::optional<TWorkbook> book = ReadWorkbook(path, &why);
    if (!book || book->sheets.empty()) {
        table.error = T(textNotWorkbook);
        if (!why.isEmpty())
            table.error += QStringLiteral(" (") + why + QLatin1Char(')');
        return table;
    }
    const size_t active = size_t(std::max(0, book->activeSheet));
    const TWorkbookSheet& sheet = book->sheets[active < book->sheets.size() ? active : 0];
    const int columns = std::min(sheet.columnCount, kMaxImportFields);
    table.rows.reserve(size_t(sheet.rowCount));
    // Cells come by row, then column, without empty ones: one walk fills
    // every row.
    auto cell = sheet.cells.begin();
    for (int r = 1; r <= sheet.rowCount; ++r) {
        QStringList fields;
        bool any = false;
        while (cell != sheet.cells.end() && cell->row < r)
            ++cell;
        for (; cell != sheet.cells.end() && cell->row == r; ++cell) {
            if (cell->col < 1 || cell->col > columns)
                continue;
            while (fields.size() < cell->col - 1)
                fields << QString();
            const QString text = cell->displayText();
            any = any || !text.trimmed().isEmpty();
            fields << text;
        }
        if (!any)
            continue;
        while (fields.size() < columns)
            fields << QString();
        table.rows.push_back(std::move(fields));
    }
    return table;
}

}  // namespace

ImportTable readImportSource(const QString& path, const ImportOptions& options) {
    if (options.kind == ImportKind::Workbook)
        return readWorkbook(path);
    ImportTable table;
    QByteArray bytes;
    if (!readWhole(path, bytes, table.error))
        return table;
    TextImportOptions text;
    text.codePage =
        options.kind == ImportKind::TextDos ? TextCodePage::Dos866 : TextCodePage::Windows1251;
    text.separator = options.separator;
    text.repeatedSeparator = options.repeatedSeparator;
    return parseImportText(std::string_view(bytes.constData(), size_t(bytes.size())), text);
}

TUserListItem subscriberFromRow(const QStringList& fields, int id, int extraColumns) {
    TUserListItem item;
    item.id = id;
    item.name.assign(fields.value(0));
    item.phone.assign(fields.value(1));
    item.time = parseTimeWindow(fields.value(2));
    const QByteArray line = fields.value(3).toLatin1();
    item.line = parseLine(std::string_view(line.constData(), size_t(line.size())));
    item.comment.assign(fields.value(4));
    item.confirmMethod = 0;
    for (int k = 0; k < extraColumns; ++k)
        item.extra << fields.value(6 + k);
    return item;
}

bool hasDialDigits(const QString& phone) {
    const QString number = splitPhone(phone).number;
    for (const QChar c : number) {
        if (c.isDigit() || c == QLatin1Char('*') || c == QLatin1Char('#'))
            return true;
    }
    return false;
}

ImportOutcome importRows(TUserList& list, const ImportTable& table,
                         const std::function<void(int, int)>& progress) {
    ImportOutcome out;
    const int total = int(table.rows.size());
    const int extraColumns = std::max(0, list.table().FieldCount() - 7);
    int id = list.NextId();
    for (int r = 0; r < total; ++r) {
        if (progress && r % kProgressStep == 0)
            progress(r, total);
        const QStringList& fields = table.rows[size_t(r)];
        if (fields.isEmpty())
            continue;
        const TUserListItem item = subscriberFromRow(fields, id, extraColumns);
        if (list.AddItem(item) < 0) {
            // The table refuses (read-only, disk full): every further row would
            // fail the same way, so stop and say so.
            out.error = T(textImportStopped);
            break;
        }
        ++id;
        ++out.added;
        if (!hasDialDigits(item.phone.toString()))
            ++out.withoutDialDigits;
    }
    if (progress)
        progress(total, total);
    return out;
}

ImportOutcome importSubscribers(TUserList& list, const QString& path, const ImportOptions& options,
                                const std::function<void(int, int)>& progress) {
    const ImportTable table = readImportSource(path, options);
    if (!table.error.isEmpty()) {
        ImportOutcome out;
        out.error = table.error;
        return out;
    }
    return importRows(list, table, progress);
}

}  // namespace orvel
