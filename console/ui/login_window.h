#pragma once

#include <QDialog>
#include <optional>

#include "core/login_loop.h"

class QLineEdit;

namespace orvel {

// The login window: operator name and password.
class TPassword : public QDialog {
    Q_OBJECT
public:
    explicit TPassword(QWidget* parent = nullptr);
    // Modal; nothing when cancelled.
    std::optional<Credentials> ask();
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* passwordEdit() const { return password_; }

private:
    QLineEdit* name_;
    QLineEdit* password_;
};

}  // namespace orvel
