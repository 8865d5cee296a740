// Importing 100,000 subscribers into an empty table: the whole operation the
// window runs (read the file, append every row, the list usable afterwards),
// from a CSV file and from a workbook. Goal: under 3 s each.

#include <benchmark/benchmark.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "data/subscriber_import.h"
#include "data/user_list.h"

using namespace orvel;

namespace {

constexpr int kRows = 100000;

QString writeCsv(const QString& dir) {
    static const char* const kNames[] = {"Иванов", "Петров",   "Сидоров", "Кузнецов", "Смирнов",
                                         "Попов",  "Васильев", "Новиков", "Фёдоров",  "Морозов"};
    QByteArray text;
    for (int i = 0; i < kRows; ++i) {
        const unsigned h = unsigned(i) * 2654435761u;
        text += QString("%1 %2;8495%3;9:00-18:00;%4;комментарий %5;0\r\n")
                    .arg(QString::fromUtf8(kNames[h % 10]))
                    .arg(h % 100000)
                    .arg(h % 10000000, 7, 10, QChar('0'))
                    .arg(1 + h % 12)
                    .arg(i)
                    .toUtf8();
    }
    const QString path = dir + "/subscribers.csv";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

void runImport(benchmark::State& state, const QString& source, const ImportOptions& options) {
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir base;
        TUserList list;
        list.open(base.path(), 0);
        state.ResumeTiming();
        const ImportOutcome out = importSubscribers(list, source, options);
        added = out.added;
        benchmark::DoNotOptimize(list.Count());
        if (!out.error.isEmpty() || added != kRows)
            state.SkipWithError("import failed");
    }
    state.counters["rows"] = added;
    state.counters["rows_per_s"] =
        benchmark::Counter(double(added), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ImportCsv(benchmark::State& state) {
    QTemporaryDir dir;
    ImportOptions o;
    o.kind = ImportKind::Csv;
    o.separator = ";";
    runImport(state, writeCsv(dir.path()), o);
}
BENCHMARK(BM_ImportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same rows in a workbook written by openpyxl (as another program would
// write it), telephone and line as numbers.
void BM_ImportXlsx(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/subscribers.xlsx";
    QProcess p;
    p.start("/usr/bin/python3",
            {"-c",
             "import sys, openpyxl\n"
             "wb = openpyxl.Workbook(write_only=True)\n"
             "ws = wb.create_sheet()\n"
             "names = ['Иванов','Петров','Сидоров','Кузнецов','Смирнов']\n"
             "for i in range(int(sys.argv[2])):\n"
             "    h = (i * 2654435761) % 2**32\n"
             "    ws.append(['%s %d' % (names[h % 5], h % 100000), 84950000000 + h % 10000000,\n"
             "               '9:00-18:00', 1 + h % 12, 'комментарий %d' % i, 0])\n"
             "wb.save(sys.argv[1])\n",
             path, QString::number(kRows)});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        state.SkipWithError("python3-openpyxl could not write the workbook");
        return;
    }
    ImportOptions o;
    o.kind = ImportKind::Workbook;
    runImport(state, path, o);
}
BENCHMARK(BM_ImportXlsx)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
