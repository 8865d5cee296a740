// One pass of a run over 100,000 marked subscribers with 36 lines (3 boards
// of 12) and with 180 lines (10 boards of 18): the run thread makes a pass
// every 200 ms, so a pass must cost next to nothing (goal: under 2 ms).

#include <benchmark/benchmark.h>
#include <QTemporaryDir>

#include "data/dvr_table.h"
#include "data/user_list.h"
#include "notify/fake_line_library.h"
#include "notify/notify_run.h"

using namespace orvel;

namespace {

constexpr int kSubscribers = 100000;

struct Fixture {
    QTemporaryDir dir;
    Fixture() {
        TDVRTable t(dir.path() + "/Users.dbf");
        t.CreateTable(TDVRTable::standardFieldDefinitions());
        t.OpenTable(0);
        for (int i = 0; i < kSubscribers; ++i) {
            const unsigned h = unsigned(i) * 2654435761u;
            t.Append({QString::number(i + 2), QString("Абонент %1").arg(h % 100000),
                      QString("8495%1").arg(h % 10000000, 7, 10, QChar('0')),
                      i % 4 ? QString() : QString("0:00 - 23:59"), "", "", "0"},
                     6);
        }
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// callMs: how long a call lasts on the run's clock; state.range(0): lines.
void runPasses(benchmark::State& state, int callMs) {
    TUserList list;
    list.open(fixture().dir.path(), 0);
    for (int k = 0; k < list.Count(); ++k)
        list.Item(k)->mark = 1;
    TManualClock clock(QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
    const bool all = state.range(0) == 180;
    test::FakeLineLibrary lib(all ? std::vector<int>(10, 18) : std::vector<int>{12, 12, 12});
    lib.callMs = callMs;
    lib.clock = [&clock] { return clock.nowMs(); };
    ProgramStateRecord r;
    lib.GetProgrammState(r);
    TORVLines lines;
    lines.Create(r);
    TNotifyRun run(lib, lines, list, clock, nullptr);
    run.settings().maxAttempts = 1000000;
    run.resetRunFields();
    run.assignLines();
    run.beginRun();
    run.RunPass();  // the lines fill up
    for (auto _ : state) {
        run.RunPass();
        clock.advance(200);
    }
    state.counters["calls"] = double(lib.calls.size());
}

void BM_RunPassAllLinesBusy(benchmark::State& state) {
    runPasses(state, 1 << 30);  // every line stays in its call
}
BENCHMARK(BM_RunPassAllLinesBusy)->Arg(36)->Arg(180)->Unit(benchmark::kMillisecond);

void BM_RunPassLinesFreeEveryPass(benchmark::State& state) {
    runPasses(state, 200);  // every line's call ends and a new one begins in every pass
}
BENCHMARK(BM_RunPassLinesFreeEveryPass)->Arg(36)->Arg(180)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
