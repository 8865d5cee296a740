// Exporting 100,000 subscribers as a workbook and opening that workbook in
// the report window. Prints the wall and processor seconds of each step; the
// goals are under 5 s for the export and under 3 s for the opening.
//   console_report_bench [output.xlsx]   (the export is kept when named)
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

#include "data/dvr_table.h"
#include "data/user_list.h"
#include "notify/list_workbook.h"
#include "ui/program_context.h"
#include "ui/report_window.h"

using namespace orvel;

namespace {
// Processor time of the whole process (every thread), in seconds.
double processorSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kSubscribers = 100000;
    QTemporaryDir dir;
    {
        TDVRTable t(dir.path() + "/Users.dbf");
        t.CreateTable(TDVRTable::standardFieldDefinitions());
        t.OpenTable(0);
        for (int i = 0; i < kSubscribers; ++i)
            t.Append({QString::number(i + 2), QString("Абонент %1").arg(i + 1),
                      QString("8495%1").arg(i, 7, 10, QChar('0')), "9:00 - 18:00", "",
                      "комментарий", "0"},
                     6);
    }
    ProgramContext ctx;
    ctx.settings.setPath(dir.path() + "/ORVEL.ini");
    if (!ctx.users.open(dir.path(), 0) || ctx.users.Count() != kSubscribers) {
        std::fprintf(stderr, "the table was not built\n");
        return 1;
    }
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.path() + "/OrvelAbonents.xlsx";
    TListWorkbookInput in;
    in.list = &ctx.users;
    QElapsedTimer t;
    t.start();
    double cpu = processorSeconds();
    QString error;
    if (!writeListWorkbook(QStringLiteral(ORVEL_SOURCE_DATA_DIR "/report.dat"), out, in, true,
                           &error)) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(error));
        return 1;
    }
    const double exportSeconds = t.nsecsElapsed() / 1e9;
    const double exportCpu = processorSeconds() - cpu;
    std::printf("export of %d subscribers: %.2f s wall, %.2f s processor, %lld bytes\n",
                kSubscribers, exportSeconds, exportCpu, QFile(out).size());
    t.restart();
    cpu = processorSeconds();
    TNotifyReport report(ctx);
    if (!report.OpenReport(out)) {
        std::fprintf(stderr, "the report window did not open the export\n");
        return 1;
    }
    const double openSeconds = t.nsecsElapsed() / 1e9;
    const double openCpu = processorSeconds() - cpu;
    const int rows = report.grid()->model()->rowCount();
    std::printf("opening in the report window: %.2f s wall, %.2f s processor, %d rows shown\n",
                openSeconds, openCpu, rows);
    return rows == kSubscribers + 1 ? 0 : 1;
}
