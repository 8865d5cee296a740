#include "notify/notify_run.h"

namespace orvel {

void TNotifyRun::switchLine(int index, bool enabled) {
    std::lock_guard lock(fieldsMutex_);
    TORVELLine* l = lines_.Items(index);
    if (!l)
        return;
    l->Enabled = enabled ? 1 : 0;
    if (enabled && !l->Assigned) {
        l->Assign(lib_);
    } else if (!enabled && l->Assigned && !l->Subscriber) {
        l->Release(lib_);
        l->State = 0;  // not free until polled again
    } else {
        return;
    }
    l->StatusText();
    if (observer_)
        observer_->lineRowChanged(index, l->Row);
}

}  // namespace orvel
