#pragma once
// The subscriber list as a table model: one row per item, one column per
// table column (ID not shown), the texts as the main list shows them, the
// rows of marked subscribers in the colour set of their state.

#include <QAbstractTableModel>
#include <QFont>
#include <QSet>
#include <array>
#include <mutex>

#include "core/program_options.h"

class QTimer;

namespace orvel {

class TUserList;
struct TUserListItem;

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
    // Sets 1..3 of the settings and the attempt count from which a marked,
    // not notified subscriber shows set 3.
    void setColours(const std::array<ColourSet, 4>& sets, int maxCalls);
    // 0 unmarked (the list's own colours), else the colour set 1..3.
    int colourSet(const TUserListItem& item) const;
    // While a run goes the run thread writes the run fields under this lock,
    // and marks cannot be changed (results would land on the wrong rows).
    void setRunLock(std::mutex* fields, bool locked);
    bool locked() const { return locked_; }
    // A row's fields changed: repainted once per event-loop turn, however
    // many changes arrive.
    void refreshRow(int row);
    // Repaints the rows noted by refreshRow at once.
    void flushRows();
    // After the list or its columns changed.
    void reload();

private:
    TUserList& list_;
    std::mutex* fields_ = nullptr;
    bool locked_ = false;
    std::array<ColourSet, 4> sets_{};
    int maxCalls_ = 5;
    QSet<int> pending_;
    QTimer* flush_;
};

}  // namespace orvel
