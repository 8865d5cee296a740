#include "notify/run_texts.h"

#include "core/texts.h"

namespace orvel {

QString summaryText(const TRunCounts& c) {
    const QString sep = QStringLiteral("   ");
    return QStringLiteral(" ") + T(textAbonentsToAlarm) + QStringLiteral(" - ") +
           QString::number(c.marked) + sep + T(textAlarmed) + QStringLiteral(" - ") +
           QString::number(c.notified) + sep + QStringLiteral("Осталось оповестить - ") +
           QString::number(c.marked - c.failed - c.notified) + sep + T(textNot) +
           QStringLiteral(" ") + T(textAlarmed).toLower() + QStringLiteral(" - ") +
           QString::number(c.failed);
}

namespace {
QString hhnn(qint64 secs) {
    if (secs < 0)
        secs = 0;
    const qint64 minutes = secs / 60;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

QString timeText(const QDateTime& now, const QDateTime& start,
                 const std::optional<QDateTime>& end) {
    QString text = T(textTime) + QStringLiteral(":   ") + T(textCurrentTime) +
                   QStringLiteral(" - ") + now.toString(QStringLiteral("hh:mm"));
    if (!end)
        return text;
    const QString sep = QStringLiteral("   ");
    text += sep + T(textTimeElapsed) + QStringLiteral(" - ") + hhnn(start.secsTo(now));
    text += sep + T(textTimeLeft) + QStringLiteral(" - ") + hhnn(now.secsTo(*end) + 60);
    text +=
        sep + T(textTimeBorder) + QStringLiteral(" - ") + end->toString(QStringLiteral("hh:mm"));
    return text;
}

}  // namespace orvel
