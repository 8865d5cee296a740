// A language file changes the captions of the scheme editor, the status,
// group and gain windows, the start window and the about window; the about
// window's version label opens the version history.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "notify/fake_line_library.h"
#include "notify/notify_lines.h"
#include "test_support.h"
#include "ui/aru_window.h"
#include "ui/group_windows.h"
#include "ui/info_windows.h"
#include "ui/notify_param.h"
#include "ui/notify_status.h"
#include "ui/start_window.h"
#include "ui/ui_test_support.h"

using namespace orvel;
using orvel::test::app;
using orvel::test::FakeLineLibrary;

namespace {

QStringList buttonTexts(const QWidget& w) {
    QStringList out;
    for (const QPushButton* b : w.findChildren<QPushButton*>())
        out << b->text() << b->toolTip();
    return out;
}

QStringList labelTexts(const QWidget& w) {
    QStringList out;
    for (const QLabel* l : w.findChildren<QLabel*>())
        out << l->text();
    return out;
}

class LanguageWindows : public ::testing::Test {
protected:
    QTemporaryDir dir;
    void SetUp() override {
        app();
        resetTexts();
        const QString path = dir.path() + "/English.lng";
        ASSERT_TRUE(test::writeAll(
            path,
            "[Orvel]\r\ntextCancelAlarm=Stop notifying\r\ntextClose=Close\r\n"
            "textUnlimited=Unlimited\r\n"
            "[fNotifyParam]\r\ntextAlarmOptions2=Notification settings\r\n"
            "textTriesCount=Attempts\r\ntextPauseLong=Pause between attempts\r\n"
            "textMinutes=min\r\ntextScheme=Scheme\r\ntextLoad=Load\r\ntextSaveAs=Save as\r\n"
            "textSortByField=Sort by\r\ntextMaxAlarmLong=Time limit\r\n"
            "textContinueAlarm=Continue from\r\ntextCreateDesktopShortcut=Desktop shortcut\r\n"
            "[fAdvancedParam]\r\ntextAbonentsGroups=Groups\r\ntextDelete=Delete\r\n"
            "textSoundMessage=Sound message\r\ntextCancel=Cancel\r\n"
            "[fTextEditor]\r\ntextListen=Listen\r\n"
            "[NotifyStatus]\r\ntextAnnouncementState=Notification state\r\n"
            "textBoost=Gain\r\ntextSaveAndCancel=Save and stop\r\n"
            "textSaveAndCancelHint=Keep the state\r\ntextInputBoost=Input gain\r\n"
            "[GroupList]\r\ntextRename=Rename\r\n"
            "[Main]\r\ntextApply=Apply\r\ntextCancelia=Cancel\r\ntextLoadGroup=Load group\r\n"
            "textAbout=About\r\n"
            "[Start]\r\ntextAlarmSystem=Alerting system\r\n"
            "[AboutBox]\r\ntextVersionHistory=Version history\r\n"));
        ASSERT_TRUE(LoadLanguage(path));
    }
    void TearDown() override { resetTexts(); }
};

TEST_F(LanguageWindows, SchemeEditorTakesItsCaptionsFromTheTextTable) {
    TNotifyParam editor;
    EXPECT_EQ(editor.windowTitle(), "Notification settings");
    const QStringList labels = labelTexts(editor);
    for (const char* l : {"Scheme:", "Attempts:", "Pause between attempts (min):", "Groups:",
                          "Sort by:", "Time limit:", "Continue from:"})
        EXPECT_TRUE(labels.contains(l)) << l << " in " << labels.join(" | ").toStdString();
    const QStringList buttons = buttonTexts(editor);
    for (const char* b : {"Load...", "Save as...", "Desktop shortcut", "Close", "Listen"})
        EXPECT_TRUE(buttons.contains(b)) << b << " in " << buttons.join(" | ").toStdString();
    for (const QString& t : labels + buttons)
        EXPECT_FALSE(t.contains(QRegularExpression("[А-Яа-я]"))) << t.toStdString();
}

// The editor shows the scheme's message path whole, from its beginning.
TEST_F(LanguageWindows, SchemeEditorShowsTheMessagePathWhole) {
    TNotifyParam editor;
    const QString path = "/opt/orvel/WavMessages/Длинное имя сообщения о тревоге.wav";
    editor.setMessageFile(path);
    editor.show();
    QApplication::processEvents();
    QLineEdit* edit = editor.findChild<QLineEdit*>("FilenameEdit1");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), path);
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_GT(edit->width(), edit->fontMetrics().horizontalAdvance(path));
}

TEST_F(LanguageWindows, StatusAndGainWindowsTakeTheirCaptionsFromTheTextTable) {
    FakeLineLibrary lib{{2}};
    ProgramStateRecord record{};
    lib.GetProgrammState(record);
    TORVLines lines;
    lines.Create(record);
    TNotifyStatus status(lines, lib);
    status.buildRows();
    EXPECT_EQ(status.windowTitle(), "Notification state");
    const QStringList buttons = buttonTexts(status);
    for (const char* b : {"Gain", "Stop notifying", "Save and stop", "Keep the state"})
        EXPECT_TRUE(buttons.contains(b)) << b << " in " << buttons.join(" | ").toStdString();
    TAru gain;
    EXPECT_EQ(gain.windowTitle(), "Input gain");
}

TEST_F(LanguageWindows, GroupWindowsTakeTheirButtonsFromTheTextTable) {
    TUserGroup groups;
    groups.SetGroupDirectory(dir.path());
    TUserList users;
    ASSERT_TRUE(users.open(dir.path(), 0));
    TLoadAbonentsList load(groups, users);
    EXPECT_EQ(load.windowTitle(), "Load group");
    const QStringList buttons = buttonTexts(load);
    for (const char* b : {"Rename", "Delete", "Apply", "Cancel"})
        EXPECT_TRUE(buttons.contains(b)) << b << " in " << buttons.join(" | ").toStdString();
}

TEST_F(LanguageWindows, StartWindowPaintsTheTextOfTheTable) {
    TStartWindow start("ORVEL");
    const QImage shown = start.grab().toImage();
    resetTexts();
    const QImage builtIn = start.grab().toImage();
    // Same word, other line of text: the pictures differ.
    EXPECT_NE(shown, builtIn);
}

TEST_F(LanguageWindows, VersionLabelOpensTheVersionHistory) {
    TAboutBox about("ORVEL");
    EXPECT_EQ(about.windowTitle(), "About");
    QLabel* version = about.findChild<QLabel*>("VersionLabel");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().contains("<a href"));
    EXPECT_EQ(about.findChild<QDialog*>("VersionHistory"), nullptr);
    emit version->linkActivated("history");
    QDialog* history = about.findChild<QDialog*>("VersionHistory");
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->windowTitle(), "Version history");
    QPlainTextEdit* text = history->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().startsWith("Версия 1.0"));
    history->close();
}

}  // namespace
