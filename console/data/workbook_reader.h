#pragma once
// Reads a spreadsheet workbook into memory: Office Open XML (.xlsx, the
// program's own results and list workbooks and those of other programs) and,
// values only, Excel 97 files (.xls) as older installations saved them.
//
// A workbook is outside input: every size is bounded before it is trusted
// (archive members, cells, rows, columns, merged ranges), broken parts are
// refused with an error text and a cell that points at a missing shared
// string is read as empty.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace orvel {

// Hard limits of the reader. Rows and columns are those of the format itself.
inline constexpr int kWorkbookMaxRows = 1048576;
inline constexpr int kWorkbookMaxColumns = 16384;
inline constexpr int kWorkbookMaxSheets = 256;
inline constexpr qint64 kWorkbookMaxCells = 4'000'000;
inline constexpr qint64 kWorkbookMaxMerges = 100'000;
// Uncompressed bytes of one archive member and of all members read together.
inline constexpr qint64 kWorkbookMaxPartBytes = 192LL * 1024 * 1024;
inline constexpr qint64 kWorkbookMaxTotalBytes = 512LL * 1024 * 1024;
// Files larger than this are not read at all.
inline constexpr qint64 kWorkbookMaxFileBytes = 256LL * 1024 * 1024;

enum class TCellKind { Empty, Text, Number, Date, Boolean, Error };

// Border line of one side of a cell; the workbook's style names map onto
// these few the grid and the printout draw.
enum class TBorderLine : unsigned char { None, Thin, Medium, Thick, Dashed, Dotted, Double };

struct TCellBorders {
    TBorderLine left = TBorderLine::None;
    TBorderLine right = TBorderLine::None;
    TBorderLine top = TBorderLine::None;
    TBorderLine bottom = TBorderLine::None;
    bool any() const {
        return left != TBorderLine::None || right != TBorderLine::None ||
               top != TBorderLine::None || bottom != TBorderLine::None;
    }
};

enum class THorizontalAlign : unsigned char { General, Left, Center, Right };

struct TWorkbookCell {
    int row = 0;  // from 1
    int col = 0;  // from 1
    TCellKind kind = TCellKind::Empty;
    QString text;       // Text, Error; Boolean as "1"/"0"
    double number = 0;  // Number, Date (the serial), Boolean
    QDateTime date;     // Date
    bool bold = false;
    bool italic = false;
    bool wrap = false;
    THorizontalAlign align = THorizontalAlign::General;
    TCellBorders borders;

    // What the cell shows: the text, the number in short form, the date as
    // dd.MM.yyyy (with hh:mm:ss when it has a time of day).
    QString displayText() const;
};

// Rows and columns from 1, both ends included.
struct TCellRange {
    int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
    bool contains(int row, int col) const {
        return row >= firstRow && row <= lastRow && col >= firstCol && col <= lastCol;
    }
};

struct TPrintSetup {
    bool landscape = false;
    // Pages across and down the sheet is to fit on; 0 leaves that way free.
    // Both 0 when the sheet does not ask to be fitted.
    int fitWidth = 0;
    int fitHeight = 0;
    int scalePercent = 100;
    // Rows repeated at the top of every page (0 when none).
    int repeatFirstRow = 0;
    int repeatLastRow = 0;
    // Page margins in inches (the format's own unit).
    double marginLeft = 0.7, marginRight = 0.7, marginTop = 0.75, marginBottom = 0.75;
};

struct TWorkbookSheet {
    QString name;
    std::vector<TWorkbookCell> cells;  // by row, then column; no empty cells
    std::vector<TCellRange> merged;
    std::map<int, double> columnWidths;  // column -> width in characters
    std::map<int, double> rowHeights;    // row -> height in points
    double defaultColumnWidth = 8.43;    // characters
    double defaultRowHeight = 12.75;     // points
    TPrintSetup print;
    int rowCount = 0;     // the last row that holds a cell with content or borders
    int columnCount = 0;  // the same for columns

    // nullptr when the cell holds nothing.
    const TWorkbookCell* cell(int row, int col) const;
    double columnWidth(int col) const;
    double rowHeight(int row) const;
};

struct TWorkbook {
    std::vector<TWorkbookSheet> sheets;
    int activeSheet = 0;  // from 0
};

// Reads the file at `path` (.xlsx by content; an Excel 97 file when it starts
// with the compound-file signature). nullopt with `error` set when it cannot
// be read.
std::optional<TWorkbook> ReadWorkbook(const QString& path, QString* error = nullptr);
// The same over Office Open XML bytes in memory.
std::optional<TWorkbook> ReadWorkbookBytes(const QByteArray& bytes, QString* error = nullptr);

// Serial day number of the format (days since 1899-12-30, the fraction the
// time of day) and back.
QDateTime workbookSerialToDateTime(double serial, bool base1904 = false);
double workbookDateTimeToSerial(const QDateTime& dt);

}  // namespace orvel
