#pragma once
// The editor of the confirmation-method table as the parameters dialog shows
// it: a working copy of the default method and the number patterns, with the
// operations of its buttons. Nothing reaches the program's table or the
// settings file before `apply`, so closing the dialog without "OK" leaves
// both as they were.

#include <QList>
#include <QString>

#include "core/confirm_methods.h"

namespace orvel {

class SettingsManager;

// Keys the pattern edit accepts besides control keys: digits, "*", "?",
// ",", "-", "w" and "W".
bool isPatternCharAllowed(QChar c);

class TConfirmMethodEditor {
public:
    using Entry = TConfirmMethodManager::Entry;

    void load(const TConfirmMethodManager& manager);
    // Writes the default method and every entry into the program's table and
    // the whole table to the settings file.
    void apply(TConfirmMethodManager& manager, SettingsManager& settings) const;

    int defaultMethod() const { return defaultMethod_; }
    void setDefaultMethod(int method) { defaultMethod_ = method; }
    const QList<Entry>& entries() const { return entries_; }

    // Adding is possible when the pattern is not empty.
    static bool canAdd(const QString& pattern) { return !pattern.isEmpty(); }
    // An empty text when the pattern may be stored, else why not (for the
    // message dialog).
    static QString patternError(const QString& pattern);

    // Each returns false, with `error` set, when the pattern is refused.
    bool add(const QString& pattern, int method, QString* error = nullptr);
    // Every row in `rows` gets the method; the pattern too when `pattern` is
    // given (the edit is enabled only while at most one row is selected).
    bool change(const QList<int>& rows, const QString* pattern, int method,
                QString* error = nullptr);
    void remove(QList<int> rows);

    bool canMoveUp(const QList<int>& rows) const;
    bool canMoveDown(const QList<int>& rows) const;
    // Moves every selected row one place; returns the rows' new positions.
    QList<int> moveUp(QList<int> rows);
    QList<int> moveDown(QList<int> rows);

private:
    QList<Entry> entries_;
    int defaultMethod_ = kConfirmDtmf;
};

}  // namespace orvel
