#include "data/restructure_model.h"

#include <algorithm>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"

namespace orvel {

namespace {
constexpr int kMaxCaption = 20;
}

TRestructureModel::TRestructureModel(const TColumnList& current) {
    for (int i = 0; i < current.Count(); ++i) {
        rows_.append({current.Item(i).name, current.Item(i).length, i + 1});
    }
}

QString TRestructureModel::defaultCaption(int i) const {
    return T(textField) + QLatin1Char(' ') + QString::number(i + 1);
}

bool TRestructureModel::addRow() {
    if (!canAdd())
        return false;
    rows_.append({defaultCaption(rowCount()), kAdditionalFieldDefaultLength, 0});
    return true;
}

void TRestructureModel::removeRows(QList<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int i : rows) {
        if (canEdit(i))
            rows_.removeAt(i);
    }
}

void TRestructureModel::moveUp(int i) {
    if (canMoveUp(i))
        rows_.swapItemsAt(i, i - 1);
}

void TRestructureModel::moveDown(int i) {
    if (canMoveDown(i))
        rows_.swapItemsAt(i, i + 1);
}

void TRestructureModel::setCaption(int i, const QString& caption) {
    if (!canEdit(i))
        return;
    const QString c = caption.trimmed().left(kMaxCaption);
    rows_[i].caption = c.isEmpty() ? defaultCaption(i) : c;
}

void TRestructureModel::setLength(int i, const QString& text) {
    if (!canEdit(i))
        return;
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    rows_[i].length = !ok ? kAdditionalFieldDefaultLength
                          : std::clamp(v, kAdditionalFieldMinLength, kAdditionalFieldMaxLength);
}

TColumnList TRestructureModel::columns() const {
    TColumnList out;
    for (const Row& r : rows_)
        out.Add({r.caption, r.length, r.source});
    return out;
}

QString TRestructureModel::tooManyFieldsText() {
    return T(textFieldCannotBeAdded) + QStringLiteral("!\n") + T(textMaxFieldsCount) +
           QStringLiteral(" -16");
}

RestructureOutcome applyRestructure(const TRestructureModel& model, TUserList& list,
                                    SettingsManager& settings, IMessageDialog& dialog,
                                    const RestructureHooks& hooks) {
    const TColumnList fresh = model.columns();
    fresh.saveCaptions(settings);
    // Renaming reaches the current list at once; it never needs a rebuild.
    TColumnList& current = list.columns();
    for (int i = 0; i < std::min(current.Count(), fresh.Count()); ++i) {
        if (fresh.Item(i).sourceField == i + 1)
            current.Item(i).name = fresh.Item(i).name;
    }
    if (fresh.sameStructure(current))
        return RestructureOutcome::Renamed;

    if (dialog.show(T(textBaseChangeStruct) + QLatin1Char('?'), T(textConfirmation),
                    mb::kYes | mb::kNo, kKindConfirmation) != mb::kResultYes) {
        return RestructureOutcome::Declined;
    }
    if (hooks.writeLog)
        hooks.writeLog(T(textDatabaseStructChanging), 2);
    if (hooks.busy)
        hooks.busy(true);
    const RebuildResult r = rebuildStructure(list, fresh);
    if (hooks.busy)
        hooks.busy(false);
    return r == RebuildResult::Done ? RestructureOutcome::Rebuilt : RestructureOutcome::Failed;
}

}  // namespace orvel
