#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/texts.h"
#include "test_support.h"
#include "ui/language_apply.h"
#include "ui/message_dialog.h"
#include "ui/progress_window.h"
#include "ui/ui_test_support.h"

using namespace orvel;
using orvel::test::app;

namespace {

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        resetTexts();
        qunsetenv("ORVEL_DIALOG_ANSWER");
    }
    // Runs `act` on the dialog once it is showing.
    void whenShown(std::function<void(TRPDialog*)> act) {
        QTimer::singleShot(50, [act] {
            auto* d = qobject_cast<TRPDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            act(d);
        });
    }
};

TEST_F(UiTest, YesNoConfirmationShowsTwoCentredButtons) {
    whenShown([](TRPDialog* d) {
        ASSERT_EQ(d->buttons().size(), 2);
        EXPECT_EQ(d->buttons()[0]->text(), "Да");
        EXPECT_EQ(d->buttons()[1]->text(), "Нет");
        const int left = d->buttons()[0]->geometry().left();
        const int right = d->width() - d->buttons()[1]->geometry().right();
        EXPECT_NEAR(left, right, 10);
        EXPECT_EQ(d->messageColour(), QColor(Qt::white));
        EXPECT_EQ(d->buttons()[0]->geometry().size(), QSize(113, 25));
        d->buttons()[1]->click();
    });
    EXPECT_EQ(ShowMessageDialog("Закрыть программу?", "Подтверждение", mb::kYes | mb::kNo,
                                kKindConfirmation),
              mb::kResultNo);
    whenShown([](TRPDialog* d) { d->buttons()[0]->click(); });
    EXPECT_EQ(ShowMessageDialog("?", "", mb::kYes | mb::kNo, kKindConfirmation), mb::kResultYes);
}

TEST_F(UiTest, ErrorWithOkIsYellowAndEscapeCancels) {
    whenShown([](TRPDialog* d) {
        ASSERT_EQ(d->buttons().size(), 1);
        EXPECT_EQ(d->buttons()[0]->text(), "OK");
        EXPECT_EQ(d->messageColour(), QColor(Qt::yellow));
        EXPECT_EQ(d->windowTitle(), "Ошибка");
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowMessageDialog("Файл не найден!", "Ошибка", mb::kOk, kKindError),
              mb::kResultCancel);
}

TEST_F(UiTest, SecondDialogWhileOneShowsReturnsZero) {
    int nested = -1;
    whenShown([&](TRPDialog* d) {
        nested = ShowMessageDialog("inner", "", mb::kOk, kKindMessage);
        d->buttons()[0]->click();
    });
    EXPECT_EQ(ShowMessageDialog("outer", "", mb::kOk, kKindMessage), mb::kResultOk);
    EXPECT_EQ(nested, mb::kResultNone);
}

TEST_F(UiTest, LongMessagesWidenTheWindowShortOnesFitTheButtons) {
    TRPDialog shortOne;
    shortOne.setup("Да?", "", 0x1F, kKindConfirmation);  // five buttons
    EXPECT_EQ(shortOne.width(), 8 + 5 * (113 + 8));
    TRPDialog longOne;
    longOne.setup(QString(40, QChar(0x416)), "", mb::kOk, kKindInformation);
    EXPECT_GT(longOne.width(), 320);
    EXPECT_GE(longOne.message()->width(), 225);
}

TEST_F(UiTest, UnattendedAnswerSkipsTheWindow) {
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    EXPECT_EQ(ShowMessageDialog("x", "y", mb::kYes | mb::kNo, kKindConfirmation), mb::kResultNo);
    EXPECT_EQ(ShowMessageDialog("x", "y", mb::kOk, kKindWarning), mb::kResultOk);
}

TEST_F(UiTest, ProgressWindowAppearsOnlyAfterASecond) {
    ShowProgress(0, 10, "Удаление...");
    EXPECT_EQ(currentProgressWindow(), nullptr);
    QTest::qWait(1100);
    ShowProgress(4, 10, "Удаление...");
    ASSERT_NE(currentProgressWindow(), nullptr);
    EXPECT_EQ(currentProgressWindow()->gauge()->value(), 4);
    EXPECT_EQ(currentProgressWindow()->windowTitle(), "Удаление...");
    ShowProgress(0, 0);
    EXPECT_EQ(currentProgressWindow(), nullptr);
}

TEST_F(UiTest, LanguageReachesCaptionsEvenAfterAnEarlierChange) {
    QWidget w;
    w.setWindowTitle("Внимание");
    auto* label = new QLabel("Комментарий", &w);
    auto* button = new QPushButton("Печать...", &w);
    auto* other = new QLabel("not a text", &w);
    setText(textWarning, "Attention");
    setText(textComment, "Comment");
    setText(textPrint, "Print");
    applyLanguage(&w);
    EXPECT_EQ(w.windowTitle(), "Attention");
    EXPECT_EQ(label->text(), "Comment");
    EXPECT_EQ(button->text(), "Print...");
    EXPECT_EQ(other->text(), "not a text");
    resetTexts();
    applyLanguage(&w);
    EXPECT_EQ(label->text(), "Комментарий");
}

}  // namespace
