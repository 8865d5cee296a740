#include "ui/current_user_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/texts.h"
#include "ui/language_apply.h"

namespace orvel {
namespace {

TextId rightText(OperatorRight r) {
    switch (r) {
        case OperatorRight::Administrator:
            return textAdminRights;
        case OperatorRight::StartNotification:
            return textAlarmStart;
        case OperatorRight::ChangeBase:
            return textAbonentsBaseChange;
        case OperatorRight::ChangeLineParams:
            return textLineOptionsChange;
        case OperatorRight::ChangeGroups:
            return textAbonentsGroupChange;
        case OperatorRight::ChangeNotifyParams:
            return textAlarmOptionsChange;
        case OperatorRight::ViewReports:
            return textReportViewing;
        case OperatorRight::Interface:
            return textInterfaceChange;
        case OperatorRight::ExportRecords:
            return textExportRecords;
    }
    return textAdminRights;
}

}  // namespace

TUserProp::TUserProp(const TOperatorRights& rights, QWidget* parent)
    : QDialog(parent), rights_(rights) {
    setObjectName(QStringLiteral("UserProp"));
    setWindowTitle(T(textCurrentUser));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    name_ = new QLabel(this);
    name_->setObjectName(QStringLiteral("UserName"));
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("RightsList"));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (OperatorRight r : kRightsListOrder) {
        auto* item = new QListWidgetItem(T(rightText(r)), list_);
        // Shown, not edited: the rights come from the operators file.
        item->setFlags(Qt::ItemIsEnabled);
        item->setData(Qt::UserRole, int(r));
    }
    // As tall as its entries: every right visible without scrolling.
    list_->setFixedHeight(list_->sizeHintForRow(0) * list_->count() + 2 * list_->frameWidth());
    list_->setMinimumWidth(list_->sizeHintForColumn(0) + 2 * list_->frameWidth() + 8);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    relogin_ =
        buttons->addButton(T(textRegisterAs) + QStringLiteral("..."), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(relogin_, &QPushButton::clicked, this, [this] {
        if (onRelogin && onRelogin())
            accept();
    });

    auto* form = new QFormLayout;
    form->addRow(T(textUser) + QLatin1Char(':'), name_);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(new QLabel(T(textAccessRights) + QLatin1Char(':'), this));
    top->addWidget(list_);
    top->addWidget(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
    connect(&rights_, &TOperatorRights::changed, this, &TUserProp::refresh);
    refresh();
    applyLanguage(this);
}

void TUserProp::refresh() {
    name_->setText(rights_.operatorName());
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const auto r = OperatorRight(item->data(Qt::UserRole).toInt());
        item->setCheckState(rights_.has(r) ? Qt::Checked : Qt::Unchecked);
    }
}

}  // namespace orvel
