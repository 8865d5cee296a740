#include "ui/list_columns.h"

namespace orvel {

QList<int> arrangedWidths(const QList<int>& widths, int clientWidth) {
    QList<int> out = widths;
    if (widths.size() < 2)
        return out;
    long long sum = 0;
    for (int i = 0; i + 1 < widths.size(); ++i)
        sum += widths[i];
    if (sum <= 0 || clientWidth <= 0)
        return out;
    const double factor = double(clientWidth) / double(sum);
    for (int i = 0; i + 1 < widths.size(); ++i)
        out[i] = int(widths[i] * factor);
    return out;
}

int guardedColumnWidth(int column, int width, int columnCount) {
    if (column + 1 < columnCount && width < kGuardWidth)
        return kGuardWidth;
    return width;
}

}  // namespace orvel
