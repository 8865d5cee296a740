#include "core/param_handlers.h"

namespace orvel {

void TParamHandlerTable::loadAll() {
    snapshot_.clear();
    for (const TParamHandler& h : handlers_)
        snapshot_.append(h.load ? h.load() : QVariant());
}

QStringList TParamHandlerTable::applyChanged() {
    QStringList applied;
    for (int i = 0; i < handlers_.size(); ++i) {
        const TParamHandler& h = handlers_[i];
        const QVariant now = h.read ? h.read() : QVariant();
        if (!h.alwaysChanged && i < snapshot_.size() && now == snapshot_[i])
            continue;
        if (h.apply)
            h.apply(now);
        applied << h.name;
    }
    return applied;
}

void TParamHandlerTable::cancelAll() {
    for (const TParamHandler& h : handlers_)
        if (h.cancel)
            h.cancel();
}

}  // namespace orvel
