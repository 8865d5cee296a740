// The run planner over a large alert: 100,000 subscribers (a tenth with a
// time window, a hundredth bound to one line) on 180 lines, 3 attempts,
// 5 minutes' pause, a 30-minute time limit (goal: under 200 ms).
#include <benchmark/benchmark.h>

#include "notify/plan_call_model.h"
#include "notify/run_planner.h"

namespace {

orvel::TPlanInput largeAlert(int subscribers, int lines) {
    orvel::TPlanInput in;
    in.now = in.runStart = QDateTime(QDate(2026, 12, 10), QTime(14, 0));
    in.maxAttempts = 3;
    in.pauseMinutes = 5;
    in.timeLimitMinutes = 30;
    in.lineEnabled.assign(size_t(lines), true);
    in.model = orvel::defaultCallModel(orvel::TPlanTiming{});
    in.subscribers.resize(size_t(subscribers));
    for (int k = 0; k < subscribers; ++k) {
        orvel::TPlanSubscriber& s = in.subscribers[size_t(k)];
        if (k % 10 == 0) {
            s.windowPresent = true;
            s.windowStart = 14 * 3600 + 600;
            s.windowEnd = 18 * 3600;
        }
        if (k % 100 == 0)
            s.line = k % lines;
    }
    return in;
}

void BM_PlanLargeAlert(benchmark::State& state) {
    const orvel::TPlanInput in = largeAlert(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        const orvel::TPlanResult r = orvel::PlanRun(in);
        benchmark::DoNotOptimize(r.notified);
    }
}
BENCHMARK(BM_PlanLargeAlert)->Args({100000, 180})->Args({5000, 17})->Unit(benchmark::kMillisecond);

// Without a time limit the whole alert is followed to its end.
void BM_PlanLargeAlertToTheEnd(benchmark::State& state) {
    orvel::TPlanInput in = largeAlert(100000, 180);
    in.timeLimitMinutes = 0;
    for (auto _ : state) {
        const orvel::TPlanResult r = orvel::PlanRun(in);
        benchmark::DoNotOptimize(r.notified);
    }
}
BENCHMARK(BM_PlanLargeAlertToTheEnd)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
