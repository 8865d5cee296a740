#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/texts.h"
#include "diag/system_log.h"
#include "test_support.h"
#include "ui/font_settings.h"
#include "ui/main_window.h"
#include "ui/program_context.h"
#include "ui/restructure_window.h"
#include "ui/ui_test_support.h"

using namespace orvel;
using orvel::test::app;

namespace {

class WindowsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ProgramContext ctx;
    void SetUp() override {
        app();
        resetTexts();
        qputenv("ORVEL_DIALOG_ANSWER", "6");  // every question answered Yes
        ctx.executableDir = dir.path();
        ctx.dirs = loadProgramDirs(dir.path(), ctx.names, dir.path() + "/registry.ini");
        ctx.settings.setPath(ctx.dirs.settingsFile);
        systemLog().setPath(dir.path() + "/OrvelSys.log");
    }
    void TearDown() override {
        qunsetenv("ORVEL_DIALOG_ANSWER");
        systemLog().setPath(QString());
    }
};

TEST_F(WindowsTest, MainWindowOpensTheTableAndSavesItsStateOnClose) {
    ctx.settings.WriteSetting(SID_CRYPT_MODE, 1);
    ctx.settings.WriteIndexedSetting(SID_FIELDS_NAMES, 0, "ФИО");
    {
        TForm1 w(ctx);
        EXPECT_TRUE(ctx.users.table().isOpen());
        EXPECT_TRUE(ctx.users.table().scrambled());
        EXPECT_EQ(w.list()->model()->columnCount(), 6);
        EXPECT_EQ(w.list()->model()->headerData(0, Qt::Horizontal).toString(), "ФИО");
        w.show();
        EXPECT_TRUE(w.close());
    }
    const QByteArray ini = test::readAll(ctx.dirs.settingsFile);
    EXPECT_TRUE(ini.contains("[FORMSIZES]"));
    EXPECT_TRUE(ini.contains("Form1_Width="));
    EXPECT_TRUE(ini.contains("[Form1_ListView_ColWidths]"));
    EXPECT_TRUE(ini.contains("ListView_Col_0_Width="));
    EXPECT_TRUE(ini.contains("SID_MAIN_MAX_CALLS_COUNT=5"));
    EXPECT_TRUE(ini.contains(test::cp("SID_FIELDS_NAMES_0=ФИО")));
    EXPECT_TRUE(
        test::readAll(dir.path() + "/OrvelSys.log").contains(test::cp(" Закрытие программы\r")));
}

TEST_F(WindowsTest, ClosingIsRefusedWhenTheOperatorSaysNo) {
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    TForm1 w(ctx);
    w.show();
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    w.runInProgress = [] { return true; };
    bool stopped = false;
    w.stopRun = [&] { stopped = true; };
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(stopped);
}

TEST_F(WindowsTest, StructureEditorAddsAColumnAndRebuildsOnApply) {
    TForm1 w(ctx);
    TUserListItem it;
    it.id = ctx.users.NextId();
    it.name.assign(QString("Иванов"));
    ctx.users.AddItem(it);
    TRestructure editor(ctx.users, ctx.settings, &w);
    EXPECT_EQ(editor.grid()->rowCount(), 6);
    editor.addButton()->click();
    ASSERT_EQ(editor.grid()->rowCount(), 7);
    EXPECT_EQ(editor.grid()->item(6, 1)->text(), "Поле 7");
    EXPECT_EQ(editor.grid()->item(6, 2)->text(), "10");
    editor.grid()->item(6, 1)->setText("Отдел");
    editor.applyButton()->click();
    EXPECT_EQ(editor.outcome(), RestructureOutcome::Rebuilt);
    EXPECT_EQ(ctx.users.table().FieldCount(), 8);
    ASSERT_EQ(ctx.users.Count(), 1);
    EXPECT_EQ(ctx.users.Item(0)->name.toString(), "Иванов");
    EXPECT_EQ(ctx.users.columns().Item(6).name, "Отдел");
    EXPECT_TRUE(test::readAll(dir.path() + "/OrvelSys.log")
                    .contains(test::cp(" Изменение структуры базы\r")));
}

TEST_F(WindowsTest, SeventeenthColumnIsRefused) {
    TForm1 w(ctx);
    TRestructure editor(ctx.users, ctx.settings, &w);
    for (int i = 0; i < 12; ++i)
        editor.addButton()->click();
    EXPECT_EQ(editor.grid()->rowCount(), 16);
}

}  // namespace

namespace {

TEST(FontSettings, RoundTripAndBadPairsSkipped) {
    app();
    QFont f("DejaVu Sans");
    f.setPointSize(11);
    f.setBold(true);
    const PropertyList p = fontToProperties(f, QColor(255, 0, 0));
    QFont back;
    QColor colour;
    applyFontProperties(p, back, &colour);
    EXPECT_EQ(back.family(), "DejaVu Sans");
    EXPECT_EQ(back.pointSize(), 11);
    EXPECT_TRUE(back.bold());
    EXPECT_FALSE(back.italic());
    EXPECT_EQ(colour, QColor(255, 0, 0));
    EXPECT_TRUE(p.contains(std::pair<QString, QString>("Color", "255")));

    QFont kept("DejaVu Sans");
    kept.setPointSize(9);
    applyFontProperties(
        {{"Size", "huge"}, {"Style", "fsItalic"}, {"Unknown", "1"}, {"Style", "[fsItalic]"}}, kept);
    EXPECT_EQ(kept.pointSize(), 9);
    EXPECT_TRUE(kept.italic());
}

}  // namespace
