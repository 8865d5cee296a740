// The status window, the scheme editor and a whole run started from the
// operator program over a scripted library.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_group.h"
#include "diag/system_log.h"
#include "notify/fake_line_library.h"
#include "notify/notify_scheme.h"
#include "notify/run_progress.h"
#include "test_support.h"
#include "ui/aru_window.h"
#include "ui/group_windows.h"
#include "ui/line_rows_view.h"
#include "ui/notify_controller.h"
#include "ui/notify_param.h"
#include "ui/notify_status.h"
#include "ui/program_context.h"
#include "ui/ui_test_support.h"
#include "ui/user_list_model.h"

using namespace orvel;
using orvel::test::app;
using orvel::test::FakeLineLibrary;

namespace {

class NotifyWindows : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        resetTexts();
        lib.GetProgrammState(record);
        lines.Create(record);
    }
    void TearDown() override { qunsetenv("ORVEL_DIALOG_ANSWER"); }
    FakeLineLibrary lib{{4}};
    ProgramStateRecord record{};
    TORVLines lines;
};

TEST_F(NotifyWindows, ListeningIsOneLineAtATimeAndEndsWithTheWindow) {
    TNotifyStatus status(lines, lib);
    status.buildRows();
    ASSERT_EQ(status.rowCount(), 4);
    int closings = 0;
    status.onClosing = [&] { ++closings; };
    status.listenButton(0)->click();
    status.listenButton(1)->click();
    EXPECT_FALSE(status.listenButton(0)->isChecked());
    EXPECT_TRUE(status.listenButton(1)->font().bold());
    EXPECT_EQ(lib.listened, (std::vector<std::pair<int, int>>{{0, 1}, {0, 0}, {1, 1}}));
    status.show();
    status.close();
    EXPECT_EQ(closings, 1);
    EXPECT_FALSE(status.listenButton(1)->isChecked());
    EXPECT_EQ(lib.listened.back(), (std::pair<int, int>{1, 0}));
}

TEST_F(NotifyWindows, VolumeBarTopIsFullVolumeAndStopAnsweredNoKeepsTheRun) {
    TNotifyStatus status(lines, lib);
    status.buildRows();
    status.volume()->setValue(0);
    EXPECT_EQ(status.volumeLevel(), 65535);
    status.volume()->setValue(65535);
    EXPECT_EQ(status.volumeLevel(), 0);
    int stops = 0;
    status.onStopRun = [&] { ++stops; };
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    status.stopPressed();
    EXPECT_EQ(stops, 0);
    EXPECT_FALSE(status.operatorStop());
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    status.stopPressed();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(status.operatorStop());
}

TEST_F(NotifyWindows, RowsShowTheRunsReports) {
    TNotifyStatus status(lines, lib);
    status.buildRows();
    status.setLineRow(2, "Набор номера", 0x00FF00, 0, "w9w123", "Иванов", true);
    ASSERT_NE(status.rowView(2), nullptr);
    EXPECT_EQ(status.rowView(2)->status, "Набор номера");
    EXPECT_EQ(status.rowView(2)->panel, 0x00FF00u);
    EXPECT_EQ(status.rowView(2)->name, "Иванов");
    EXPECT_FALSE(status.listenButton(2)->isHidden());
    EXPECT_TRUE(status.listenButton(3)->isHidden());  // a line not in a run
    status.setLineRow(99, "x", 0, 0, "", "", true);  // no such line: ignored
}

TEST_F(NotifyWindows, SchemeEditorRoundTripAndStartModeNeedsAMessage) {
    QTemporaryDir dir;
    TNotifyParam editor;
    editor.setSortColumns({"Абонент", "Телефон"});
    TNotifyScheme s;
    s.messageFile = dir.path() + "/m.wav";
    s.attempts = 9;
    s.pause = 0.5f;
    s.groups = {"Б", "А"};
    s.sortIndex = 1;
    s.timeLimit = 125;
    ASSERT_TRUE(s.save(dir.path() + "/Ночь.sch"));
    QStringList loadedGroups;
    editor.onGroupsLoaded = [&](const QStringList& g) { loadedGroups = g; };
    qputenv("ORVEL_DIALOG_ANSWER", "1");
    ASSERT_TRUE(editor.loadScheme(dir.path() + "/Ночь.sch"));
    EXPECT_EQ(editor.schemeName(), "Ночь");
    EXPECT_EQ(editor.timeLimitText(), "2 ч.  5 мин.");
    EXPECT_EQ(loadedGroups, (QStringList{"Б", "А"}));
    EXPECT_EQ(editor.sortCaption(), "Телефон");
    ASSERT_TRUE(editor.saveScheme(dir.path() + "/copy.sch"));
    TNotifyScheme sorted = s;
    sorted.groups = {"А", "Б"};  // the editor keeps its group list sorted
    EXPECT_EQ(test::readAll(dir.path() + "/copy.sch"), sorted.toBytes());

    editor.setMode(TNotifyParam::Mode::Start);
    EXPECT_FALSE(editor.okAction());  // the message file does not exist
    ASSERT_TRUE(test::writeAll(s.messageFile, "RIFF"));
    EXPECT_TRUE(editor.okAction());
}

TEST_F(NotifyWindows, SchemeEditorPreviewsTheMessageAndTellsWhenItCannot) {
    qputenv("SDL_AUDIODRIVER", "dummy");
    qputenv("ORVEL_DIALOG_ANSWER", "1");
    QTemporaryDir dir;
    TNotifyParam editor;
    EXPECT_FALSE(editor.previewMessage());  // no file chosen
    editor.setMessageFile(dir.path() + "/m.wav");
    ASSERT_TRUE(test::writeAll(dir.path() + "/m.wav", "RIFF"));  // not a playable file
    EXPECT_FALSE(editor.previewMessage());
    EXPECT_FALSE(editor.player().isOpen());

    QByteArray wave("RIFF");
    auto u32 = [&](quint32 v) { wave.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { wave.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + 3200);
    wave.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    wave.append("data");
    u32(3200);
    wave.append(QByteArray(3200, '\x10'));
    ASSERT_TRUE(test::writeAll(dir.path() + "/m.wav", wave));
    EXPECT_TRUE(editor.previewMessage());
    EXPECT_TRUE(editor.player().isOpen());
    editor.show();
    editor.hide();  // closing the editor closes the player
    EXPECT_FALSE(editor.player().isOpen());
    qunsetenv("SDL_AUDIODRIVER");
}

TEST_F(NotifyWindows, GainSlidersSetTheLinesAndAreKeptOnClosing) {
    QTemporaryDir dir;
    SettingsManager settings;
    settings.setPath(dir.path() + "/ORVEL.ini");
    settings.WriteIndexedSetting(SID_ARU_LEVEL_VALUE, 2, 6);
    TAru aru;
    aru.bind(&lines, &lib, &settings);
    ASSERT_EQ(aru.sliderCount(), lines.Count());
    EXPECT_EQ(aru.level(0), TAru::kDefaultLevel);
    EXPECT_EQ(aru.level(1), 6);  // stored levels are taken without calling the library
    EXPECT_TRUE(lib.sensCalls.empty());
    aru.setLevel(2, 5);
    aru.setLevel(2, 5);  // unchanged: no second call
    const TORVELLine* l = lines.Items(2);
    ASSERT_EQ(lib.sensCalls.size(), 1u);
    EXPECT_EQ(lib.sensCalls[0],
              (std::array<uint32_t, 3>{uint32_t(l->Board), uint32_t(l->Channel), 5}));
    aru.show();
    aru.close();
    EXPECT_EQ(settings.readIndexedInt(SID_ARU_LEVEL_VALUE, 3, 0), 5);
    EXPECT_EQ(settings.readIndexedInt(SID_ARU_LEVEL_VALUE, 2, 0), 6);
    EXPECT_EQ(aru.level(99), -1);
}

TEST(RunLock, MarksCannotChangeWhileARunGoes) {
    app();
    QTemporaryDir dir;
    TUserList list;
    ASSERT_TRUE(list.open(dir.path(), 0));
    TUserListItem it;
    it.id = 2;
    list.AddItem(it);
    UserListModel model(list);
    std::mutex fields;
    const QModelIndex first = model.index(0, 0);
    EXPECT_TRUE(model.setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(list.Item(0)->mark, 1);
    model.setRunLock(&fields, true);
    EXPECT_FALSE(model.flags(first) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.setData(first, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(list.Item(0)->mark, 1);
    model.setRunLock(nullptr, false);
    EXPECT_TRUE(model.setData(first, Qt::Unchecked, Qt::CheckStateRole));
}

TEST(GroupWindows, SaveRefusesBadNamesAndRenameRefusesACaseTwin) {
    app();
    resetTexts();
    QTemporaryDir dir;
    TUserList list;
    ASSERT_TRUE(list.open(dir.path(), 0));
    for (int i = 0; i < 3; ++i) {
        TUserListItem it;
        it.id = list.NextId();
        list.AddItem(it);
    }
    list.Item(1)->mark = 1;
    TUserGroup groups;
    groups.SetGroupDirectory(dir.path());
    TSaveAbonentsList save(groups, list);
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    save.nameField()->setText("../x");
    EXPECT_FALSE(save.applySave());
    save.nameField()->setText("Смена.txt");
    EXPECT_TRUE(save.applySave());
    EXPECT_EQ(test::readAll(dir.path() + "/Смена.lst"), QByteArray("3\r\n"));
    save.nameField()->setText("Смена");
    EXPECT_FALSE(save.applySave());  // exists: overwrite answered No
    ASSERT_TRUE(test::writeAll(dir.path() + "/Другая.lst", "2\r\n"));

    TLoadAbonentsList load(groups, list);
    load.refresh();
    ASSERT_EQ(load.list()->count(), 2);
    for (int i = 0; i < 2; ++i)
        load.list()->item(i)->setCheckState(Qt::Checked);
    load.applyLoad();
    EXPECT_EQ(list.Item(0)->mark, 1);
    EXPECT_EQ(list.Item(1)->mark, 1);
    EXPECT_EQ(list.Item(2)->mark, 0);

    qputenv("ORVEL_DIALOG_ANSWER", "6");
    load.list()->setCurrentRow(0);
    load.askNewName = [](const QString&) { return QStringLiteral("СМЕНА"); };
    EXPECT_FALSE(load.renameSelected());
    load.askNewName = [](const QString&) { return QStringLiteral("Третья"); };
    EXPECT_TRUE(load.renameSelected());
    EXPECT_TRUE(QFile::exists(dir.path() + "/Третья.lst"));
    qunsetenv("ORVEL_DIALOG_ANSWER");
}

class ProgramRun : public ::testing::Test {
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
        for (const char* phone : {"100", "200", "300"}) {
            TUserListItem it;
            it.id = ctx.users.NextId();
            it.name.assign(QString("S") + phone);
            it.phone.assign(QString(phone));
            ctx.users.AddItem(it);
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

TEST_F(ProgramRun, CommandLineSchemeRunsToItsEndAndClosingSavesTheResults) {
    auto fake = std::make_unique<FakeLineLibrary>(std::vector<int>{2});
    FakeLineLibrary& lib = *fake;
    lib.plan["100"] = 14;
    lib.plan["200"] = 14;
    TManualClock clock(QDateTime::currentDateTime());
    lib.clock = [&clock] { return clock.now().toMSecsSinceEpoch(); };
    TNotifyController notify(ctx, std::move(fake), &clock);
    ASSERT_TRUE(notify.setUp().ready);
    TNotifyStatus status(notify.lines(), notify.library());
    TNotifyParam editor;
    notify.bind(&status, &editor);
    bool idle = true;
    notify.setIdle = [&](bool v) { idle = v; };

    // Everyone in the scheme's group.
    ASSERT_TRUE(test::writeAll(dir.path() + "/Groups/all.lst", "2\r\n3\r\n4\r\n"));
    notify.groups().SetGroupDirectory(dir.path() + "/Groups");
    TNotifyScheme s;
    s.messageFile = dir.path() + "/m.wav";
    s.attempts = 2;
    s.groups = {"all"};
    ASSERT_TRUE(s.save(dir.path() + "/Ночь.sch"));
    qputenv("ORVEL_DIALOG_ANSWER", "7");  // no repeated run
    ASSERT_TRUE(notify.startScheme(dir.path() + "/Ночь.sch"));
    EXPECT_FALSE(idle);
    EXPECT_TRUE(status.isVisible());
    QElapsedTimer t;
    t.start();
    while (status.isVisible() && t.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(status.isVisible());
    EXPECT_FALSE(notify.run().running());
    EXPECT_TRUE(idle);
    ASSERT_FALSE(notify.lastWorkbook().isEmpty());
    EXPECT_TRUE(QFile::exists(notify.lastWorkbook()));
    EXPECT_FALSE(QFile::exists(progressPath(dir.path())));
    EXPECT_EQ(lib.callsTo("300"), 2);
    EXPECT_EQ(lib.callsTo("100"), 1);
    // The run fields are cleared once the results are saved.
    EXPECT_EQ(ctx.users.Item(0)->attempts, 0);
}

TEST_F(ProgramRun, ClosingTheStatusWindowMidRunOffersNoRepeat) {
    auto fake = std::make_unique<FakeLineLibrary>(std::vector<int>{2});
    FakeLineLibrary& lib = *fake;
    lib.callPolls = 1 << 30;  // calls never end by themselves
    TSystemClock clock;
    TNotifyController notify(ctx, std::move(fake), &clock);
    ASSERT_TRUE(notify.setUp().ready);
    TNotifyStatus status(notify.lines(), notify.library());
    TNotifyParam editor;
    notify.bind(&status, &editor);
    for (int k = 0; k < ctx.users.Count(); ++k)
        ctx.users.Item(k)->mark = 1;
    editor.setMessageFile(dir.path() + "/m.wav");
    qputenv("ORVEL_DIALOG_ANSWER", "6");  // a repeat question would be answered Yes
    ASSERT_TRUE(notify.StartRun());
    QElapsedTimer t;
    t.start();
    while (lib.callCount() < 2 && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(lib.callCount(), 2u);
    EXPECT_TRUE(QFile::exists(progressPath(dir.path())));
    status.close();
    EXPECT_FALSE(notify.run().running());
    t.restart();
    while (t.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(lib.starts, 1);  // no repeated run
    EXPECT_FALSE(status.isVisible());
    EXPECT_FALSE(QFile::exists(progressPath(dir.path())));
    EXPECT_TRUE(QFile::exists(notify.lastWorkbook()));
}

TEST_F(ProgramRun, UnfinishedRunIsOfferedAndContinuedWithoutTheNotified) {
    TRunProgress p;
    p.messageFile = dir.path() + "/m.wav";
    p.maxAttempts = 2;
    p.start = QDateTime::currentDateTime().addSecs(-60);
    p.entries = {{2, 1, 14, 1, 1, 0}, {3, 1, 16, 1, 0, 0}};
    ASSERT_TRUE(saveProgress(progressPath(dir.path()), p));
    auto fake = std::make_unique<FakeLineLibrary>(std::vector<int>{2});
    FakeLineLibrary& lib = *fake;
    TManualClock clock(QDateTime::currentDateTime());
    lib.clock = [&clock] { return clock.now().toMSecsSinceEpoch(); };
    TNotifyController notify(ctx, std::move(fake), &clock);
    ASSERT_TRUE(notify.setUp().ready);
    TNotifyStatus status(notify.lines(), notify.library());
    TNotifyParam editor;
    notify.bind(&status, &editor);
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    ASSERT_TRUE(notify.offerUnfinished());
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    QElapsedTimer t;
    t.start();
    while (status.isVisible() && t.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(status.isVisible());
    EXPECT_EQ(lib.callsTo("100"), 0);  // notified before the program died
    EXPECT_EQ(lib.callsTo("200"), 1);  // one attempt was left
    EXPECT_EQ(lib.callsTo("300"), 0);  // was not part of that run
}

}  // namespace
