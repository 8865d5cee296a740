#pragma once
// A small subscriber list for the fuzz targets whose readers apply what they
// read to one.

#include <QTemporaryDir>

#include "data/user_list.h"

namespace orvel::fuzz {

// Four subscribers in a table of their own, marked or not, for the readers
// that apply what they read to a list. Made once per process.
inline TUserList& fourSubscribers(bool marked) {
    static QTemporaryDir tableDir;
    static TUserList users;
    static const bool filled = [] {
        users.open(tableDir.path(), 0);
        for (int id = 1; id <= 4; ++id) {
            TUserListItem item;
            item.id = id;
            item.name.assign(QStringLiteral("Абонент %1").arg(id));
            item.phone.assign(QStringLiteral("10%1").arg(id));
            users.AddItem(item);
        }
        return true;
    }();
    (void)filled;
    for (int k = 0; k < users.Count(); ++k)
        users.Item(k)->mark = marked ? 1 : 0;
    return users;
}

}  // namespace orvel::fuzz
