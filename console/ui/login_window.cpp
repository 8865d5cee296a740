#include "ui/login_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/texts.h"
#include "ui/language_apply.h"

namespace orvel {

TPassword::TPassword(const QString& productWord, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Password"));
    setWindowTitle(productWord);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    name_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(T(textName), this), name_);
    form->addRow(new QLabel(T(textPassword), this), password_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(T(textApply), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(T(textCancelia), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    setMinimumWidth(320);
}

std::optional<Credentials> TPassword::ask(bool clearName) {
    if (clearName)
        name_->clear();
    password_->clear();
    applyLanguage(this);
    name_->setFocus();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    // Names are compared exactly: what was typed is what is checked.
    return Credentials{name_->text(), password_->text()};
}

}  // namespace orvel
