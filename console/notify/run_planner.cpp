#include "notify/run_planner.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <queue>
#include <random>
#include <set>

namespace orvel {

namespace {

constexpr double kDaySeconds = 86400.0;
constexpr double kNever = std::numeric_limits<double>::infinity();
// A run without a time limit that has not ended after this long is taken as
// one that never ends (someone can never be called, or calls go on forever).
constexpr double kHorizonSeconds = 30 * kDaySeconds;
// Small lists are simulated this many times over in all at most, so that the
// outcome shares show through; a large list is its own average.
constexpr int kSimulatedEntries = 20000;
constexpr int kMaxReplications = 16;

struct Event {
    double t;
    int kind;  // 0 line free, 1 subscriber awake again
    int index;
    bool operator>(const Event& o) const {
        return t != o.t ? t > o.t : (kind != o.kind ? kind > o.kind : index > o.index);
    }
};

// Subscribers that may be called, by their attempts so far. `count` also
// holds those of that level who are in a call: the run's attempt floor
// counts them, so they hold back subscribers with more attempts.
struct Level {
    std::set<int> any;                   // no line restriction
    std::map<int, std::set<int>> byLine;  // restricted, by line
    int count = 0;
};

struct Replication {
    double finish = 0;
    bool byLimit = false;
    bool never = false;
    int notified = 0;
    int failed = 0;
    int remaining = 0;
    int calls = 0;
    std::vector<double> busySeconds;
};

class Simulation {
public:
    Simulation(const TPlanInput& in, uint32_t seed) : in_(in), rng_(seed) {
        nowTod_ = in.now.time().msecsSinceStartOfDay() / 1000.0;
        limitAt_ = kNever;
        if (in.timeLimitMinutes > 0)
            limitAt_ = std::max(0.0, in.runStart.msecsTo(in.now) * -0.001 +
                                         in.timeLimitMinutes * 60.0);
        lines_ = int(in.lineEnabled.size());
        for (int j = 0; j < lines_; ++j)
            if (in.lineEnabled[size_t(j)])
                idle_.insert(j);
        busy_.assign(size_t(lines_), 0.0);
        double sum = 0;
        for (int o = 0; o < kPlanOutcomes; ++o) {
            sum += std::max(0.0, in.model.share[size_t(o)]);
            cumulative_[size_t(o)] = sum;
        }
        total_ = sum > 0 ? sum : 1.0;
    }

    Replication run(int& uncallable) {
        const int n = int(in_.subscribers.size());
        attempts_.assign(size_t(n), 0);
        lastOutcome_.assign(size_t(n), -1);
        uncallable = 0;
        for (int k = 0; k < n; ++k) {
            const TPlanSubscriber& s = in_.subscribers[size_t(k)];
            attempts_[size_t(k)] = std::max(0, s.attempts);
            if (s.lastOutcome >= 0 && s.lastOutcome < kPlanOutcomes)
                lastOutcome_[size_t(k)] = s.lastOutcome;
            if (s.notified) {
                ++r_.notified;
                continue;
            }
            if (s.callLine >= 0 && s.callLine < lines_) {
                const int callLine = s.callLine;
                {
                    // In a call now: its line comes free when the call ends.
                    idle_.erase(callLine);
                    lineSub_[callLine] = k;
                    levelOf(attempts_[size_t(k)]).count += 1;
                    push({std::max(0.0, in_.now.msecsTo(QDateTime::fromMSecsSinceEpoch(
                                                         s.busyUntilMs)) * 0.001),
                          0, callLine});
                    continue;
                }
            }
            if (attempts_[size_t(k)] >= in_.maxAttempts) {
                ++r_.failed;
                continue;
            }
            if (!callable(s)) {
                ++uncallable;
                continue;
            }
            double wake = 0;
            if (attempts_[size_t(k)] > 0 && s.lastEndMs > 0)
                wake = std::max(0.0, (s.lastEndMs - in_.now.toMSecsSinceEpoch()) * 0.001 +
                                         in_.pauseMinutes * 60.0);
            if (wake > 0)
                push({wake, 1, k});
            else
                enter(k);
        }
        dispatch(0);
        double last = 0;
        while (!events_.empty()) {
            const Event e = events_.top();
            if (e.t > limitAt_ || e.t > kHorizonSeconds)
                break;
            events_.pop();
            last = e.t;
            if (e.kind == 0)
                lineFree(e.index, e.t);
            else
                enter(e.index);
            dispatch(e.t);
        }
        r_.remaining = n - r_.notified - r_.failed;
        if (r_.remaining > 0 && limitAt_ < kNever) {
            r_.finish = limitAt_;
            r_.byLimit = true;
        } else if (r_.remaining > 0) {
            r_.finish = last;
            r_.never = true;
        } else {
            r_.finish = lastDone_;
        }
        r_.busySeconds = busy_;
        return r_;
    }

private:
    bool callable(const TPlanSubscriber& s) const {
        if (s.line >= 0 && (s.line >= lines_ || !in_.lineEnabled[size_t(s.line)]))
            return false;
        if (s.windowPresent && s.windowEnd < s.windowStart)
            return false;
        return true;
    }

    void push(const Event& e) { events_.push(e); }

    Level& levelOf(int attempts) {
        if (attempts >= int(levels_.size()))
            levels_.resize(size_t(attempts) + 1);
        minLevel_ = std::min(minLevel_, attempts);
        return levels_[size_t(attempts)];
    }

    // The subscriber may be called again: it joins its attempts' level.
    void enter(int k) {
        const int line = in_.subscribers[size_t(k)].line;
        Level& lv = levelOf(attempts_[size_t(k)]);
        if (line >= 0)
            lv.byLine[line].insert(k);
        else
            lv.any.insert(k);
        lv.count += 1;
    }

    void leave(int k, Level& lv) {
        const int line = in_.subscribers[size_t(k)].line;
        if (line >= 0) {
            auto it = lv.byLine.find(line);
            it->second.erase(k);
            if (it->second.empty())
                lv.byLine.erase(it);
        } else {
            lv.any.erase(k);
        }
    }

    // Seconds from `t` until the subscriber's window admits a call.
    double untilOpen(int k, double t) const {
        const TPlanSubscriber& s = in_.subscribers[size_t(k)];
        if (!s.windowPresent)
            return 0;
        if (s.windowEnd < s.windowStart)
            return kNever;
        const double tod = std::fmod(nowTod_ + t, kDaySeconds);
        if (tod >= s.windowStart - 0.001 && tod <= s.windowEnd + 0.001)
            return 0;
        return tod < s.windowStart ? s.windowStart - tod : kDaySeconds - tod + s.windowStart;
    }

    // Hands the waiting subscribers of the attempt floor to the idle lines,
    // in list order, each to the first idle line it may use.
    void dispatch(double t) {
        while (!idle_.empty()) {
            while (minLevel_ < int(levels_.size()) && levels_[size_t(minLevel_)].count == 0)
                ++minLevel_;
            if (minLevel_ >= int(levels_.size()))
                return;
            Level& lv = levels_[size_t(minLevel_)];
            int best = -1, bestLine = -1;
            if (!lv.any.empty()) {
                best = *lv.any.begin();
                bestLine = *idle_.begin();
            }
            for (const auto& [line, set] : lv.byLine)
                if (!set.empty() && idle_.count(line) && (best < 0 || *set.begin() < best)) {
                    best = *set.begin();
                    bestLine = line;
                }
            if (best < 0)
                return;  // the floor is held by calls in progress or busy lines
            const double wait = untilOpen(best, t);
            leave(best, lv);
            if (wait > 0) {
                lv.count -= 1;
                push({t + wait, 1, best});  // windows that never open were left out at the start
                continue;
            }
            call(best, bestLine, t, lv);
        }
    }

    void call(int k, int line, double t, Level& from) {
        from.count -= 1;
        attempts_[size_t(k)] += 1;
        levelOf(attempts_[size_t(k)]).count += 1;  // in a call, holding the floor
        idle_.erase(line);
        lineSub_[line] = k;
        const PlanOutcome o = drawFor(k);
        outcome_[line] = o;
        lastOutcome_[size_t(k)] = int(o);
        const double seconds = std::max(0.0, in_.model.seconds[size_t(o)]);
        busy_[size_t(line)] += seconds;
        ++r_.calls;
        push({t + in_.model.handOverSeconds + seconds, 0, line});
    }

    void lineFree(int line, double t) {
        const auto it = lineSub_.find(line);
        if (it == lineSub_.end())
            return;
        const int k = it->second;
        lineSub_.erase(it);
        const auto o = outcome_.count(line) ? outcome_[line] : drawFor(k);
        outcome_.erase(line);
        if (in_.lineEnabled[size_t(line)])
            idle_.insert(line);
        levelOf(attempts_[size_t(k)]).count -= 1;
        if (o == PlanOutcome::Confirmed) {
            ++r_.notified;
            lastDone_ = t;
        } else if ((o == PlanOutcome::Unobtainable && !in_.model.retryUnobtainable) ||
                   attempts_[size_t(k)] >= in_.maxAttempts) {
            ++r_.failed;
            lastDone_ = t;
        } else if (in_.pauseMinutes > 0) {
            push({t + in_.pauseMinutes * 60.0, 1, k});
        } else {
            enter(k);
        }
    }

    // A repeated call ends as the last one did for the model's repeat share.
    PlanOutcome drawFor(int k) {
        const int last = lastOutcome_[size_t(k)];
        if (last >= 0 && in_.model.repeatShare > 0 && in_.model.share[size_t(last)] > 0 &&
            std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < in_.model.repeatShare)
            return PlanOutcome(last);
        return draw();
    }

    PlanOutcome draw() {
        const double x = std::uniform_real_distribution<double>(0.0, total_)(rng_);
        for (int o = 0; o < kPlanOutcomes; ++o)
            if (x < cumulative_[size_t(o)])
                return PlanOutcome(o);
        for (int o = kPlanOutcomes - 1; o >= 0; --o)
            if (in_.model.share[size_t(o)] > 0)
                return PlanOutcome(o);
        return PlanOutcome::NoAnswer;
    }

    const TPlanInput& in_;
    std::mt19937 rng_;
    double nowTod_ = 0;
    double limitAt_ = kNever;
    int lines_ = 0;
    std::set<int> idle_;
    std::map<int, int> lineSub_;
    std::map<int, PlanOutcome> outcome_;
    std::vector<double> busy_;
    std::vector<int> attempts_;
    std::vector<int> lastOutcome_;
    std::vector<Level> levels_;
    int minLevel_ = 0;
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events_;
    std::array<double, kPlanOutcomes> cumulative_{};
    double total_ = 1;
    double lastDone_ = 0;
    Replication r_;
};

}  // namespace

TPlanResult PlanRun(const TPlanInput& input) {
    QElapsedTimer timer;
    timer.start();
    TPlanResult out;
    out.total = int(input.subscribers.size());
    out.fromLogs = input.model.fromLogs;
    out.callsSeen = input.model.callsSeen;
    out.lineLoad.assign(input.lineEnabled.size(), 0.0);
    const bool anyLine = std::any_of(input.lineEnabled.begin(), input.lineEnabled.end(),
                                     [](bool on) { return on; });
    if (!anyLine || input.subscribers.empty() || !input.now.isValid()) {
        out.elapsedUs = timer.nsecsElapsed() / 1000;
        return out;
    }
    const int reps = std::clamp(kSimulatedEntries / std::max(1, out.total), 1, kMaxReplications);
    double finish = 0;
    int byLimit = 0, never = 0;
    for (int r = 0; r < reps; ++r) {
        Simulation sim(input, input.seed + uint32_t(r) * 7919u);
        int uncallable = 0;
        const Replication rep = sim.run(uncallable);
        out.uncallable = uncallable;
        finish += rep.finish;
        byLimit += rep.byLimit ? 1 : 0;
        never += rep.never ? 1 : 0;
        out.notified += rep.notified;
        out.failed += rep.failed;
        out.remaining += rep.remaining;
        out.calls += rep.calls;
        for (size_t j = 0; j < out.lineLoad.size(); ++j)
            out.lineLoad[j] += rep.finish > 0 ? std::min(1.0, rep.busySeconds[j] / rep.finish) : 0;
    }
    out.valid = true;
    out.notified /= reps;
    out.failed /= reps;
    out.remaining /= reps;
    out.calls /= reps;
    for (double& l : out.lineLoad)
        l /= reps;
    out.endsByLimit = byLimit * 2 >= reps && byLimit > 0;
    out.neverEnds = never * 2 >= reps && never > 0;
    out.finish = input.now.addMSecs(qint64(std::llround(finish / reps * 1000.0)));
    out.elapsedUs = timer.nsecsElapsed() / 1000;
    return out;
}

}  // namespace orvel
