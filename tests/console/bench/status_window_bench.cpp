// The status window with 180 lines while every line changes every 200 ms,
// the reports arriving as queued signals the way the run sends them: prints
// the processor time the program spends per second of run, as a share of
// one core (goal: under 5 %).
//
//   status_window_bench [seconds]     (QT_QPA_PLATFORM=offscreen, or under Xvfb)

#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "notify/fake_line_library.h"
#include "notify/line_status.h"
#include "notify/run_bridge.h"
#include "ui/line_rows_view.h"
#include "ui/notify_status.h"

using namespace orvel;

namespace {
double processSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    test::FakeLineLibrary lib(std::vector<int>(10, 18));
    ProgramStateRecord record{};
    lib.GetProgrammState(record);
    TORVLines lines;
    lines.Create(record);
    TNotifyStatus status(lines, lib);
    status.buildRows();
    TRunBridge bridge;
    QObject::connect(&bridge, &TRunBridge::lineRow, &status, &TNotifyStatus::setLineRow,
                     Qt::QueuedConnection);
    status.show();
    // The event loop waits for events; it never spins. (Not the application's
    // loop: quitting that would close the window.)
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1000);

    // Each tick every line moves to another state with a new number and name:
    // the worst case, as when every line ends and begins a call at once.
    const int codes[] = {1, 2, 3, 7, 8, 11, 12, 13, 9, 16};
    int tick = 0;
    QTimer timer;
    timer.setInterval(200);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++tick;
        for (int i = 0; i < lines.Count(); ++i) {
            TORVELLine& l = *lines.Items(i);
            l.Assigned = true;
            l.State = codes[(i + tick) % 10];
            l.StatusText();
            l.Row.number = QString("w9w8495%1").arg((i * 7919 + tick) % 10000000, 7, 10,
                                                    QChar('0'));
            l.Row.name = QString("Абонент %1").arg((i * 31 + tick) % 100000);
            l.Row.controlsVisible = true;
            bridge.lineRowChanged(i, l.Row);
        }
    });
    status.rows()->takeRepaintCount();
    const double cpu0 = processSeconds();
    QElapsedTimer wall;
    wall.start();
    timer.start();
    runFor(seconds * 1000);
    timer.stop();
    const double cpu = processSeconds() - cpu0;
    const double share = 100.0 * cpu / (double(wall.elapsed()) / 1000.0);
    std::printf("180 lines, %d updates of every line in %.1f s (%d rows painted, the visible "
                "ones): %.2f s processor time, %.1f %% of one core (goal: under 5 %%)\n",
                tick, wall.elapsed() / 1000.0, status.rows()->takeRepaintCount(), cpu, share);
    return share < 5.0 ? 0 : 1;
}
