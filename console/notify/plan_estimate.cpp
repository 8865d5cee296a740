#include "notify/plan_estimate.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>

#include "core/texts.h"
#include "data/user_list.h"
#include "notify/line_status.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/plan_call_model.h"

namespace orvel {

namespace {

constexpr qint64 kMinuteMs = 60000;
constexpr int kMaxChunks = 64;  // a message file has a handful of chunks

// Both to the nearest minute, so that the end and the time left agree.
QString clockText(const QDateTime& t) {
    return t.addSecs(30).toString(QStringLiteral("HH:mm"));
}

QString durationText(qint64 seconds) {
    seconds = std::max<qint64>(0, seconds);
    const qint64 minutes = std::max<qint64>(1, (seconds + 30) / 60);  // never "0:00" while it runs
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString count(double v) {
    return QString::number(qint64(std::llround(v)));
}

}  // namespace

std::optional<double> wavSeconds(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return std::nullopt;
    quint32 byteRate = 0;
    for (int i = 0; i < kMaxChunks; ++i) {
        const QByteArray chunk = f.read(8);
        if (chunk.size() < 8)
            return std::nullopt;
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = f.read(16);
            if (fmt.size() < 16)
                return std::nullopt;
            byteRate = qFromLittleEndian<quint32>(fmt.constData() + 8);
            if (!f.seek(f.pos() + qint64(size) - 16 + (size & 1)))
                return std::nullopt;
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0)
                return std::nullopt;
            // A data size beyond the file is cut to what the file holds.
            const qint64 bytes = std::min<qint64>(size, f.size() - f.pos());
            return double(bytes) / byteRate;
        } else if (!f.seek(f.pos() + qint64(size) + (size & 1))) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

TPlanInput makePlanInput(const TUserList& users, const TORVLines& lines, const TPlanRequest& r) {
    TPlanInput in;
    in.now = r.now;
    in.runStart = r.runStart.value_or(r.now);
    in.timeLimitMinutes = r.timeLimitMinutes;
    in.maxAttempts = std::max(1, r.maxAttempts);
    in.pauseMinutes = std::max(0.0, r.pauseMinutes);

    // Lines: before a run the enabled ones; during it those it holds.
    TPlanTiming timing;
    int pulseLines = 0, usable = 0;
    in.lineEnabled.resize(size_t(std::max(0, lines.Count())));
    for (int j = 0; j < lines.Count(); ++j) {
        const TORVELLine& l = *lines.Items(j);
        const bool on = r.running ? l.Assigned : l.Enabled == 1;
        in.lineEnabled[size_t(j)] = on;
        if (!on)
            continue;
        if (usable++ == 0) {
            timing.kpwWait = l.TimeParams.KpwWait;
            timing.redialPause = l.TimeParams.RedialPause;
            timing.busyTime = l.TimeParams.BusyTime;
            timing.confirmPause = l.TimeParams.ConfirmPause;
        }
        pulseLines += l.DialMode == 0 ? 1 : 0;
    }

    qint64 digits = 0;
    int numbers = 0;
    std::vector<int> markedAt(size_t(std::max(0, users.Count())), -1);
    for (int k = 0; k < users.Count(); ++k) {
        const TUserListItem& s = *users.Item(k);
        if (!s.mark)
            continue;
        markedAt[size_t(k)] = int(in.subscribers.size());
        TPlanSubscriber p;
        p.attempts = s.attempts;
        p.notified = s.lastState == kStatusNotified;
        p.windowPresent = s.time.present;
        p.windowStart = s.time.start;
        p.windowEnd = s.time.end;
        p.line = s.line;
        p.lastEndMs = s.lastStateTime;
        if (s.attempts > 0)
            p.lastOutcome = planOutcomeOfStatus(s.lastState);
        QString dial = FilterNumber(s.phone.toString());
        dial.remove(QLatin1Char('#')).remove(QLatin1Char(',')).remove(QLatin1Char('w'));
        const qsizetype n = dial.size();
        // The run takes these as done without calling them (nothing to
        // dial), or without calling them again (the number does not exist):
        // they hold nobody back and the run does not wait for them.
        if ((s.flags & kFlagUndialable) || n == 0 ||
            (s.lastState == kStatusUnobtainable && !s.inCall))
            p.attempts = std::max(p.attempts, in.maxAttempts);
        in.subscribers.push_back(p);
        digits += n;
        numbers += n > 0 ? 1 : 0;
    }
    // Subscribers in a call now: their line is expected free half a call on.
    for (int j = 0; j < lines.Count() && r.running; ++j) {
        const TORVELLine& l = *lines.Items(j);
        if (!l.Subscriber)
            continue;
        const int k = users.IndexOfItem(l.Subscriber);
        if (k >= 0 && markedAt[size_t(k)] >= 0)
            in.subscribers[size_t(markedAt[size_t(k)])].callLine = j;
    }

    const int avgDigits = numbers ? int(digits / numbers) : 7;
    const bool pulse = usable > 0 && pulseLines * 2 > usable;
    timing.dialSeconds = dialSeconds(avgDigits, pulse);
    if (const auto s = wavSeconds(r.messageFile))
        timing.messageSeconds = *s;
    if (const auto s = wavSeconds(r.confirmFile))
        timing.promptSeconds = *s;
    in.model = r.model
                   ? *r.model
                   : callModelFromLogs(QDir(r.programDir).filePath(QStringLiteral("Log")), timing);
    // Half a call for those in a call now, from the model's mean length.
    double mean = 0;
    for (int o = 0; o < kPlanOutcomes; ++o)
        mean += in.model.share[size_t(o)] * in.model.seconds[size_t(o)];
    for (TPlanSubscriber& p : in.subscribers)
        if (p.callLine >= 0)
            p.busyUntilMs = r.now.toMSecsSinceEpoch() + qint64(mean * 500.0);
    return in;
}

bool planIsWarning(const TPlanResult& plan) {
    return plan.valid && (plan.neverEnds || (plan.endsByLimit && plan.remaining >= 0.5));
}

QString planSummaryText(const TPlanResult& plan, int timeLimitMinutes) {
    if (!plan.valid)
        return plan.total == 0 ? T(textPlanNobody) : T(textPlanNoLines);
    if (plan.neverEnds)
        return T(textPlanNeverEnds).arg(plan.uncallable);
    if (plan.endsByLimit && plan.remaining >= 0.5)
        return T(textPlanLimitShort)
            .arg(timeLimitMinutes)
            .arg(count(plan.remaining))
            .arg(plan.total);
    return T(textPlanFinish).arg(clockText(plan.finish)) + QStringLiteral(", ") +
           T(textPlanAllInTime);
}

QString planRemainingText(const TPlanResult& plan, const QDateTime& now) {
    if (!plan.valid || plan.neverEnds)
        return QString();
    return T(textPlanRemaining)
        .arg(durationText(now.secsTo(plan.finish)))
        .arg(clockText(plan.finish));
}

QStringList planReport(const TPlanResult& plan, int timeLimitMinutes) {
    QStringList out;
    out << planSummaryText(plan, timeLimitMinutes);
    if (!plan.valid)
        return out;
    out << T(textPlanReached).arg(count(plan.notified)).arg(plan.total);
    out << T(textPlanCalls).arg(count(plan.calls));
    double load = 0;
    int used = 0;
    for (double l : plan.lineLoad)
        if (l > 0) {
            load += l;
            ++used;
        }
    out << T(textPlanLineLoad)
               .arg(used)
               .arg(QString::number(used ? 100.0 * load / used : 0.0, 'f', 0));
    out << (plan.fromLogs ? T(textPlanFromLogs).arg(plan.callsSeen) : T(textPlanFromDefaults));
    return out;
}

}  // namespace orvel
