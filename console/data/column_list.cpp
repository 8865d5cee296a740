#include "data/column_list.h"

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/dvr_table.h"

namespace orvel {

bool TColumnList::sameStructure(const TColumnList& other) const {
    if (Count() != other.Count())
        return false;
    for (int i = 0; i < Count(); ++i) {
        if (items_[i].length != other.items_[i].length ||
            items_[i].sourceField != other.items_[i].sourceField) {
            return false;
        }
    }
    return true;
}

QString TColumnList::defaultCaption(int column) {
    switch (column) {
        case 0:
            return T(textAbonent);
        case 1:
            return QStringLiteral("Телефон");
        case 2:
            return T(textTime);
        case 3:
            return T(textLine);
        case 4:
            return T(textComment);
        case 5:
            return T(textConfirmation);
        default:
            return T(textField) + QLatin1Char(' ') + QString::number(column + 1);
    }
}

QString TColumnList::additionalFieldName(int column) {
    return QStringLiteral("ADT_FLD") + QString::number(column);
}

TColumnList TColumnList::fromTable(const TDVRTable& table, const SettingsManager* settings) {
    TColumnList list;
    for (int f = 1; f < table.FieldCount(); ++f) {
        const int column = f - 1;
        QString caption =
            settings ? settings->ReadIndexedSetting(SID_FIELDS_NAMES, column, QString()).toString()
                     : QString();
        if (caption.isEmpty())
            caption = defaultCaption(column);
        list.Add({caption, table.Field(f)->Length(), f});
    }
    return list;
}

void TColumnList::saveCaptions(SettingsManager& settings) const {
    for (int i = 0; i < Count(); ++i)
        settings.WriteIndexedSetting(SID_FIELDS_NAMES, i, items_[i].name);
}

}  // namespace orvel
