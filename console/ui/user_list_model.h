#pragma once
// The subscriber list as a table model: one row per item, one column per
// table column (ID not shown), the texts as the main list shows them.

#include <QAbstractTableModel>

namespace orvel {

class TUserList;

class UserListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit UserListModel(TUserList& list, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // After the list or its columns changed.
    void reload();

private:
    TUserList& list_;
};

}  // namespace orvel
