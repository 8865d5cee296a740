#pragma once

#include <QDialog>
#include <optional>

#include "core/login_loop.h"

class QLineEdit;

namespace orvel {

// The login window: operator name and password, the product word as its
// caption. "Применить" confirms the texts, "Отменить" cancels.
class TPassword : public QDialog {
    Q_OBJECT
public:
    explicit TPassword(const QString& productWord, QWidget* parent = nullptr);
    // Modal; nothing when cancelled. The password field starts empty; the
    // name field too when `clearName` (a re-login), else it keeps the last
    // name typed.
    std::optional<Credentials> ask(bool clearName = false);
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* passwordEdit() const { return password_; }

private:
    QLineEdit* name_;
    QLineEdit* password_;
};

}  // namespace orvel
