// The developer report's text from the real line library over two simulated
// boards: what the library reports of boards and units reaches the text.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "core/texts.h"
#include "diag/system_info.h"
#include "notify/orvel_line_library.h"
#include "test_support.h"

using namespace orvel;

TEST(ReportOnSimulatedBoards, EveryBoardAndUnitHasItsBlock) {
    resetTexts();
    QTemporaryDir dir;
    for (const char* f : {"orveldrv.ini", "orvelsim.ini", "orvel.fis"})
        ASSERT_TRUE(QFile::copy(test::shippedDataDir() + "/" + f, dir.path() + "/" + f)) << f;
    auto lib = makeOrvelLineLibrary();
    ASSERT_EQ(lib->InitDll(dir.path().toStdString()), 0);
    ProgramStateRecord record{};
    QElapsedTimer t;
    t.start();
    do {
        QThread::msleep(100);
        lib->GetProgrammState(record);
    } while (record[1] == kStateInitialising && t.elapsed() < 20000);
    const QString text = systemInfoText(gatherSystemFacts(dir.path(), lib.get()));
    lib->ShutdownDll();

    ASSERT_EQ(record[0], 2u) << text.toStdString();
    EXPECT_TRUE(text.contains("Версия liborvel.so: " ORVEL_PROJECT_VERSION "\r\n\r\n"));
    EXPECT_TRUE(text.contains("Количество устройств: 2\r\n\r\n"));
    for (uint32_t d = 0; d < 2; ++d) {
        const int units = int(record[4 + 21 * d]);
        EXPECT_GE(units, 1);
        const qsizetype at = text.indexOf(QString("******* УСТРОЙСТВО #%1 *******\r\n").arg(d + 1));
        ASSERT_GE(at, 0) << d;
        EXPECT_TRUE(
            text.mid(at).contains(QString(" Количество каналов: %1\r\n").arg(record[3 + 21 * d])));
        EXPECT_TRUE(
            text.mid(at).contains(QString(" Количество согласователей: %1\r\n\r\n").arg(units)));
    }
    EXPECT_TRUE(text.contains("=== Согласователь #1 =====\r\n"));
    EXPECT_TRUE(text.contains("  Напряжение 12V: "));
}
