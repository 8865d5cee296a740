#include "data/xls_import.h"

#include <freexl.h>

#include <QFile>
#include <cmath>

#include "core/texts.h"

namespace orvel {
namespace {

// Closes the workbook on every way out (freexl wants a close even after a
// failed open).
struct XlsHandle {
    const void* h = nullptr;
    ~XlsHandle() {
        if (h)
            freexl_close(h);
    }
};

}  // namespace

QString numberCellText(double value) {
    if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::trunc(value))
        return QString::number(static_cast<long long>(value));
    return QString::number(value, 'g', 15);
}

ImportTable readXlsWorkbook(const QString& path) {
    ImportTable table;
    const QByteArray name = QFile::encodeName(path);
    XlsHandle xls;
    if (freexl_open(name.constData(), &xls.h) != FREEXL_OK ||
        freexl_select_active_worksheet(xls.h, 0) != FREEXL_OK) {
        table.error = T(textNotWorkbook);
        return table;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(xls.h, &rows, &columns) != FREEXL_OK) {
        table.error = T(textNotWorkbook);
        return table;
    }
    const int used = std::min<int>(columns, kMaxImportFields);
    table.rows.reserve(rows);
    for (unsigned int r = 0; r < rows; ++r) {
        QStringList fields;
        fields.reserve(used);
        bool any = false;
        for (int c = 0; c < used; ++c) {
            FreeXL_CellValue cell{};
            if (freexl_get_cell_value(xls.h, r, static_cast<unsigned short>(c), &cell) !=
                FREEXL_OK) {
                table.rows.clear();
                table.error = T(textNotWorkbook);
                return table;
            }
            QString text;
            switch (cell.type) {
                case FREEXL_CELL_INT:
                    text = QString::number(cell.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    text = numberCellText(cell.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    if (cell.value.text_value)
                        text = QString::fromUtf8(cell.value.text_value);
                    break;
                default:
                    break;
            }
            any = any || !text.isEmpty();
            fields << text;
        }
        if (any)
            table.rows.push_back(std::move(fields));
    }
    return table;
}

}  // namespace orvel
