// The clock the call algorithms time their states with. It is monotonic, so
// stepping the wall clock neither fires nor freezes a timeout; tests replace
// it with a clock they move by hand.
#pragma once

#include <chrono>

namespace orvel {

class CallClock {
public:
    using Duration = std::chrono::steady_clock::duration;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~CallClock() = default;
    virtual TimePoint now() const = 0;
};

// The process's monotonic clock; stateless, shared by every algorithm.
class SteadyCallClock final : public CallClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    static const SteadyCallClock& instance() {
        static const SteadyCallClock clock;
        return clock;
    }
};

}  // namespace orvel
