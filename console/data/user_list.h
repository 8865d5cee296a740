#pragma once
// The subscribers of the table in memory, optionally restricted to the
// members of one group. Every change goes through the list to the table.

#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "data/column_list.h"
#include "data/dvr_table.h"
#include "data/user_list_item.h"

namespace orvel {

class SettingsManager;

inline constexpr char kUsersTableName[] = "Users.dbf";

class TUserList {
public:
    explicit TUserList(const SettingsManager* settings = nullptr);
    ~TUserList();
    TUserList(const TUserList&) = delete;
    TUserList& operator=(const TUserList&) = delete;

    // Opens Users.dbf in `programDir` (creating it with the standard fields
    // when missing) in the given mode (SID_CRYPT_MODE: 0 plain, else
    // scrambled) and loads it. False when the table cannot be opened: the
    // list is then empty.
    bool open(const QString& programDir, int cryptMode);
    const QString& programDir() const { return programDir_; }
    QString tablePath() const { return table_.fileName(); }
    int cryptMode() const { return cryptMode_; }
    TDVRTable& table() { return table_; }

    void LoadFromTable();
    int Count() const { return int(items_.size()); }
    // nullptr for an index out of range.
    TUserListItem* Item(int index);
    const TUserListItem* Item(int index) const;
    int IndexOfItem(const TUserListItem* item) const;

    // Appends the subscriber to the table and the list; the new count, or -1
    // when the table refused the record (the list is then unchanged).
    int AddItem(const TUserListItem& item);
    // False for a bad index or an item whose record is not in the table.
    bool UpdateItem(int index);
    // Marks the record deleted and moves the last item into the freed slot;
    // the new count, or -1 for a bad index or a record not in the table.
    int DeleteItem(int index);
    // column: 1 name, 2 telephone, 3 time window, 4 line, 5 comment,
    // 6 confirmation method, 7.. additional fields. direction 1: descending,
    // -1: ascending. Among equal keys names ascend (except for the name and
    // time-window columns).
    void SortBy(bool withMark, int column, int direction);
    // One more than the greatest ID in the table, at least 2.
    int NextId() const;
    // A group file (one ID per line) or an empty name to clear; reloads.
    void SetGroupFilter(const QString& groupFile);
    const QString& groupFile() const { return groupFile_; }
    bool hasGroupFilter() const { return !filter_.isEmpty(); }
    void ClearRunFields();

    TColumnList& columns() { return columns_; }
    const TColumnList& columns() const { return columns_; }
    void setColumns(const TColumnList& columns) { columns_ = columns; }

private:
    class SortKeys;

    // A record number inside the table file (deleted records counted).
    bool recordInTable(int record) const;

    const SettingsManager* settings_;
    TDVRTable table_;
    std::vector<TUserListItem> items_;
    TColumnList columns_;
    QSet<QString> filter_;  // lower-case ID texts
    QString groupFile_;
    QString programDir_;
    int cryptMode_ = 0;
    int maxId_ = 0;
    std::unique_ptr<SortKeys> sortKeys_;  // kept between sorts
};

}  // namespace orvel
