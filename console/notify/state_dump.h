#pragma once
// The state dump: one 66-byte record per marked subscriber, in list order,
// from which a later run continues with the attempts and results reached.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace orvel {

class TUserList;

inline constexpr int kDumpRecordSize = 66;

struct TDumpRecord {
    QString first;   // the row's name, up to 31 characters
    QString second;  // the row's telephone, up to 23 characters
    int32_t attempts = 0;
    int32_t result = 0;

    QByteArray toBytes() const;
    // Texts end at their first zero or at the end of their field.
    static TDumpRecord fromBytes(const char* bytes66);
};

// Every marked subscriber of the list, written aside then renamed.
bool SaveStateDump(const QString& path, const TUserList& list);
// Applies the dump positionally to the marked subscribers: the k-th record
// goes to the k-th marked row when some row of the list has its name and
// telephone. Attempts are clamped to 0 and up; false when unreadable.
bool LoadStateDump(const QString& path, TUserList& list);

}  // namespace orvel
