#pragma once
// The rules of the progress window for long operations: a sequence of calls
// (position, maximum, text) shows a gauge window only once the sequence has
// run for more than a second, updates it while the position is below the
// maximum, and ends with the first call whose position is not below it.

#include <QString>
#include <cstdint>

namespace orvel {

class ProgressSequence {
public:
    enum class Action { None, Show, Update, Close };

    static constexpr int64_t kShowDelayMs = 1000;

    // nowMs is a monotonic clock reading.
    Action update(int position, int maximum, int64_t nowMs);
    bool active() const { return active_; }
    bool visible() const { return visible_; }

private:
    bool active_ = false;
    bool visible_ = false;
    int64_t startMs_ = 0;
};

}  // namespace orvel
