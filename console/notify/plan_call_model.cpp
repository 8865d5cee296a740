#include "notify/plan_call_model.h"

#include <QDir>
#include <QFile>
#include <QTime>
#include <algorithm>
#include <map>
#include <vector>

#include "diag/line_state_log.h"
#include "notify/line_status.h"

namespace orvel {

namespace {

constexpr double kRingBeforeAnswer = 12;  // about three rings
constexpr double kPressAfterPrompt = 3;
constexpr double kWaitAfterBeep = 15;  // the line engine waits this long for the key
constexpr double kProgressBeforeRinging = 4;
constexpr double kSecondsPerBusyReport = 1;
constexpr double kUnobtainableSeconds = 5;
constexpr int kMinLengths = 10;
constexpr int kLongestGap = 600;  // seconds: a longer gap was a line waiting, not a call
constexpr qint64 kMaxLogBytes = 64 * 1024 * 1024;

double median(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

double dialSeconds(int digits, bool pulse) {
    const int d = std::max(0, digits);
    return 1.0 + (pulse ? d * (5.5 * 0.1 + 0.7) : d * 0.2);
}

TPlanCallModel defaultCallModel(const TPlanTiming& t) {
    TPlanCallModel m;
    m.share = {0.60, 0.10, 0.15, 0.10, 0.05};
    const double rest = std::max(0, t.redialPause);
    const double answered = t.dialSeconds + kRingBeforeAnswer + t.messageSeconds + t.promptSeconds;
    m.seconds[size_t(PlanOutcome::Confirmed)] = answered + kPressAfterPrompt + rest;
    m.seconds[size_t(PlanOutcome::NotConfirmed)] =
        answered + std::max(0, t.confirmPause) + kWaitAfterBeep + rest;
    m.seconds[size_t(PlanOutcome::NoAnswer)] =
        t.dialSeconds + kProgressBeforeRinging + std::max(0, t.kpwWait) + rest;
    m.seconds[size_t(PlanOutcome::Busy)] =
        t.dialSeconds + std::max(1, t.busyTime) * kSecondsPerBusyReport + rest;
    m.seconds[size_t(PlanOutcome::Unobtainable)] = t.dialSeconds + kUnobtainableSeconds + rest;
    return m;
}

int planOutcomeOfStatus(int status) {
    switch (status) {
    case kStatusNotified:
        return int(PlanOutcome::Confirmed);
    case kStatusNotConfirmed:
        return int(PlanOutcome::NotConfirmed);
    case kStatusNoAnswer:
        return int(PlanOutcome::NoAnswer);
    case kStatusBusy:
        return int(PlanOutcome::Busy);
    case kStatusUnobtainable:
        return int(PlanOutcome::Unobtainable);
    default:
        return -1;
    }
}

TPlanCallModel callModelFromLogs(const QString& logDir, const TPlanTiming& timing, int minCalls) {
    TPlanCallModel m = defaultCallModel(timing);
    std::array<int, kPlanOutcomes> counts{};
    std::array<std::vector<double>, kPlanOutcomes> lengths;
    int calls = 0, retries = 0, repeats = 0;
    const QDir dir(logDir);
    const QStringList files =
        dir.entryList({QStringLiteral("*.log"), QStringLiteral("*.LOG")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        if (f.size() > kMaxLogBytes || !f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray all = f.readAll();
        std::map<int, int> lastSecond;  // by line: time of day of its last record
        std::map<QString, int> lastOutcome;  // by subscriber: how the last call ended
        for (qsizetype at = 0; at + kLineStateRecordSize <= all.size();
             at += kLineStateRecordSize) {
            const TLineStateRecord r = TLineStateRecord::fromBytes(all.constData() + at);
            const QTime time = QTime::fromString(r.time, QStringLiteral("hh:mm:ss"));
            const int outcome = planOutcomeOfStatus(r.state);
            if (outcome < 0)
                continue;
            ++calls;
            ++counts[size_t(outcome)];
            if (const auto was = lastOutcome.find(r.name); was != lastOutcome.end()) {
                ++retries;
                repeats += was->second == outcome ? 1 : 0;
            }
            lastOutcome[r.name] = outcome;
            if (!time.isValid())
                continue;
            const int second = time.msecsSinceStartOfDay() / 1000;
            const auto it = lastSecond.find(r.line);
            if (it != lastSecond.end()) {
                int gap = second - it->second;
                if (gap < 0)
                    gap += 86400;  // past midnight
                if (gap > 0 && gap <= kLongestGap)
                    lengths[size_t(outcome)].push_back(gap);
            }
            lastSecond[r.line] = second;
        }
    }
    m.callsSeen = calls;
    if (calls < std::max(1, minCalls))
        return m;
    m.fromLogs = true;
    if (retries >= kMinLengths)
        m.repeatShare = double(repeats) / retries;
    for (int o = 0; o < kPlanOutcomes; ++o) {
        m.share[size_t(o)] = double(counts[size_t(o)]) / calls;
        if (int(lengths[size_t(o)].size()) >= kMinLengths)
            m.seconds[size_t(o)] = median(lengths[size_t(o)]);
    }
    return m;
}

}  // namespace orvel
