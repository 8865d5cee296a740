#include "ui/group_windows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "diag/system_log.h"
#include "ui/message_dialog.h"

namespace orvel {

TGroupWindowBase::TGroupWindowBase(TUserGroup& groups, TUserList& users, const QString& objectName,
                                   const QString& caption, bool checkable, QWidget* parent)
    : QDialog(parent), groups_(groups), users_(users), checkable_(checkable) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    list_ = new QListWidget(this);
    rename_ = new QPushButton(T(textRename), this);
    delete_ = new QPushButton(T(textDelete), this);
    apply_ = new QPushButton(T(textApply), this);
    auto* cancel = new QPushButton(T(textCancelia), this);
    rename_->setEnabled(false);
    delete_->setEnabled(false);
    apply_->setEnabled(false);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        rename_->setEnabled(row >= 0);
        delete_->setEnabled(row >= 0);
    });
    connect(rename_, &QPushButton::clicked, this, [this] { renameSelected(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    askNewName = [this](const QString& old) {
        bool ok = false;
        const QString n =
            QInputDialog::getText(this, T(textNewName), QString(), QLineEdit::Normal, old, &ok);
        return n;
    };
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(rename_);
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(apply_);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(list_, 1);
    top->addLayout(buttons);
}

void TGroupWindowBase::refresh() {
    groups_.RescanGroups();
    list_->clear();
    for (const QString& g : groups_.groups()) {
        if (g.isEmpty())
            continue;
        auto* item = new QListWidgetItem(checkable_ ? g : g + QStringLiteral(".lst"), list_);
        if (checkable_) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
}

QString TGroupWindowBase::selectedName() const {
    const QListWidgetItem* item = list_->currentItem();
    if (!item)
        return QString();
    QString n = item->text();
    if (n.endsWith(QLatin1String(".lst"), Qt::CaseInsensitive))
        n.chop(4);
    return n;
}

bool TGroupWindowBase::deleteSelected() {
    const QString name = selectedName();
    if (name.isEmpty())
        return false;
    if (ShowMessageDialog(T(textDeleteSelectedList) + QLatin1Char('?'), T(textConfirmation),
                          mb::kYes | mb::kNo, kKindConfirmation) != mb::kResultYes)
        return false;
    const bool ok = QFile::remove(groups_.groupPath(name));
    refresh();
    if (onGroupsChanged)
        onGroupsChanged();
    return ok;
}

bool TGroupWindowBase::renameSelected() {
    const QString old = selectedName();
    if (old.isEmpty())
        return false;
    if (ShowMessageDialog(T(textRenameAbonentsGroup) + QLatin1Char('?'),
                          checkable_ ? T(textConfirmation) : T(textWarning), mb::kYes | mb::kNo,
                          kKindConfirmation) != mb::kResultYes)
        return false;
    QString name = askNewName ? askNewName(old) : QString();
    if (name.endsWith(QLatin1String(".lst"), Qt::CaseInsensitive))
        name.chop(4);
    for (const QString& g : groups_.groups()) {
        if (!g.isEmpty() && g.compare(name, Qt::CaseInsensitive) == 0) {
            ShowMessageDialog(T(textGroupNameExists) + QLatin1Char('!'), T(textWarning), mb::kOk,
                              kKindWarning);
            return false;
        }
    }
    if (!isGroupNameAllowed(name)) {
        ShowMessageDialog(T(textBadGroupName) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return false;
    }
    QFile f(groups_.groupPath(old));
    if (!f.rename(groups_.groupPath(name))) {
        ShowMessageDialog(T(textGroupRenameError) + QStringLiteral(" : ") + f.errorString(),
                          T(textError), mb::kOk, kKindError);
        return false;
    }
    refresh();
    if (onGroupsChanged)
        onGroupsChanged();
    return true;
}

TSaveAbonentsList::TSaveAbonentsList(TUserGroup& groups, TUserList& users, QWidget* parent)
    : TGroupWindowBase(groups, users, QStringLiteral("SaveAbonentsList"), T(textSaveGroup), false,
                       parent) {
    name_ = new QLineEdit(this);
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, name_);
    connect(name_, &QLineEdit::textChanged, this,
            [this](const QString& t) { apply_->setEnabled(!t.isEmpty()); });
    connect(list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { name_->setText(item->text()); });
    connect(apply_, &QPushButton::clicked, this, [this] {
        if (applySave())
            accept();
    });
}

void TSaveAbonentsList::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        name_->clear();
        refresh();
    }
    QDialog::showEvent(event);
}

bool TSaveAbonentsList::applySave() {
    QString name = groupFileName(name_->text().trimmed());
    name.chop(4);
    if (!isGroupNameAllowed(name)) {
        ShowMessageDialog(T(textBadGroupName) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return false;
    }
    if (QFileInfo::exists(groups_.groupPath(name)) &&
        ShowMessageDialog(
            T(textGroupNameExists) + QStringLiteral(". ") + T(textReWrite) + QLatin1Char('?'),
            T(textConfirmation), mb::kYes | mb::kNo, kKindConfirmation) != mb::kResultYes)
        return false;
    WriteSystemLog(T(textGroupWriting) + QStringLiteral(" \"") + name + QLatin1Char('"'), 1);
    if (!groups_.SaveGroup(name, users_)) {
        ShowMessageDialog(T(textGroupWriteError) + QStringLiteral(": ") +
                              QString::fromLocal8Bit(std::strerror(errno)),
                          T(textError), mb::kOk, kKindError);
        return false;
    }
    if (onGroupsChanged)
        onGroupsChanged();
    return true;
}

TLoadAbonentsList::TLoadAbonentsList(TUserGroup& groups, TUserList& users, QWidget* parent)
    : TGroupWindowBase(groups, users, QStringLiteral("LoadAbonentsList"), T(textLoadGroup), true,
                       parent) {
    connect(list_, &QListWidget::itemChanged, this, [this] {
        bool any = false;
        for (int i = 0; i < list_->count(); ++i)
            any = any || list_->item(i)->checkState() == Qt::Checked;
        apply_->setEnabled(any);
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [](QListWidgetItem* item) {
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });
    connect(apply_, &QPushButton::clicked, this, [this] {
        applyLoad();
        accept();
    });
    refresh();
}

void TLoadAbonentsList::applyLoad() {
    QStringList chosen;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->checkState() != Qt::Checked)
            continue;
        chosen << list_->item(i)->text();
        WriteSystemLog(
            T(textGroupReading) + QStringLiteral(" \"") + chosen.back() + QLatin1Char('"'), 3);
    }
    groups_.LoadGroups(chosen, users_, true);
}

}  // namespace orvel
