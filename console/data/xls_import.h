#pragma once
// Excel 97 workbooks (.xls) as import sources, read through freexl.

#include <QString>

#include "data/import_text.h"

namespace orvel {

// Every row of the first sheet, from row 1, cells from column 1 to the last
// used column, each cell's value as text. A workbook that cannot be read is
// refused whole (error set, no rows): nothing half-read reaches the table.
ImportTable readXlsWorkbook(const QString& path);

// A cell's number as the operator typed it: integers without a decimal point
// or exponent (telephone numbers are often stored as numbers), others in their
// shortest form.
QString numberCellText(double value);

}  // namespace orvel
