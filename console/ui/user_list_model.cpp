#include "ui/user_list_model.h"

#include "core/confirm_methods.h"
#include "data/user_list.h"

namespace orvel {

UserListModel::UserListModel(TUserList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int UserListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.Count();
}

int UserListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.columns().Count();
}

QVariant UserListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    const TUserListItem* it = list_.Item(index.row());
    if (!it)
        return {};
    switch (index.column()) {
        case 0:
            return it->name.toString();
        case 1:
            return it->phone.toString();
        case 2:
            return timeWindowText(it->time);
        case 3:
            return lineText(it->line);
        case 4:
            return it->comment.toString();
        case 5:
            return MethodName(it->confirmMethod);
        default:
            return it->extra.value(index.column() - 6);
    }
}

QVariant UserListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    return section < list_.columns().Count() ? list_.columns().Item(section).name : QVariant();
}

void UserListModel::reload() {
    beginResetModel();
    endResetModel();
}

}  // namespace orvel
