#pragma once
// The detailed line-state records of a finished run, read back from its
// line-state log to build the detailed part of the results.

#include <QList>
#include <QString>
#include <cstdint>

namespace orvel {

struct TLineStateRecord;

struct TLogCacheEntry {
    QString name;    // up to 40 characters
    QString number;  // what follows the last "w" of the dialled number
    QString time;    // up to 8 characters
    int32_t line = 0;
    int32_t state = 0;
    QString stateText;  // up to 32 characters
    uint8_t matched = 0;
};

class TLogCache {
public:
    int Add(const TLineStateRecord& record);
    int Add(const char* record92);
    void Sort();  // by name, number and time
    // Nothing (nullptr) for an index out of range.
    const TLogCacheEntry* Item(int index) const;
    void Delete(int index);
    void Clear() { entries_.clear(); }
    int Count() const { return int(entries_.size()); }

    // Time text of the first entry with exactly this name and number, or
    // `defaultText`.
    QString FindTime(const QString& name, const QString& number, const QString& defaultText) const;
    void MarkMatched(const QString& name, const QString& number);

    // Clears the cache and adds every whole record of a run's file in file
    // order (a trailing partial record is ignored), then sorts. False when
    // the file cannot be read.
    bool loadRun(const QString& path);

private:
    QList<TLogCacheEntry> entries_;
};

}  // namespace orvel
