#pragma once
// The two texts of the status window that the run keeps up to date.

#include <QDateTime>
#include <QString>
#include <optional>

namespace orvel {

struct TRunCounts {
    int marked = 0;
    int notified = 0;
    int failed = 0;  // not notified, attempts used up, not in a call
};

QString summaryText(const TRunCounts& counts);
// Without an end time: the current time only; with one, elapsed, left and
// the end as well, all "hh:mm".
QString timeText(const QDateTime& now, const QDateTime& start, const std::optional<QDateTime>& end);

}  // namespace orvel
