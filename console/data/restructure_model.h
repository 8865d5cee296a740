#pragma once
// The rows of the structure editor and what "Применить" does with them. The
// six standard columns are fixed; further columns may be added (up to 16
// columns in all), removed, moved, renamed and resized.

#include <QList>
#include <QString>
#include <functional>

#include "core/message_kinds.h"
#include "data/column_list.h"
#include "data/structure_rebuild.h"

namespace orvel {

class SettingsManager;
class TUserList;

class TRestructureModel {
public:
    struct Row {
        QString caption;
        int length = kAdditionalFieldDefaultLength;
        int source = 0;
    };

    explicit TRestructureModel(const TColumnList& current);

    int rowCount() const { return int(rows_.size()); }
    const Row& row(int i) const { return rows_[i]; }

    bool canEdit(int i) const { return i >= kStandardColumns && i < rowCount(); }
    bool canMoveUp(int i) const { return i > kStandardColumns && i < rowCount(); }
    bool canMoveDown(int i) const { return i >= kStandardColumns && i + 1 < rowCount(); }
    bool canAdd() const { return rowCount() < kMaxColumns; }

    // False (and nothing added) when the list already has 16 rows.
    bool addRow();
    // Removes the editable rows among `rows`.
    void removeRows(QList<int> rows);
    void moveUp(int i);
    void moveDown(int i);
    // An empty caption becomes "Поле <row number>"; at most 20 characters.
    void setCaption(int i, const QString& caption);
    // Empty: 10; otherwise kept within 4..254.
    void setLength(int i, const QString& text);

    TColumnList columns() const;
    // The message shown when a 17th column is refused.
    static QString tooManyFieldsText();

private:
    QString defaultCaption(int i) const;
    QList<Row> rows_;
};

enum class RestructureOutcome { Renamed, Rebuilt, Declined, Failed };

struct RestructureHooks {
    std::function<void(const QString&, int)> writeLog;  // the system log
    std::function<void(bool)> busy;                     // wait cursor on/off
};

// "Применить": stores the captions, renames the list's columns and, only when
// the structure changed and the operator agrees, rebuilds the table.
RestructureOutcome applyRestructure(const TRestructureModel& model, TUserList& list,
                                    SettingsManager& settings, IMessageDialog& dialog,
                                    const RestructureHooks& hooks = {});

}  // namespace orvel
