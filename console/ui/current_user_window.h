#pragma once
// The window "Текущий пользователь": the operator's name and his rights as a
// check list (read-only), and the re-login. Nothing here changes the
// operators file.

#include <QDialog>
#include <functional>

#include "core/operator_rights.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace orvel {

class TUserProp : public QDialog {
    Q_OBJECT
public:
    explicit TUserProp(const TOperatorRights& rights, QWidget* parent = nullptr);

    // "Зарегистрироваться как...": the re-login loop; true when another
    // operator logged in (the window then closes).
    std::function<bool()> onRelogin;

    QListWidget* rightsList() const { return list_; }
    QLabel* nameLabel() const { return name_; }
    QPushButton* reloginButton() const { return relogin_; }

private:
    void refresh();

    const TOperatorRights& rights_;
    QLabel* name_;
    QListWidget* list_;
    QPushButton* relogin_;
};

}  // namespace orvel
