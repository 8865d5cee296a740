// The import window bound to a real subscriber list; with
// ORVEL_SCREENSHOT_DIR set it also saves pictures of the window and of the
// developer report's question.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/structure_rebuild.h"
#include "data/user_list.h"
#include "test_support.h"
#include "ui/import_window.h"
#include "ui/message_dialog.h"
#include "ui_test_support.h"

using namespace orvel;

namespace {

class ImportWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsManager settings;
    TUserList list{&settings};
    void SetUp() override {
        test::app();
        resetTexts();
        qputenv("ORVEL_DIALOG_ANSWER", "1");
        settings.setPath(dir.path() + "/ORVEL.ini");
        ASSERT_TRUE(list.open(dir.path(), 0));
        TColumnList cols = list.columns();
        cols.Add({"Отдел", 10, 0});
        ASSERT_EQ(rebuildStructure(list, cols), RebuildResult::Done);
    }
    QString file(const QString& name) const { return dir.path() + "/" + name; }
};

TEST_F(ImportWindowTest, FieldListSeparatorPanelAndTheApplyButton) {
    TImportForm form(list, settings);
    QListWidget* f = form.fieldList();
    ASSERT_EQ(f->count(), 7);
    EXPECT_EQ(f->item(0)->text(), "1. Абонент");
    EXPECT_EQ(f->item(1)->text(),
              "2. Телефон (допустимые символы: \"0\"-\"9\", \"-\", \",\", \"w\", \"*\")");
    EXPECT_EQ(f->item(2)->text(), "3. Время (чч:мм-чч:мм например 00:00-23:59)");
    EXPECT_EQ(f->item(3)->text(), "4. Линия (число от 1 до 12)");
    EXPECT_EQ(f->item(6)->text(), "7. Отдел");
    EXPECT_TRUE(f->item(0)->font().bold());

    EXPECT_EQ(form.kindBox()->count(), 4);
    EXPECT_EQ(form.kindBox()->currentIndex(), 1);
    EXPECT_EQ(form.separatorBox()->currentText(), "Символ табуляции");
    EXPECT_TRUE(form.repeatedBox()->isChecked());
    form.show();
    EXPECT_TRUE(form.separatorPanel()->isVisible());
    form.kindBox()->setCurrentIndex(0);
    EXPECT_FALSE(form.separatorPanel()->isVisible());
    form.kindBox()->setCurrentIndex(3);
    EXPECT_TRUE(form.separatorPanel()->isVisible());

    form.fileEdit()->setText(file("a.csv"));
    EXPECT_FALSE(form.applyButton()->isEnabled());
    ASSERT_TRUE(test::writeAll(file("a.csv"), "x;1\n"));
    QTest::qWait(700);  // the file is looked for again
    EXPECT_TRUE(form.applyButton()->isEnabled());
    QFile::remove(file("a.csv"));
    QTest::qWait(700);  // the file is looked for again
    EXPECT_FALSE(form.applyButton()->isEnabled());

    form.separatorBox()->setCurrentIndex(0);
    EXPECT_EQ(form.options().separator, " ");
    form.separatorBox()->setEditText(";");
    form.repeatedBox()->setChecked(false);
    EXPECT_EQ(form.options().separator, ";");
    EXPECT_FALSE(form.options().repeatedSeparator);
    EXPECT_EQ(form.options().kind, ImportKind::Csv);
}

TEST_F(ImportWindowTest, ApplyAppendsRefreshesAndRemembersTheFile) {
    ASSERT_TRUE(test::writeAll(file("b.txt"), test::cp("Иванов\t123\nПетров\t456\n")));
    int refreshed = 0;
    {
        TImportForm form(list, settings);
        form.onImported = [&] { ++refreshed; };
        form.fileEdit()->setText(file("b.txt"));
        form.apply();
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(refreshed, 1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(1)->name.toString(), "Петров");
    EXPECT_EQ(settings.readString(SID_IMPORT_DIR, QString()), file("b.txt"));

    // The next window starts from the remembered file; a run in progress
    // keeps the list as it is.
    TImportForm again(list, settings);
    EXPECT_EQ(again.fileEdit()->text(), file("b.txt"));
    again.runInProgress = [] { return true; };
    again.apply();
    EXPECT_EQ(list.Count(), 2);
    // A hostile file: refused, the window stays open, the list unchanged.
    ASSERT_TRUE(test::writeAll(file("bin.txt"), QByteArray("\x7f"
                                                           "ELF\x02\x01\x01\x00",
                                                           8)));
    again.runInProgress = nullptr;
    again.fileEdit()->setText(file("bin.txt"));
    again.apply();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_NE(again.result(), QDialog::Accepted);
}

TEST_F(ImportWindowTest, Screenshots) {
    const QString out = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (out.isEmpty())
        GTEST_SKIP() << "ORVEL_SCREENSHOT_DIR not set";
    QDir().mkpath(out);
    TImportForm form(list, settings);
    form.fileEdit()->setText("/home/operator/Абоненты.xlsx");
    form.show();
    QTest::qWait(200);
    EXPECT_TRUE(form.grab().save(out + "/import_window.png"));
    TRPDialog question;
    question.setup(T(textSendReportToDevelopers) + "?", T(textWarning), mb::kYes | mb::kNo,
                   kKindConfirmation);
    question.show();
    QTest::qWait(200);
    EXPECT_TRUE(question.grab().save(out + "/report_question.png"));
}

}  // namespace
