#include "core/progress_sequence.h"

namespace orvel {

ProgressSequence::Action ProgressSequence::update(int position, int maximum, int64_t nowMs) {
    if (position >= maximum) {
        const bool wasVisible = visible_;
        active_ = visible_ = false;
        return wasVisible ? Action::Close : Action::None;
    }
    if (!active_) {
        active_ = true;
        startMs_ = nowMs;
    }
    if (visible_)
        return Action::Update;
    if (nowMs - startMs_ > kShowDelayMs) {
        visible_ = true;
        return Action::Show;
    }
    return Action::None;
}

}  // namespace orvel
