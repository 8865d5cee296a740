#include "core/confirm_editor.h"

#include <algorithm>

#include "core/settings_manager.h"
#include "core/texts.h"

namespace orvel {

namespace {
QList<int> sortedUnique(QList<int> rows, int count) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([count](int r) { return r < 0 || r >= count; });
    return rows;
}
}  // namespace

bool isPatternCharAllowed(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || u == '*' || u == '?' || u == ',' || u == '-' || u == 'w' ||
           u == 'W';
}

void TConfirmMethodEditor::load(const TConfirmMethodManager& manager) {
    defaultMethod_ = manager.defaultMethod();
    entries_.clear();
    for (int k = 0; k < manager.count(); ++k)
        entries_.append(manager.entry(k));
}

void TConfirmMethodEditor::apply(TConfirmMethodManager& manager, SettingsManager& settings) const {
    manager.setDefaultMethod(defaultMethod_);
    manager.clear();
    for (const Entry& e : entries_)
        manager.append(e.pattern, e.method);
    // Entries beyond the new count stay in the file but are never read.
    manager.save(settings);
}

QString TConfirmMethodEditor::patternError(const QString& pattern) {
    if (pattern.isEmpty())
        return T(textPhoneNumber) + QStringLiteral("?");
    // The regular-expression engine explains only in English: the operator
    // gets the pattern itself.
    if (!TConfirmMethodManager::isValidPattern(pattern))
        return T(textInvalidPhoneMask) + QStringLiteral(" \"") + pattern + QStringLiteral("\"!");
    return {};
}

bool TConfirmMethodEditor::add(const QString& pattern, int method, QString* error) {
    const QString why = patternError(pattern);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    entries_.append({pattern, method});
    return true;
}

bool TConfirmMethodEditor::change(const QList<int>& rows, const QString* pattern, int method,
                                  QString* error) {
    if (pattern) {
        const QString why = patternError(*pattern);
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            return false;
        }
    }
    for (int r : sortedUnique(rows, int(entries_.size()))) {
        if (pattern)
            entries_[r].pattern = *pattern;
        entries_[r].method = method;
    }
    return true;
}

void TConfirmMethodEditor::remove(QList<int> rows) {
    rows = sortedUnique(std::move(rows), int(entries_.size()));
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        entries_.removeAt(*it);
}

bool TConfirmMethodEditor::canMoveUp(const QList<int>& rows) const {
    const QList<int> r = sortedUnique(rows, int(entries_.size()));
    return !r.isEmpty() && r.first() > 0;
}

bool TConfirmMethodEditor::canMoveDown(const QList<int>& rows) const {
    const QList<int> r = sortedUnique(rows, int(entries_.size()));
    return !r.isEmpty() && r.last() < entries_.size() - 1;
}

QList<int> TConfirmMethodEditor::moveUp(QList<int> rows) {
    rows = sortedUnique(std::move(rows), int(entries_.size()));
    if (!canMoveUp(rows))
        return rows;
    for (int& r : rows) {
        entries_.move(r, r - 1);
        r -= 1;
    }
    return rows;
}

QList<int> TConfirmMethodEditor::moveDown(QList<int> rows) {
    rows = sortedUnique(std::move(rows), int(entries_.size()));
    if (!canMoveDown(rows))
        return rows;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        entries_.move(*it, *it + 1);
        *it += 1;
    }
    return rows;
}

}  // namespace orvel
