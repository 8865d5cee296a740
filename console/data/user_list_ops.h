#pragma once
// Operations over the whole subscriber list that the editing windows use:
// the texts of a column as the list shows them, searching, duplicates and the
// replacement of number prefixes.

#include <QList>
#include <QString>
#include <functional>

namespace orvel {

class TUserList;
struct TUserListItem;

// Column 0 name, 1 telephone (as stored), 2 time window, 3 line counted
// from 1, 4 comment, 5 confirmation method's name, 6.. additional fields.
QString columnText(const TUserListItem& item, int column);

// The first subscriber, in list order, whose column text starts with `text`
// ignoring case; -1 when none does.
int findSubscriber(const TUserList& list, int column, const QString& text);

// Whether another subscriber (not `exceptIndex`) has exactly this name and
// exactly this stored telephone text.
bool existsWithNameAndPhone(const TUserList& list, const QString& name, const QString& phone,
                            int exceptIndex);

// Positions, ascending, of subscribers that have a later subscriber with the
// same name and telephone text (case-sensitive): of each set the last stays.
QList<int> findDuplicates(const TUserList& list);

using ProgressFn = std::function<void(int position, int maximum)>;

// Deletes the duplicates from the highest position down; the number removed.
int removeDuplicates(TUserList& list, const ProgressFn& progress = {});

// Drops `digits` characters from the front of the stored telephone text (a
// prefix marker counts), puts `replacement` in front and cuts to 30.
QString replaceNumberPrefix(const QString& phone, int digits, const QString& replacement);
// Applies it to the given positions (all when empty) and writes each back.
void replaceNumberPrefixes(TUserList& list, QList<int> positions, int digits,
                           const QString& replacement, const ProgressFn& progress = {});

}  // namespace orvel
