// orvel-soak: notification runs back to back over ten simulated boards of 18
// lines for a given time, through the same session as orvel-run (scheme,
// progress file, line-state log, workbook), with the lines now and then
// listened to. At the end: calls made, results booked, calls whose result
// is missing, and the process's resident memory, descriptors and threads at
// the start, after the first run and at the end, with its processor time.
//
// "Start" is the process before the engine is first brought up. The first
// run loads what then stays loaded (the engine's and the simulator's
// libraries and tables, ACE's singletons, the sound output), so growth is
// judged from after the first run to the end; the growth from the start is
// printed beside it.
//
// Exit status 0: no result missing, descriptors and threads back to what
// they were after the first run and, with --max-growth, resident memory
// grown no more than that since the first run; 1 otherwise; 2 bad input;
// 3 a run failed.

#include <pthread.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>

#include "counting_library.h"
#include "notify/demo_setup.h"
#include "notify/orvel_line_library.h"
#include "process_figures.h"
#include "runner/run_session.h"
#include "soak_directory.h"

namespace {

using namespace orvel;
using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

// Listens to a line in a call for a few seconds, then rests, until told to end.
class TListener {
public:
    TListener(soak::TCountingLineLibrary& lib, uint32_t seed) : lib_(lib), random_(seed) {
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "soak-listener");
            loop();
        });
    }
    ~TListener() {
        {
            std::lock_guard lock(mutex_);
            end_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    bool rest(int ms) {
        std::unique_lock lock(mutex_);
        return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return end_; });
    }
    void loop() {
        while (rest(std::uniform_int_distribution<int>(5000, 20000)(random_))) {
            if (!lib_.listenToSomeLine(true, random_))
                continue;
            const bool more = rest(std::uniform_int_distribution<int>(2000, 6000)(random_));
            lib_.listenToSomeLine(false, random_);
            if (!more)
                break;
        }
    }

    soak::TCountingLineLibrary& lib_;
    std::mt19937 random_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool end_ = false;
    std::thread thread_;
};

double growthPercent(long from, long to) {
    return from > 0 ? 100.0 * double(to - from) / double(from) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Notification runs back to back on simulated boards; reports calls, "
                       "missing results, memory, descriptors and threads."));
    p.addHelpOption();
    p.addOption({QStringLiteral("minutes"), QStringLiteral("How long to start new runs."),
                 QStringLiteral("m"), QStringLiteral("60")});
    p.addOption({QStringLiteral("subscribers"), QStringLiteral("Subscribers in the table."),
                 QStringLiteral("n"), QStringLiteral("360")});
    p.addOption({QStringLiteral("attempts"), QStringLiteral("Attempts of the scheme."),
                 QStringLiteral("n"), QStringLiteral("2")});
    p.addOption({QStringLiteral("min-runs"),
                 QStringLiteral("Runs made at least, whatever the time."), QStringLiteral("n"),
                 QStringLiteral("2")});
    p.addOption({QStringLiteral("boards"), QStringLiteral("Simulated boards of 18 lines."),
                 QStringLiteral("n"), QStringLiteral("10")});
    p.addOption({QStringLiteral("max-growth"),
                 QStringLiteral("Fail when resident memory grew more than this many per cent "
                                "from after the first run to the end (default: not judged)."),
                 QStringLiteral("percent")});
    p.addOption({QStringLiteral("verbose"),
                 QStringLiteral("Every line's states into soak.log, not only the counters.")});
    p.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the listening."),
                 QStringLiteral("n"), QStringLiteral("1")});
    p.addOption({QStringLiteral("dir"),
                 QStringLiteral("Program directory to use (default: a temporary one)."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("maps"),
                 QStringLiteral("Keep the process's memory map (smaps) and the allocator's "
                                "report (malloc_info) after every run in this directory."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("data"), QStringLiteral("The repository's data directory."),
                 QStringLiteral("dir"), QStringLiteral(ORVEL_DATA_DIR)});
    p.process(app);

    const auto number = [&](const char* name, int lo, int hi, double& out) {
        bool ok = false;
        out = p.value(QLatin1String(name)).toDouble(&ok);
        if (!ok || out < lo || out > hi) {
            std::fprintf(stderr, "--%s: a number from %d to %d\n", name, lo, hi);
            return false;
        }
        return true;
    };
    double minutes = 0, subscribers = 0, attempts = 0, minRuns = 0, seed = 0, boards = 0,
           maxGrowth = 0;
    if (!number("minutes", 0, 100000, minutes) || !number("subscribers", 1, 100000, subscribers) ||
        !number("attempts", 1, 99, attempts) || !number("min-runs", 1, 100000, minRuns) ||
        !number("seed", 0, 1 << 30, seed) || !number("boards", 1, 10, boards) ||
        (p.isSet(QStringLiteral("max-growth")) && !number("max-growth", 0, 1000, maxGrowth)))
        return 2;
    const bool judgeGrowth = p.isSet(QStringLiteral("max-growth"));

    QTemporaryDir temp;
    soak::TSoakDirectory d;
    d.dir = p.isSet(QStringLiteral("dir")) ? p.value(QStringLiteral("dir")) : temp.path();
    d.dataDir = p.value(QStringLiteral("data"));
    d.subscribers = int(subscribers);
    d.attempts = int(attempts);
    d.boards = int(boards);
    QString error;
    if (!soak::prepareSoakDirectory(d, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    const soak::TProcessFigures atStart = soak::sampleProcess();
    soak::TProcessFigures afterFirst;
    std::printf("start (before the engine is first brought up): %s\n",
                soak::describe(atStart).c_str());
    std::fflush(stdout);

    soak::TCountingLineLibrary lib(makeOrvelLineLibrary());
    QFile logFile(d.dir + QStringLiteral("/soak.log"));
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(logFile.fileName()));
        return 2;
    }
    QTextStream log(&logFile);

    std::atomic<uint64_t> booked{0};
    int runs = 0;
    int failedRuns = 0;
    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::milliseconds(qint64(minutes * 60000));
    soak::TProcessFigures atEnd;
    {
        // The listener's thread lives through every figure compared below.
        TListener listener(lib, uint32_t(seed));
        while (!g_stop && (runs < int(minRuns) || Clock::now() < deadline)) {
            TSessionOptions o;
            o.programDir = d.dir;
            o.exeDir = d.dir;
            o.scheme = QString::fromUtf8(kDemoScheme);
            o.fresh = true;
            o.markAll = true;
            o.quiet = !p.isSet(QStringLiteral("verbose"));
            o.callBooked = [&](int, int, int) { ++booked; };
            const int threadsBefore = soak::threadCount();
            const auto runStart = Clock::now();
            const int rc = runSession(o, lib, log, [] { return g_stop.load(); });
            // A thread the run joined can still be counted for a moment
            // while the kernel finishes it; a thread the run left behind
            // stays, and is named in the figures.
            soak::waitForThreads(threadsBefore, std::chrono::seconds(2));
            log.flush();
            ++runs;
            const soak::TCallTally t = lib.tally();
            const double secs = std::chrono::duration<double>(Clock::now() - runStart).count();
            const soak::TProcessFigures now = soak::sampleProcess();
            std::printf("run %d (exit %d, %.0f s): calls %llu, booked %llu; %s\n", runs, rc, secs,
                        (unsigned long long)t.calls, (unsigned long long)booked.load(),
                        soak::describe(now).c_str());
            std::fflush(stdout);
            if (p.isSet(QStringLiteral("maps")))
                soak::keepMemoryMaps(p.value(QStringLiteral("maps")).toStdString(), runs);
            if (runs == 1)
                afterFirst = now;
            // Taken as the figures after the first run were (each sample lets
            // the allocator give back its free memory after reading them).
            atEnd = now;
            if (rc != kExitAllNotified && rc != kExitSomeNotNotified) {
                ++failedRuns;
                if (rc != kExitStopped)
                    break;
            }
            // Each run leaves its workbook; the soak keeps none of them.
            QDir reports(d.dir + QStringLiteral("/Reports"));
            for (const QString& f : reports.entryList({QStringLiteral("*.xlsx")}, QDir::Files))
                reports.remove(f);
        }
    }
    const soak::TCallTally t = lib.tally();
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const long long missingBooked = (long long)t.calls - (long long)booked.load();
    std::printf("\nruns: %d over %.1f min%s\n", runs, wall / 60.0,
                failedRuns ? " (some failed: see soak.log)" : "");
    std::printf("calls made: %llu\n", (unsigned long long)t.calls);
    std::printf("results booked: %llu\n", (unsigned long long)booked.load());
    std::printf("calls whose result is missing: %lld\n", missingBooked);
    std::printf("lines listened to: %llu times\n", (unsigned long long)t.listens);
    const double grown = growthPercent(afterFirst.residentKb, atEnd.residentKb);
    std::printf("resident memory: %ld KiB at start, %ld after the first run, %ld at the end\n",
                atStart.residentKb, afterFirst.residentKb, atEnd.residentKb);
    std::printf(
        "resident growth: %+.2f %% from after the first run to the end (%+ld KiB); "
        "%+.2f %% from the start, which includes what the first run loads for good\n",
        grown, atEnd.residentKb - afterFirst.residentKb,
        growthPercent(atStart.residentKb, atEnd.residentKb));
    std::printf(
        "resident once freed memory is given back: %ld KiB at start, %ld after the first "
        "run, %ld at the end (%+.2f %% from after the first run)\n",
        atStart.trimmedResidentKb, afterFirst.trimmedResidentKb, atEnd.trimmedResidentKb,
        growthPercent(afterFirst.trimmedResidentKb, atEnd.trimmedResidentKb));
    std::printf("heap in use: %ld KiB at start, %ld after the first run, %ld at the end\n",
                atStart.heapInUseKb, afterFirst.heapInUseKb, atEnd.heapInUseKb);
    std::printf("descriptors: %d at start, %d after the first run, %d at the end\n",
                atStart.descriptors, afterFirst.descriptors, atEnd.descriptors);
    std::printf("threads: %d at start, %d after the first run, %d at the end\n", atStart.threads,
                afterFirst.threads, atEnd.threads);
    if (atEnd.threadNames != afterFirst.threadNames)
        std::printf("threads by name: %s after the first run; %s at the end\n",
                    afterFirst.threadNames.c_str(), atEnd.threadNames.c_str());
    std::printf("processor time: %.1f s user, %.1f s system (%.1f s per run after the first)\n",
                atEnd.userSeconds, atEnd.systemSeconds,
                runs > 1 ? (atEnd.userSeconds + atEnd.systemSeconds - afterFirst.userSeconds -
                            afterFirst.systemSeconds) /
                               (runs - 1)
                         : 0.0);
    std::printf("load average at the end: %.2f %.2f %.2f\n", atEnd.loadAverage[0],
                atEnd.loadAverage[1], atEnd.loadAverage[2]);
    if (failedRuns && !g_stop)
        return 3;
    const bool sound = missingBooked == 0 && t.calls > 0 &&
                       atEnd.descriptors <= afterFirst.descriptors &&
                       atEnd.threads <= afterFirst.threads && (!judgeGrowth || grown <= maxGrowth);
    return sound ? 0 : 1;
}
