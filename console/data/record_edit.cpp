#include "data/record_edit.h"

#include <QFileInfo>
#include <algorithm>

#include "data/user_group.h"
#include "data/user_list.h"

namespace orvel {

RecordEditorValues valuesFromItem(const TUserListItem& item) {
    RecordEditorValues v;
    v.name = item.name.toString();
    const PhoneText phone = splitPhone(item.phone.toString());
    v.prefix = phone.prefix;
    v.number = phone.number;
    v.timeOn = item.time.present;
    if (item.time.present) {
        v.timeStart = item.time.start;
        v.timeEnd = item.time.end;
    }
    v.line = item.line;
    v.comment = item.comment.toString();
    v.confirmMethod = item.confirmMethod;
    v.extra = item.extra;
    return v;
}

RecordEditBaseline baselineOf(const RecordEditorValues& v) {
    return {v.timeOn, v.timeStart, v.timeEnd, v.line, v.confirmMethod};
}

void copyEditorToItem(const RecordEditorValues& v, const std::optional<RecordEditBaseline>& base,
                      bool keepNameAndPhone, TUserListItem& item) {
    item.mark = 0;
    if (!keepNameAndPhone) {
        item.name.assign(v.name);
        item.phone.assign(joinPhone(v.prefix, v.number));
    }
    if (!base || v.timeOn != base->timeOn || v.timeStart != base->timeStart ||
        v.timeEnd != base->timeEnd) {
        item.time = v.timeOn ? TTimeWindow{true, v.timeStart, v.timeEnd} : TTimeWindow{};
    }
    if (!base || v.line != base->line)
        item.line = v.line;
    if (!base || v.commentTyped)
        item.comment.assign(v.comment);
    if (!base || v.confirmMethod != base->confirmMethod)
        item.confirmMethod = v.confirmMethod;
    item.extra = v.extra;
    item.attempts = 0;
}

bool applyEdit(TUserList& list, TUserGroup* groups, const QList<int>& rows,
               const RecordEditorValues& values, const RecordEditBaseline& baseline) {
    bool ok = true;
    const bool several = rows.size() > 1;
    for (int row : rows) {
        TUserListItem* it = list.Item(row);
        if (!it)
            continue;
        copyEditorToItem(values, baseline, several, *it);
        if (groups && values.groupTouched) {
            const QString old = groups->FindGroupOf(it->id);
            if (old.compare(values.group, Qt::CaseInsensitive) != 0) {
                if (!old.isEmpty())
                    groups->RemoveFromGroup(old, it->id);
                if (!values.group.isEmpty())
                    groups->AddToGroup(values.group, it->id);
            }
        }
        ok = list.UpdateItem(row) && ok;
    }
    return ok;
}

int applyNew(TUserList& list, TUserGroup* groups, const RecordEditorValues& values) {
    TUserListItem item;
    copyEditorToItem(values, std::nullopt, false, item);
    item.id = list.NextId();
    if (list.AddItem(item) < 0)
        return -1;
    if (groups) {
        if (!values.group.isEmpty())
            groups->AddToGroup(values.group, item.id);
        else if (list.hasGroupFilter())
            groups->AddToGroup(QFileInfo(list.groupFile()).fileName(), item.id);
    }
    return list.Count() - 1;
}

int deleteRows(TUserList& list, TUserGroup* groups, QList<int> rows,
               const EditProgressFn& progress) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (groups) {
        groups->RescanGroups();
        groups->BeginUpdate();
    }
    int done = 0;
    for (int k = int(rows.size()) - 1; k >= 0; --k) {
        const TUserListItem* it = list.Item(rows[k]);
        if (!it)
            continue;
        if (groups)
            groups->RemoveFromAllGroups(it->id);
        if (list.DeleteItem(rows[k]) >= 0)
            ++done;
        if (progress)
            progress(int(rows.size()) - k, int(rows.size()));
    }
    if (groups)
        groups->EndUpdate();
    if (progress)
        progress(0, 0);
    return done;
}

}  // namespace orvel
