#include "ui/user_list_model.h"

#include "data/user_list.h"
#include "data/user_list_ops.h"

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
    return columnText(*it, index.column());
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
