#include "number_plan.h"

namespace orvel::sim {
namespace {

bool sameDigit(char pattern, char digit) {
    if (pattern == 'X' || pattern == 'x') {
        return digit >= '0' && digit <= '9';
    }
    return pattern == digit;
}

// How well `digits` fit `pattern`: 2 complete, 1 could still complete, 0 not.
// An exact digit outranks 'X'; `rank` counts the exact digits that matched.
int fit(const std::string& pattern, const std::string& digits, bool timedOut, int& rank) {
    bool open = !pattern.empty() && pattern.back() == '+';
    size_t fixed = open ? pattern.size() - 1 : pattern.size();
    rank = 0;
    for (size_t i = 0; i < digits.size() && i < fixed; ++i) {
        if (!sameDigit(pattern[i], digits[i])) {
            return 0;
        }
        rank += pattern[i] == digits[i] ? 1 : 0;
    }
    if (digits.size() < fixed) {
        return 1;
    }
    if (!open) {
        return digits.size() == fixed ? 2 : 0;
    }
    return timedOut ? 2 : 1;
}

}  // namespace

NumberPlan::NumberPlan(std::vector<Subscriber> entries, Subscriber fallback)
    : entries_(std::move(entries)), fallback_(std::move(fallback)) {}

NumberPlan::Match NumberPlan::match(const std::string& digits, bool timedOut,
                                    const Subscriber*& subscriber) const {
    subscriber = nullptr;
    bool partial = false;
    int bestRank = -1;
    for (const auto& entry : entries_) {
        int rank = 0;
        int f = fit(entry.pattern, digits, timedOut, rank);
        if (f == 1) {
            partial = true;
        } else if (f == 2 && rank > bestRank) {
            bestRank = rank;
            subscriber = &entry;
        }
    }
    // A complete fixed number wins over a longer one still being dialled only
    // when the caller has stopped; otherwise wait for more digits.
    if (subscriber != nullptr && (!partial || timedOut)) {
        return Match::Complete;
    }
    subscriber = nullptr;
    if (!timedOut) {
        // Numbers outside the plan are still collected until the caller stops.
        return Match::Partial;
    }
    subscriber = &fallback_;
    return Match::None;
}

}  // namespace orvel::sim
