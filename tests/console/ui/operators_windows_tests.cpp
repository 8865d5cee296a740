// The login window, the window "Текущий пользователь" and the scheme editor
// as the operator's rights shape them.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "core/texts.h"
#include "test_support.h"
#include "ui/current_user_window.h"
#include "ui/login_window.h"
#include "ui/notify_param.h"
#include "ui_test_support.h"

using namespace orvel;

namespace {

QStringList buttonTexts(QWidget* w) {
    QStringList texts;
    for (auto* b : w->findChildren<QPushButton*>())
        texts << b->text();
    return texts;
}

TEST(LoginWindow, CaptionButtonsAndClearedFields) {
    test::app();
    resetTexts();
    TPassword login("ORVEL");
    EXPECT_EQ(login.windowTitle(), "ORVEL");
    EXPECT_EQ(buttonTexts(&login), (QStringList{"Применить", "Отменить"}));
    EXPECT_EQ(login.passwordEdit()->echoMode(), QLineEdit::Password);

    // The operator types and applies; the texts come back exactly.
    QTimer::singleShot(0, &login, [&] {
        login.nameEdit()->setText(" Оператор");
        login.passwordEdit()->setText("demo");
        login.findChildren<QPushButton*>()[0]->click();
    });
    auto c = login.ask();
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->name, " Оператор");
    EXPECT_EQ(c->password, "demo");

    // A re-login starts from empty fields; "Отменить" gives nothing.
    QString nameShown = "?", passwordShown = "?";
    QTimer::singleShot(0, &login, [&] {
        nameShown = login.nameEdit()->text();
        passwordShown = login.passwordEdit()->text();
        login.findChildren<QPushButton*>()[1]->click();
    });
    EXPECT_FALSE(login.ask(true).has_value());
    EXPECT_EQ(nameShown, "");
    EXPECT_EQ(passwordShown, "");
}

TEST(CurrentUserWindow, RightsInOrderCheckedByTheOperatorAndReloginCloses) {
    test::app();
    resetTexts();
    TOperatorRights rights;
    rights.set("Смирнов", 0x011);
    TUserProp window(rights);
    EXPECT_EQ(window.windowTitle(), "Текущий пользователь");
    EXPECT_EQ(window.nameLabel()->text(), "Смирнов");
    QListWidget* list = window.rightsList();
    QStringList texts, checked;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
        if (list->item(i)->checkState() == Qt::Checked)
            checked << list->item(i)->text();
        EXPECT_FALSE(list->item(i)->flags() & Qt::ItemIsUserCheckable);
    }
    EXPECT_EQ(texts, (QStringList{"Права администратора", "Запуск оповещения",
                                  "Изменение базы абонентов", "Изменение параметров линий",
                                  "Изменение групп абонентов", "Изменение параметров оповещения",
                                  "Просмотр отчётов", "Изменение интерфейса", "Экспорт записей"}));
    EXPECT_EQ(checked, (QStringList{"Права администратора", "Изменение базы абонентов"}));
    // Every entry visible without scrolling.
    EXPECT_GE(list->height(), list->sizeHintForRow(0) * 9);
    EXPECT_TRUE(buttonTexts(&window).contains("Зарегистрироваться как..."));

    // A cancelled re-login leaves the window open; a successful one updates
    // the list and closes it.
    window.onRelogin = [] { return false; };
    window.reloginButton()->click();
    EXPECT_NE(window.result(), QDialog::Accepted);
    window.onRelogin = [&] {
        rights.set("Гость", 0x008);
        return true;
    };
    window.reloginButton()->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.nameLabel()->text(), "Гость");
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
}

TEST(SchemeEditorRights, NotificationParametersHiddenWithoutTheRight) {
    test::app();
    resetTexts();
    TOperatorRights rights;
    TNotifyParam editor;
    editor.bindRights(&rights);
    auto* saveAs = editor.findChild<QPushButton*>("SaveAsButton");
    auto* shortcut = editor.findChild<QPushButton*>("ShortcutButton");
    auto* message = editor.findChild<QLineEdit*>("FilenameEdit1");
    auto* attempts = editor.findChild<QSpinBox*>("CallsCOunt");
    auto* limit = editor.findChild<QSpinBox*>("TimeLimitUpDown");
    auto* sort = editor.findChild<QWidget*>("SortFieldComboBox");
    auto* pause = editor.findChild<QWidget*>("MaxTime");
    ASSERT_TRUE(saveAs && shortcut && message && attempts && limit && sort && pause);
    const QList<QWidget*> governed = {saveAs, shortcut, message, attempts, limit, sort};
    for (QWidget* w : governed)
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();

    rights.set("Гость", 0x008);  // start notification only
    for (QWidget* w : governed)
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_FALSE(pause->isHidden());

    rights.set("Оператор", 0x100);  // a re-login with the right shows them again
    for (QWidget* w : governed)
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();
}

}  // namespace
