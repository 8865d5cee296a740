#include "core/instance_guard.h"

#include <QDir>

namespace orvel {

InstanceGuard::InstanceGuard(const QString& dir) {
    QDir().mkpath(dir);
    lock_ = std::make_unique<QLockFile>(dir + QLatin1Char('/') + QLatin1String(kInstanceLockName));
    // Age alone never makes the lock stale; only a dead owner does.
    lock_->setStaleLockTime(0);
}

bool InstanceGuard::acquire() {
    if (!owned_)
        owned_ = lock_->tryLock(0);
    return owned_;
}

}  // namespace orvel
