// The run's estimate in the operator program: the scheme editor before the
// start (renewed after the scheme's values change) and the status window
// while the run goes, both from the notification controller over a scripted
// library. With ORVEL_SCREENSHOT_DIR set the editor's two looks are saved.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>

#include "core/texts.h"
#include "diag/system_log.h"
#include "notify/fake_line_library.h"
#include "notify/notify_scheme.h"
#include "test_support.h"
#include "ui/notify_controller.h"
#include "ui/notify_param.h"
#include "ui/notify_status.h"
#include "ui/program_context.h"
#include "ui/ui_test_support.h"

using namespace orvel;
using orvel::test::app;
using orvel::test::FakeLineLibrary;

namespace {

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

class PlanWindows : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        resetTexts();
        ctx.executableDir = ORVEL_SOURCE_DATA_DIR;
        ctx.dirs = loadProgramDirs(dir.path(), ctx.names, dir.path() + "/registry.ini");
        ctx.dirs.program = dir.path();
        ctx.dirs.reports = dir.path() + "/Reports";
        ctx.dirs.schemes = dir.path();
        ctx.settings.setPath(dir.path() + "/ORVEL.ini");
        ctx.lineStateLog.setProgramDir(dir.path());
        systemLog().setPath(dir.path() + "/OrvelSys.log");
        ASSERT_TRUE(ctx.users.open(dir.path(), 0));
        for (int i = 0; i < 200; ++i) {
            TUserListItem it;
            it.id = ctx.users.NextId();
            it.name.assign(QStringLiteral("Абонент %1").arg(i + 1));
            it.phone.assign(QString::number(2000000 + i));
            ctx.users.AddItem(it);
            ctx.users.Item(ctx.users.Count() - 1)->mark = 1;
        }
        ASSERT_TRUE(test::writeAll(dir.path() + "/Confirm.dat", "RIFF"));
        ASSERT_TRUE(test::writeAll(dir.path() + "/m.wav", "RIFF"));
    }
    void TearDown() override {
        qunsetenv("ORVEL_DIALOG_ANSWER");
        systemLog().setPath(QString());
    }
    QTemporaryDir dir;
    ProgramContext ctx;
};

TEST_F(PlanWindows, SchemeEditorShowsTheEndAndWarnsOnceTheLimitCannotBeMet) {
    auto fake = std::make_unique<FakeLineLibrary>(std::vector<int>{4});
    TSystemClock clock;
    TNotifyController notify(ctx, std::move(fake), &clock);
    ASSERT_TRUE(notify.setUp().ready);
    TNotifyStatus status(notify.lines(), notify.library());
    TNotifyParam editor;
    notify.bind(&status, &editor);
    // Counted, so that the quiet time before a new estimate shows.
    int estimates = 0;
    auto controllers = editor.estimate;
    editor.estimate = [&](const TNotifyScheme& s) {
        ++estimates;
        return controllers(s);
    };
    editor.setMessageFile(dir.path() + "/m.wav");
    editor.findChild<QSpinBox*>("CallsCOunt")->setValue(2);
    editor.findChild<QDoubleSpinBox*>("MaxTime")->setValue(1.0);
    editor.show();
    QLabel* plan = editor.planLabel();
    ASSERT_NE(plan, nullptr);
    EXPECT_TRUE(plan->isVisible());
    EXPECT_TRUE(plan->text().startsWith("Окончание около ")) << plan->text().toStdString();
    EXPECT_TRUE(plan->text().endsWith(", успеют все")) << plan->text().toStdString();
    EXPECT_FALSE(editor.planWarningShown());
    const QString saveTo = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (!saveTo.isEmpty())
        editor.grab().save(saveTo + "/scheme_editor_plan.png");

    // 200 subscribers on 4 lines do not fit into 15 minutes. The limit
    // typed in steps gives one estimate after the last step.
    spin(600);
    const int before = estimates;
    auto* limit = editor.findChild<QSpinBox*>("TimeLimitUpDown");
    limit->setValue(5);
    limit->setValue(10);
    limit->setValue(15);
    EXPECT_EQ(estimates, before);
    spin(800);
    EXPECT_EQ(estimates, before + 1);
    EXPECT_TRUE(editor.planWarningShown());
    EXPECT_TRUE(plan->text().startsWith("За 15 мин. всех оповестить не успеть: останется около "))
        << plan->text().toStdString();
    EXPECT_TRUE(plan->text().endsWith(" из 200")) << plan->text().toStdString();
    if (!saveTo.isEmpty())
        editor.grab().save(saveTo + "/scheme_editor_plan_warning.png");

    // Fewer marked: the list changed while the editor was closed.
    editor.hide();
    for (int k = 20; k < ctx.users.Count(); ++k)
        ctx.users.Item(k)->mark = 0;
    editor.show();
    EXPECT_FALSE(editor.planWarningShown());
    EXPECT_TRUE(plan->text().endsWith(", успеют все")) << plan->text().toStdString();
}

TEST_F(PlanWindows, StatusWindowShowsTheRemainingTimeWhileTheRunGoes) {
    auto fake = std::make_unique<FakeLineLibrary>(std::vector<int>{2});
    FakeLineLibrary& lib = *fake;
    lib.callPolls = 1 << 30;  // calls never end by themselves
    TSystemClock clock;
    TNotifyController notify(ctx, std::move(fake), &clock);
    ASSERT_TRUE(notify.setUp().ready);
    TNotifyStatus status(notify.lines(), notify.library());
    TNotifyParam editor;
    notify.bind(&status, &editor);
    editor.setMessageFile(dir.path() + "/m.wav");
    // The editor estimates nothing while a run goes.
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    ASSERT_TRUE(notify.StartRun());
    EXPECT_FALSE(notify.estimateScheme(editor.currentScheme()).has_value());
    ASSERT_TRUE(status.planLabel()->isVisible());
    EXPECT_TRUE(status.planLabel()->text().startsWith("Оценка: окончание около "))
        << status.planLabel()->text().toStdString();

    // Once both lines are in a call the estimate is made from the run's
    // state: two calls under way, 198 still waiting on two lines.
    QElapsedTimer t;
    t.start();
    while (lib.callCount() < 2 && t.elapsed() < 10000)
        spin(20);
    ASSERT_EQ(lib.callCount(), 2u);
    notify.refreshRunPlan();
    const QString during = status.planLabel()->text();
    EXPECT_TRUE(during.startsWith("Оценка: окончание около ")) << during.toStdString();

    status.close();
    EXPECT_FALSE(notify.run().running());
    EXPECT_FALSE(status.planLabel()->isVisibleTo(&status));
    EXPECT_TRUE(status.planLabel()->text().isEmpty());
}

}  // namespace
