// Loading 100,000 subscribers into the list and sorting them by name.
// Reports records per second for the load and the time of one sort.

#include <benchmark/benchmark.h>
#include <QTemporaryDir>
#include <memory>

#include "data/dvr_table.h"
#include "data/user_list.h"

using namespace orvel;

namespace {

constexpr int kSubscribers = 100000;

struct Fixture {
    QTemporaryDir dir;
    Fixture() {
        TDVRTable t(dir.path() + "/Users.dbf");
        t.CreateTable(TDVRTable::standardFieldDefinitions());
        t.OpenTable(0);
        static const char* const kNames[] = {"Иванов",  "Петров", "Сидоров",  "Кузнецов",
                                             "Смирнов", "Попов",  "Васильев", "Новиков",
                                             "Фёдоров", "Морозов"};
        for (int i = 0; i < kSubscribers; ++i) {
            // Scatter the names so the sort has real work to do.
            const unsigned h = unsigned(i) * 2654435761u;
            t.Append({QString::number(i + 2),
                      QString("%1 %2").arg(QString::fromUtf8(kNames[h % 10])).arg(h % 100000),
                      QString("8495%1").arg(h % 10000000, 7, 10, QChar('0')), "9:00 - 18:00", "",
                      "комментарий", "0"},
                     6);
        }
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_LoadFromTable(benchmark::State& state) {
    TUserList list;
    list.open(fixture().dir.path(), 0);
    for (auto _ : state) {
        list.LoadFromTable();
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * list.Count());
    state.counters["records_per_s"] =
        benchmark::Counter(double(list.Count()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadFromTable)->Unit(benchmark::kMillisecond);

void BM_SortByName(benchmark::State& state) {
    TUserList list;
    list.open(fixture().dir.path(), 0);
    for (auto _ : state) {
        state.PauseTiming();
        list.LoadFromTable();
        state.ResumeTiming();
        list.SortBy(false, 1, -1);
    }
    state.SetItemsProcessed(state.iterations() * list.Count());
}
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
