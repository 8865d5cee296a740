#include "data/structure_rebuild.h"

#include <QFile>
#include <algorithm>
#include <cstdio>

#include "core/safe_file.h"
#include "data/dvr_table.h"
#include "data/user_list.h"

namespace orvel {

QStringList definitionsFor(const TColumnList& columns) {
    QStringList defs = TDVRTable::standardFieldDefinitions();
    for (int j = kStandardColumns; j < columns.Count(); ++j) {
        defs << TDVRTable::additionalFieldDefinition(TColumnList::additionalFieldName(j),
                                                     columns.Item(j).length);
    }
    return defs;
}

RebuildResult rebuildStructure(TUserList& list, const TColumnList& newColumns,
                               const RebuildFaults& faults) {
    TDVRTable& old = list.table();
    const QString tablePath = old.fileName();
    const QString tmpPath = list.programDir() + QLatin1Char('/') + QLatin1String(kRebuildTempName);
    const int mode = list.cryptMode();

    TDVRTable fresh(tmpPath);
    if (fresh.CreateTable(definitionsFor(newColumns)) != 0 || fresh.OpenTable(mode) != 0) {
        QFile::remove(tmpPath);
        return RebuildResult::CreateFailed;
    }

    const int oldFields = old.FieldCount();
    const int newFields = newColumns.Count() + 1;
    const int width = std::max(oldFields, newFields);
    int copied = 0;
    bool failed = false;
    const bool savedFlag = old.IncludeDeleted();
    old.setIncludeDeleted(false);
    for (bool ok = old.First(); ok && !failed; ok = old.Next()) {
        QStringList texts;
        texts.reserve(width);
        texts << old.Field(0)->AsString();
        for (int j = 0; j < newColumns.Count(); ++j) {
            const int source = newColumns.Item(j).sourceField;
            const TDVRField* f = source > 0 ? old.Field(source) : nullptr;
            texts << (f ? f->AsString() : QString());
        }
        while (texts.size() < width)
            texts << QString();
        if (copied == faults.failAfterRecords || fresh.Append(texts, newFields - 1) < 0) {
            failed = true;
        }
        ++copied;
    }
    old.setIncludeDeleted(savedFlag);
    failed = failed || !fresh.sync();
    fresh.CloseTable();
    if (failed) {
        QFile::remove(tmpPath);
        return RebuildResult::CopyFailed;
    }

    // rename() replaces the table in one step: a reader sees either the old
    // or the new file, never a half-copied one.
    if (faults.failReplace ||
        !commitAside(tmpPath, tablePath, nullptr, /*keepAsideOnFailure=*/true)) {
        return RebuildResult::ReplaceFailed;
    }
    old.CloseTable();
    list.setColumns(newColumns);
    list.open(list.programDir(), mode);
    // The new table's columns come from the list given, captions included.
    list.setColumns(newColumns);
    for (int j = 0; j < newColumns.Count(); ++j)
        list.columns().Item(j).sourceField = j + 1;
    return RebuildResult::Done;
}

}  // namespace orvel
