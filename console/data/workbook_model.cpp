// The in-memory workbook: cell lookup, sizes and what a cell shows.
#include <QLocale>
#include <algorithm>
#include <cmath>

#include "data/workbook_reader.h"

namespace orvel {

namespace {
const QDate kSerialEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
// Serial numbers the format can show: 0001-01-01 to 9999-12-31.
constexpr double kMinSerial = -693593;
constexpr double kMaxSerial = 2958465;
}  // namespace

QDateTime workbookSerialToDateTime(double serial, bool base1904) {
    if (!std::isfinite(serial) || serial < kMinSerial || serial > kMaxSerial)
        return {};
    if (base1904)
        serial += 1462;
    const double days = std::floor(serial);
    const qint64 ms = qint64(std::llround((serial - days) * kMsPerDay));
    return QDateTime(kSerialEpoch.addDays(qint64(days)), QTime(0, 0)).addMSecs(ms);
}

double workbookDateTimeToSerial(const QDateTime& dt) {
    const qint64 days = kSerialEpoch.daysTo(dt.date());
    return double(days) + double(dt.time().msecsSinceStartOfDay()) / kMsPerDay;
}

QString TWorkbookCell::displayText() const {
    switch (kind) {
        case TCellKind::Empty:
            return QString();
        case TCellKind::Number: {
            if (std::abs(number) < 1e15 && number == std::floor(number))
                return QString::number(qint64(number));
            // Up to ten significant digits with the decimal comma, as a
            // Russian spreadsheet shows a number in its general format.
            static const QLocale ru(QLocale::Russian, QLocale::Russia);
            QLocale l = ru;
            l.setNumberOptions(QLocale::OmitGroupSeparator);
            return l.toString(number, 'g', 10);
        }
        case TCellKind::Date: {
            const bool hasTime = date.time() != QTime(0, 0);
            if (number >= 0 && number < 1)  // a time of day only
                return date.time().toString(QStringLiteral("hh:mm:ss"));
            return date.toString(hasTime ? QStringLiteral("dd.MM.yyyy hh:mm:ss")
                                         : QStringLiteral("dd.MM.yyyy"));
        }
        default:
            return text;
    }
}

const TWorkbookCell* TWorkbookSheet::cell(int row, int col) const {
    const auto it =
        std::lower_bound(cells.begin(), cells.end(), std::make_pair(row, col),
                         [](const TWorkbookCell& c, const std::pair<int, int>& rc) {
                             return c.row != rc.first ? c.row < rc.first : c.col < rc.second;
                         });
    if (it == cells.end() || it->row != row || it->col != col)
        return nullptr;
    return &*it;
}

double TWorkbookSheet::columnWidth(int col) const {
    const auto it = columnWidths.find(col);
    return it == columnWidths.end() ? defaultColumnWidth : it->second;
}

double TWorkbookSheet::rowHeight(int row) const {
    const auto it = rowHeights.find(row);
    return it == rowHeights.end() ? defaultRowHeight : it->second;
}

}  // namespace orvel
