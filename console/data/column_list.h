#pragma once
// The columns of the subscriber table other than ID, in table order: column i
// is table field i + 1. The first six are the standard columns.

#include <QList>
#include <QString>
#include <QStringList>

namespace orvel {

class SettingsManager;
class TDVRTable;

inline constexpr int kStandardColumns = 6;
inline constexpr int kMaxColumns = 16;  // 17 fields with ID
inline constexpr int kAdditionalFieldDefaultLength = 10;
inline constexpr int kAdditionalFieldMinLength = 4;
inline constexpr int kAdditionalFieldMaxLength = 254;

struct TColumnItem {
    QString name;  // caption
    int length = 0;
    int sourceField = 0;  // field of the current table that fills it; 0: new, empty
};

class TColumnList {
public:
    int Count() const { return int(items_.size()); }
    const TColumnItem& Item(int i) const { return items_[i]; }
    TColumnItem& Item(int i) { return items_[i]; }
    void Add(const TColumnItem& item) { items_.append(item); }
    void Replace(int i, const TColumnItem& item) { items_[i] = item; }
    void Delete(int i) { items_.removeAt(i); }
    void Clear() { items_.clear(); }

    // Same number of columns and, column by column, the same length and
    // source: renaming alone is no change of structure.
    bool sameStructure(const TColumnList& other) const;

    // The columns of an open table, captions from SID_FIELDS_NAMES_<i> or the
    // built-in captions; column i has source field i + 1.
    static TColumnList fromTable(const TDVRTable& table, const SettingsManager* settings);
    static QString defaultCaption(int column);
    // "ADT_FLD" + column index.
    static QString additionalFieldName(int column);
    void saveCaptions(SettingsManager& settings) const;

private:
    QList<TColumnItem> items_;
};

}  // namespace orvel
