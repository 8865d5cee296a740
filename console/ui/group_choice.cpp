#include "ui/group_choice.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/texts.h"
#include "data/user_group.h"

namespace orvel {

TGroupChoice::TGroupChoice(TUserGroup& groups, const QStringList& checked, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("GroupChoice"));
    setWindowTitle(T(textAbonentsGroups));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    groups.RescanGroups();
    for (const QString& name : groups.groups()) {
        if (name.isEmpty())
            continue;
        auto* item = new QListWidgetItem(name, list_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        bool on = false;
        for (const QString& c : checked)
            on = on || c.compare(name, Qt::CaseInsensitive) == 0;
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    connect(list_, &QListWidget::itemDoubleClicked, this, [](QListWidgetItem* item) {
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(T(textCancelia));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QStringList TGroupChoice::checkedNames() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->checkState() == Qt::Checked)
            out << list_->item(i)->text();
    }
    return out;
}

QStringList chooseGroups(TUserGroup& groups, const QStringList& current, QWidget* parent) {
    TGroupChoice window(groups, current, parent);
    return window.exec() == QDialog::Accepted ? window.checkedNames() : current;
}

}  // namespace orvel
