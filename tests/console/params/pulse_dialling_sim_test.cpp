// A line switched to pulse dialling in the parameters dialog dials by pulses:
// the dialog writes the settings, the headless runner calls over the
// simulated boards, and the simulator's line log tells how each digit came.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/user_list.h"
#include "notify/demo_setup.h"
#include "notify/notify_lines.h"
#include "recording_library.h"
#include "test_support.h"
#include "ui/advanced_param.h"
#include "ui/program_context.h"
#include "ui/ui_test_support.h"

namespace orvel::test {
namespace {

// The digits the exchange heard on board 0 line 0, and how.
QString heard(const QString& log, const char* how) {
    QString digits;
    const QString tag = QStringLiteral("board 0 line  0: ") + QLatin1String(how) + " digit ";
    for (const QString& line : QString::fromUtf8(readAll(log)).split('\n')) {
        const qsizetype at = line.indexOf(tag);
        if (at >= 0)
            digits += line.mid(at + tag.size(), 1);
    }
    return digits;
}

TEST(PulseDialling, LineSwitchedToPulsesInTheDialogDialsByPulses) {
    app();
    resetTexts();
    qputenv("ORVEL_DIALOG_ANSWER", "1");
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/demo";
    ASSERT_TRUE(copyTree(ORVEL_DEMO_DIR, dir));
    QFile::remove(dir + "/Users.dbf");
    QDir(dir + "/Log").removeRecursively();
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(dir, &error)) << error.toStdString();
    // One subscriber who answers and confirms, on the first line only.
    {
        TUserList users;
        ASSERT_TRUE(users.open(dir, 0));
        int id = -1;
        for (int k = 0; k < users.Count(); ++k)
            if (users.Item(k)->phone.toString() == "100")
                id = int(users.Item(k)->id);
        ASSERT_GE(id, 0);
        ASSERT_TRUE(writeAll(dir + "/Groups/Демо.lst", QByteArray::number(id) + "\r\n"));
    }

    ProgramContext ctx;
    ctx.executableDir = dir;
    ctx.dirs = loadProgramDirs(dir, ctx.names, tmp.path() + "/registry.ini");
    ctx.settings.setPath(dir + "/ORVEL.ini");
    for (int i = 1; i < 36; ++i)
        ctx.settings.WriteIndexedSetting(SID_LINE_ENABLED, i, 0);
    ctx.options.load(ctx.settings);
    RecordingLibrary lib({5, 12});  // the demo's boards as the dialog sees them
    TORVLines lines;
    ProgramStateRecord r;
    lib.GetProgrammState(r);
    lines.Create(r);
    lines.loadSettings(ctx.settings);
    TAdvancedParams params(ctx.settings, ctx.options, ctx.dirs, lib, lines);
    {
        TfAdvancedParam w(ctx, params);
        ASSERT_EQ(w.lineGrid()->item(0, kGridDialMode)->text(), "Тоновый");
        w.lineGrid()->item(0, kGridDialMode)->setText("Импульсный");
        w.accept();
    }
    ASSERT_TRUE(readAll(dir + "/ORVEL.ini").contains("SID_DIAL_MODE_0=0"));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ORVEL_RUNNER_PATH,
            {"--dir", dir, "--scheme", QString::fromUtf8(kDemoScheme), "--fresh", "--quiet"});
    ASSERT_TRUE(p.waitForFinished(5 * 60 * 1000));
    const QString out = QString::fromUtf8(p.readAll());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();  // notified
    const QString log = dir + "/orvelsim.log";
    EXPECT_EQ(heard(log, "pulse"), "100") << readAll(log).toStdString();
    EXPECT_EQ(heard(log, "tone"), "");
    qunsetenv("ORVEL_DIALOG_ANSWER");
}

}  // namespace
}  // namespace orvel::test
