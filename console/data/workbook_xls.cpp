// Excel 97 workbooks (.xls), as older installations saved their results:
// values only (freexl reads neither fonts nor borders nor sizes).
#include <freexl.h>

#include <QFile>

#include "data/workbook_reader.h"

namespace orvel {

namespace {

struct XlsHandle {
    const void* handle = nullptr;
    ~XlsHandle() {
        if (handle)
            freexl_close(handle);
    }
};

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// freexl gives dates as "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS".
void setDate(TWorkbookCell* cell, const char* text, int type) {
    const QString s = QString::fromUtf8(text);
    QDateTime dt;
    if (type == FREEXL_CELL_TIME)
        dt = QDateTime(QDate(1899, 12, 30), QTime::fromString(s, QStringLiteral("hh:mm:ss")));
    else if (type == FREEXL_CELL_DATE)
        dt = QDateTime(QDate::fromString(s, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    else
        dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (dt.isValid()) {
        cell->kind = TCellKind::Date;
        cell->date = dt;
        cell->number = workbookDateTimeToSerial(dt);
    } else {
        cell->kind = TCellKind::Text;
        cell->text = s;
    }
}

}  // namespace

std::optional<TWorkbook> readXlsWorkbook(const QString& path, QString* error) {
    XlsHandle xls;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &xls.handle);
    if (rc != FREEXL_OK) {
        fail(error, rc == FREEXL_INSUFFICIENT_MEMORY ? QStringLiteral("книга Excel слишком велика")
                                                     : QStringLiteral("книга Excel повреждена"));
        xls.handle = nullptr;  // a failed open has released what it built
        return std::nullopt;
    }
    unsigned int info = 0;
    if (freexl_get_info(xls.handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
        fail(error, QStringLiteral("книга защищена паролем"));
        return std::nullopt;
    }
    unsigned int count = 0;
    if (freexl_get_info(xls.handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0) {
        fail(error, QStringLiteral("в книге нет листов"));
        return std::nullopt;
    }
    if (count > unsigned(kWorkbookMaxSheets)) {
        fail(error, QStringLiteral("слишком много листов"));
        return std::nullopt;
    }
    TWorkbook book;
    qint64 budget = kWorkbookMaxCells;
    for (unsigned short s = 0; s < count; ++s) {
        TWorkbookSheet sheet;
        const char* name = nullptr;
        if (freexl_get_worksheet_name(xls.handle, s, &name) == FREEXL_OK && name)
            sheet.name = QString::fromUtf8(name);
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (freexl_select_active_worksheet(xls.handle, s) != FREEXL_OK ||
            freexl_worksheet_dimensions(xls.handle, &rows, &cols) != FREEXL_OK) {
            fail(error, QStringLiteral("лист книги Excel не читается"));
            return std::nullopt;
        }
        rows = std::min<unsigned>(rows, unsigned(kWorkbookMaxRows));
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < cols && c < kWorkbookMaxColumns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(xls.handle, r, c, &v) != FREEXL_OK)
                    continue;
                TWorkbookCell cell;
                cell.row = int(r) + 1;
                cell.col = int(c) + 1;
                switch (v.type) {
                    case FREEXL_CELL_INT:
                        cell.kind = TCellKind::Number;
                        cell.number = v.value.int_value;
                        break;
                    case FREEXL_CELL_DOUBLE:
                        cell.kind = TCellKind::Number;
                        cell.number = v.value.double_value;
                        break;
                    case FREEXL_CELL_TEXT:
                    case FREEXL_CELL_SST_TEXT:
                        cell.kind = TCellKind::Text;
                        cell.text = QString::fromUtf8(v.value.text_value ? v.value.text_value : "");
                        break;
                    case FREEXL_CELL_DATE:
                    case FREEXL_CELL_DATETIME:
                    case FREEXL_CELL_TIME:
                        setDate(&cell, v.value.text_value ? v.value.text_value : "", v.type);
                        break;
                    default:
                        continue;
                }
                if (--budget < 0) {
                    fail(error, QStringLiteral("слишком много ячеек"));
                    return std::nullopt;
                }
                sheet.rowCount = std::max(sheet.rowCount, cell.row);
                sheet.columnCount = std::max(sheet.columnCount, cell.col);
                sheet.cells.push_back(std::move(cell));
            }
        }
        book.sheets.push_back(std::move(sheet));
    }
    return book;
}

}  // namespace orvel
