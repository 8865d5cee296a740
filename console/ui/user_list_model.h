#pragma once
// The subscriber list as a table model: one row per item, one column per
// table column (ID not shown), the texts as the main list shows them.

#include <QAbstractTableModel>
#include <mutex>

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
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // While a run goes the run thread writes the run fields under this lock,
    // and marks cannot be changed (results would land on the wrong rows).
    void setRunLock(std::mutex* fields, bool locked);
    bool locked() const { return locked_; }
    // A row's run fields changed.
    void refreshRow(int row);
    // After the list or its columns changed.
    void reload();

private:
    TUserList& list_;
    std::mutex* fields_ = nullptr;
    bool locked_ = false;
};

}  // namespace orvel
