#pragma once
// Copies the subscriber table into a new field layout. The new table is
// written completely to "_Tmp.dbf" beside it and only then renamed over
// "Users.dbf", so a failure at any point leaves the old table intact and
// open.

#include <QString>

#include "data/column_list.h"

namespace orvel {

class TUserList;

inline constexpr char kRebuildTempName[] = "_Tmp.dbf";

enum class RebuildResult {
    Done,
    CreateFailed,   // _Tmp.dbf could not be created or opened
    CopyFailed,     // a record could not be written; _Tmp.dbf removed
    ReplaceFailed,  // _Tmp.dbf could not replace the table; it is left in place
};

// For tests: make the rebuild fail at a chosen point.
struct RebuildFaults {
    int failAfterRecords = -1;  // fail before appending this record (0-based)
    bool failReplace = false;
};

// The field definitions of a table with these columns.
QStringList definitionsFor(const TColumnList& columns);

RebuildResult rebuildStructure(TUserList& list, const TColumnList& newColumns,
                               const RebuildFaults& faults = {});

}  // namespace orvel
