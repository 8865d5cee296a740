#include "ui/login_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/texts.h"
#include "ui/language_apply.h"

namespace orvel {

TPassword::TPassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Password"));
    setWindowTitle(T(textRegisterAs));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    name_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(T(textName), this), name_);
    form->addRow(new QLabel(T(textPassword), this), password_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(T(textCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    setMinimumWidth(320);
}

std::optional<Credentials> TPassword::ask() {
    password_->clear();
    applyLanguage(this);
    name_->setFocus();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return Credentials{name_->text().trimmed(), password_->text()};
}

}  // namespace orvel
