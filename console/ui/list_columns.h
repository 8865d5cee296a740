#pragma once
// Column width rules of the main list.

#include <QList>

namespace orvel {

inline constexpr int kMinColumnWidth = 20;
inline constexpr int kGuardWidth = 10;

// "Выровнять поля": every column but the last scaled by client width / their
// sum (truncated) so that they fill the visible width; the last keeps its own.
QList<int> arrangedWidths(const QList<int>& widths, int clientWidth);
// After the operator resized a column: one that is not the last never gets
// narrower than 10 pixels.
int guardedColumnWidth(int column, int width, int columnCount);

}  // namespace orvel
