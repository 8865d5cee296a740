#pragma once
// The parameters dialog as a table of handlers, one per edited item. Opening
// loads every item into its control and keeps what was loaded; "OK" reads
// every control and applies the items whose value differs from what was
// loaded (and those that always count as changed); any other way of closing
// runs every cancel action and applies nothing.

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

namespace orvel {

struct TParamHandler {
    QString name;                    // for logs and tests
    std::function<QVariant()> read;  // the control's current value
    std::function<QVariant()> load;  // program value into the control; gives it
    std::function<void(const QVariant&)> apply;
    std::function<void()> cancel;  // may be empty
    bool alwaysChanged = false;
};

class TParamHandlerTable {
public:
    void add(TParamHandler h) { handlers_.append(std::move(h)); }
    int count() const { return int(handlers_.size()); }

    // Runs every load action and keeps the values as the snapshot.
    void loadAll();
    // Runs the read action of every handler and the apply action of those
    // that changed, in table order; returns the names of the applied ones.
    QStringList applyChanged();
    void cancelAll();

private:
    QList<TParamHandler> handlers_;
    QList<QVariant> snapshot_;
};

}  // namespace orvel
