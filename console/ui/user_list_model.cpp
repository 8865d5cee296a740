#include "ui/user_list_model.h"

#include <QColor>
#include <QTimer>

#include "data/user_list.h"
#include "data/user_list_ops.h"

namespace orvel {
namespace {

constexpr int kNotified = 14;

QColor fromStored(uint32_t v) {
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

}  // namespace

UserListModel::UserListModel(TUserList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), flush_(new QTimer(this)) {
    // The settings' defaults: yellow, green, red with yellow text; all bold.
    sets_ = {ColourSet{0x00FFFF, 0, true, false}, ColourSet{0x00FF00, 0, true, false},
             ColourSet{0x0000FF, 0x00FFFF, true, false}, ColourSet{0xFFFFFF, 0, false, false}};
    flush_->setSingleShot(true);
    flush_->setInterval(0);
    connect(flush_, &QTimer::timeout, this, &UserListModel::flushRows);
}

void UserListModel::setColours(const std::array<ColourSet, 4>& sets, int maxCalls) {
    sets_ = sets;
    maxCalls_ = maxCalls;
}

int UserListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.Count();
}

int UserListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.columns().Count();
}

int UserListModel::colourSet(const TUserListItem& it) const {
    if (!it.mark)
        return 0;
    if (it.lastState == kNotified)
        return 2;
    if (it.attempts >= maxCalls_)
        return 3;
    return 1;
}

QVariant UserListModel::data(const QModelIndex& index, int role) const {
    std::unique_lock<std::mutex> lock;
    if (fields_)
        lock = std::unique_lock(*fields_);
    const TUserListItem* it = list_.Item(index.row());
    if (!it)
        return {};
    switch (role) {
        case Qt::DisplayRole:
            return columnText(*it, index.column());
        case Qt::CheckStateRole:
            return index.column() == 0 ? QVariant(it->mark ? Qt::Checked : Qt::Unchecked)
                                       : QVariant();
        case Qt::BackgroundRole:
        case Qt::ForegroundRole:
        case Qt::FontRole: {
            const int set = colourSet(*it);
            if (set == 0)
                return {};
            const ColourSet& c = sets_[size_t(set - 1)];
            if (role == Qt::BackgroundRole)
                return fromStored(c.background);
            if (role == Qt::ForegroundRole)
                return fromStored(c.foreground);
            QFont f;
            f.setBold(c.bold);
            f.setItalic(c.italic);
            return f;
        }
        default:
            return {};
    }
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
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    return true;
}

void UserListModel::setRunLock(std::mutex* fields, bool locked) {
    fields_ = fields;
    locked_ = locked;
}

void UserListModel::refreshRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    pending_.insert(row);
    if (!flush_->isActive())
        flush_->start();
}

void UserListModel::flushRows() {
    if (pending_.isEmpty())
        return;
    int top = rowCount();
    int bottom = -1;
    for (int r : std::as_const(pending_)) {
        top = qMin(top, r);
        bottom = qMax(bottom, r);
    }
    pending_.clear();
    bottom = qMin(bottom, rowCount() - 1);
    if (top <= bottom)
        emit dataChanged(index(top, 0), index(bottom, columnCount() - 1));
}

QVariant UserListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    return section < list_.columns().Count() ? list_.columns().Item(section).name : QVariant();
}

void UserListModel::reload() {
    pending_.clear();
    beginResetModel();
    endResetModel();
}

}  // namespace orvel
