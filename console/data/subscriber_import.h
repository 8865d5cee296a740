#pragma once
// Import of subscribers: a workbook or a delimited text file read whole into
// rows, then every row appended to the subscriber list as a new subscriber.
// A source that cannot be read is refused before anything is appended.

#include <QString>
#include <QStringList>
#include <functional>

#include "data/import_text.h"
#include "data/user_list_item.h"

namespace orvel {

class TUserList;

// The file box's filters, in their order (the index counts from 1).
enum class ImportKind {
    Workbook = 1,  // .xls or .xlsx
    TextWin = 2,   // 8-bit text, Windows code page
    TextDos = 3,   // 8-bit text, DOS code page
    Csv = 4,       // as TextWin: no quoting rules, the chosen separator applies
};

struct ImportOptions {
    ImportKind kind = ImportKind::TextWin;
    QString separator = QStringLiteral("\t");
    bool repeatedSeparator = true;
};

// The rows of the source (see ImportTable for how a refusal is told).
ImportTable readImportSource(const QString& path, const ImportOptions& options);

// One new subscriber from a row's fields, by position: 1 name, 2 telephone,
// 3 time window, 4 line, 5 comment, 6 (not read: the confirmation method stays
// the default), 7 and on the additional fields. Every field starts empty, so
// nothing of an earlier row can leak into this one.
TUserListItem subscriberFromRow(const QStringList& fields, int id, int extraColumns);

// Whether a telephone text holds anything a line can dial (after its prefix
// marker): a subscriber without it can never be called.
bool hasDialDigits(const QString& phone);

struct ImportOutcome {
    int added = 0;
    // Imported all the same, but told to the operator at the end.
    int withoutDialDigits = 0;
    // Why nothing (source refused) or not everything (the table refused a
    // record: the import stops there) was imported; empty on success.
    QString error;
};

// Appends every row with IDs counted up from the list's NextId. `progress`
// (position, maximum) is called as the rows go in.
ImportOutcome importRows(TUserList& list, const ImportTable& table,
                         const std::function<void(int, int)>& progress = {});

// readImportSource, then importRows when the source was read whole.
ImportOutcome importSubscribers(TUserList& list, const QString& path, const ImportOptions& options,
                                const std::function<void(int, int)>& progress = {});

}  // namespace orvel
