#include "ui/user_list_model.h"

#include <QColor>

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
    std::unique_lock<std::mutex> lock;
    if (fields_)
        lock = std::unique_lock(*fields_);
    const TUserListItem* it = list_.Item(index.row());
    if (!it)
        return {};
    if (role == Qt::CheckStateRole && index.column() == 0)
        return it->mark ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::BackgroundRole && it->mark && it->attempts > 0) {
        // Notified green, in a call yellow, called but not yet notified red.
        if (it->lastState == 14)
            return QColor(0, 255, 0);
        return it->inCall ? QColor(255, 255, 0) : QColor(255, 160, 160);
    }
    if (role != Qt::DisplayRole)
        return {};
    return columnText(*it, index.column());
}

Qt::ItemFlags UserListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0 && !locked_)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool UserListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (locked_ || role != Qt::CheckStateRole || index.column() != 0)
        return false;
    TUserListItem* it = list_.Item(index.row());
    if (!it)
        return false;
    it->mark = value.toInt() == Qt::Checked ? 1 : 0;
    emit dataChanged(index, index);
    return true;
}

void UserListModel::setRunLock(std::mutex* fields, bool locked) {
    fields_ = fields;
    locked_ = locked;
}

void UserListModel::refreshRow(int row) {
    if (row >= 0 && row < rowCount())
        emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
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
