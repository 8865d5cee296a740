#pragma once
// What the record editor holds, how it is copied into subscribers, and the
// editing commands that change the list, its table and the group files.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "data/user_list_item.h"

namespace orvel {

class TUserList;
class TUserGroup;

// The editor's fields as the operator left them.
struct RecordEditorValues {
    QString name;
    int prefix = 1;  // 0 none, 1..3
    QString number;  // without the prefix marker
    bool timeOn = false;
    int timeStart = 0;           // seconds since midnight
    int timeEnd = 23 * 3600 + 59 * 60;
    int line = -1;               // zero-based, -1 any line
    QString comment;
    bool commentTyped = false;   // the operator typed into the comment
    int confirmMethod = 0;
    QStringList extra;
    QString group;               // the group box's text
    bool groupTouched = false;   // the operator changed the group box
};

// What the editor showed when "Изменить запись" began: a field that still
// holds it is left alone in every edited subscriber.
struct RecordEditBaseline {
    bool timeOn = false;
    int timeStart = 0;
    int timeEnd = 0;
    int line = -1;
    int confirmMethod = 0;
};

// The editor's contents for one subscriber (the pickers show 00:00 and 23:59
// when there is no time window).
RecordEditorValues valuesFromItem(const TUserListItem& item);
RecordEditBaseline baselineOf(const RecordEditorValues& values);

// Copies the editor into a subscriber. Without a baseline (a new record)
// every field is taken; with several subscribers edited at once each keeps
// its own name and telephone.
void copyEditorToItem(const RecordEditorValues& values,
                      const std::optional<RecordEditBaseline>& baseline, bool keepNameAndPhone,
                      TUserListItem& item);

using EditProgressFn = std::function<void(int position, int maximum)>;

// "Применить" after "Изменить запись": every given row gets the editor's
// fields and is written back; a changed group box moves the subscriber
// between group files. False when a record could not be written.
bool applyEdit(TUserList& list, TUserGroup* groups, const QList<int>& rows,
               const RecordEditorValues& values, const RecordEditBaseline& baseline);

// "Применить" after "Новая запись" or "Повторить запись": a new subscriber
// with the next ID, added to the chosen group, or else to the group the list
// is filtered by so that it stays visible. Its row, or -1 when the table
// refused it.
int applyNew(TUserList& list, TUserGroup* groups, const RecordEditorValues& values);

// "Удалить запись": each subscriber leaves every group file and the table,
// from the highest row down. The number deleted.
int deleteRows(TUserList& list, TUserGroup* groups, QList<int> rows,
               const EditProgressFn& progress = {});

}  // namespace orvel
