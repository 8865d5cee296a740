#include "data/user_list_ops.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/confirm_methods.h"
#include "data/user_list.h"

namespace orvel {

namespace {
constexpr int kPhoneLength = 30;
}

QString columnText(const TUserListItem& it, int column) {
    switch (column) {
        case 0:
            return it.name.toString();
        case 1:
            return it.phone.toString();
        case 2:
            return timeWindowText(it.time);
        case 3:
            return lineText(it.line);
        case 4:
            return it.comment.toString();
        case 5:
            return MethodName(it.confirmMethod);
        default:
            return it.extra.value(column - 6);
    }
}

int findSubscriber(const TUserList& list, int column, const QString& text) {
    for (int i = 0; i < list.Count(); ++i) {
        if (columnText(*list.Item(i), column).startsWith(text, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

bool existsWithNameAndPhone(const TUserList& list, const QString& name, const QString& phone,
                            int exceptIndex) {
    TUserListItem probe;
    probe.name.assign(name);
    probe.phone.assign(phone);
    for (int i = 0; i < list.Count(); ++i) {
        const TUserListItem* it = list.Item(i);
        if (i != exceptIndex && it->name == probe.name && it->phone == probe.phone)
            return true;
    }
    return false;
}

QList<int> findDuplicates(const TUserList& list) {
    // From the end of the list: a row whose name and telephone are already in
    // the set has a later twin. The set holds positions and hashes the rows'
    // own bytes, so nothing is copied per row; the result is built at the
    // back and turned round once.
    const auto key = [&list](int i) {
        const TUserListItem* it = list.Item(i);
        return std::pair(it->name.view(), it->phone.view());
    };
    const auto hash = [&key](int i) {
        const auto [name, phone] = key(i);
        const size_t h = std::hash<std::string_view>{}(name);
        return h ^
               (std::hash<std::string_view>{}(phone) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2));
    };
    const auto same = [&key](int a, int b) { return key(a) == key(b); };
    std::unordered_set<int, decltype(hash), decltype(same)> later(size_t(list.Count()), hash, same);
    QList<int> out;
    for (int i = list.Count() - 1; i >= 0; --i) {
        if (!later.insert(i).second)
            out.append(i);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

int removeDuplicates(TUserList& list, const ProgressFn& progress) {
    const QList<int> dups = findDuplicates(list);
    for (int k = int(dups.size()) - 1; k >= 0; --k) {
        list.DeleteItem(dups[k]);
        if (progress)
            progress(int(dups.size()) - k, int(dups.size()));
    }
    return int(dups.size());
}

QString replaceNumberPrefix(const QString& phone, int digits, const QString& replacement) {
    return (replacement + phone.mid(std::max(digits, 0))).left(kPhoneLength);
}

void replaceNumberPrefixes(TUserList& list, QList<int> positions, int digits,
                           const QString& replacement, const ProgressFn& progress) {
    if (positions.isEmpty()) {
        for (int i = 0; i < list.Count(); ++i)
            positions << i;
    }
    std::sort(positions.begin(), positions.end());
    int done = 0;
    for (int i : positions) {
        TUserListItem* it = list.Item(i);
        if (!it)
            continue;
        it->phone.assign(replaceNumberPrefix(it->phone.toString(), digits, replacement));
        list.UpdateItem(i);
        if (progress)
            progress(++done, int(positions.size()));
    }
}

}  // namespace orvel
