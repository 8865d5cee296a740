#pragma once
// What the parameters dialog edits per line: the cells of the line grid with
// their texts, and the eight timing values with the line type of the signal
// page, with the ranges and defaults of their track bars.

#include <QString>
#include <QStringList>
#include <array>

#include "notify/line_library.h"

namespace orvel {

class TORVELLine;

// Columns of the line grid; column 0 shows the line number.
enum LineGridColumn : int {
    kGridLine = 0,
    kGridUse,
    kGridDialMode,
    kGridWaitDialTone,
    kGridDropMode,
    kGridPrefix1,
    kGridPrefix1Wait,
    kGridPrefix2,
    kGridPrefix2Wait,
    kGridPrefix3,
    kGridPrefix3Wait,
    kGridColumnCount
};

// One line's values, indexed by column (column 0 unused).
using TLineGridRow = std::array<int, kGridColumnCount>;

QString lineGridHeader(int column);
// The two texts of a choice column (value 0, value 1); empty for the line
// number and the prefix columns, which are edited as text.
QStringList lineGridChoices(int column);
bool lineGridIsPrefix(int column);
// The text a cell shows; a prefix of -1 shows empty, and so does the wait
// flag of a prefix that is not set.
QString lineGridCellText(const TLineGridRow& row, int column);
// The value of a cell's text: the position in the column's pair of texts,
// or for a prefix the decimal number (-1 when empty or not a number).
// A choice text matching neither gives `current`, so nothing is lost.
int lineGridCellValue(int column, const QString& text, int current);

TLineGridRow lineGridRow(const TORVELLine& line);

// The track bars of the signal page, in timing word order.
inline constexpr int kTimingWords = 8;
struct TTrackRange {
    int min, max;
};
inline constexpr std::array<TTrackRange, kTimingWords> kTimingRanges = {
    {{1, 30}, {3, 60}, {10, 120}, {1, 10}, {1, 60}, {1, 60}, {1, 10}, {0, 6}}};
// "По умолчанию": 5, 3, 30, 3, 30, 5, 3, 1.
inline constexpr std::array<int, kTimingWords> kDefaultTimings = {5, 3, 30, 3, 30, 5, 3, 1};

std::array<int, kTimingWords> timingWords(const TCallTimeParams& p);
TCallTimeParams timingParams(const std::array<int, kTimingWords>& w);
bool operator==(const TCallTimeParams& a, const TCallTimeParams& b);

// One line's frame on the signal page: the eight values and "АТС «Квант»"
// (line type 1).
struct TSignalFrameValues {
    TCallTimeParams params;
    bool quant = false;
};

}  // namespace orvel
