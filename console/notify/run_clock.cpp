#include "notify/run_clock.h"

#include <chrono>

namespace orvel {

void TStopSignal::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    cv_.notify_all();
}

void TStopSignal::reset() {
    std::lock_guard lock(mutex_);
    stopped_ = false;
}

bool TStopSignal::waitFor(int ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopped_.load(); });
}

}  // namespace orvel
