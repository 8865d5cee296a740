#include "ui/numbers_change.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/texts.h"
#include "data/user_list.h"
#include "data/user_list_ops.h"
#include "ui/message_dialog.h"
#include "ui/phone_key_filter.h"

namespace orvel {

TNumbersChange::TNumbersChange(TUserList& list, QWidget* parent) : QDialog(parent), list_(list) {
    setObjectName(QStringLiteral("NumbersChange"));
    setWindowTitle(T(textReplaceNumbers));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    digits_ = new QSpinBox(this);
    digits_->setRange(1, 5);
    digits_->setValue(1);
    replace_ = new QLineEdit(this);
    replace_->setMaxLength(30);
    auto* hint = new QLabel(this);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #b00000"));
    new PhoneKeyFilter(replace_, hint);
    form->addRow(T(textReplacedNumbers), digits_);
    form->addRow(T(textReplaceTo), replace_);
    form->addRow(QString(), hint);
    layout->addLayout(form);
    all_ = new QRadioButton(T(textAllRecords), this);
    selected_ = new QRadioButton(T(textOnlySelectedRecords), this);
    all_->setChecked(true);
    layout->addWidget(all_);
    layout->addWidget(selected_);
    progress_ = new QProgressBar(this);
    progress_->setValue(0);
    layout->addWidget(progress_);
    auto* buttons = new QHBoxLayout;
    auto* apply = new QPushButton(T(textApply), this);
    auto* cancel = new QPushButton(T(textCancelia), this);
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (this->apply())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TNumbersChange::apply() {
    QList<int> rows;
    if (selected_->isChecked()) {
        rows = selectedRows ? selectedRows() : QList<int>();
        if (rows.isEmpty()) {
            ShowMessageDialog(T(textNo) + QLatin1Char(' ') + T(textRecordsSelected).toLower(),
                              T(textError), mb::kOk, kKindError);
            return false;
        }
    }
    if (ShowMessageDialog(T(textReplaceNumbersConfirm) + QLatin1Char('?'), T(textWarning),
                          mb::kYes | mb::kNo, kKindWarning) != mb::kResultYes) {
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    replaceNumberPrefixes(list_, rows, digits_->value(), replace_->text(), [this](int p, int m) {
        progress_->setMaximum(m);
        progress_->setValue(p);
        if (p % 256 == 0)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    QApplication::restoreOverrideCursor();
    return true;
}

}  // namespace orvel
