#pragma once
// How a subscriber confirms a message: a DTMF key, hanging up, or either. A
// subscriber's own method wins; otherwise the first number pattern of the
// program-wide table that matches the telephone text decides, and the
// default method covers numbers no pattern matches.

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvel {

class SettingsManager;

enum ConfirmMethod : int {
    kConfirmDefault = 0,  // subscriber: use the table
    kConfirmDtmf = 1,
    kConfirmHangUp = 2,
    kConfirmDtmfOrHangUp = 3,
};

// Name of a method built from its bits; no bit gives "<по умолчанию>".
QString MethodName(int method);
// Names of methods 1, 2 and 3, in this order, for choice lists.
QStringList methodChoiceNames();
// Choice list position p stands for method p + 1; anything else for 0.
int methodFromChoice(int position);

class TConfirmMethodManager {
public:
    struct Entry {
        QString pattern;
        int method = 0;
    };

    int defaultMethod() const { return defaultMethod_; }
    void setDefaultMethod(int method) { defaultMethod_ = method; }

    int count() const { return int(entries_.size()); }
    const Entry& entry(int k) const { return entries_[k].entry; }
    void append(const QString& pattern, int method);
    void replace(int k, const QString& pattern, int method);
    void remove(int k);
    void move(int from, int to);
    void clear() { entries_.clear(); }

    // Method of the first entry whose pattern is found anywhere in the
    // telephone text; the default method when none is. Empty when a pattern
    // met on the way is not a valid regular expression: such a number is not
    // dialled in this pass.
    std::optional<int> MethodForNumber(const QString& phone) const;
    // The mode a call is made with.
    std::optional<int> modeForSubscriber(int ownMethod, const QString& phone) const;

    static bool isValidPattern(const QString& pattern, QString* error = nullptr);

    // SID_DEFAULT_CONFIRM_METHOD, SID_CONFIRM_METHOD_NUMBER_COUNT, then for
    // every entry its pattern and method.
    void load(const SettingsManager& settings);
    void save(SettingsManager& settings) const;

private:
    struct Compiled {
        Entry entry;
        QRegularExpression re;
    };
    static Compiled compile(const QString& pattern, int method);

    QList<Compiled> entries_;
    int defaultMethod_ = kConfirmDtmf;
};

}  // namespace orvel
