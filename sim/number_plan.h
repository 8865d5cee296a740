// Which subscriber a dialled number reaches.
#pragma once

#include <string>
#include <vector>

#include "sim_config.h"

namespace orvel::sim {

class NumberPlan {
public:
    enum class Match {
        Partial,   // more digits may still complete a number
        Complete,  // `subscriber` is reached
        None,      // the caller stopped on a number outside the plan: `fallback`
    };

    NumberPlan(std::vector<Subscriber> entries, Subscriber fallback);

    // What the digits dialled so far reach. `timedOut` says the caller has
    // stopped dialling: open-ended patterns ("812+") then complete.
    Match match(const std::string& digits, bool timedOut, const Subscriber*& subscriber) const;
    const Subscriber& fallback() const { return fallback_; }
    const std::vector<Subscriber>& entries() const { return entries_; }

private:
    std::vector<Subscriber> entries_;
    Subscriber fallback_;
};

}  // namespace orvel::sim
